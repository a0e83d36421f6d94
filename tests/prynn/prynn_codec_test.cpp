// The LZF data format, checked against Debian's liblzf in both directions: liblzf encodes and
// we decode, we encode and liblzf decodes; and hand-made faults that both must refuse.
#include "libs/prynn/lzf_codec.h"

#include <gtest/gtest.h>
#include <lzf.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "tests/prynn/prynn_test_data.h"

using namespace prynn;

namespace {

using prynn_test::Bytes;
using prynn_test::Next;
using prynn_test::Random;

// Words from a small vocabulary: matches of every length at every distance.
Bytes Text(size_t size, uint32_t seed) {
    static const char* const kWords[] = {"black ", "white ", "stone ", "komi ", "atari ",
                                         "ko ", "seki ", "joseki ", "\r\n", "hane "};
    std::string s;
    while (s.size() < size) s += kWords[Next(seed) % 10];
    return Bytes(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(size));
}

// A period of p bytes repeated: matches closer than the wide copies.
Bytes Periodic(size_t size, size_t period) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>('a' + i % period);
    return b;
}

// This test program: a real executable, as the packages hold.
Bytes Executable(size_t size) {
    std::ifstream in("/proc/self/exe", std::ios::binary);
    Bytes all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    all.resize(std::min(size, all.size()));
    return all;
}

// Runs of zeros and random stretches, some of them repeated 8,192 bytes later.
Bytes Mixed(size_t size, uint32_t seed) {
    Bytes b;
    while (b.size() < size) {
        const size_t run = 1 + Next(seed) % 700;
        switch (Next(seed) % 3) {
            case 0: b.insert(b.end(), run, 0); break;
            case 1: { Bytes r = Random(run, Next(seed)); b.insert(b.end(), r.begin(), r.end()); break; }
            default:
                if (b.size() >= kLzfMaxDistance) {
                    const size_t from = b.size() - kLzfMaxDistance;
                    for (size_t i = 0; i < run; ++i) b.push_back(b[from + i]);
                }
        }
    }
    b.resize(size);
    return b;
}

// count literal bytes in runs of at most 32.
Bytes Literals(size_t count) {
    Bytes b;
    for (size_t i = 0; i < count; i += kLzfMaxLiteralRun) {
        const size_t run = std::min(kLzfMaxLiteralRun, count - i);
        b.push_back(static_cast<uint8_t>(run - 1));
        for (size_t k = 0; k < run; ++k) b.push_back(static_cast<uint8_t>((i + k) * 7 + 1));
    }
    return b;
}

struct Sample {
    std::string name;
    Bytes data;
};

std::vector<Sample> Samples() {
    std::vector<Sample> samples;
    const size_t sizes[] = {1, 2, 3, 4, 31, 32, 33, 34, 35, 63, 64, 65, 264, 265, 300,
                            8191, 8192, 8193, 65534, 65535};
    for (size_t size : sizes) {
        const std::string n = std::to_string(size);
        samples.push_back({"zeros " + n, Bytes(size, 0)});
        samples.push_back({"random " + n, Random(size, static_cast<uint32_t>(size) * 7 + 1)});
        samples.push_back({"text " + n, Text(size, static_cast<uint32_t>(size) + 3)});
        samples.push_back({"executable " + n, Executable(size)});
        samples.push_back({"mixed " + n, Mixed(size, static_cast<uint32_t>(size) + 11)});
    }
    for (size_t period = 2; period <= 33; ++period)
        samples.push_back({"period " + std::to_string(period), Periodic(5000, period)});
    return samples;
}

Bytes LiblzfEncode(const Bytes& data) {
    Bytes out(data.size() + data.size() / 16 + 64);
    const unsigned n = lzf_compress(data.data(), static_cast<unsigned>(data.size()), out.data(),
                                    static_cast<unsigned>(out.size()));
    out.resize(n);
    return out;
}

// liblzf's verdict on data: the decoded bytes, or nothing when it refuses.
bool LiblzfDecode(const Bytes& packed, size_t capacity, Bytes* out) {
    out->assign(capacity + 1, 0);  // never a null pointer
    const unsigned n = lzf_decompress(packed.data(), static_cast<unsigned>(packed.size()),
                                      out->data(), static_cast<unsigned>(capacity));
    out->resize(n);
    return n > 0;
}

// Our decoder into exactly capacity bytes followed by guard bytes that must stay untouched.
LzfStatus OurDecode(const Bytes& packed, size_t capacity, Bytes* out) {
    Bytes buffer(capacity + 64, 0xA5);
    size_t produced = 0;
    const LzfStatus status =
        LzfDecode(packed.data(), packed.size(), buffer.data(), capacity, &produced);
    for (size_t i = capacity; i < buffer.size(); ++i)
        if (buffer[i] != 0xA5) ADD_FAILURE() << "wrote past the output at +" << i - capacity;
    out->assign(buffer.begin(),
                buffer.begin() + static_cast<std::ptrdiff_t>(status == LzfStatus::kOk ? produced : 0));
    return status;
}

