// Data shared by the codec's native tests: byte vectors and an xorshift generator, so a seed
// always gives the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace prynn_test {

using Bytes = std::vector<uint8_t>;

inline uint32_t Next(uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// Bytes that do not compress.
inline Bytes Random(size_t size, uint32_t seed) {
    Bytes b(size);
    for (auto& x : b) x = static_cast<uint8_t>(Next(seed) >> 24);
    return b;
}

}  // namespace prynn_test
