#include "updater/install/install_folder_win.h"

#include <windows.h>

#include "updater/install/install_journal.h"
#include "win/code_page.h"

namespace tavrin {
namespace {

constexpr const wchar_t* kInstallFolder = L"Program Files\\Velmora바둑";
// One name for every session where the system lets it be made; the lock file decides anyway.
constexpr const wchar_t* kLockName = L"Global\\TavrinInstallFolder";
constexpr const wchar_t* kSessionLockName = L"Local\\TavrinInstallFolder";
constexpr DWORD kRetryMs = 100;

// One try at the lock file, while the mutex (when there is one) is held.
win::FileHandle OpenLockFile(const std::wstring& path) {
    win::Handle mutex(::CreateMutexW(nullptr, FALSE, kLockName));
    if (!mutex) mutex.attach(::CreateMutexW(nullptr, FALSE, kSessionLockName));
    // An owner that died leaves the mutex abandoned: the file tells whether it still works.
    const DWORD waited = mutex ? ::WaitForSingleObject(mutex.get(), 5000) : WAIT_FAILED;
    const bool owned = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    win::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE,
                                       nullptr));
    if (owned) ::ReleaseMutex(mutex.get());
    return file;
}

}  // namespace

std::wstring InstallFolderPath() {
    wchar_t windows[1024] = L"";
    const UINT n = ::GetWindowsDirectoryW(windows, 1024);
    if (n < 3 || n >= 1024) return std::wstring();
    return std::wstring(windows, 3) + kInstallFolder;
}

InstallLock::InstallLock(unsigned long waitMs) {
    const std::wstring folder = InstallFolderPath();
    if (folder.empty()) return;
    const std::wstring path = folder + L"\\" + win::Utf8ToWide(kInstallLockName);
    const DWORD start = ::GetTickCount();
    for (;;) {
        m_file = OpenLockFile(path);
        if (m_file || ::GetTickCount() - start >= waitMs) return;
        ::Sleep(kRetryMs);
    }
}

}  // namespace tavrin
