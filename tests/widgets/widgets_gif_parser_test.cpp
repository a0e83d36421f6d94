// The GIF block walk of the animated picture control: block kinds and lengths, counting,
// frame extraction, and damaged data (truncated or corrupted at every offset).
#include "widgets/gif_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace tavrin;

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, int v) {
    b.push_back(uint8_t(v & 0xFF));
    b.push_back(uint8_t((v >> 8) & 0xFF));
}

void Append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }

// Data sub-blocks holding `length` bytes (no LZW: the walk never decodes).
Bytes SubBlocks(size_t length, uint8_t fill = 0x55) {
    Bytes b;
    while (length > 0) {
        const size_t n = length > 255 ? 255 : length;
        b.push_back(uint8_t(n));
        b.insert(b.end(), n, fill);
        length -= n;
    }
    b.push_back(0);
    return b;
}

// A GIF built block by block; `ends` records where each graphic block ends.
struct Gif {
    Bytes data;
    std::vector<size_t> frameStarts, frameEnds;

    explicit Gif(int width = 40, int height = 30, int tableBits = 2, const char* version = "89a") {
        data = {'G', 'I', 'F', uint8_t(version[0]), uint8_t(version[1]), uint8_t(version[2])};
        Put16(data, width);
        Put16(data, height);
        data.push_back(tableBits ? uint8_t(0x80 | 0x70 | (tableBits - 1)) : 0x70);
        data.push_back(0);
        data.push_back(0);
        if (tableBits) data.insert(data.end(), 3u << tableBits, 0x11);
    }
    Gif& Application() {
        Bytes b = {0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                   0x03, 0x01, 0x00, 0x00, 0x00};
        Append(data, b);
        return *this;
    }
    Gif& Comment(size_t length) {
        Append(data, {0x21, 0xFE});
        Append(data, SubBlocks(length, 'c'));
        return *this;
    }
    Gif& Control(int delay, int disposal) {
        MarkStart();
        Bytes b = {0x21, 0xF9, 0x04, uint8_t(disposal << 2)};
        Put16(b, delay);
        b.push_back(0);
        b.push_back(0);
        Append(data, b);
        return *this;
    }
    Gif& Image(int x, int y, int w, int h, int localBits = 0, size_t pixels = 20) {
        MarkStart();
        data.push_back(0x2C);
        Put16(data, x);
        Put16(data, y);
        Put16(data, w);
        Put16(data, h);
        data.push_back(localBits ? uint8_t(0x80 | (localBits - 1)) : 0);
        if (localBits) data.insert(data.end(), 3u << localBits, 0x22);
        data.push_back(2);  // LZW minimum code size
        Append(data, SubBlocks(pixels));
        EndFrame();
        return *this;
    }
    Gif& PlainText(int x, int y, int w, int h) {
        MarkStart();
        Bytes b = {0x21, 0x01, 0x0C};
        Put16(b, x);
        Put16(b, y);
        Put16(b, w);
        Put16(b, h);
        Append(b, {8, 8, 1, 0});
        Append(data, b);
        Append(data, SubBlocks(5, 't'));
        EndFrame();
        return *this;
    }
    Gif& Trailer() {
        data.push_back(0x3B);
        return *this;
    }

private:
    bool m_open = false;
    void MarkStart() {
        if (!m_open) frameStarts.push_back(data.size());
        m_open = true;
    }
    void EndFrame() {
        frameEnds.push_back(data.size());
        m_open = false;
    }
};

std::vector<GifFrame> ExtractAll(const Bytes& data) {
    GifParser parser(data.data(), data.size());
    std::vector<GifFrame> frames;
    GifFrame frame;
    while (parser.ExtractFrame(frame)) frames.push_back(frame);
    return frames;
}

size_t Count(const Bytes& data) {
    GifParser parser(data.data(), data.size());
    return parser.CountGraphicBlocks();
}

// A frame as the control hands it to the picture loader: the header and global colour table
// of the data, the given bytes of the data, the trailer.
Bytes Standalone(const Bytes& data, size_t header, size_t from, size_t to) {
    Bytes b(data.begin(), data.begin() + header);
    b.insert(b.end(), data.begin() + from, data.begin() + to);
    b.push_back(0x3B);
    return b;
}

