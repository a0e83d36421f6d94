// The file operations the installation, its recovery and the download platform share, on
// UTF-8 paths (as the package names in the signed configuration are). Each caller says at the
// call whether a file that is not there counts as removed.
#pragma once

#include <cstddef>
#include <string>

namespace tavrin {

// What stands at a path: nothing, a plain file, or anything else (a folder, a link, a device,
// or something that cannot be examined).
enum class PathKind { kNone, kFile, kOther };

// What a missing file means to a removal: done (it is gone, as asked) or a failure (the caller
// expected it there).
enum class IfMissing { kDone, kFailure };

class Files {
public:
    virtual ~Files() = default;
    virtual PathKind Kind(const std::string& path) = 0;
    // Renames from to to in one step, replacing a file named to; on the disk before it returns.
    virtual bool Replace(const std::string& from, const std::string& to) = 0;
    // True when the file is gone afterwards; a file that was not there is what ifMissing says.
    virtual bool Remove(const std::string& path, IfMissing ifMissing) = 0;
    // Adds text at the end of the file (made when missing) and puts it on the disk; false when
    // it may not all be there.
    virtual bool Append(const std::string& path, const std::string& text) = 0;
    // The whole file; false when it is missing, unreadable or longer than maxBytes.
    virtual bool ReadAll(const std::string& path, size_t maxBytes, std::string* content) = 0;
};

}  // namespace tavrin
