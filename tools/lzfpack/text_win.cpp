#include "tools/lzfpack/text_win.h"

#include <windows.h>

namespace lzfpack {
namespace {

std::string FromWide(UINT codePage, const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int size = static_cast<int>(wide.size());
    const int length =
        ::WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string text(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, 0, wide.data(), size, &text[0], length, nullptr, nullptr);
    return text;
}

}  // namespace

std::wstring Utf8ToWide(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int size = static_cast<int>(utf8.size());
    const int length =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, &wide[0], length);
    return wide;
}

std::string WideToUtf8(const std::wstring& wide) { return FromWide(CP_UTF8, wide); }
std::string WideToAnsi(const std::wstring& wide) { return FromWide(CP_ACP, wide); }

}  // namespace lzfpack
