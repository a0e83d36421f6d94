#include "updater/disk_space_win.h"

#include <windows.h>

#include <cwchar>

#include "libs/wexlog/wexlog.h"
#include "updater/disk_space.h"
#include "win/code_page.h"

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

bool EnoughSpaceAt(const std::wstring& folder, uint64_t bytes, std::string& needed) {
    uint64_t freeBytes = 0;
    if (!FreeBytesAt(folder, &freeBytes)) return true;
    const uint64_t wanted = SpaceNeeded(bytes);
    WexlogTrace("EnoughSpaceAt - %s bytes needed in %s, %s free", std::to_string(wanted).c_str(),
                win::WideToAnsi(folder).c_str(), std::to_string(freeBytes).c_str());
    if (freeBytes >= wanted) return true;
    needed = MegabytesText(wanted);
    return false;
}

}  // namespace tavrin
