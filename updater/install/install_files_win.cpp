#include "updater/install/install_files_win.h"

#include <windows.h>

#include <cstdint>
#include <cwchar>

#include "libs/prynn/system_files.h"
#include "updater/install/package_check.h"

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

PathKind WinInstallFiles::Kind(const std::string& path) { return m_files.Kind(path); }

bool WinInstallFiles::Replace(const std::string& from, const std::string& to) {
    Step();
    return m_files.Replace(from, to);
}

bool WinInstallFiles::Remove(const std::string& path, IfMissing ifMissing) {
    Step();
    return m_files.Remove(path, ifMissing);
}

bool WinInstallFiles::Append(const std::string& path, const std::string& text) {
    Step();
    return m_files.Append(path, text);
}

bool WinInstallFiles::ReadAll(const std::string& path, size_t maxBytes, std::string* content) {
    return m_files.ReadAll(path, maxBytes, content);
}

bool WinInstallFiles::Digest(const std::string& path, FileDigest* digest) {
    prynn::SystemFiles files;
    SignedPackage measured;
    if (MeasureFile(files, path, UINT64_MAX, &measured) != PackageRefusal::kNone) return false;
    *digest = {measured.size, measured.sha256};
    return true;
}

}  // namespace tavrin
