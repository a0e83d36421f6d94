#include "win/code_page.h"

#include <climits>

namespace win {
namespace {

bool FitsInt(size_t size) { return size <= static_cast<size_t>(INT_MAX); }

// UTF-8 and UTF-7 take no flags; elsewhere a missing character becomes the default
// character instead of a look-alike, so an inexact path never names another file.
DWORD NarrowingFlags(UINT codePage) {
    return codePage == CP_UTF8 || codePage == CP_UTF7 ? 0 : WC_NO_BEST_FIT_CHARS;
}

std::wstring Widen(std::string_view text, UINT codePage) {
    const int size = static_cast<int>(text.size());
    const int length = ::MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], length);
    return wide;
}

std::string Narrow(std::wstring_view text, UINT codePage) {
    const int size = static_cast<int>(text.size());
    const DWORD flags = NarrowingFlags(codePage);
    const int length =
        ::WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string narrow(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, flags, text.data(), size, &narrow[0], length, nullptr,
                          nullptr);
    return narrow;
}

}  // namespace

Converted<std::wstring> ToWide(std::string_view text, UINT codePage) {
    if (!FitsInt(text.size())) return {std::wstring(), false};
    std::wstring wide = Widen(text, codePage);
    const bool exact = Narrow(wide, codePage) == text;
    return {std::move(wide), exact};
}

Converted<std::string> FromWide(std::wstring_view text, UINT codePage) {
    if (!FitsInt(text.size())) return {std::string(), false};
    std::string narrow = Narrow(text, codePage);
    const bool exact = Widen(narrow, codePage) == text;
    return {std::move(narrow), exact};
}

std::wstring WidePath(std::string_view utf8) {
    Converted<std::wstring> wide = ToWide(utf8, CP_UTF8);
    return wide.exact ? std::move(wide.text) : std::wstring();
}

BSTR AnsiToBstr(std::string_view s) {
    const std::wstring w = AnsiToWide(s);
    return ::SysAllocStringLen(w.data(), static_cast<UINT>(w.size()));
}

Converted<std::string> BstrToAnsi(BSTR s) {
    if (!s) return {std::string(), true};
    return FromWide(std::wstring_view(s, ::SysStringLen(s)));
}

}  // namespace win
