#include "download/lane_count.h"

#include <algorithm>
#include <cstdlib>

#include "download/http_downloader.h"

namespace tavrin {

size_t UpdaterLanes(size_t serverCap) {
    size_t lanes = serverCap ? std::min(kMaxLanes, serverCap) : kMaxLanes;
#ifdef TAVRIN_TEST_SETTINGS
    if (const char* text = std::getenv("TAVRIN_TEST_LANES")) {
        const long wanted = std::strtol(text, nullptr, 10);
        if (wanted > 0) lanes = std::min(kMaxLanes, static_cast<size_t>(wanted));
    }
#endif
    return lanes;
}

}  // namespace tavrin
