// How a transfer that ended early is tried again: up to three more times, after about 1, 2 and
// 4 seconds, each with up to half as much again at random, so that players cut off together
// do not all come back at once. Test builds (not TAVRIN_RELEASE) let the environment variable
// TAVRIN_TEST_RETRY_MS set the first delay.
#pragma once

#include <cstdint>

namespace tavrin {

constexpr int kRetries = 3;
constexpr uint32_t kRetryBaseMs = 1000;

uint32_t RetryBaseMs();

// The wait before try number `retry` (1 for the first retry); random is any 32-bit number.
uint32_t RetryDelayMs(int retry, uint32_t baseMs, uint32_t random);

}  // namespace tavrin
