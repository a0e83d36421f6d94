// One block of the package format: its header and its payload. Shared by the stream decoder
// and encoder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "libs/prynn/lzf_stream.h"

namespace prynn {

struct BlockHeader {
    bool compressed = false;
    size_t headerSize = 0;
    size_t payloadSize = 0;   // bytes after the header
    size_t originalSize = 0;  // bytes the block decodes to
};

// Reads the header at p, of which avail bytes are at hand. kTruncated asks for more bytes
// (the magic is checked on what is there first, so garbage is named as such).
StreamStatus ParseBlockHeader(const uint8_t* p, size_t avail, BlockHeader* header);

// Decodes the payload into out, which has room for header.originalSize bytes exactly.
StreamStatus DecodeBlock(const BlockHeader& header, const uint8_t* payload, uint8_t* out);

// Writes the header of a stored (payloadSize == originalSize) or compressed block; returns
// its size. out has room for kCompressedHeaderSize bytes.
size_t WriteBlockHeader(const BlockHeader& header, uint8_t* out);

}  // namespace prynn
