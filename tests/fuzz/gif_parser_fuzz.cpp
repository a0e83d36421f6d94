// libFuzzer target for the GIF block walk of the animated picture control: whatever the data,
// no read or copy leaves it (AddressSanitizer watches), counting and extraction agree, and
// every frame is a header, the frame's own bytes of the data and a trailer.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "widgets/gif_parser.h"

namespace {

void Check(bool holds) {
    if (!holds) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    tavrin::GifParser parser(data, size);
    const size_t count = parser.CountGraphicBlocks();
    Check(parser.Offset() == parser.FirstBlock());

    size_t frames = 0;
    tavrin::GifFrame frame;
    size_t previous = parser.Offset();
    while (parser.ExtractFrame(frame)) {
        ++frames;
        Check(parser.Offset() > previous && parser.Offset() <= size);
        const size_t header = parser.FirstBlock();
        Check(frame.gif.size() > header + 1 && frame.gif.size() <= header + size + 1);
        Check(std::memcmp(frame.gif.data(), data, header) == 0);
        // The frame's bytes are the last ones the walk passed over.
        const size_t body = frame.gif.size() - header - 1;
        Check(std::memcmp(frame.gif.data() + header, data + parser.Offset() - body, body) == 0);
        Check(frame.gif.back() == 0x3B);
        Check(frame.disposal <= 7);
        const auto r = tavrin::FrameRectOnScreen(frame.x, frame.y, frame.width, frame.height,
                                                 parser.Width(), parser.Height());
        Check(r.left >= 0 && r.top >= 0 && r.right <= parser.Width() &&
              r.bottom <= parser.Height() && r.left <= r.right && r.top <= r.bottom);
        previous = parser.Offset();
    }
    Check(frames == count);
    return 0;
}
