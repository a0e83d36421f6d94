#include "tools/lzfpack/command_line.h"

#include "trust/decimal.h"
#include "updater/signed_config.h"

namespace lzfpack {
namespace {

bool Fail(std::string* error, const std::string& text) {
    *error = text;
    return false;
}

// A whole decimal number of at most 18 digits.
bool ParseNumber(const std::string& text, uint64_t* value) {
    return tavrin::ParseDecimalDigits(text, 18, value);
}

// The value after an option that takes one; false when there is none.
bool TakeValue(const std::vector<std::string>& args, size_t* i, std::string* value) {
    if (*i + 1 == args.size() || args[*i + 1].empty()) return false;
    *value = args[++*i];
    return true;
}

// A package host for the signed configuration, held to the rule the updater reads it by.
bool AddMirror(const std::string& url, std::vector<std::string>* mirrors, std::string* error) {
    const std::string fault = tavrin::MirrorUrlFault(url);
    if (!fault.empty()) return Fail(error, "--mirror \"" + url + "\" " + fault);
    for (const std::string& given : *mirrors)
        if (given == url) return Fail(error, "--mirror \"" + url + "\" given twice");
    if (mirrors->size() == tavrin::kMaxMirrors)
        return Fail(error, "at most " + std::to_string(tavrin::kMaxMirrors) + " mirrors");
    mirrors->push_back(url);
    return true;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& args, Options* options,
                      std::string* error) {
    Options parsed;
    bool unpack = false;
    bool folder = false;
    bool outputGiven = false;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            if (arg == "-h" || arg == "--help") {
                options->mode = Options::kHelp;
                return true;
            } else if (arg == "-d" || arg == "--decompress") {
                unpack = true;
            } else if (arg == "-c" || arg == "--cfg") {
                folder = true;
            } else if (arg == "-o") {
                if (outputGiven) return Fail(error, "-o given twice");
                if (i + 1 == args.size() || args[i + 1].empty())
                    return Fail(error, "-o needs a path");
                parsed.output = args[++i];
                outputGiven = true;
            } else if (arg == "--sign" || arg == "--verify") {
                std::string* key = arg == "--sign" ? &parsed.signKey : &parsed.verifyKey;
                if (!key->empty()) return Fail(error, arg + " given twice");
                if (!TakeValue(args, &i, key)) return Fail(error, arg + " needs a key file");
            } else if (arg == "--serial" || arg == "--expires-days") {
                std::string text;
                uint64_t value = 0;
                if (!TakeValue(args, &i, &text) || !ParseNumber(text, &value))
                    return Fail(error, arg + " needs a whole number");
                if (arg == "--serial") {
                    if (value == 0) return Fail(error, "--serial starts at 1");
                    parsed.serial = value;
                } else {
                    if (value > 3650) return Fail(error, "--expires-days goes up to 3650");
                    parsed.expiresDays = static_cast<int>(value);
                }
            } else if (arg == "--mirror") {
                std::string url;
                if (!TakeValue(args, &i, &url)) return Fail(error, "--mirror needs a URL");
                if (!AddMirror(url, &parsed.mirrors, error)) return false;
            } else if (arg == "--") {
                optionsEnded = true;
            } else {
                return Fail(error, "unknown option " + arg);
            }
            continue;
        }
        if (!parsed.input.empty()) return Fail(error, "more than one input: " + arg);
        if (arg.empty()) return Fail(error, "an empty input name");
        parsed.input = arg;
    }
    if (unpack && folder) return Fail(error, "-d and --cfg exclude each other");
    const bool verify = !parsed.verifyKey.empty();
    if (verify && (unpack || folder || outputGiven || !parsed.signKey.empty()))
        return Fail(error, "--verify takes only the configuration to check");
    if (!parsed.signKey.empty() && !folder) return Fail(error, "--sign goes with --cfg");
    if (!parsed.signKey.empty() && parsed.serial == 0) return Fail(error, "--sign needs --serial");
    if (parsed.signKey.empty() && (parsed.serial != 0 || parsed.expiresDays >= 0))
        return Fail(error, "--serial and --expires-days go with --sign");
    if (parsed.signKey.empty() && !parsed.mirrors.empty())
        return Fail(error, "--mirror goes with --sign: only a signed configuration names mirrors");
    if (parsed.input.empty()) return Fail(error, "no input given");
    parsed.mode = verify   ? Options::kVerify
                  : folder ? Options::kFolder
                  : unpack ? Options::kUnpack
                           : Options::kPack;
    *options = parsed;
    return true;
}

std::string UsageText() {
    return "Usage:\n"
           "  lzfpack [-o PACKAGE] FILE        pack FILE into FILE.lzf (or PACKAGE)\n"
           "  lzfpack -d [-o FILE] FILE.lzf    restore FILE from the package FILE.lzf\n"
           "  lzfpack --cfg [-o OUTDIR] FOLDER publish FOLDER for the updater:\n"
           "      pack every file of FOLDER into OUTDIR/NAME.lzf and write OUTDIR/orbisan3.cfg\n"
           "      listing those packages in name order (OUTDIR, an existing folder, defaults\n"
           "      to FOLDER). Upload the packages to the package host and orbisan3.cfg to the\n"
           "      configuration host. Subfolders, *.lzf files and orbisan3.cfg are skipped.\n"
           "      The updater always adds Vossel.dll.lzf, Ketter.dll.lzf, Quenby3.exe.lzf,\n"
           "      Prynn.dll.lzf and Orbisan.ICO.lzf: they are packed but not listed. Package\n"
           "      names must be printable ASCII without blanks, [ % # or .lzf inside; when\n"
           "      one is not, nothing is written.\n"
           "  lzfpack --cfg --sign KEY.pem --serial N [--expires-days D] [--mirror URL]...\n"
           "          [-o OUTDIR] FOLDER\n"
           "      the same, writing the signed orbisan3.cfg the updater requires: every\n"
           "      package with its SHA-256 and size (the five above too, so FOLDER must hold\n"
           "      them), serial N (higher than any release before; the updater refuses a\n"
           "      lower one), an expiry D days from now, and an RSA-SHA256 signature made\n"
           "      with the private key KEY.pem (native build only). Each --mirror URL (at\n"
           "      most 8) names another package host, tried in the order given after the\n"
           "      updater's own: http:// or https://, a host, an optional port and a path\n"
           "      ending in \"/\" under which the packages lie, e.g.\n"
           "      https://mirror.example.net:8443/tavrin/files/\n"
           "  lzfpack --verify PUB.pem DIR/orbisan3.cfg\n"
           "      check a published folder: the signature, serial and expiry, and every\n"
           "      package's size and SHA-256.\n"
           "  lzfpack --help                   this text\n"
           "Options: -d (--decompress), -c (--cfg), -o PATH, --sign KEY, --serial N,\n"
           "--expires-days D, --mirror URL, --verify KEY, -h (--help); -- ends them.\n"
           "Outputs replace existing files only once complete. Exit codes: 0 done, 1 failed,\n"
           "2 usage error.\n";
}

}  // namespace lzfpack
