// The system's operations for the desktop-folder probing.
#include <windows.h>

#include <string>

#include "system/os_info_win.h"
#include "system/special_folders.h"
#include "win/code_page.h"

namespace tavrin {

namespace {

class SystemFolderOps : public FolderOps {
public:
    OsClass GetOSClass() override { return tavrin::GetOSClass(); }
    std::string GetSystemDriveRoot() override { return tavrin::GetSystemDriveRoot(); }
    bool GetCurrentUserName(std::string& name) override {
        char buffer[kUserNameSize];
        if (!tavrin::GetCurrentUserName(buffer)) return false;
        name = buffer;
        return true;
    }
    bool EnterFolder(const std::string& path) override {
        return ::SetCurrentDirectoryA(path.c_str()) != FALSE;
    }
    // Korean Windows' own folder name, in the ANSI code page like the other paths. A code page
    // without Hangul would turn it into question marks, naming no folder.
    std::string DesktopFolderName() override {
        const win::Converted<std::string> name = win::FromWide(L"바탕 화면");
        return name.exact ? name.text : std::string();
    }
};

// Puts the process's current directory back when it goes: it is part of the DLL search path of
// the browser we run in, and the probing enters folders to see whether they exist. Wide, so a
// folder the ANSI code page cannot name comes back as well.
class KeepCurrentDirectory {
public:
    KeepCurrentDirectory() {
        const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
        if (size == 0) return;
        m_saved.resize(size);
        const DWORD length = ::GetCurrentDirectoryW(size, &m_saved[0]);
        m_saved.resize(length < size ? length : 0);
    }
    ~KeepCurrentDirectory() {
        // Nothing better to do if it has gone meanwhile: the probe's folder then stays.
        if (!m_saved.empty()) ::SetCurrentDirectoryW(m_saved.c_str());
    }
    KeepCurrentDirectory(const KeepCurrentDirectory&) = delete;
    KeepCurrentDirectory& operator=(const KeepCurrentDirectory&) = delete;

private:
    std::wstring m_saved;
};

}  // namespace

void CSpecialFolders::ResolveFolders() {
    KeepCurrentDirectory keep;
    SystemFolderOps ops;
    ResolveFolders(ops);
}

}  // namespace tavrin
