// The system's operations for the desktop-folder probing.
#include <windows.h>

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
    // Korean Windows' own folder name, in the ANSI code page like the other paths.
    std::string DesktopFolderName() override {
        return win::WideToAnsi(L"바탕 화면");
    }
};

}  // namespace

void CSpecialFolders::ResolveFolders() {
    SystemFolderOps ops;
    ResolveFolders(ops);
}

}  // namespace tavrin
