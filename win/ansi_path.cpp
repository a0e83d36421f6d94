#include "win/ansi_path.h"

#include <windows.h>

namespace win {
namespace {

// The 8.3 form of an existing path; empty when there is none.
std::wstring ShortForm(const std::wstring& path) {
    const DWORD size = ::GetShortPathNameW(path.c_str(), nullptr, 0);
    if (size == 0) return std::wstring();
    std::wstring result(size, L'\0');
    const DWORD length = ::GetShortPathNameW(path.c_str(), &result[0], size);
    if (length == 0 || length >= size) return std::wstring();
    result.resize(length);
    return result;
}

}  // namespace

Converted<std::string> AnsiExistingPath(const std::wstring& path) {
    Converted<std::string> ansi = FromWide(path);
    if (ansi.exact) return ansi;
    const std::wstring shortForm = ShortForm(path);
    if (shortForm.empty()) return {std::string(), false};
    return FromWide(shortForm);
}

Converted<std::string> AnsiPath(const std::wstring& path) {
    Converted<std::string> ansi = FromWide(path);
    const size_t slash = path.find_last_of(L'\\');
    if (ansi.exact || slash == std::wstring::npos) return ansi;
    const Converted<std::string> name = FromWide(path.substr(slash + 1));
    if (name.exact) {
        const Converted<std::string> folder = AnsiExistingPath(path.substr(0, slash));
        return {folder.text + "\\" + name.text, folder.exact};
    }
    // A name outside the code page: only an existing file has another one.
    return AnsiExistingPath(path);
}

}  // namespace win
