// The one reader of decimal numbers in text that comes from outside: a configuration, a
// journal, a command line, a web address, the system's counter names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tavrin {

// True when text is 1 to maxDigits decimal digits and nothing else (leading zeros allowed);
// maxDigits is at most 19, so the value always fits. value is left alone on false.
bool ParseDecimalDigits(std::string_view text, size_t maxDigits, uint64_t* value);

}  // namespace tavrin
