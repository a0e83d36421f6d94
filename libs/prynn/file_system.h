// The few file operations that replacing a file safely needs. Paths are UTF-8; the platform's
// implementation (system_files.h) turns them into its own.
#pragma once

#include <memory>
#include <string>

#include "libs/prynn/byte_io.h"

namespace prynn {

class WritableFile : public ByteSink {
public:
    // Flushes the data to the disk and closes the file; false when the data may not all be
    // there. A file destroyed without Close is closed without that promise.
    virtual bool Close() = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // The file's content, or null when it is missing or cannot be opened.
    virtual std::unique_ptr<ByteSource> OpenRead(const std::string& path) = 0;
    // A new, empty file; null when the name is taken or the file cannot be made.
    virtual std::unique_ptr<WritableFile> CreateNew(const std::string& path) = 0;
    // Renames from to to in one step, replacing a file named to.
    virtual bool Replace(const std::string& from, const std::string& to) = 0;
    virtual bool Remove(const std::string& path) = 0;
};

}  // namespace prynn
