#include "tools/lzfpack/signed_publish.h"

#include <cstdint>

#include "trust/base64.h"
#include "trust/crypto.h"
#include "tools/lzfpack/package_name.h"
#include "updater/install/package_check.h"
#include "updater/signed_config.h"

namespace lzfpack {
namespace {

bool Measure(prynn::FileSystem& files, const std::string& path, tavrin::SignedPackage* package) {
    return tavrin::MeasureFile(files, path, UINT64_MAX, package) == tavrin::PackageRefusal::kNone;
}

const char* RefusalText(tavrin::ConfigRefusal refusal) {
    switch (refusal) {
    case tavrin::ConfigRefusal::kTooLarge: return "larger than 1 MiB";
    case tavrin::ConfigRefusal::kNoSignature: return "not signed";
    case tavrin::ConfigRefusal::kBadSignature: return "the signature does not match this key";
    case tavrin::ConfigRefusal::kCannotVerify: return "this system cannot check signatures";
    case tavrin::ConfigRefusal::kBadFormat: return "a malformed line, no serial or a fixed package missing";
    case tavrin::ConfigRefusal::kExpired: return "expired";
    default: return "refused";
    }
}

const char* RefusalText(tavrin::PackageRefusal refusal) {
    switch (refusal) {
    case tavrin::PackageRefusal::kWrongSize: return "its size differs from the signed one";
    case tavrin::PackageRefusal::kWrongHash: return "its SHA-256 differs from the signed one";
    case tavrin::PackageRefusal::kUnreadable: return "missing or unreadable";
    case tavrin::PackageRefusal::kNotPackage: return "not a package (its blocks are broken)";
    default: return "cannot be checked";
    }
}

}  // namespace

bool ReadWholeFile(prynn::FileSystem& files, const std::string& path, std::string* content) {
    std::unique_ptr<prynn::ByteSource> source = files.OpenRead(path);
    if (!source) return false;
    content->clear();
    uint8_t buffer[16 * 1024];
    for (;;) {
        size_t got = 0;
        if (!source->Read(buffer, sizeof buffer, &got)) return false;
        if (got == 0) return true;
        content->append(reinterpret_cast<const char*>(buffer), got);
    }
}

std::string SignedConfigText(prynn::FileSystem& files, const std::string& outputFolder,
                             const std::vector<std::string>& packages, const Signing& signing,
                             std::ostream& err) {
    tavrin::UpdateConfig config;
    config.serial = signing.serial;
    config.expires = signing.expires;
    config.mirrors = signing.mirrors;
    for (const char* fixed : kFixedPackages) {
        bool present = false;
        for (const std::string& name : packages) present = present || name == fixed;
        if (!present) {
            err << "lzfpack: cannot sign: the folder lacks " << fixed
                << ", which the updater requires in every release\n";
            return std::string();
        }
    }
    for (const std::string& name : packages) {
        tavrin::SignedPackage package;
        package.name = name;
        if (!Measure(files, JoinPath(outputFolder, name), &package)) {
            err << "lzfpack: cannot read back " << name << " to hash it\n";
            return std::string();
        }
        config.packages.push_back(package);
    }
    const std::string text = tavrin::UnsignedConfigText(config);
    std::vector<uint8_t> signature;
    std::string error = "this build cannot sign (use the native lzfpack)";
    if (!signing.sign || !signing.sign(signing.keyPem, text, &signature, &error)) {
        err << "lzfpack: cannot sign: " << error << "\n";
        return std::string();
    }
    return text + tavrin::SignatureLine(signature);
}

bool VerifyPublished(prynn::FileSystem& files, const std::string& publicKeyPem,
                     const std::string& configPath, int64_t now, std::ostream& out,
                     std::ostream& err) {
    std::vector<uint8_t> publicKey;
    if (!tavrin::PemToDer(publicKeyPem, "PUBLIC KEY", &publicKey)) {
        err << "lzfpack: the key file holds no PEM public key\n";
        return false;
    }
    std::string content;
    if (!ReadWholeFile(files, configPath, &content)) {
        err << "lzfpack: cannot read " << configPath << "\n";
        return false;
    }
    auto verify = [&](const std::string& data, const std::vector<uint8_t>& signature) {
        return tavrin::VerifyRsaSha256(publicKey, data, signature);
    };
    tavrin::UpdateConfig config;
    const tavrin::ConfigRefusal refusal = tavrin::ReadSignedConfig(content, {verify, now, 0}, &config);
    if (refusal != tavrin::ConfigRefusal::kNone) {
        err << "lzfpack: " << configPath << ": " << RefusalText(refusal) << "\n";
        return false;
    }
    out << configPath << ": signed, serial " << config.serial;
    if (config.expires) out << ", expires " << tavrin::FormatUtcTime(*config.expires);
    out << "\n";
    for (const std::string& mirror : config.mirrors) out << "mirror " << mirror << "\n";
    const size_t slash = configPath.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "." : configPath.substr(0, slash);
    bool allGood = true;
    for (const tavrin::SignedPackage& package : config.packages) {
        uint64_t decoded = 0;
        const tavrin::PackageRefusal check = tavrin::CheckPackage(
            config, package.name, files, JoinPath(folder, package.name), &decoded);
        if (check == tavrin::PackageRefusal::kNone) {
            out << "ok " << package.name << " (" << package.size << " bytes, " << decoded
                << " installed)\n";
        } else {
            err << "lzfpack: " << package.name << ": " << RefusalText(check) << "\n";
            allGood = false;
        }
    }
    return allGood;
}

}  // namespace lzfpack
