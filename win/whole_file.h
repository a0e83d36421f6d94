// Reading a whole small file (a configuration, a journal) through the wide calls.
#pragma once

#include <cstddef>
#include <string>

namespace win {

// The whole file at path into content; false when it is missing, unreadable or longer than
// maxBytes (nothing of it is read then), or when path is empty.
bool ReadWholeFile(const std::wstring& path, size_t maxBytes, std::string* content);
// Makes or replaces the file at path with bytes; false when it cannot be made or not all of
// them were written.
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);

}  // namespace win
