// Conversions between the process's ANSI code page (949 on the target systems), UTF-16 and
// UTF-8. Registry values and the client's command line stay in the ANSI code page; what the
// user reads goes through UTF-16.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace fw {

std::wstring AnsiToWide(const std::string& s, UINT codePage = CP_ACP);
std::string WideToAnsi(const std::wstring& s, UINT codePage = CP_ACP);
std::wstring Utf8ToWide(const std::string& s);
std::string WideToUtf8(const std::wstring& s);

// A new BSTR holding the ANSI string; the caller frees it (nullptr when out of memory).
BSTR AnsiToBstr(const std::string& s);
// The BSTR's text in the ANSI code page (a null BSTR is the empty string).
std::string BstrToAnsi(BSTR s);

}  // namespace fw
