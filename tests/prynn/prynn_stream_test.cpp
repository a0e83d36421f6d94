// The package format: liblzf's blocks decode with our reader, ours with liblzf; empty files,
// stored blocks and blocks of 65,535 bytes; every truncation and every structural corruption
// is refused, alike by the streaming and the in-memory decoder.
#include "libs/prynn/decoded_size.h"
#include "libs/prynn/lzf_stream.h"

#include <gtest/gtest.h>
#include <lzf.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/prynn/prynn_test_data.h"

using namespace prynn;

namespace {

using prynn_test::Bytes;
using prynn_test::Next;
using prynn_test::Random;

// Real executable content, repeated up to size.
Bytes Executable(size_t size) {
    std::ifstream in("/proc/self/exe", std::ios::binary);
    const Bytes all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Bytes b;
    while (b.size() < size) b.insert(b.end(), all.begin(), all.end());
    b.resize(size);
    return b;
}

// Stretches of random bytes and of executable content: packages of stored and compressed
// blocks.
Bytes Mixed(size_t size) {
    Bytes b;
    const Bytes exe = Executable(size);
    // Whole blocks of each kind, so what a block holds does not depend on how well the
    // program's own bytes compress (they differ from build to build).
    for (size_t block = 0; b.size() < size; ++block) {
        const Bytes part = block % 3 == 1 ? Random(kMaxBlockSize, static_cast<uint32_t>(block + 1))
                                          : Bytes(exe.begin(), exe.begin() + kMaxBlockSize);
        b.insert(b.end(), part.begin(), part.end());
    }
    b.resize(size);
    return b;
}

void PutBlockHeader(Bytes& p, bool compressed, size_t payload, size_t original) {
    p.insert(p.end(), {'Z', 'V', uint8_t(compressed), uint8_t(payload >> 8), uint8_t(payload)});
    if (compressed) p.insert(p.end(), {uint8_t(original >> 8), uint8_t(original)});
}

// A package as liblzf's tool makes one: each block compressed by liblzf when that fits in
// four bytes less, stored otherwise.
Bytes PackWithLiblzf(const Bytes& content, size_t blockSize = kMaxBlockSize) {
    Bytes package, out(blockSize);
    for (size_t pos = 0; pos < content.size(); pos += blockSize) {
        const size_t size = std::min(blockSize, content.size() - pos);
        const unsigned n = lzf_compress(content.data() + pos, static_cast<unsigned>(size),
                                        out.data(), static_cast<unsigned>(size > 4 ? size - 4 : 0));
        PutBlockHeader(package, n > 0, n > 0 ? n : size, size);
        if (n > 0)
            package.insert(package.end(), out.begin(), out.begin() + n);
        else
            package.insert(package.end(), content.begin() + static_cast<std::ptrdiff_t>(pos),
                           content.begin() + static_cast<std::ptrdiff_t>(pos + size));
    }
    return package;
}

struct Block {
    bool compressed;
    size_t payload;
    size_t original;
};

// Reads a package with liblzf's decoder, checking the block layout on the way.
bool UnpackWithLiblzf(const Bytes& package, Bytes* content, std::vector<Block>* blocks) {
    content->clear();
    size_t pos = 0;
    while (pos < package.size()) {
        if (package.size() - pos < 5 || package[pos] != 'Z' || package[pos + 1] != 'V')
            return false;
        const uint8_t* p = package.data() + pos;
        Block b{p[2] == 1, size_t{p[3]} << 8 | p[4], 0};
        if (p[2] > 1) return false;
        const size_t header = b.compressed ? 7 : 5;
        if (package.size() - pos < header) return false;
        b.original = b.compressed ? (size_t{p[5]} << 8 | p[6]) : b.payload;
        if (package.size() - pos - header < b.payload) return false;
        const size_t at = content->size();
        content->resize(at + b.original);
        if (b.compressed) {
            if (lzf_decompress(p + header, static_cast<unsigned>(b.payload), content->data() + at,
                               static_cast<unsigned>(b.original)) != b.original)
                return false;
        } else {
            std::copy(p + header, p + header + b.payload, content->begin() + static_cast<std::ptrdiff_t>(at));
        }
        blocks->push_back(b);
        pos += header + b.payload;
    }
    return true;
}

// The headers alone, fed whole and a byte at a time, announce what a valid package decodes
// to, and name the faults that show in them.
void ExpectHeadersTell(const Bytes& package, StreamStatus decoded, size_t contentSize) {
    for (size_t piece : {package.size() + 1, size_t{1}}) {
        DecodedSizeCounter counter;
        for (size_t at = 0; at < package.size(); at += piece)
            counter.Feed(package.data() + at, std::min(piece, package.size() - at));
        uint64_t size = 0;
        const StreamStatus measured = counter.Finish(&size);
        if (decoded == StreamStatus::kOk) {
            EXPECT_EQ(StreamStatus::kOk, measured);
            EXPECT_EQ(contentSize, size);
        } else if (decoded == StreamStatus::kBadMagic || decoded == StreamStatus::kBadBlockType ||
                   decoded == StreamStatus::kTruncated) {
            EXPECT_EQ(decoded, measured);
        }
    }
}

// Both decoders on one package; they must agree on the verdict and the content.
StreamStatus DecodeBoth(const Bytes& package, Bytes* content) {
    const StreamStatus streamed = DecodeBuffer(package, content);
    Bytes memory(content->size() + 3 * kMaxBlockSize);
    size_t produced = 0;
    const StreamStatus inMemory =
        DecodeStreamInto(package.data(), package.size(), memory.data(), memory.size(), &produced);
    EXPECT_EQ(inMemory, streamed);
    if (streamed == StreamStatus::kOk && inMemory == StreamStatus::kOk) {
        memory.resize(produced);
        EXPECT_TRUE(memory == *content);
    }
    ExpectHeadersTell(package, streamed, content->size());
    return streamed;
}

struct Sample {
    std::string name;
    Bytes content;
};

std::vector<Sample> Samples() {
    return {{"empty", {}},
            {"one byte", {42}},
            {"65,534 zeros", Bytes(65534, 0)},
            {"65,535 bytes of executable", Executable(65535)},
            {"65,536 bytes of executable", Executable(65536)},
            {"65,535 random bytes", Random(65535, 3)},
            {"three blocks and 7 bytes", Executable(3 * 65535 + 7)},
            {"mixed, 400,000 bytes", Mixed(400000)}};
}

TEST(PackageFormat, DecodesPackagesMadeWithLiblzf) {
    for (const Sample& s : Samples()) {
        SCOPED_TRACE(s.name);
        Bytes content;
        ASSERT_EQ(DecodeBoth(PackWithLiblzf(s.content), &content), StreamStatus::kOk);
        EXPECT_TRUE(content == s.content);
    }
    // Blocks of other sizes than the tool's are as valid.
    Bytes content;
    const Bytes exe = Executable(10000);
    ASSERT_EQ(DecodeBoth(PackWithLiblzf(exe, 777), &content), StreamStatus::kOk);
    EXPECT_TRUE(content == exe);
}

TEST(PackageFormat, LiblzfReadsOurPackagesBlockByBlock) {
    for (const Sample& s : Samples()) {
        SCOPED_TRACE(s.name);
        const Bytes package = EncodeBuffer(s.content);
        Bytes content;
        std::vector<Block> blocks;
        ASSERT_TRUE(UnpackWithLiblzf(package, &content, &blocks));
        EXPECT_TRUE(content == s.content);
        ASSERT_EQ(blocks.size(), (s.content.size() + kMaxBlockSize - 1) / kMaxBlockSize);
        for (size_t i = 0; i < blocks.size(); ++i) {
            SCOPED_TRACE("block " + std::to_string(i));
            // Full blocks but the last; a compressed block is smaller than its stored form.
            EXPECT_EQ(blocks[i].original, std::min(kMaxBlockSize, s.content.size() - i * kMaxBlockSize));
            if (blocks[i].compressed) {
                EXPECT_LT(blocks[i].payload + 7, blocks[i].original + 5);
            }
        }
        ASSERT_EQ(DecodeBoth(package, &content), StreamStatus::kOk);
        EXPECT_TRUE(content == s.content);
    }
}

TEST(PackageFormat, StoresWhatDoesNotCompressAndCompressesTheRest) {
    std::vector<Block> blocks;
    Bytes content;
    ASSERT_TRUE(UnpackWithLiblzf(EncodeBuffer(Mixed(6 * 65535)), &content, &blocks));
    ASSERT_EQ(blocks.size(), 6u);
    int stored = 0;
    for (const Block& b : blocks) stored += b.compressed ? 0 : 1;
    EXPECT_GE(stored, 1);
    EXPECT_LE(stored, 3);
    EXPECT_TRUE(EncodeBuffer({}).empty());
}

TEST(PackageFormat, AcceptsTheBlockForms) {
    const Bytes exe = Executable(65535);
    const Bytes packed = [&] {
        Bytes out(70000);
        out.resize(lzf_compress(exe.data(), 65535, out.data(), 70000));
        return out;
    }();
    struct Row {
        const char* name;
        Bytes package;
        Bytes content;
    };
    std::vector<Row> rows;
    {
        Row r{"a stored block of 65,535 bytes", {}, exe};
        PutBlockHeader(r.package, false, 65535, 65535);
        r.package.insert(r.package.end(), exe.begin(), exe.end());
        rows.push_back(r);
    }
    {
        Row r{"a compressed block of 65,535 bytes", {}, exe};
        PutBlockHeader(r.package, true, packed.size(), 65535);
        r.package.insert(r.package.end(), packed.begin(), packed.end());
        rows.push_back(r);
    }
    {
        Row r{"empty blocks of both types between others", {}, {'a', 'b'}};
        PutBlockHeader(r.package, false, 0, 0);
        PutBlockHeader(r.package, false, 1, 1);
        r.package.push_back('a');
        PutBlockHeader(r.package, true, 0, 0);
        PutBlockHeader(r.package, true, 2, 1);
        r.package.insert(r.package.end(), {0x00, 'b'});
        rows.push_back(r);
    }
    rows.push_back({"an empty file", {}, {}});
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Bytes content;
        ASSERT_EQ(DecodeBoth(r.package, &content), StreamStatus::kOk);
        EXPECT_TRUE(content == r.content);
    }
}

