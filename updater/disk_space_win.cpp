#include "updater/disk_space_win.h"

#include <windows.h>

#include <cwchar>

namespace tavrin {

bool FreeBytesAt(const std::wstring& folder, uint64_t* freeBytes) {
#ifdef TAVRIN_TEST_SETTINGS
    // Tests cannot fill a disk: they say how many megabytes it has left.
    wchar_t text[24] = L"";
    const DWORD n = ::GetEnvironmentVariableW(L"TAVRIN_TEST_FREE_MB", text, 24);
    if (n > 0 && n < 24) {
        *freeBytes = static_cast<uint64_t>(std::wcstoull(text, nullptr, 10)) << 20;
        return true;
    }
#endif
    // What this user may use, quotas included.
    ULARGE_INTEGER available = {};
    if (!::GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return false;
    *freeBytes = available.QuadPart;
    return true;
}

}  // namespace tavrin
