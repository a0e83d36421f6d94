// The one Windows implementation of the shared file operations: the UTF-8 paths through the
// wide calls, so the Korean install folder works whatever the ANSI code page. A path that is
// not valid UTF-8 names no file: every operation on it fails.
#pragma once

#include "system/files.h"

namespace tavrin {

class WinFiles : public Files {
public:
    PathKind Kind(const std::string& path) override;
    bool Replace(const std::string& from, const std::string& to) override;
    bool Remove(const std::string& path, IfMissing ifMissing) override;
    bool Append(const std::string& path, const std::string& text) override;
    bool ReadAll(const std::string& path, size_t maxBytes, std::string* content) override;
};

// The same two operations for callers that hold no Files (Prynn's own file system).
bool ReplaceFile(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path, IfMissing ifMissing);

}  // namespace tavrin
