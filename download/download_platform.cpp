#include "download/download_platform.h"

#include <chrono>

namespace tavrin {

int64_t DownloadPlatform::NowSeconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(steady_clock::now().time_since_epoch()).count();
}

void DownloadPlatform::RunLanes(size_t count, const std::function<void(size_t lane)>& lane) {
    for (size_t i = 0; i < count; ++i) lane(i);
}

bool DownloadPlatform::IsLeadByte(unsigned char c) const { return c >= 0x81 && c <= 0xFE; }

}  // namespace tavrin
