#include "download/stall_limit.h"

#include <cstdlib>

namespace tavrin {

uint32_t StallLimitMs() {
#ifdef TAVRIN_TEST_SETTINGS
    if (const char* text = std::getenv("TAVRIN_TEST_STALL_MS")) {
        const long ms = std::strtol(text, nullptr, 10);
        if (ms > 0 && ms < static_cast<long>(kStallLimitMs)) return static_cast<uint32_t>(ms);
    }
#endif
    return kStallLimitMs;
}

}  // namespace tavrin
