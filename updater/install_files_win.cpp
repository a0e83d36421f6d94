#include "updater/install_files_win.h"

#include <windows.h>

namespace tavrin {

PathKind WinInstallFiles::Kind(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
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
    // Written through, so a replaced file is on the disk before the next one goes.
    return ::MoveFileExA(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool WinInstallFiles::Remove(const std::string& path) {
    if (::DeleteFileA(path.c_str())) return true;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace tavrin
