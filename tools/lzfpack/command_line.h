// The packer's command line.
#pragma once

#include <string>
#include <vector>

namespace lzfpack {

struct Options {
    enum Mode { kPack, kUnpack, kFolder, kHelp };
    Mode mode = kPack;
    std::string input;   // a file, or the folder in kFolder
    std::string output;  // -o: a file, or the output folder in kFolder; empty for the default
};

// args without the program name. False with *error set on a usage error.
bool ParseCommandLine(const std::vector<std::string>& args, Options* options, std::string* error);

std::string UsageText();

}  // namespace lzfpack