Bytes OurEncode(const Bytes& data) {
    Bytes out(LzfEncodeBound(data.size()));
    out.resize(LzfEncode(data.data(), data.size(), out.data(), out.size()));
    return out;
}

TEST(LzfCodec, DecodesWhatLiblzfEncodes) {
    for (const Sample& s : Samples()) {
        SCOPED_TRACE(s.name);
        const Bytes packed = LiblzfEncode(s.data);
        ASSERT_FALSE(packed.empty());
        Bytes out;
        // Exactly the room the content needs, and plenty more: the careful and the fast loop.
        ASSERT_EQ(OurDecode(packed, s.data.size(), &out), LzfStatus::kOk);
        EXPECT_TRUE(out == s.data);
        ASSERT_EQ(OurDecode(packed, s.data.size() + 1000, &out), LzfStatus::kOk);
        EXPECT_TRUE(out == s.data);
    }
}

TEST(LzfCodec, LiblzfDecodesWhatWeEncode) {
    for (const Sample& s : Samples()) {
        SCOPED_TRACE(s.name);
        const Bytes packed = OurEncode(s.data);
        ASSERT_FALSE(packed.empty());
        EXPECT_LE(packed.size(), LzfEncodeBound(s.data.size()));
        Bytes out;
        ASSERT_TRUE(LiblzfDecode(packed, s.data.size(), &out));
        EXPECT_TRUE(out == s.data);
        ASSERT_EQ(OurDecode(packed, s.data.size(), &out), LzfStatus::kOk);
        EXPECT_TRUE(out == s.data);
    }
}

// Packages stay about as small as liblzf makes them.
TEST(LzfCodec, EncodesAboutAsTightlyAsLiblzf) {
    const Sample samples[] = {{"text", Text(65535, 5)},
                              {"executable", Executable(65535)},
                              {"mixed", Mixed(65535, 9)}};
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.name);
        const size_t ours = OurEncode(s.data).size();
        const size_t theirs = LiblzfEncode(s.data).size();
        EXPECT_LE(ours, theirs + theirs / 20) << ours << " against " << theirs;
    }
}

TEST(LzfCodec, EncoderWritesNothingPastItsRoomAndSaysWhenItDoesNotFit) {
    const Sample samples[] = {{"text", Text(3000, 1)}, {"random", Random(300, 2)}};
    for (const Sample& s : samples) {
        const Bytes full = OurEncode(s.data);
        for (size_t room = 0; room <= full.size(); ++room) {
            SCOPED_TRACE(s.name + ", room " + std::to_string(room));
            Bytes out(room + 16, 0x5A);
            const size_t n = LzfEncode(s.data.data(), s.data.size(), out.data(), room);
            for (size_t i = room; i < out.size(); ++i) ASSERT_EQ(out[i], 0x5A) << "at +" << i - room;
            if (room < full.size()) {
                EXPECT_EQ(n, 0u);
            } else {
                ASSERT_EQ(n, full.size());
                out.resize(n);
                EXPECT_TRUE(out == full);
            }
        }
    }
    uint8_t none = 0;
    EXPECT_EQ(LzfEncode(&none, 0, &none, 1), 0u);
}

// Every overlap a match can have with its own output: each distance before and past the
// width of the wide copies, each length class, decoded far from the end of the output (fast
// loop) and at its very end (careful loop); liblzf decodes the same bytes as reference.
TEST(LzfCodec, OverlappingMatchesDecodeLikeByteCopies) {
    const size_t lengths[] = {3, 4, 7, 8, 9, 15, 16, 17, 31, 32, 33, 100, 263, 264};
    for (size_t dist = 1; dist <= 40; ++dist) {
        for (size_t len : lengths) {
            SCOPED_TRACE("distance " + std::to_string(dist) + ", length " + std::to_string(len));
            Bytes packed = Literals(dist);
            const size_t code = len - 2, offset = dist - 1;
            if (code < 7) {
                packed.push_back(static_cast<uint8_t>(code << 5 | offset >> 8));
            } else {
                packed.push_back(static_cast<uint8_t>(7 << 5 | offset >> 8));
                packed.push_back(static_cast<uint8_t>(code - 7));
            }
            packed.push_back(static_cast<uint8_t>(offset & 0xff));
            for (int run = 0; run < 2; ++run) {  // input left over, so the fast loop takes it
                packed.push_back(31);
                for (int i = 0; i < 32; ++i) packed.push_back(static_cast<uint8_t>(200 + i));
            }
            Bytes expected;
            ASSERT_TRUE(LiblzfDecode(packed, dist + len + 64, &expected));
            ASSERT_EQ(expected.size(), dist + len + 64);
            Bytes out;
            ASSERT_EQ(OurDecode(packed, expected.size(), &out), LzfStatus::kOk);
            EXPECT_TRUE(out == expected);
            ASSERT_EQ(OurDecode(packed, expected.size() + 600, &out), LzfStatus::kOk);
            EXPECT_TRUE(out == expected);
        }
    }
}

