#include "framework/codepage.h"

#include <vector>

namespace fw {

std::wstring AnsiToWide(const std::string& s, UINT codePage) {
    if (s.empty()) return std::wstring();
    int n = ::MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring w(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
    return w;
}

std::string WideToAnsi(const std::wstring& w, UINT codePage) {
    if (w.empty()) return std::string();
    int n = ::WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                  nullptr, nullptr);
    if (n <= 0) return std::string();
    std::string s(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr,
                          nullptr);
    return s;
}

std::wstring Utf8ToWide(const std::string& s) { return AnsiToWide(s, CP_UTF8); }
std::string WideToUtf8(const std::wstring& w) { return WideToAnsi(w, CP_UTF8); }

BSTR AnsiToBstr(const std::string& s) {
    std::wstring w = AnsiToWide(s);
    return ::SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

std::string BstrToAnsi(BSTR s) {
    if (!s) return std::string();
    return WideToAnsi(std::wstring(s, ::SysStringLen(s)));
}

}  // namespace fw
