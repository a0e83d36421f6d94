// The GIF block walk of the animated picture control, free of the windowing platform: it
// splits a GIF87a/GIF89a into one standalone GIF per frame, so the platform's picture loader
// decodes each frame, while this code never decodes LZW itself.
//
// The data may be damaged: every length is checked against the data before anything is read
// or copied, and a block whose structure breaks ends the walk there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavrin {

enum class GifBlock {
    Application,     // 0x21 0xFF
    Comment,         // 0x21 0xFE
    GraphicControl,  // 0x21 0xF9
    PlainText,       // 0x21 0x01
    Image,           // 0x2C
    Trailer,         // 0x3B
    Unknown,         // anything else, or the end of the data
};

constexpr uint32_t kGifNoDelay = 0xFFFFFFFFu;  // a frame without graphic control extension

struct GifFrame {
    std::vector<uint8_t> gif;  // header, global colour table, the frame's blocks, trailer
    int x = 0, y = 0;          // origin in the logical screen
    int width = 0, height = 0;
    uint32_t delay = kGifNoDelay;  // hundredths of a second
    uint32_t disposal = 0;
    bool plainText = false;  // the graphic block is a plain-text extension, not an image
};

class GifParser {
public:
    // The data must outlive the parser; nothing is copied until a frame is extracted.
    GifParser(const uint8_t* data, size_t size);

    // "GIF" followed by "87a" or "89a".
    static bool IsGif(const uint8_t* data, size_t size);

    bool IsGif() const { return IsGif(m_data, m_size); }
    // Logical screen size (16-bit little-endian at offsets 6 and 8); 0 when too short.
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // Bytes of the global colour table, 0 when there is none.
    size_t ColorTableSize() const { return m_colorTableSize; }
    // Where the first block starts: 13 + the global colour table.
    size_t FirstBlock() const { return 13 + m_colorTableSize; }

    size_t Offset() const { return m_offset; }
    void Rewind() { m_offset = FirstBlock(); }

    GifBlock Classify(size_t at) const;
    // Length of the block at `at`, 0 when it is unknown or runs past the end of the data.
    size_t BlockLength(size_t at) const;

    // Skips one graphic block (with the extensions before it) from the current offset. On
    // failure the offset is left where the walk broke off.
    bool SkipGraphicBlock();
    // Number of graphic blocks from the first block; leaves the offset at the first block.
    size_t CountGraphicBlocks();
    // The next frame from the current offset, as a standalone GIF.
    bool ExtractFrame(GifFrame& out);

private:
    bool HeaderFits() const { return IsGif() && m_size >= FirstBlock(); }
    size_t SubBlocksLength(size_t at) const;
    uint16_t Word(size_t at) const { return uint16_t(m_data[at] | (m_data[at + 1] << 8)); }
    // Skips application and comment extensions; true when a block of another kind follows.
    bool SkipAside();
    bool SkipBlock();

    const uint8_t* m_data;
    size_t m_size;
    int m_width = 0, m_height = 0;
    size_t m_colorTableSize = 0;
    size_t m_offset = 0;
};

// The part of a frame's rectangle that lies on the logical screen (empty when none does), so
// no drawing or buffer is sized from a damaged descriptor.
struct GifRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};
GifRect FrameRectOnScreen(int x, int y, int width, int height, int screenWidth,
                          int screenHeight);

}  // namespace tavrin
