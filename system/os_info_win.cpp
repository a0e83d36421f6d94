#include <windows.h>

#include <cstring>

#include "system/os_info_win.h"

namespace tavrin {

static_assert(sizeof(OSVERSIONINFOEXA) == 156 && sizeof(OSVERSIONINFOA) == 148, "");

OsClass GetOSClass() {
    OSVERSIONINFOEXA version = {};
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
    if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) {
        // The 9x platform refuses the extended record.
        version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
        if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) return osUnknown;
    }
    return ClassifyOs(version.dwMajorVersion, version.dwMinorVersion, version.dwPlatformId);
}

bool GetCurrentUserName(char (&name)[kUserNameSize]) {
    // Into a buffer of our own, so a failed call cannot leave part of a name behind.
    char buffer[kUserNameSize] = {};
    DWORD size = kUserNameSize;
    if (!::GetUserNameA(buffer, &size)) return false;
    buffer[kUserNameSize - 1] = '\0';
    std::memcpy(name, buffer, kUserNameSize);
    return true;
}

std::string GetSystemDriveRoot() {
    char directory[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryA(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "C:\\";
    return DriveRootOf(std::string(directory, length));
}

}  // namespace tavrin
