#include "updater/package_check.h"

#include <vector>

#include "trust/crypto.h"

namespace tavrin {

PackageRefusal CheckPackage(const UpdateConfig& config, const std::string& name,
                            prynn::FileSystem& files, const std::string& path) {
    const SignedPackage* signedPackage = config.Find(name);
    if (!signedPackage) return PackageRefusal::kNotListed;
    std::unique_ptr<Sha256> hash = NewSha256();
    if (!hash) return PackageRefusal::kCannotHash;
    std::unique_ptr<prynn::ByteSource> source = files.OpenRead(path);
    if (!source) return PackageRefusal::kUnreadable;
    std::vector<uint8_t> buffer(64 * 1024);
    uint64_t total = 0;
    for (;;) {
        size_t got = 0;
        if (!source->Read(buffer.data(), buffer.size(), &got)) return PackageRefusal::kUnreadable;
        if (got == 0) break;
        total += got;
        if (total > signedPackage->size) return PackageRefusal::kWrongSize;
        if (!hash->Update(buffer.data(), got)) return PackageRefusal::kCannotHash;
    }
    if (total != signedPackage->size) return PackageRefusal::kWrongSize;
    const std::string hex = hash->FinishHex();
    if (hex.empty()) return PackageRefusal::kCannotHash;
    return hex == signedPackage->sha256 ? PackageRefusal::kNone : PackageRefusal::kWrongHash;
}

}  // namespace tavrin
