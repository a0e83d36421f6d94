#include "updater/install/install_files_win.h"

#include <windows.h>

#include <cstdint>
#include <cwchar>

#include "libs/prynn/system_files.h"
#include "updater/install/package_check.h"
#include "win/code_page.h"
#include "win/handles.h"
#include "win/whole_file.h"

namespace tavrin {

WinInstallFiles::WinInstallFiles() {
#ifdef TAVRIN_TEST_SETTINGS
    wchar_t text[16] = L"";
    const DWORD n = ::GetEnvironmentVariableW(L"TAVRIN_TEST_CRASH_AT_STEP", text, 16);
    if (n > 0 && n < 16) m_crashAt = std::wcstol(text, nullptr, 10);
#endif
}

void WinInstallFiles::Step() {
    if (m_crashAt >= 0 && m_step++ == m_crashAt) ::TerminateProcess(::GetCurrentProcess(), 0x7A);
}

PathKind WinInstallFiles::Kind(const std::string& path) {
    const std::wstring name = win::WidePath(path);
    if (name.empty()) return PathKind::kOther;
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::kNone
                                                                               : PathKind::kOther;
    }
    // A link would be moved aside itself, not what it points to.
    const DWORD notPlain =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    return attributes & notPlain ? PathKind::kOther : PathKind::kFile;
}

bool WinInstallFiles::Move(const std::string& from, const std::string& to) {
    Step();
    const std::wstring source = win::WidePath(from);
    const std::wstring target = win::WidePath(to);
    if (source.empty() || target.empty()) return false;
    // Written through, so a replaced file is on the disk before the next one goes.
    return ::MoveFileExW(source.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool WinInstallFiles::Remove(const std::string& path) {
    Step();
    const std::wstring name = win::WidePath(path);
    if (name.empty()) return false;
    if (::DeleteFileW(name.c_str())) return true;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

bool WinInstallFiles::Append(const std::string& path, const std::string& text) {
    Step();
    win::FileHandle file(::CreateFileW(win::WidePath(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    // On the disk before the step it allows: the journal must never say more than is true.
    return ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                       nullptr) &&
           written == text.size() && ::FlushFileBuffers(file.get());
}

bool WinInstallFiles::ReadAll(const std::string& path, size_t maxBytes, std::string* content) {
    return win::ReadWholeFile(win::WidePath(path), maxBytes, content);
}

bool WinInstallFiles::Digest(const std::string& path, FileDigest* digest) {
    prynn::SystemFiles files;
    SignedPackage measured;
    if (MeasureFile(files, path, UINT64_MAX, &measured) != PackageRefusal::kNone) return false;
    *digest = {measured.size, measured.sha256};
    return true;
}

}  // namespace tavrin
