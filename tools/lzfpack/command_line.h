// The packer's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lzfpack {

struct Options {
    enum Mode { kPack, kUnpack, kFolder, kVerify, kHelp };
    Mode mode = kPack;
    std::string input;   // a file, the folder in kFolder, the configuration in kVerify
    std::string output;  // -o: a file, or the output folder in kFolder; empty for the default
    std::string signKey;     // --sign: the private key's PEM file (kFolder)
    uint64_t serial = 0;     // --serial
    int expiresDays = -1;    // --expires-days; -1 for a configuration that does not expire
    std::string verifyKey;   // --verify: the public key's PEM file
    std::vector<std::string> mirrors;  // --mirror, in the order given (kFolder with --sign)
};

// args without the program name. False with *error set on a usage error.
bool ParseCommandLine(const std::vector<std::string>& args, Options* options, std::string* error);

std::string UsageText();

}  // namespace lzfpack
