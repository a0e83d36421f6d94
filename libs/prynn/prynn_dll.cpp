// Prynn.dll: the Windows shell around the portable package decoder. The control passes paths
// in the ANSI code page; they go to UTF-16 here, so the file calls are the wide ones.
#include "libs/prynn/prynn.h"

#include <windows.h>

#include <string>

#include "framework/boundary.h"
#include "libs/prynn/file_transform.h"
#include "libs/prynn/system_files.h"

namespace {

// ANSI to UTF-8 through UTF-16, the form the portable file layer takes. False for an empty
// path or one that is not valid in the code page (a lead byte without its trail byte), which
// would otherwise name another file.
bool AnsiToUtf8(const char* ansi, std::string* utf8) {
    const int wideLength =
        ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi, -1, nullptr, 0);
    if (wideLength <= 1) return false;
    std::wstring wide(static_cast<size_t>(wideLength), L'\0');
    if (::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi, -1, &wide[0], wideLength) !=
        wideLength)
        return false;
    const int length =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) return false;
    utf8->assign(static_cast<size_t>(length), '\0');
    if (::WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &(*utf8)[0], length, nullptr,
                              nullptr) != length)
        return false;
    utf8->resize(static_cast<size_t>(length) - 1);
    return true;
}

}  // namespace

extern "C" int __stdcall PrynnDecompress(const char* source, const char* target) {
    // The caller knows only zero and non-zero.
    return fw::Guarded("PrynnDecompress", 0, [&] {
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
