#include "download/retry_policy.h"

#include <cstdlib>

namespace tavrin {

uint32_t RetryBaseMs() {
#ifdef TAVRIN_TEST_SETTINGS
    if (const char* text = std::getenv("TAVRIN_TEST_RETRY_MS")) {
        const long ms = std::strtol(text, nullptr, 10);
        if (ms >= 0 && ms < static_cast<long>(kRetryBaseMs)) return static_cast<uint32_t>(ms);
    }
#endif
    return kRetryBaseMs;
}

uint32_t RetryDelayMs(int retry, uint32_t baseMs, uint32_t random) {
    const int doublings = retry < 1 ? 0 : retry > 8 ? 7 : retry - 1;
    const uint64_t delay = static_cast<uint64_t>(baseMs) << doublings;
    const uint64_t jitter = delay / 2 + 1;
    return static_cast<uint32_t>(delay + random % jitter);
}

}  // namespace tavrin
