// UTF-8, UTF-16 and the ANSI code page, for the packer's Windows side.
#pragma once

#include <string>

namespace lzfpack {

std::wstring Utf8ToWide(const std::string& utf8);  // empty when invalid
std::string WideToUtf8(const std::wstring& wide);
std::string WideToAnsi(const std::wstring& wide);   // unmappable characters become "?"

}  // namespace lzfpack