Bytes ReadResource(const char* name) {
    std::string path = __FILE__;
    path = path.substr(0, path.find_last_of("/\\")) + "/../../resources/" + name;
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(GifParser, ClassifiesBlocksByIntroducerAndLabel) {
    struct Row {
        Bytes tail;
        GifBlock kind;
    } rows[] = {
        {{0x21, 0xFF}, GifBlock::Application},
        {{0x21, 0xFE}, GifBlock::Comment},
        {{0x21, 0xF9}, GifBlock::GraphicControl},
        {{0x21, 0x01}, GifBlock::PlainText},
        {{0x21, 0x02}, GifBlock::Unknown},
        {{0x21}, GifBlock::Unknown},  // the label lies past the end
        {{0x2C}, GifBlock::Image},
        {{0x3B}, GifBlock::Trailer},
        {{0x00}, GifBlock::Unknown},
        {{}, GifBlock::Unknown},  // the end of the data
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.tail));
        Gif gif;
        Append(gif.data, row.tail);
        GifParser parser(gif.data.data(), gif.data.size());
        EXPECT_EQ(row.kind, parser.Classify(parser.FirstBlock()));
    }
}

TEST(GifParser, BlockLengthsCountSubBlocksUpToTheTerminator) {
    struct Row {
        const char* what;
        Bytes block;
        size_t length;
    } rows[] = {
        {"application", {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                         3, 1, 0, 0, 0},
         19},
        {"comment of two sub-blocks", {0x21, 0xFE, 2, 'a', 'b', 1, 'c', 0}, 8},
        {"empty comment", {0x21, 0xFE, 0}, 3},
        {"graphic control", {0x21, 0xF9, 4, 0, 0, 0, 0, 0}, 8},
        {"plain text", {0x21, 0x01, 12, 0, 0, 0, 0, 8, 0, 8, 0, 8, 8, 1, 0, 2, 'h', 'i', 0}, 19},
        {"image", {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x4C, 0x01, 0}, 15},
        {"image with local table of 2", {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x80, 1, 2, 3, 4, 5, 6,
                                         2, 1, 0x44, 0},
         20},
        {"trailer", {0x3B}, 1},
        {"unknown", {0x99, 0, 0}, 0},
        {"graphic control cut short", {0x21, 0xF9, 4, 0, 0, 0, 0}, 0},
        {"sub-block running past the end", {0x21, 0xFE, 5, 'a', 'b'}, 0},
        {"chain without terminator", {0x21, 0xFE, 1, 'a'}, 0},
        {"size byte of the terminator missing", {0x21, 0xFE}, 0},
        {"image without its packed byte", {0x2C, 0, 0, 0, 0, 1, 0, 1}, 0},
        {"local table past the end", {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x87, 1, 2, 3}, 0},
        {"application cut in its fixed part", {0x21, 0xFF, 11, 'N', 'E', 'T'}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        Gif gif;
        const size_t at = gif.data.size();
        Append(gif.data, row.block);
        GifParser parser(gif.data.data(), gif.data.size());
        EXPECT_EQ(row.length, parser.BlockLength(at));
    }
}

TEST(GifParser, ReadsTheHeader) {
    struct Row {
        const char* what;
        Bytes data;
        bool gif;
        int width, height;
        size_t table;
    } rows[] = {
        {"89a with 4 colours", Gif(145, 43, 2).data, true, 145, 43, 12},
        {"87a with 256 colours", Gif(2, 3, 8, "87a").data, true, 2, 3, 768},
        {"no global table", Gif(300, 1, 0).data, true, 300, 1, 0},
        {"other version", Gif(10, 10, 1, "88a").data, false, 0, 0, 0},
        {"PNG", {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 0, 0, 13}, false, 0, 0, 0},
        {"signature only", {'G', 'I', 'F', '8', '9'}, false, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        GifParser parser(row.data.data(), row.data.size());
        EXPECT_EQ(row.gif, parser.IsGif());
        EXPECT_EQ(row.width, parser.Width());
        EXPECT_EQ(row.height, parser.Height());
        EXPECT_EQ(row.table, parser.ColorTableSize());
        EXPECT_EQ(13 + row.table, parser.FirstBlock());
    }
}

TEST(GifParser, CountsGraphicBlocks) {
    struct Row {
        const char* what;
        Gif gif;
        size_t count;
    } rows[] = {
        {"no block", Gif().Trailer(), 0},
        {"single image", Gif().Image(0, 0, 40, 30).Trailer(), 1},
        {"single image, 87a", Gif(40, 30, 2, "87a").Image(0, 0, 40, 30).Trailer(), 1},
        {"image with control", Gif().Control(10, 1).Image(0, 0, 4, 4).Trailer(), 1},
        {"three frames", Gif().Application().Control(10, 1).Image(0, 0, 4, 4)
                             .Control(20, 2).Image(1, 1, 2, 2).Image(0, 0, 1, 1).Trailer(),
         3},
        {"extensions between blocks", Gif().Comment(3).Control(5, 1).Application().Comment(300)
                                          .Image(0, 0, 4, 4).Comment(0).Control(5, 1)
                                          .Image(0, 0, 4, 4).Trailer(),
         2},
        {"plain text counts", Gif().Image(0, 0, 4, 4).Control(1, 0).PlainText(0, 0, 16, 8)
                                  .Trailer(),
         2},
        {"no trailer", Gif().Image(0, 0, 4, 4).Image(0, 0, 4, 4), 2},
        {"extensions only", Gif().Application().Comment(4).Trailer(), 0},
        {"control without image", Gif().Image(0, 0, 4, 4).Control(1, 1).Trailer(), 1},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.count, Count(row.gif.data));
        EXPECT_EQ(row.count, ExtractAll(row.gif.data).size());
    }
}

TEST(GifParser, ExtractsEachFrameAsAStandaloneGif) {
    Gif gif(40, 30, 2);
    gif.Application().Comment(2).Control(20, 1).Comment(1).Image(0, 0, 40, 30, 1);
    gif.Control(50, 2).Control(7, 3).Application().Image(5, 6, 7, 8);  // the first control counts
    gif.Comment(4).Image(9, 10, 11, 12);                               // no control
    gif.Control(0, 3).PlainText(3, 4, 30, 9);
    gif.Trailer();
    const size_t header = 13 + 12;
    struct Expected {
        int x, y, w, h;
        uint32_t delay, disposal;
        bool plainText;
    } expected[] = {
        {0, 0, 40, 30, 20, 1, false},
        {5, 6, 7, 8, 50, 2, false},
        {9, 10, 11, 12, kGifNoDelay, 0, false},
        {3, 4, 30, 9, 0, 3, true},  // the text grid is the extent
    };
    const std::vector<GifFrame> frames = ExtractAll(gif.data);
    ASSERT_EQ(4u, frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        const Expected& e = expected[i];
        EXPECT_EQ(e.x, frames[i].x);
        EXPECT_EQ(e.y, frames[i].y);
        EXPECT_EQ(e.w, frames[i].width);
        EXPECT_EQ(e.h, frames[i].height);
        EXPECT_EQ(e.delay, frames[i].delay);
        EXPECT_EQ(e.disposal, frames[i].disposal);
        EXPECT_EQ(e.plainText, frames[i].plainText);
        // Extensions before a frame's control (or image) are not part of it; those between
        // its control and its image are, once.
        EXPECT_EQ(Standalone(gif.data, header, gif.frameStarts[i], gif.frameEnds[i]),
                  frames[i].gif);
    }
}

TEST(GifParser, GeneratedPictureHas21FramesWithItsDelaysAndDisposal) {
    const Bytes data = ReadResource("board.gif");
    ASSERT_FALSE(data.empty());
    GifParser parser(data.data(), data.size());
    ASSERT_TRUE(parser.IsGif());
    EXPECT_EQ(0, std::string(data.begin(), data.begin() + 6).compare("GIF89a"));
    EXPECT_EQ(145, parser.Width());
    EXPECT_EQ(43, parser.Height());
    EXPECT_EQ(21u, parser.CountGraphicBlocks());
    // The loop-count extension is there, although the control does not read it.
    const std::string text(data.begin(), data.end());
    const size_t loop = text.find("NETSCAPE2.0");
    ASSERT_NE(std::string::npos, loop);
    EXPECT_EQ(0x21, data[loop - 3]);
    EXPECT_EQ(0xFF, data[loop - 2]);

    const std::vector<GifFrame> frames = ExtractAll(data);
    ASSERT_EQ(21u, frames.size());
    std::vector<uint32_t> seen;
    for (size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        const GifFrame& f = frames[i];
        EXPECT_EQ(1u, f.disposal);
        EXPECT_TRUE(f.delay == 0 || f.delay == 20 || f.delay == 50) << f.delay;
        if (std::find(seen.begin(), seen.end(), f.delay) == seen.end()) seen.push_back(f.delay);
        EXPECT_FALSE(f.plainText);
        const GifRect r = FrameRectOnScreen(f.x, f.y, f.width, f.height, 145, 43);
        EXPECT_EQ(f.width, r.Width()) << "frames lie inside the picture";
        EXPECT_EQ(f.height, r.Height());
        EXPECT_EQ(0x3B, f.gif.back());
    }
    EXPECT_EQ(3u, seen.size()) << "delays of 20, 50 and 0 hundredths all occur";
    EXPECT_EQ(145, frames[0].width) << "the first frame covers the picture";
    EXPECT_EQ(43, frames[0].height);
}

// Cut after every byte: no read past the cut, and every frame that ends before it is found
// exactly as in the whole data.
TEST(GifParser, TruncatedAtEveryOffsetKeepsTheFramesBeforeTheCut) {
    Gif gif(20, 10, 1);
    gif.Application().Control(10, 1).Image(0, 0, 20, 10, 0, 30).Comment(3);
    gif.Control(20, 2).Image(2, 2, 5, 5, 1, 10).Image(1, 1, 1, 1).Trailer();
    const std::vector<GifFrame> whole = ExtractAll(gif.data);
    ASSERT_EQ(3u, whole.size());
    for (size_t cut = 0; cut <= gif.data.size(); ++cut) {
        SCOPED_TRACE(cut);
        // A heap block of exactly the cut's size, so a read past it is a read past the data.
        const Bytes part(gif.data.begin(), gif.data.begin() + cut);
        size_t complete = 0;
        while (complete < gif.frameEnds.size() && gif.frameEnds[complete] <= cut) ++complete;
        const std::vector<GifFrame> frames = ExtractAll(part);
        ASSERT_EQ(complete, frames.size());
        EXPECT_EQ(complete, Count(part));
        for (size_t i = 0; i < complete; ++i) EXPECT_EQ(whole[i].gif, frames[i].gif);
    }
}

// Each byte after the header replaced by values that matter to the walk: the frames that end
// before the damage are kept unchanged, and nothing found later runs past the data.
TEST(GifParser, CorruptedAtEveryOffsetKeepsTheFramesBeforeTheDamage) {
    Gif gif(20, 10, 1);
    gif.Control(10, 1).Image(0, 0, 20, 10, 0, 12).Comment(2);
    gif.Control(20, 3).Image(2, 2, 5, 5, 1, 6).Image(1, 1, 1, 1, 0, 3).Trailer();
    const std::vector<GifFrame> whole = ExtractAll(gif.data);
    ASSERT_EQ(3u, whole.size());
    const uint8_t values[] = {0x00, 0x01, 0x21, 0x2C, 0x3B, 0xF9, 0xFE, 0xFF};
    for (size_t at = 0; at < gif.data.size(); ++at) {
        for (uint8_t value : values) {
            if (gif.data[at] == value) continue;
            SCOPED_TRACE(testing::Message() << "offset " << at << " value " << int(value));
            Bytes damaged = gif.data;
            damaged[at] = value;
            const std::vector<GifFrame> frames = ExtractAll(damaged);
            EXPECT_EQ(Count(damaged), frames.size());
            for (const GifFrame& f : frames) EXPECT_LE(f.gif.size(), damaged.size() + 1);
            if (at < 13 + 6) continue;  // a damaged header may change the whole walk
            size_t before = 0;
            while (before < gif.frameEnds.size() && gif.frameEnds[before] <= at) ++before;
            ASSERT_GE(frames.size(), before);
            for (size_t i = 0; i < before; ++i) EXPECT_EQ(whole[i].gif, frames[i].gif);
        }
    }
}

TEST(GifParser, HeaderTooShortForItsColourTableGivesNoFrame) {
    Gif gif(20, 10, 8);  // 768 bytes of colour table
    gif.Image(0, 0, 1, 1).Image(0, 0, 1, 1).Trailer();
    const Bytes cut(gif.data.begin(), gif.data.begin() + 13 + 700);
    GifParser parser(cut.data(), cut.size());
    EXPECT_TRUE(parser.IsGif());
    EXPECT_EQ(0u, parser.CountGraphicBlocks());
    GifFrame frame;
    EXPECT_FALSE(parser.ExtractFrame(frame));
}

TEST(GifParser, FrameRectangleIsHeldToTheLogicalScreen) {
    struct Row {
        int x, y, w, h;
        GifRect r;
    } rows[] = {
        {0, 0, 145, 43, {0, 0, 145, 43}},
        {10, 5, 9, 9, {10, 5, 19, 14}},
        {140, 40, 20, 20, {140, 40, 145, 43}},
        {65535, 65535, 65535, 65535, {145, 43, 145, 43}},
        {200, 0, 5, 5, {145, 0, 145, 5}},
        {0, 0, 0, 0, {0, 0, 0, 0}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.x << "," << row.y << " " << row.w << "x" << row.h);
        const GifRect r = FrameRectOnScreen(row.x, row.y, row.w, row.h, 145, 43);
        EXPECT_EQ(row.r.left, r.left);
        EXPECT_EQ(row.r.top, r.top);
        EXPECT_EQ(row.r.right, r.right);
        EXPECT_EQ(row.r.bottom, r.bottom);
    }
}

}  // namespace
