#include "widgets/gif_parser.h"

#include <algorithm>
#include <cstring>

namespace tavrin {

namespace {

constexpr size_t kHeaderSize = 13;  // signature, version, logical screen descriptor

// 3 x 2^(n+1) bytes when the table flag (bit 7) is set, n being the low three bits.
size_t ColorTable(uint8_t packed) {
    return (packed & 0x80) ? 3u * (size_t(1) << ((packed & 7) + 1)) : 0;
}

}  // namespace

GifParser::GifParser(const uint8_t* data, size_t size) : m_data(data), m_size(data ? size : 0) {
    if (m_size >= kHeaderSize && IsGif()) {
        m_width = Word(6);
        m_height = Word(8);
        m_colorTableSize = ColorTable(m_data[10]);
    }
    m_offset = FirstBlock();
}

bool GifParser::IsGif(const uint8_t* data, size_t size) {
    if (!data || size < 6 || std::memcmp(data, "GIF", 3) != 0) return false;
    return std::memcmp(data + 3, "87a", 3) == 0 || std::memcmp(data + 3, "89a", 3) == 0;
}

GifBlock GifParser::Classify(size_t at) const {
    if (at >= m_size) return GifBlock::Unknown;
    switch (m_data[at]) {
    case 0x2C: return GifBlock::Image;
    case 0x3B: return GifBlock::Trailer;
    case 0x21:
        if (at + 1 >= m_size) return GifBlock::Unknown;
        switch (m_data[at + 1]) {
        case 0xFF: return GifBlock::Application;
        case 0xFE: return GifBlock::Comment;
        case 0xF9: return GifBlock::GraphicControl;
        case 0x01: return GifBlock::PlainText;
        default: return GifBlock::Unknown;
        }
    default: return GifBlock::Unknown;
    }
}

// Sum of (size byte + 1) up to and including the zero terminator; 0 when the chain runs past
// the end of the data.
size_t GifParser::SubBlocksLength(size_t at) const {
    size_t p = at;
    for (;;) {
        if (p >= m_size) return 0;
        const size_t n = m_data[p];
        if (n >= m_size - p) return 0;  // the sub-block's bytes would run past the end
        p += n + 1;
        if (n == 0) return p - at;
    }
}

size_t GifParser::BlockLength(size_t at) const {
    if (!HeaderFits() || at >= m_size) return 0;
    size_t fixed = 0;
    bool subBlocks = true;
    switch (Classify(at)) {
    case GifBlock::Application: fixed = 14; break;
    case GifBlock::Comment: fixed = 2; break;
    case GifBlock::GraphicControl: fixed = 8; subBlocks = false; break;
    case GifBlock::PlainText: fixed = 15; break;
    case GifBlock::Image:
        // The packed byte at offset 9 must be there before the local colour table is sized.
        if (m_size - at < 10) return 0;
        fixed = 11 + ColorTable(m_data[at + 9]);
        break;
    case GifBlock::Trailer: fixed = 1; subBlocks = false; break;
    case GifBlock::Unknown: return 0;
    }
    if (fixed > m_size - at) return 0;
    if (!subBlocks) return fixed;
    const size_t chain = SubBlocksLength(at + fixed);
    return chain ? fixed + chain : 0;
}

bool GifParser::SkipBlock() {
    const size_t length = BlockLength(m_offset);
    if (length == 0) return false;
    m_offset += length;
    return true;
}

bool GifParser::SkipAside() {
    for (;;) {
        const GifBlock kind = Classify(m_offset);
        if (kind == GifBlock::Unknown || kind == GifBlock::Trailer) return false;
        if (kind != GifBlock::Application && kind != GifBlock::Comment) return true;
        if (!SkipBlock()) return false;
    }
}

bool GifParser::SkipGraphicBlock() {
    if (!HeaderFits() || !SkipAside()) return false;
    if (Classify(m_offset) == GifBlock::GraphicControl) {
        for (;;) {
            if (!SkipBlock() || !SkipAside()) return false;
            if (Classify(m_offset) != GifBlock::GraphicControl) break;
        }
    }
    return SkipBlock();  // the image descriptor or plain-text extension
}

size_t GifParser::CountGraphicBlocks() {
    Rewind();
    size_t count = 0;
    while (SkipGraphicBlock()) ++count;
    Rewind();
    return count;
}

bool GifParser::ExtractFrame(GifFrame& out) {
    if (!HeaderFits() || !SkipAside()) return false;
    GifFrame frame;
    const size_t start = m_offset;
    if (Classify(m_offset) == GifBlock::GraphicControl) {
        if (BlockLength(m_offset) == 0) return false;
        frame.delay = Word(m_offset + 4);
        frame.disposal = (m_data[m_offset + 3] >> 2) & 7;
        for (;;) {
            if (!SkipBlock() || !SkipAside()) return false;
            if (Classify(m_offset) != GifBlock::GraphicControl) break;
        }
    }
    const size_t last = m_offset;
    if (!SkipBlock()) return false;
    // Both the image descriptor and the plain-text extension place their content in the
    // logical screen: the plain-text extension through its text grid, which is its extent.
    frame.plainText = Classify(last) == GifBlock::PlainText;
    const size_t place = frame.plainText ? last + 3 : last + 1;
    frame.x = Word(place);
    frame.y = Word(place + 2);
    frame.width = Word(place + 4);
    frame.height = Word(place + 6);

    // Every length here was checked against the data, so the copy stays inside it.
    const size_t length = m_offset - start;
    frame.gif.reserve(FirstBlock() + length + 1);
    frame.gif.assign(m_data, m_data + FirstBlock());
    frame.gif.insert(frame.gif.end(), m_data + start, m_data + m_offset);
    frame.gif.push_back(0x3B);
    out = std::move(frame);
    return true;
}

GifRect FrameRectOnScreen(int x, int y, int width, int height, int screenWidth,
                          int screenHeight) {
    GifRect r;
    // In 64 bits: a 16-bit origin plus a 16-bit extent cannot overflow there.
    r.left = int(std::clamp<long long>(x, 0, std::max(screenWidth, 0)));
    r.top = int(std::clamp<long long>(y, 0, std::max(screenHeight, 0)));
    r.right = int(std::clamp<long long>(static_cast<long long>(x) + width, r.left,
                                        std::max(screenWidth, r.left)));
    r.bottom = int(std::clamp<long long>(static_cast<long long>(y) + height, r.top,
                                         std::max(screenHeight, r.top)));
    return r;
}

}  // namespace tavrin