// Cut anywhere but between blocks, a package is refused as truncated; cut between blocks it
// is a shorter package (the format has no end mark).
TEST(PackageFormat, RefusesEveryTruncation) {
    Bytes package;  // small blocks of both types, so every cut can be tried
    std::vector<size_t> boundaries{0};
    std::vector<size_t> contentAt{0};
    const Bytes exe = Executable(900);
    for (size_t size : {300u, 1u, 200u, 399u}) {
        const size_t done = contentAt.back();
        const Bytes part(exe.begin() + static_cast<std::ptrdiff_t>(done),
                         exe.begin() + static_cast<std::ptrdiff_t>(done + size));
        const Bytes block = PackWithLiblzf(part, size);
        package.insert(package.end(), block.begin(), block.end());
        boundaries.push_back(package.size());
        contentAt.push_back(done + size);
    }
    for (size_t cut = 0; cut < package.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const Bytes part(package.begin(), package.begin() + static_cast<std::ptrdiff_t>(cut));
        Bytes content;
        const auto boundary = std::find(boundaries.begin(), boundaries.end(), cut);
        if (boundary == boundaries.end()) {
            ASSERT_EQ(DecodeBoth(part, &content), StreamStatus::kTruncated);
        } else {
            ASSERT_EQ(DecodeBoth(part, &content), StreamStatus::kOk);
            const size_t size = contentAt[static_cast<size_t>(boundary - boundaries.begin())];
            EXPECT_TRUE(content == Bytes(exe.begin(), exe.begin() + static_cast<std::ptrdiff_t>(size)));
        }
    }
    // And a sample of cuts through blocks of 65,535 bytes.
    const Bytes big = EncodeBuffer(Executable(2 * 65535));
    for (size_t cut = 1; cut < big.size(); cut += big.size() / 37) {
        SCOPED_TRACE("cut at " + std::to_string(cut) + " of the large package");
        Bytes content;
        EXPECT_EQ(DecodeBoth(Bytes(big.begin(), big.begin() + static_cast<std::ptrdiff_t>(cut)), &content),
                  StreamStatus::kTruncated);
    }
}

