#include "download/download_platform.h"

#include <chrono>

namespace tavrin {

int64_t DownloadPlatform::NowSeconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(steady_clock::now().time_since_epoch()).count();
}

bool DownloadPlatform::IsLeadByte(unsigned char c) const { return c >= 0x81 && c <= 0xFE; }

}  // namespace tavrin
