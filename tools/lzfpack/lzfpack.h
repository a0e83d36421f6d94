// The package maker an operator uses to publish an update: packs a file, restores one, or
// packs a folder and writes its orbisan3.cfg. The platform's main gives it the arguments
// (UTF-8) and the file system.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "libs/prynn/file_system.h"
#include "tools/lzfpack/folder_packer.h"

namespace lzfpack {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// args without the program name; returns the exit code. sign is the platform's signer (none
// where the build cannot sign).
int RunLzfpack(const std::vector<std::string>& args, prynn::FileSystem& files,
               FolderLister& lister, std::ostream& out, std::ostream& err,
               const SignFn& sign = SignFn());

}  // namespace lzfpack
