// Shell links (.lnk files) through the shell's link object, and the client's desktop link.
#pragma once

#include <windows.h>

#include <string>

namespace tavrin {

// One link's description, in UTF-16 so any folder name works whatever the ANSI code page.
struct ShortcutSpec {
    const wchar_t* pszTarget;
    const wchar_t* pszDescription;
    WORD hotkeyCode;  // 0 for none
    const wchar_t* pszIconPath;
    WORD iconIndex;
};

// The client's link: its file name and description.
extern const wchar_t* const kClientLinkFile;         // "Velmora바둑 대국실.lnk"
extern const wchar_t* const kClientLinkDescription;  // "Velmora바둑 대국실"

// Writes (or replaces) the link file linkPath. The calling thread must have initialised COM.
// Returns the HRESULT of the save or the first failing one: E_FAIL for a null shortcut, E_POINTER
// for a null path, HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE) for a path that does not fit
// 260 UTF-16 characters.
HRESULT CreateShellShortcut(const wchar_t* linkPath, const ShortcutSpec* shortcut);

// Puts the client's link on the shell's desktop folder (into installDir when the shell names
// none), with the icon installDir\iconFileName. Initialises COM around it. 1 when the link was
// saved, 0 otherwise (also when the icon path would not fit 260 characters).
int CreateClientDesktopShortcut(const std::wstring& targetPath, const std::wstring& installDir,
                                const std::wstring& iconFileName);

}  // namespace tavrin
