// Prynn.dll: the Windows shell around the portable package decoder. The control passes paths
// in the ANSI code page; they go to UTF-16 here, so the file calls are the wide ones.
#include "libs/prynn/prynn.h"

#include <windows.h>

#include <string>

#include "libs/prynn/file_transform.h"
#include "libs/prynn/system_files.h"
#include "win/boundary.h"
#include "win/code_page.h"

namespace {

// ANSI to UTF-8 through UTF-16, the form the portable file layer takes. False for an empty
// path or one that does not convert exactly (a lead byte without its trail byte), which would
// otherwise name another file.
bool AnsiToUtf8(const char* ansi, std::string* utf8) {
    const win::Converted<std::wstring> wide = win::ToWide(ansi, CP_ACP);
    if (!wide.exact || wide.text.empty()) return false;
    win::Converted<std::string> converted = win::FromWide(wide.text, CP_UTF8);
    if (!converted.exact) return false;
    *utf8 = std::move(converted.text);
    return true;
}

}  // namespace

extern "C" int __stdcall PrynnDecompress(const char* source, const char* target) {
    // The caller knows only zero and non-zero.
    return win::Guarded("PrynnDecompress", 0, [&] {
        if (!source || !target) return 0;
        std::string sourcePath, targetPath;
        if (!AnsiToUtf8(source, &sourcePath) || !AnsiToUtf8(target, &targetPath)) return 0;
        prynn::SystemFiles files;
        return prynn::DecodeFile(files, sourcePath, targetPath).ok() ? 1 : 0;
    });
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) ::DisableThreadLibraryCalls(instance);
    return TRUE;
}
