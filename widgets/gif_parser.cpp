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

GifParser::GifParser(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {
    if (size_ >= kHeaderSize && IsGif()) {
        width_ = Word(6);
        height_ = Word(8);
        colorTableSize_ = ColorTable(data_[10]);
    }
    offset_ = FirstBlock();
}

bool GifParser::IsGif(const uint8_t* data, size_t size) {
    if (!data || size < 6 || std::memcmp(data, "GIF", 3) != 0) return false;
    return std::memcmp(data + 3, "87a", 3) == 0 || std::memcmp(data + 3, "89a", 3) == 0;
}

GifBlock GifParser::Classify(size_t at) const {
    if (at >= size_) return GifBlock::Unknown;
    switch (data_[at]) {
    case 0x2C: return GifBlock::Image;
    case 0x3B: return GifBlock::Trailer;
    case 0x21:
        if (at + 1 >= size_) return GifBlock::Unknown;
        switch (data_[at + 1]) {
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
        if (p >= size_) return 0;
        const size_t n = data_[p];
        if (n >= size_ - p) return 0;  // the sub-block's bytes would run past the end
        p += n + 1;
        if (n == 0) return p - at;
    }
}

size_t GifParser::BlockLength(size_t at) const {
    if (!HeaderFits() || at >= size_) return 0;
    size_t fixed = 0;
    bool subBlocks = true;
    switch (Classify(at)) {
    case GifBlock::Application: fixed = 14; break;
    case GifBlock::Comment: fixed = 2; break;
    case GifBlock::GraphicControl: fixed = 8; subBlocks = false; break;
    case GifBlock::PlainText: fixed = 15; break;
    case GifBlock::Image:
        // The packed byte at offset 9 must be there before the local colour table is sized.
        if (size_ - at < 10) return 0;
        fixed = 11 + ColorTable(data_[at + 9]);
        break;
    case GifBlock::Trailer: fixed = 1; subBlocks = false; break;
    case GifBlock::Unknown: return 0;
    }
    if (fixed > size_ - at) return 0;
    if (!subBlocks) return fixed;
    const size_t chain = SubBlocksLength(at + fixed);
    return chain ? fixed + chain : 0;
}

bool GifParser::SkipBlock() {
    const size_t length = BlockLength(offset_);
    if (length == 0) return false;
    offset_ += length;
    return true;
}

bool GifParser::SkipAside() {
    for (;;) {
        const GifBlock kind = Classify(offset_);
        if (kind == GifBlock::Unknown || kind == GifBlock::Trailer) return false;
        if (kind != GifBlock::Application && kind != GifBlock::Comment) return true;
        if (!SkipBlock()) return false;
    }
}

bool GifParser::SkipGraphicBlock() {
    if (!HeaderFits() || !SkipAside()) return false;
    if (Classify(offset_) == GifBlock::GraphicControl) {
        for (;;) {
            if (!SkipBlock() || !SkipAside()) return false;
            if (Classify(offset_) != GifBlock::GraphicControl) break;
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
    const size_t start = offset_;
    if (Classify(offset_) == GifBlock::GraphicControl) {
        if (BlockLength(offset_) == 0) return false;
        frame.delay = Word(offset_ + 4);
        frame.disposal = (data_[offset_ + 3] >> 2) & 7;
        for (;;) {
            if (!SkipBlock() || !SkipAside()) return false;
            if (Classify(offset_) != GifBlock::GraphicControl) break;
        }
    }
    const size_t last = offset_;
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
    const size_t length = offset_ - start;
    frame.gif.reserve(FirstBlock() + length + 1);
    frame.gif.assign(data_, data_ + FirstBlock());
    frame.gif.insert(frame.gif.end(), data_ + start, data_ + offset_);
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
