#include "tools/lzfpack/command_line.h"

namespace lzfpack {
namespace {

bool Fail(std::string* error, const std::string& text) {
    *error = text;
    return false;
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
    if (parsed.input.empty()) return Fail(error, "no input given");
    parsed.mode = folder ? Options::kFolder : unpack ? Options::kUnpack : Options::kPack;
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
           "  lzfpack --help                   this text\n"
           "Options: -d (--decompress), -c (--cfg), -o PATH, -h (--help); -- ends them.\n"
           "Outputs replace existing files only once complete. Exit codes: 0 done, 1 failed,\n"
           "2 usage error.\n";
}

}  // namespace lzfpack
