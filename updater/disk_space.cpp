#include "updater/disk_space.h"

#include <limits>

namespace tavrin {

uint64_t AddSizes(uint64_t a, uint64_t b) {
    return a > std::numeric_limits<uint64_t>::max() - b ? std::numeric_limits<uint64_t>::max()
                                                        : a + b;
}

uint64_t SpaceNeeded(uint64_t bytes) { return AddSizes(bytes, kSpaceMargin); }

std::string MegabytesText(uint64_t bytes) {
    const uint64_t mb = bytes / (1ull << 20) + (bytes % (1ull << 20) != 0 ? 1 : 0);
    return std::to_string(mb) + " MB";
}

}  // namespace tavrin
