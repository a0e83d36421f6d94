#include "tools/lzfpack/lzfpack.h"

#include <ctime>

#include "libs/prynn/file_transform.h"
#include "tools/lzfpack/command_line.h"
#include "tools/lzfpack/package_name.h"

namespace lzfpack {
namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The output of a single-file run, or empty (with *error set) when it cannot be had.
std::string OutputPath(const Options& options, std::string* error) {
    std::string output = options.output;
    if (output.empty() && options.mode == Options::kPack) output = options.input + kPackageSuffix;
    if (output.empty()) {
        const std::string suffix = kPackageSuffix;
        if (!EndsWith(options.input, suffix) || BaseName(options.input) == suffix) {
            *error = options.input + " does not end in .lzf: name the output with -o";
            return std::string();
        }
        output = options.input.substr(0, options.input.size() - suffix.size());
    }
    // The package's name is what a server and the updater use: it must be a plain file name.
    const bool packing = options.mode == Options::kPack;
    const std::string package = BaseName(packing ? output : options.input);
    std::string why;
    if (!IsPlainFileName(package, &why)) {
        *error = "the package name \"" + package + "\" is refused: " + why;
        return std::string();
    }
    if (!packing && !IsPlainFileName(BaseName(output), &why)) {
        *error = "the output name \"" + BaseName(output) + "\" is refused: " + why;
        return std::string();
    }
    return output;
}

}  // namespace

int RunLzfpack(const std::vector<std::string>& args, prynn::FileSystem& files,
               FolderLister& lister, std::ostream& out, std::ostream& err, const SignFn& sign) {
    Options options;
    std::string error;
    if (!ParseCommandLine(args, &options, &error)) {
        err << "lzfpack: " << error << "\n" << UsageText();
        return kExitUsage;
    }
    if (options.mode == Options::kHelp) {
        out << UsageText();
        return kExitDone;
    }
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    if (options.mode == Options::kVerify) {
        std::string key;
        if (!ReadWholeFile(files, options.verifyKey, &key)) {
            err << "lzfpack: cannot read the key " << options.verifyKey << "\n";
            return kExitFailed;
        }
        return VerifyPublished(files, key, options.input, now, out, err) ? kExitDone : kExitFailed;
    }
    if (options.mode == Options::kFolder) {
        const std::string outputFolder = options.output.empty() ? options.input : options.output;
        Signing signing;
        if (!options.signKey.empty()) {
            if (!ReadWholeFile(files, options.signKey, &signing.keyPem)) {
                err << "lzfpack: cannot read the key " << options.signKey << "\n";
                return kExitFailed;
            }
            signing.serial = options.serial;
            if (options.expiresDays >= 0) signing.expires = now + options.expiresDays * int64_t(86400);
            signing.mirrors = options.mirrors;
            signing.sign = sign;
        }
        const Signing* withSigning = options.signKey.empty() ? nullptr : &signing;
        return PackFolder(files, lister, options.input, outputFolder, withSigning, out, err)
                   ? kExitDone
                   : kExitFailed;
    }

    const std::string output = OutputPath(options, &error);
    if (output.empty()) {
        err << "lzfpack: " << error << "\n";
        return kExitFailed;
    }
    const prynn::FileResult result = options.mode == Options::kPack
                                         ? prynn::EncodeFile(files, options.input, output)
                                         : prynn::DecodeFile(files, options.input, output);
    if (!result.ok()) {
        err << "lzfpack: " << options.input << " -> " << output << ": " << result.Describe()
            << "\n";
        return kExitFailed;
    }
    out << (options.mode == Options::kPack ? "packed " : "restored ") << output << "\n";
    return kExitDone;
}

}  // namespace lzfpack