struct Fault {
    const char* name;
    Bytes packed;
    size_t capacity;
    LzfStatus expected;
};

TEST(LzfCodec, RefusesFaultsAsLiblzfDoes) {
    // The farthest, longest match (distance 8,192, length 264) after 8,192 bytes and after one
    // byte less.
    Bytes farOk = Literals(8192), farTooFar = Literals(8191);
    farOk.insert(farOk.end(), {0xFF, 255, 0xFF});
    farTooFar.insert(farTooFar.end(), {0xFF, 255, 0xFF});
    // A match one byte too far amid long data, where the fast loop decodes.
    Bytes midway = Literals(100);
    midway.insert(midway.end(), {0x20, 100});
    const Bytes tail = Literals(300);
    midway.insert(midway.end(), tail.begin(), tail.end());
    // A run of 32 and the longest match filling the room to its last byte, more data after
    // them: the most one round of the fast loop writes, right at the end of the output.
    Bytes fullRound = Literals(1000);
    fullRound.push_back(31);
    for (int i = 0; i < 32; ++i) fullRound.push_back(static_cast<uint8_t>(i));
    fullRound.insert(fullRound.end(), {0xE0, 255, 31});
    fullRound.insert(fullRound.end(), tail.begin(), tail.end());

    const Fault faults[] = {
        {"a match before the start", {0x20, 0x00}, 100, LzfStatus::kBadReference},
        {"a match one byte before the start", {0x00, 'a', 0x20, 0x01}, 100,
         LzfStatus::kBadReference},
        {"a match reaching the first byte", {0x00, 'a', 0x20, 0x00}, 100, LzfStatus::kOk},
        {"literals past the input", {0x05, 'a', 'b'}, 100, LzfStatus::kTruncated},
        {"a long match without its length byte", {0x00, 'a', 0xE0}, 100,
         LzfStatus::kTruncated},
        {"a long match without its distance byte", {0x00, 'a', 0xE0, 0x05}, 100,
         LzfStatus::kTruncated},
        {"a match without its distance byte", {0x00, 'a', 0x20}, 100, LzfStatus::kTruncated},
        {"literals one byte longer than the room", {0x03, 'a', 'b', 'c', 'd'}, 3,
         LzfStatus::kOutputOverflow},
        {"literals filling the room", {0x03, 'a', 'b', 'c', 'd'}, 4, LzfStatus::kOk},
        {"a match one byte longer than the room", {0x00, 'a', 0x40, 0x00}, 4,
         LzfStatus::kOutputOverflow},
        {"a match filling the room", {0x00, 'a', 0x40, 0x00}, 5, LzfStatus::kOk},
        {"nothing into no room", {}, 0, LzfStatus::kOk},
        {"the farthest longest match", farOk, 8192 + 264, LzfStatus::kOk},
        {"the farthest match one byte too far", farTooFar, 8192 + 264,
         LzfStatus::kBadReference},
        {"a match one byte too far amid long data", midway, 2000, LzfStatus::kBadReference},
        {"a run and the longest match filling the room, then more", fullRound, 1000 + 32 + 264,
         LzfStatus::kOutputOverflow},
    };
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.name);
        Bytes ours, theirs;
        EXPECT_EQ(OurDecode(f.packed, f.capacity, &ours), f.expected);
        if (f.packed.empty()) continue;  // liblzf's 0 means both "empty" and "error"
        const bool liblzfAccepts = LiblzfDecode(f.packed, f.capacity, &theirs);
        EXPECT_EQ(liblzfAccepts, f.expected == LzfStatus::kOk);
        if (liblzfAccepts) {
            EXPECT_TRUE(ours == theirs);
        }
    }
}

// Every cut of real data: the decoder never claims the whole content from part of it.
TEST(LzfCodec, NoTruncationDecodesToTheWholeContent) {
    const Sample samples[] = {{"text", Text(4000, 8)}, {"mixed", Mixed(20000, 4)}};
    for (const Sample& s : samples) {
        const Bytes packed = OurEncode(s.data);
        for (size_t cut = 0; cut < packed.size(); ++cut) {
            SCOPED_TRACE(s.name + ", cut at " + std::to_string(cut));
            const Bytes part(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(cut));
            Bytes out;
            const LzfStatus status = OurDecode(part, s.data.size(), &out);
            ASSERT_TRUE(status == LzfStatus::kTruncated ||
                        (status == LzfStatus::kOk && out.size() < s.data.size()));
            if (status == LzfStatus::kOk) {
                ASSERT_TRUE(std::equal(out.begin(), out.end(), s.data.begin()));
            }
        }
    }
}

}  // namespace
