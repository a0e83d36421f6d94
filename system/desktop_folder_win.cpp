#include "system/desktop_folder_win.h"

#include <windows.h>
#include <shlobj.h>

#include "system/special_folders.h"

namespace tavrin {

std::string UserDesktopFolder() {
    CSpecialFolders folders;
    folders.ResolveFolders();
    std::string desktop = folders.GetDesktopFolder(true);
    if (!desktop.empty()) return desktop;
    char shell[MAX_PATH] = "";
    if (::SHGetSpecialFolderPathA(nullptr, shell, CSIDL_DESKTOPDIRECTORY, FALSE) && shell[0])
        return std::string(shell) + "\\";
    return std::string();
}

}  // namespace tavrin
