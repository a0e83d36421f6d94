#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "libs/wexlog/wexlog.h"
#include "system/shell_link_win.h"
#include "win/boundary.h"
#include "win/code_page.h"
#include "win/handles.h"

namespace tavrin {

const wchar_t* const kClientLinkFile = L"Velmora바둑 대국실.lnk";
const wchar_t* const kClientLinkDescription = L"Velmora바둑 대국실";

HRESULT CreateShellShortcut(const wchar_t* linkPath, const ShortcutSpec* shortcut) {
    if (!shortcut) return E_FAIL;
    if (!linkPath) return E_POINTER;
    // A path longer than the 260 characters the save takes fails here, before any object exists.
    if (std::wstring(linkPath).size() >= MAX_PATH)
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);

    win::ComPtr<IShellLinkW> link;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    link.receiveVoid());
    if (FAILED(hr)) return hr;
    // The link keeps whatever of these the object takes; a missing part is no reason to write no
    // link, so their results are not checked.
    link->SetPath(shortcut->pszTarget ? shortcut->pszTarget : L"");
    link->SetDescription(shortcut->pszDescription ? shortcut->pszDescription : L"");
    link->SetHotkey(shortcut->hotkeyCode);
    link->SetIconLocation(shortcut->pszIconPath ? shortcut->pszIconPath : L"", shortcut->iconIndex);

    win::ComPtr<IPersistFile> file;
    hr = link.as(file);
    if (FAILED(hr)) return hr;
    return file->Save(linkPath, TRUE);
}

int CreateClientDesktopShortcut(const std::wstring& targetPath, const std::wstring& installDir,
                                const std::wstring& iconFileName) {
    // Nothing leaves for the dialog's handler: a failure is 0.
    return win::Guarded("CreateClientDesktopShortcut", 0, [&] {
        const std::wstring iconPath = installDir + L"\\" + iconFileName;
        // The icon location is a 260-character field.
        if (iconPath.size() >= MAX_PATH) return 0;
        ShortcutSpec shortcut = {targetPath.c_str(), kClientLinkDescription, 0, iconPath.c_str(),
                                 0};
        WexlogTrace("ss.pszTarget : %s", win::WideToAnsi(targetPath).c_str());
        WexlogTrace("szIconPath: %s", win::WideToAnsi(iconPath).c_str());

        // The desktop as the shell knows it, redirected or not; probing guesses at folder
        // names, which only the Internet shortcut goes by.
        wchar_t desktop[MAX_PATH] = L"";
        std::wstring linkPath;
        if (::SHGetSpecialFolderPathW(::GetDesktopWindow(), desktop, CSIDL_DESKTOPDIRECTORY,
                                      FALSE)) {
            WexlogTrace("Desktop found");
            linkPath = std::wstring(desktop) + L"\\" + kClientLinkFile;
        } else {
            WexlogTrace("Desktop not found");
            linkPath = installDir + L"\\" + kClientLinkFile;
        }
        // CoInit pairs CoUninitialize with a successful CoInitialize only; on a thread already in
        // another apartment the link object works all the same.
        win::CoInit com;
        return SUCCEEDED(CreateShellShortcut(linkPath.c_str(), &shortcut)) ? 1 : 0;
    });
}

}  // namespace tavrin
