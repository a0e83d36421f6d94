// The package format: a sequence of blocks, each "ZV" then type 0 (stored: 2-byte big-endian
// length, then the bytes) or type 1 (compressed: 2-byte big-endian compressed length, 2-byte
// big-endian original length, then LZF data). A block holds at most 65,535 original bytes; an
// empty stream is an empty file. The stream has no end marker: it ends after a whole block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "libs/prynn/byte_io.h"

namespace prynn {

constexpr size_t kMaxBlockSize = 65535;
constexpr size_t kStoredHeaderSize = 5;
constexpr size_t kCompressedHeaderSize = 7;

enum class StreamStatus {
    kOk,
    kReadError,
    kWriteError,
    kBadMagic,       // a block does not start with "ZV"
    kBadBlockType,   // neither 0 nor 1
    kTruncated,      // the data ends inside a block
    kCorruptBlock,   // a compressed block's data ends inside a token
    kBadReference,   // a match reaches before the start of its block
    kBlockTooLong,   // a block decodes to more than its header says
    kBlockTooShort,  // a block decodes to less than its header says
    kOutputFull,     // the memory given for the output is too small
};

const char* StreamStatusText(StreamStatus status);

// Decodes a whole package from source to sink. Stops at the first fault; what reached the
// sink by then is a prefix of the content and must not be used.
StreamStatus DecodeStream(ByteSource& source, ByteSink& sink);

// Memory to memory, each block decoded in place: *produced is the content size on kOk.
StreamStatus DecodeStreamInto(const uint8_t* in, size_t inSize, uint8_t* out,
                              size_t outCapacity, size_t* produced);

// Encodes source into blocks of kMaxBlockSize original bytes, each compressed when that makes
// it smaller and stored otherwise. Fails only on a read or write error.
StreamStatus EncodeStream(ByteSource& source, ByteSink& sink);

// Conveniences for whole buffers.
std::vector<uint8_t> EncodeBuffer(const std::vector<uint8_t>& content);
StreamStatus DecodeBuffer(const std::vector<uint8_t>& package, std::vector<uint8_t>* content);

}  // namespace prynn
