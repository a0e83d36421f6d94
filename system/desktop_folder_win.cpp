#include "system/desktop_folder_win.h"

#include <windows.h>
#include <shlobj.h>

#include "system/special_folders.h"
#include "win/code_page.h"

namespace tavrin {

std::wstring UserDesktopFolder() {
    CSpecialFolders folders;
    folders.ResolveFolders();
    // The probing's paths are in the ANSI code page; one that does not convert back names
    // another folder.
    const win::Converted<std::wstring> probed = win::ToWide(folders.GetDesktopFolder(true));
    if (probed.exact && !probed.text.empty()) return probed.text;
    wchar_t shell[MAX_PATH] = L"";
    if (::SHGetSpecialFolderPathW(nullptr, shell, CSIDL_DESKTOPDIRECTORY, FALSE) && shell[0])
        return std::wstring(shell) + L"\\";
    return std::wstring();
}

}  // namespace tavrin
