// Conversions between UTF-16 and a code page: the process's ANSI code page (949 on the target
// systems), in which registry values, paths handed to the DLLs and the client's command line
// stay, or UTF-8.
//
// One rule for every conversion: its result is exact when converting the result back gives the
// input again. Otherwise something was replaced on the way (bytes not valid in the source code
// page, characters the target code page lacks, a look-alike chosen for a missing character),
// and `exact` says so. What names a file or reaches the client takes only an exact result;
// text that is only shown may take the replaced one.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <string_view>

namespace win {

template <typename Text>
struct Converted {
    Text text;
    bool exact;
};

Converted<std::wstring> ToWide(std::string_view text, UINT codePage = CP_ACP);
Converted<std::string> FromWide(std::wstring_view text, UINT codePage = CP_ACP);

// For text that is only shown or traced, where a replaced character does no harm.
inline std::wstring AnsiToWide(std::string_view s) { return ToWide(s, CP_ACP).text; }
inline std::string WideToAnsi(std::wstring_view s) { return FromWide(s, CP_ACP).text; }
inline std::wstring Utf8ToWide(std::string_view s) { return ToWide(s, CP_UTF8).text; }
inline std::string WideToUtf8(std::wstring_view s) { return FromWide(s, CP_UTF8).text; }
// A UTF-8 name in a trace line, whose text is in the ANSI code page.
inline std::string Utf8ToAnsi(std::string_view s) { return WideToAnsi(Utf8ToWide(s)); }

// A UTF-8 path (the updater's and Prynn's own) for the wide file calls; empty when it is not
// valid UTF-8, since what it converts to would name another file.
std::wstring WidePath(std::string_view utf8);

// A new BSTR holding the ANSI string; the caller frees it (nullptr when out of memory).
BSTR AnsiToBstr(std::string_view s);
// The BSTR's text in the ANSI code page (a null BSTR is the empty string).
Converted<std::string> BstrToAnsi(BSTR s);

}  // namespace win
