// How long a server may stay silent (no byte of the body) before the transfer ends
// with a network error: 60 seconds. Test builds (not TAVRIN_RELEASE) let the environment
// variable TAVRIN_TEST_STALL_MS shorten it, so the tests need not wait a minute.
#pragma once

#include <cstdint>

namespace tavrin {

constexpr uint32_t kStallLimitMs = 60000;

uint32_t StallLimitMs();

}  // namespace tavrin
