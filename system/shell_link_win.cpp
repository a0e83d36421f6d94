#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "framework/boundary.h"
#include "framework/codepage.h"
#include "framework/handles.h"
#include "libs/wexlog/wexlog.h"
#include "system/shell_link_win.h"

namespace tavrin {

const char* const kClientLinkFileUtf8 = "Velmora바둑 대국실.lnk";
const char* const kClientLinkDescriptionUtf8 = "Velmora바둑 대국실";

HRESULT CreateShellShortcut(const char* linkPath, const ShortcutSpec* shortcut) {
    if (!shortcut) return E_FAIL;
    if (!linkPath) return E_POINTER;
    // A path longer than the 260 characters the save takes fails here, before any object exists.
    wchar_t widePath[MAX_PATH];
    if (::MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, linkPath, -1, widePath, MAX_PATH) == 0)
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);

    fw::ComPtr<IShellLinkA> link;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IShellLinkA, link.receiveVoid());
    if (FAILED(hr)) return hr;
    // The link keeps whatever of these the object takes; a missing part is no reason to write no
    // link, so their results are not checked.
    link->SetPath(shortcut->pszTarget ? shortcut->pszTarget : "");
    link->SetDescription(shortcut->pszDescription ? shortcut->pszDescription : "");
    link->SetHotkey(shortcut->hotkeyCode);
    link->SetIconLocation(shortcut->pszIconPath ? shortcut->pszIconPath : "", shortcut->iconIndex);

    fw::ComPtr<IPersistFile> file;
    hr = link.as(file);
    if (FAILED(hr)) return hr;
    return file->Save(widePath, TRUE);
}

int CreateClientDesktopShortcut(const char* targetPath, const char* installDir,
                                const char* iconFileName) {
    if (!targetPath || !installDir || !iconFileName) return 0;
    // Nothing leaves for the dialog's handler: a failure is 0.
    return fw::Guarded("CreateClientDesktopShortcut", 0, [&] {
        const std::string description = fw::WideToAnsi(fw::Utf8ToWide(kClientLinkDescriptionUtf8));
        const std::string linkName = fw::WideToAnsi(fw::Utf8ToWide(kClientLinkFileUtf8));
        const std::string iconPath = std::string(installDir) + "\\" + iconFileName;
        // The icon location is a 260-byte field.
        if (iconPath.size() >= MAX_PATH) return 0;
        ShortcutSpec shortcut = {targetPath, description.c_str(), 0, iconPath.c_str(), 0};
        WexlogTrace("ss.pszTarget : %s", targetPath);
        WexlogTrace("szIconPath: %s", iconPath.c_str());

        char desktop[MAX_PATH] = {};
        std::string linkPath;
        if (::SHGetSpecialFolderPathA(::GetDesktopWindow(), desktop, CSIDL_DESKTOPDIRECTORY,
                                      FALSE)) {
            WexlogTrace("Desktop found");
            linkPath = std::string(desktop) + "\\" + linkName;
        } else {
            WexlogTrace("Desktop not found");
            linkPath = std::string(installDir) + "\\" + linkName;
        }
        // CoInit pairs CoUninitialize with a successful CoInitialize only; on a thread already in
        // another apartment the link object works all the same.
        fw::CoInit com;
        return SUCCEEDED(CreateShellShortcut(linkPath.c_str(), &shortcut)) ? 1 : 0;
    });
}

}  // namespace tavrin
