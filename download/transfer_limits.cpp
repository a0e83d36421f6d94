#include "download/transfer_limits.h"

#include <cstdlib>

#include "download/stall_limit.h"

namespace tavrin {

namespace {

// Whole seconds, rounded up: the engine's clock counts seconds.
int64_t Seconds(uint32_t ms) { return (static_cast<int64_t>(ms) + 999) / 1000; }

#ifdef TAVRIN_TEST_SETTINGS
// A shorter bound from the environment; longer ones are not taken.
void Shorten(const char* name, int64_t& seconds) {
    const char* text = std::getenv(name);
    if (!text) return;
    const long ms = std::strtol(text, nullptr, 10);
    if (ms > 0 && ms < seconds * 1000) seconds = Seconds(static_cast<uint32_t>(ms));
}
#endif

}  // namespace

TransferLimits DefaultTransferLimits() {
    TransferLimits limits;
    limits.silenceSeconds = Seconds(StallLimitMs());
#ifdef TAVRIN_TEST_SETTINGS
    Shorten("TAVRIN_TEST_HEADERS_MS", limits.headersSeconds);
    Shorten("TAVRIN_TEST_VISIT_MS", limits.visitSeconds);
#endif
    return limits;
}

}  // namespace tavrin
