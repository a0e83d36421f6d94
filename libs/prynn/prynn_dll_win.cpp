// Prynn.dll: the Windows shell around the portable package decoder. The entry takes its paths in
// the ANSI code page, fixed by its callers; each is converted from it once, exactly, here. The
// portable decoder then carries it as UTF-8, which its file layer turns into the same UTF-16
// for the wide file calls, without loss.
#include "libs/prynn/prynn.h"

#include <windows.h>

#include <string>

#include "libs/prynn/file_transform.h"
#include "libs/prynn/system_files.h"
#include "win/boundary.h"
#include "win/code_page.h"

namespace {

// False for an empty path or one that does not convert exactly from the ANSI code page (a lead
// byte without its trail byte), which would otherwise name another file.
bool FromAnsiPath(const char* ansi, std::string* utf8) {
    const win::Converted<std::wstring> wide = win::ToWide(ansi, CP_ACP);
    if (!wide.exact || wide.text.empty()) return false;
    *utf8 = win::WideToUtf8(wide.text);
    return true;
}

}  // namespace

extern "C" int __stdcall PrynnDecompress(const char* source, const char* target) {
    // The caller knows only zero and non-zero.
    return win::Guarded("PrynnDecompress", 0, [&] {
        if (!source || !target) return 0;
        std::string sourcePath, targetPath;
        if (!FromAnsiPath(source, &sourcePath) || !FromAnsiPath(target, &targetPath)) return 0;
        prynn::SystemFiles files;
        return prynn::DecodeFile(files, sourcePath, targetPath).ok() ? 1 : 0;
    });
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
    return TRUE;
}