TEST(PackageFormat, RefusesStructuralCorruption) {
    const Bytes first = Executable(1000);
    const Bytes second(first.begin() + 500, first.end());
    // Two compressed blocks, then a stored one.
    const Bytes a = PackWithLiblzf(first), b = PackWithLiblzf(second);
    Bytes valid = a;
    valid.insert(valid.end(), b.begin(), b.end());
    const size_t second_at = a.size();
    ASSERT_EQ(valid[2], 1);
    ASSERT_EQ(valid[second_at + 2], 1);
    PutBlockHeader(valid, false, 3, 3);
    valid.insert(valid.end(), {'e', 'n', 'd'});
    const size_t stored_at = valid.size() - 8;

    auto with = [&](auto change) {
        Bytes p = valid;
        change(p);
        return p;
    };
    auto set16 = [](Bytes& p, size_t at, size_t value) {
        p[at] = static_cast<uint8_t>(value >> 8);
        p[at + 1] = static_cast<uint8_t>(value);
    };
    auto get16 = [](const Bytes& p, size_t at) { return size_t{p[at]} << 8 | p[at + 1]; };

    // The second block starts with a match: in memory the first block's bytes lie right
    // before it, but a block may not reach outside itself.
    Bytes reachBack = a;
    PutBlockHeader(reachBack, true, 4, 5);
    reachBack.insert(reachBack.end(), {0x40, 0x00, 0x00, 'x'});

    struct Row {
        const char* name;
        Bytes package;
        StreamStatus expected;
    };
    const Row rows[] = {
        {"first magic byte", with([](Bytes& p) { p[0] = 'z'; }), StreamStatus::kBadMagic},
        {"second magic byte", with([](Bytes& p) { p[1] = 'W'; }), StreamStatus::kBadMagic},
        {"magic of a later block",
         with([&](Bytes& p) { p[second_at] = 'V'; p[second_at + 1] = 'Z'; }),
         StreamStatus::kBadMagic},
        {"block type 2", with([](Bytes& p) { p[2] = 2; }), StreamStatus::kBadBlockType},
        {"block type 255 in a later block", with([&](Bytes& p) { p[stored_at + 2] = 255; }),
         StreamStatus::kBadBlockType},
        {"original length one short",
         with([&](Bytes& p) { set16(p, 5, get16(p, 5) - 1); }), StreamStatus::kBlockTooLong},
        {"original length one long",
         with([&](Bytes& p) { set16(p, 5, get16(p, 5) + 1); }), StreamStatus::kBlockTooShort},
        {"original length zero", with([&](Bytes& p) { set16(p, 5, 0); }),
         StreamStatus::kBlockTooLong},
        {"compressed length past the end",
         with([&](Bytes& p) { set16(p, second_at + 3, p.size()); }), StreamStatus::kTruncated},
        {"stored length past the end",
         with([&](Bytes& p) { set16(p, stored_at + 3, 4); }), StreamStatus::kTruncated},
        {"stored length one short, the rest read as a block",
         with([&](Bytes& p) { set16(p, stored_at + 3, 2); }), StreamStatus::kBadMagic},
        {"a match before the start of its block", reachBack, StreamStatus::kBadReference},
        {"garbage after the last block", with([](Bytes& p) { p.push_back('X'); }),
         StreamStatus::kBadMagic},
        {"half a magic after the last block", with([](Bytes& p) { p.push_back('Z'); }),
         StreamStatus::kTruncated},
        {"a header without its lengths", with([](Bytes& p) { p.insert(p.end(), {'Z', 'V', 1, 0, 5, 0}); }),
         StreamStatus::kTruncated},
    };
    Bytes content;
    ASSERT_EQ(DecodeBoth(valid, &content), StreamStatus::kOk);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(DecodeBoth(r.package, &content), r.expected);
    }

    // Data cut inside its last token, with lengths that agree with the cut: a corrupt block.
    Bytes cut;
    PutBlockHeader(cut, true, 3, 5);
    cut.insert(cut.end(), {0x04, 'a', 'b'});
    EXPECT_EQ(DecodeBoth(cut, &content), StreamStatus::kCorruptBlock);
}

