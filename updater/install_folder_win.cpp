#include "updater/install_folder_win.h"

#include <windows.h>


namespace tavrin {
namespace {

constexpr const wchar_t* kInstallFolder = L"Program Files\\Velmora바둑";
// One name for every session: the folder is the machine's.
constexpr const wchar_t* kLockName = L"Global\\TavrinInstallFolder";
constexpr const wchar_t* kSessionLockName = L"Local\\TavrinInstallFolder";

}  // namespace

std::wstring InstallFolderPath() {
    wchar_t windows[1024] = L"";
    const UINT n = ::GetWindowsDirectoryW(windows, 1024);
    if (n < 3 || n >= 1024) return std::wstring();
    return std::wstring(windows, 3) + kInstallFolder;
}

InstallLock::InstallLock(unsigned long waitMs) {
    m_mutex.attach(::CreateMutexW(nullptr, FALSE, kLockName));
    if (!m_mutex) m_mutex.attach(::CreateMutexW(nullptr, FALSE, kSessionLockName));
    if (!m_mutex) return;
    // An owner that died mid-installation leaves the mutex abandoned: that is what a journal
    // is for, and the lock is ours.
    const DWORD waited = ::WaitForSingleObject(m_mutex.get(), waitMs);
    m_held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

InstallLock::~InstallLock() {
    if (m_held) ::ReleaseMutex(m_mutex.get());
}

}  // namespace tavrin
