#include "trust/decimal.h"

namespace tavrin {

bool ParseDecimalDigits(std::string_view text, size_t maxDigits, uint64_t* value) {
    // 19 digits always fit 64 bits; more could wrap.
    if (text.empty() || text.size() > maxDigits || text.size() > 19) return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    *value = v;
    return true;
}

}  // namespace tavrin
