// Room on the disk, checked before a step writes anything: the downloads against the signed
// sizes, the installation against what the packages' headers say they decode to.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

// Kept free beyond what a step writes: the file system's own bookkeeping and whatever else
// writes meanwhile.
constexpr uint64_t kSpaceMargin = 16ull << 20;

// What a step that writes `bytes` needs free. Saturates rather than wrapping.
uint64_t SpaceNeeded(uint64_t bytes);

// Sizes as the player reads them: whole megabytes, rounded up ("135 MB").
std::string MegabytesText(uint64_t bytes);

// A sum of sizes that saturates: signed sizes are each below 2^64, not their sum.
uint64_t AddSizes(uint64_t a, uint64_t b);

}  // namespace tavrin
