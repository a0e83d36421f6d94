#include "updater/install_files_win.h"

#include <windows.h>

#include "win/code_page.h"

namespace tavrin {
namespace {

// Empty for a path that is not valid UTF-8: it would name another file.
std::wstring Wide(const std::string& utf8) {
    win::Converted<std::wstring> wide = win::ToWide(utf8, CP_UTF8);
    return wide.exact ? std::move(wide.text) : std::wstring();
}

}  // namespace

PathKind WinInstallFiles::Kind(const std::string& path) {
    const std::wstring name = Wide(path);
    if (name.empty()) return PathKind::kOther;
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::kNone
                                                                               : PathKind::kOther;
    }
    // A link would be moved aside itself, not what it points to.
    const DWORD notPlain =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    return attributes & notPlain ? PathKind::kOther : PathKind::kFile;
}

bool WinInstallFiles::Move(const std::string& from, const std::string& to) {
    const std::wstring source = Wide(from);
    const std::wstring target = Wide(to);
    if (source.empty() || target.empty()) return false;
    // Written through, so a replaced file is on the disk before the next one goes.
    return ::MoveFileExW(source.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool WinInstallFiles::Remove(const std::string& path) {
    const std::wstring name = Wide(path);
    if (name.empty()) return false;
    if (::DeleteFileW(name.c_str())) return true;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace tavrin
