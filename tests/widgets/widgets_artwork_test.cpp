// The generated clip resources/bowl.avi, read as the animation control reads it: one video
// stream and no sound, RLE8, 31 frames of 272 x 60 pixels at 66,667 microseconds each, every
// frame a complete picture.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadResource(const char* name) {
    std::string path = __FILE__;
    path = path.substr(0, path.find_last_of("/\\")) + "/../../resources/" + name;
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t U32(const Bytes& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}
uint16_t U16(const Bytes& b, size_t at) { return uint16_t(b[at] | b[at + 1] << 8); }
std::string FourCc(const Bytes& b, size_t at) { return std::string(b.begin() + at, b.begin() + at + 4); }

struct Chunk {
    std::string id;
    std::string listType;  // for RIFF and LIST
    size_t data = 0;       // offset of the data (after the list type for lists)
    size_t size = 0;       // bytes of data (without the list type)
};

// The chunks directly inside [from, to); false when one runs past the end.
bool Chunks(const Bytes& b, size_t from, size_t to, std::vector<Chunk>& out) {
    size_t at = from;
    while (at + 8 <= to) {
        Chunk c;
        c.id = FourCc(b, at);
        size_t size = U32(b, at + 4);
        if (size > to - at - 8) return false;
        c.data = at + 8;
        c.size = size;
        if (c.id == "LIST" || c.id == "RIFF") {
            if (size < 4) return false;
            c.listType = FourCc(b, at + 8);
            c.data += 4;
            c.size -= 4;
        }
        out.push_back(c);
        at += 8 + size + (size & 1);
    }
    return at == to;
}

const Chunk* Find(const std::vector<Chunk>& chunks, const std::string& id,
                  const std::string& listType = "") {
    for (const Chunk& c : chunks)
        if (c.id == id && c.listType == listType) return &c;
    return nullptr;
}

// Pixels of one RLE8 frame (rows bottom-up as stored); fails on any escape that leaves
// pixels unset (delta, absolute runs would be fine but are checked for length).
::testing::AssertionResult DecodeRle8(const Bytes& b, size_t at, size_t size, int width,
                                      int height) {
    int rows = 0, x = 0;
    size_t p = at;
    const size_t end = at + size;
    while (p + 2 <= end) {
        const uint8_t count = b[p], value = b[p + 1];
        p += 2;
        if (count) {
            x += count;
            continue;
        }
        if (value == 0 || value == 1) {
            if (x != width) return ::testing::AssertionFailure() << "row " << rows << " has " << x;
            ++rows;
            x = 0;
            if (value == 1) break;
        } else if (value == 2) {
            return ::testing::AssertionFailure() << "delta escape: not a complete frame";
        } else {
            x += value;
            p += value + (value & 1);
        }
    }
    if (rows != height) return ::testing::AssertionFailure() << rows << " rows";
    if (p > end) return ::testing::AssertionFailure() << "runs past the chunk";
    return ::testing::AssertionSuccess();
}

TEST(Artwork, ClipIsAnRle8AviOf31FramesThatTheAnimationControlPlays) {
    const Bytes avi = ReadResource("bowl.avi");
    ASSERT_GE(avi.size(), 12u);
    std::vector<Chunk> top;
    ASSERT_TRUE(Chunks(avi, 0, avi.size(), top));
    ASSERT_EQ(1u, top.size());
    ASSERT_EQ("AVI ", top[0].listType);

    std::vector<Chunk> riff;
    ASSERT_TRUE(Chunks(avi, top[0].data, top[0].data + top[0].size, riff));
    const Chunk* hdrl = Find(riff, "LIST", "hdrl");
    const Chunk* movi = Find(riff, "LIST", "movi");
    const Chunk* idx1 = Find(riff, "idx1");
    ASSERT_TRUE(hdrl && movi && idx1);

    std::vector<Chunk> header;
    ASSERT_TRUE(Chunks(avi, hdrl->data, hdrl->data + hdrl->size, header));
    const Chunk* avih = Find(header, "avih");
    ASSERT_TRUE(avih);
    ASSERT_GE(avih->size, 56u);
    EXPECT_EQ(66667u, U32(avi, avih->data));      // microseconds per frame
    EXPECT_EQ(31u, U32(avi, avih->data + 16));    // total frames
    EXPECT_EQ(1u, U32(avi, avih->data + 24));     // streams: video only
    const uint32_t buffer = U32(avi, avih->data + 28);
    EXPECT_EQ(272u, U32(avi, avih->data + 32));
    EXPECT_EQ(60u, U32(avi, avih->data + 36));

    int streams = 0;
    for (const Chunk& c : header) {
        if (c.listType != "strl") continue;
        ++streams;
        std::vector<Chunk> strl;
        ASSERT_TRUE(Chunks(avi, c.data, c.data + c.size, strl));
        const Chunk* strh = Find(strl, "strh");
        const Chunk* strf = Find(strl, "strf");
        ASSERT_TRUE(strh && strf);
        EXPECT_EQ("vids", FourCc(avi, strh->data));
        EXPECT_EQ(31u, U32(avi, strh->data + 32));  // length in frames
        // Scale / rate seconds per frame: 66,667 microseconds.
        const uint64_t scale = U32(avi, strh->data + 20), rate = U32(avi, strh->data + 24);
        ASSERT_NE(0u, rate);
        EXPECT_EQ(66667u, scale * 1000000u / rate);
        ASSERT_GE(strf->size, 40u);
        EXPECT_EQ(272u, U32(avi, strf->data + 4));
        EXPECT_EQ(60u, U32(avi, strf->data + 8));  // bottom-up
        EXPECT_EQ(8u, U16(avi, strf->data + 14));
        EXPECT_EQ(1u, U32(avi, strf->data + 16));  // BI_RLE8
        const uint32_t colours = U32(avi, strf->data + 32);
        EXPECT_GE(strf->size, 40u + 4u * colours);
        EXPECT_LE(colours, 256u);
    }
    EXPECT_EQ(1, streams) << "no sound stream";

    std::vector<Chunk> frames;
    ASSERT_TRUE(Chunks(avi, movi->data, movi->data + movi->size, frames));
    ASSERT_EQ(31u, frames.size());
    ASSERT_EQ(31u * 16u, idx1->size);
    for (size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ("00dc", frames[i].id);
        EXPECT_LE(frames[i].size, buffer) << "the suggested buffer holds every frame";
        EXPECT_TRUE(DecodeRle8(avi, frames[i].data, frames[i].size, 272, 60));
        // The index points at the chunk, counted from the 'movi' list type, as key frames.
        const size_t entry = idx1->data + i * 16;
        EXPECT_EQ("00dc", FourCc(avi, entry));
        EXPECT_EQ(0x10u, U32(avi, entry + 4) & 0x10u);
        EXPECT_EQ(frames[i].data - 8 - (movi->data - 4), U32(avi, entry + 8));
        EXPECT_EQ(frames[i].size, U32(avi, entry + 12));
    }
}

}  // namespace
