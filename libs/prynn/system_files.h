// The file system of the platform the program runs on: POSIX calls natively, the wide Win32
// calls on Windows (so paths outside the ANSI code page work).
#pragma once

#include "libs/prynn/file_system.h"

namespace prynn {

class SystemFiles : public FileSystem {
public:
    std::unique_ptr<ByteSource> OpenRead(const std::string& path) override;
    std::unique_ptr<WritableFile> CreateNew(const std::string& path) override;
    bool Replace(const std::string& from, const std::string& to) override;
    bool Remove(const std::string& path) override;
};

}  // namespace prynn
