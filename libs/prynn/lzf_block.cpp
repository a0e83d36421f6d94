#include "libs/prynn/lzf_block.h"

#include <cstring>

#include "libs/prynn/lzf_codec.h"

namespace prynn {
namespace {

inline size_t BigEndian16(const uint8_t* p) { return size_t{p[0]} << 8 | p[1]; }

inline void PutBigEndian16(uint8_t* p, size_t value) {
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value & 0xff);
}

}  // namespace

StreamStatus ParseBlockHeader(const uint8_t* p, size_t avail, BlockHeader* header) {
    if ((avail >= 1 && p[0] != 'Z') || (avail >= 2 && p[1] != 'V')) return StreamStatus::kBadMagic;
    if (avail < 3) return StreamStatus::kTruncated;
    if (p[2] == 0) {
        if (avail < kStoredHeaderSize) return StreamStatus::kTruncated;
        header->compressed = false;
        header->headerSize = kStoredHeaderSize;
        header->payloadSize = header->originalSize = BigEndian16(p + 3);
        return StreamStatus::kOk;
    }
    if (p[2] == 1) {
        if (avail < kCompressedHeaderSize) return StreamStatus::kTruncated;
        header->compressed = true;
        header->headerSize = kCompressedHeaderSize;
        header->payloadSize = BigEndian16(p + 3);
        header->originalSize = BigEndian16(p + 5);
        return StreamStatus::kOk;
    }
    return StreamStatus::kBadBlockType;
}

StreamStatus DecodeBlock(const BlockHeader& header, const uint8_t* payload, uint8_t* out) {
    if (!header.compressed) {
        if (header.originalSize > 0) std::memcpy(out, payload, header.originalSize);
        return StreamStatus::kOk;
    }
    size_t produced = 0;
    switch (LzfDecode(payload, header.payloadSize, out, header.originalSize, &produced)) {
        case LzfStatus::kOk:
            return produced == header.originalSize ? StreamStatus::kOk
                                                   : StreamStatus::kBlockTooShort;
        case LzfStatus::kTruncated: return StreamStatus::kCorruptBlock;
        case LzfStatus::kBadReference: return StreamStatus::kBadReference;
        case LzfStatus::kOutputOverflow: return StreamStatus::kBlockTooLong;
    }
    return StreamStatus::kCorruptBlock;
}

size_t WriteBlockHeader(const BlockHeader& header, uint8_t* out) {
    out[0] = 'Z';
    out[1] = 'V';
    out[2] = header.compressed ? 1 : 0;
    PutBigEndian16(out + 3, header.payloadSize);
    if (!header.compressed) return kStoredHeaderSize;
    PutBigEndian16(out + 5, header.originalSize);
    return kCompressedHeaderSize;
}

}  // namespace prynn
