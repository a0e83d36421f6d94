// Decoding or encoding one file into another without ever leaving a half-written target: the
// result goes to a new temporary file beside the target, which replaces the target only when
// it is complete and on the disk. On any failure the target is as it was and the temporary
// file is gone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "libs/prynn/file_system.h"
#include "libs/prynn/lzf_stream.h"

namespace prynn {

struct FileResult {
    enum Outcome {
        kDone,
        kSourceMissing,     // the source cannot be opened
        kNoTemporaryFile,   // no temporary file could be made beside the target
        kStreamFailed,      // reading, converting or writing failed: see stream
        kNotFlushed,        // the temporary file could not be written to the disk
        kNotReplaced,       // the target could not be replaced
    };
    Outcome outcome = kDone;
    StreamStatus stream = StreamStatus::kOk;

    bool ok() const { return outcome == kDone; }
    std::string Describe() const;
};

// The name of the n-th temporary file tried for target.
std::string TemporaryName(const std::string& target, int n);
constexpr int kTemporaryNameTries = 16;

FileResult DecodeFile(FileSystem& files, const std::string& source, const std::string& target);
FileResult EncodeFile(FileSystem& files, const std::string& source, const std::string& target);
FileResult WriteFileAtomically(FileSystem& files, const std::string& target,
                               const uint8_t* data, size_t size);

}  // namespace prynn
