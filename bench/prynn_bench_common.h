// What the native and the 32-bit benchmark of the package decoder share: timing and the
// checksum of the content.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace prynn_bench {

// FNV-1a, 64 bits: enough to tell the 32-bit run that it decoded the right content.
inline uint64_t Checksum(const uint8_t* data, size_t size) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 0x100000001b3ull;
    return hash;
}

// The seconds one call of run takes, or -1 when it reports failure.
template <typename Run>
double TimeSeconds(Run run) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = run();
    const auto end = std::chrono::steady_clock::now();
    return ok ? std::chrono::duration<double>(end - start).count() : -1;
}

}  // namespace prynn_bench