// A source that fails after some bytes, a sink that fails after some, a source that gives
// little at a time.
class StingySource : public ByteSource {
public:
    StingySource(const Bytes& data, size_t piece, size_t failAt)
        : m_data(data), m_piece(piece), m_failAt(failAt) {}
    bool Read(uint8_t* buffer, size_t size, size_t* got) override {
        if (m_pos >= m_failAt) return false;
        *got = std::min({size, m_piece, m_data.size() - m_pos, m_failAt - m_pos});
        std::copy(m_data.begin() + static_cast<std::ptrdiff_t>(m_pos),
                  m_data.begin() + static_cast<std::ptrdiff_t>(m_pos + *got), buffer);
        m_pos += *got;
        return true;
    }

private:
    const Bytes& m_data;
    size_t m_piece, m_failAt, m_pos = 0;
};

class FailingSink : public ByteSink {
public:
    explicit FailingSink(size_t room) : m_room(room) {}
    bool Write(const uint8_t* data, size_t size) override {
        if (size > m_room) return false;
        m_room -= size;
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    Bytes bytes;

private:
    size_t m_room;
};

TEST(PackageFormat, PassesOnReadAndWriteFailures) {
    const Bytes content = Mixed(3 * 65535);
    const Bytes package = EncodeBuffer(content);
    struct Row {
        const char* name;
        size_t piece, failAt, room;
        StreamStatus decode, encode;
    };
    const Row rows[] = {
        {"7 bytes a read", 7, SIZE_MAX, SIZE_MAX, StreamStatus::kOk, StreamStatus::kOk},
        {"reading fails at once", 1 << 20, 0, SIZE_MAX, StreamStatus::kReadError,
         StreamStatus::kReadError},
        {"reading fails midway", 1000, 70000, SIZE_MAX, StreamStatus::kReadError,
         StreamStatus::kReadError},
        {"writing fails", 1 << 20, SIZE_MAX, 70000, StreamStatus::kWriteError,
         StreamStatus::kWriteError},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StingySource packed(package, r.piece, r.failAt);
        FailingSink out(r.room);
        EXPECT_EQ(DecodeStream(packed, out), r.decode);
        if (r.decode == StreamStatus::kOk) {
            EXPECT_TRUE(out.bytes == content);
        }

        StingySource plain(content, r.piece, r.failAt);
        FailingSink packedOut(r.room);
        EXPECT_EQ(EncodeStream(plain, packedOut), r.encode);
        if (r.encode == StreamStatus::kOk) {
            EXPECT_TRUE(packedOut.bytes == package);
        }
    }
}

TEST(PackageFormat, InMemoryDecodingNeedsRoomForTheWholeContent) {
    const Bytes content = Executable(2 * 65535 + 10);
    const Bytes package = EncodeBuffer(content);
    for (size_t room : {size_t{0}, size_t{65535}, content.size() - 1, content.size()}) {
        SCOPED_TRACE("room " + std::to_string(room));
        Bytes out(room + 1);
        size_t produced = 0;
        const StreamStatus status =
            DecodeStreamInto(package.data(), package.size(), out.data(), room, &produced);
        if (room < content.size()) {
            EXPECT_EQ(status, StreamStatus::kOutputFull);
        } else {
            ASSERT_EQ(status, StreamStatus::kOk);
            EXPECT_TRUE(Bytes(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(produced)) == content);
        }
    }
}

}  // namespace
