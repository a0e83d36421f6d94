#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "libs/wexlog/wexlog.h"
#include "system/desktop_folder_win.h"
#include "system/shell_link_win.h"
#include "win/boundary.h"
#include "win/code_page.h"
#include "win/handles.h"

namespace tavrin {

const char* const kClientLinkFileUtf8 = "Velmora바둑 대국실.lnk";
const char* const kClientLinkDescriptionUtf8 = "Velmora바둑 대국실";

HRESULT CreateShellShortcut(const char* linkPath, const ShortcutSpec* shortcut) {
    if (!shortcut) return E_FAIL;
    if (!linkPath) return E_POINTER;
    // A path longer than the 260 characters the save takes fails here, before any object
    // exists; so does one that would name another file.
    const win::Converted<std::wstring> widePath = win::ToWide(linkPath);
    if (!widePath.exact) return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
    if (widePath.text.size() >= MAX_PATH) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);

    win::ComPtr<IShellLinkA> link;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IShellLinkA, link.receiveVoid());
    if (FAILED(hr)) return hr;
    // The link keeps whatever of these the object takes; a missing part is no reason to write no
    // link, so their results are not checked.
    link->SetPath(shortcut->pszTarget ? shortcut->pszTarget : "");
    link->SetDescription(shortcut->pszDescription ? shortcut->pszDescription : "");
    link->SetHotkey(shortcut->hotkeyCode);
    link->SetIconLocation(shortcut->pszIconPath ? shortcut->pszIconPath : "", shortcut->iconIndex);

    win::ComPtr<IPersistFile> file;
    hr = link.as(file);
    if (FAILED(hr)) return hr;
    return file->Save(widePath.text.c_str(), TRUE);
}

int CreateClientDesktopShortcut(const char* targetPath, const char* installDir,
                                const char* iconFileName) {
    if (!targetPath || !installDir || !iconFileName) return 0;
    // Nothing leaves for the dialog's handler: a failure is 0.
    return win::Guarded("CreateClientDesktopShortcut", 0, [&] {
        const std::string description = win::WideToAnsi(win::Utf8ToWide(kClientLinkDescriptionUtf8));
        const std::string linkName = win::WideToAnsi(win::Utf8ToWide(kClientLinkFileUtf8));
        const std::string iconPath = std::string(installDir) + "\\" + iconFileName;
        // The icon location is a 260-byte field.
        if (iconPath.size() >= MAX_PATH) return 0;
        ShortcutSpec shortcut = {targetPath, description.c_str(), 0, iconPath.c_str(), 0};
        WexlogTrace("ss.pszTarget : %s", targetPath);
        WexlogTrace("szIconPath: %s", iconPath.c_str());

        // The desktop the Internet shortcut goes to, too.
        const std::string desktop = UserDesktopFolder();
        std::string linkPath;
        if (!desktop.empty()) {
            WexlogTrace("Desktop found");
            linkPath = desktop + linkName;
        } else {
            WexlogTrace("Desktop not found");
            linkPath = std::string(installDir) + "\\" + linkName;
        }
        // CoInit pairs CoUninitialize with a successful CoInitialize only; on a thread already in
        // another apartment the link object works all the same.
        win::CoInit com;
        return SUCCEEDED(CreateShellShortcut(linkPath.c_str(), &shortcut)) ? 1 : 0;
    });
}

}  // namespace tavrin
