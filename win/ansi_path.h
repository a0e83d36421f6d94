// A path for the interfaces that take it in the ANSI code page (Prynn's entry, the text of a .url
// file): the wide path itself when the code page holds it, else another name of the same file
// that the code page holds.
#pragma once

#include <string>

#include "win/code_page.h"

namespace win {

// An existing file or folder in the ANSI code page: as it is when it converts exactly, else its
// 8.3 short form when that converts exactly. Not exact when neither does (no short names on the
// volume, or a short name outside the code page): such a path is refused.
Converted<std::string> AnsiExistingPath(const std::wstring& path);

// A path whose folder (everything before its last "\") exists: as it is when it converts
// exactly, else the folder as AnsiExistingPath gives it and the name, which must convert exactly
// itself (so a file not yet made gets a path too); a name that does not is taken with the
// rest in its short form, which only an existing file has.
Converted<std::string> AnsiPath(const std::wstring& path);

}  // namespace win
