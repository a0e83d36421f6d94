// Encoding a package, for the packer.
#include <cstring>
#include <memory>

#include "libs/prynn/lzf_block.h"
#include "libs/prynn/lzf_codec.h"
#include "libs/prynn/lzf_stream.h"

namespace prynn {
namespace {

// Reads until size bytes are in or the data ends.
bool ReadFull(ByteSource& source, uint8_t* buffer, size_t size, size_t* got) {
    *got = 0;
    while (*got < size) {
        size_t n = 0;
        if (!source.Read(buffer + *got, size - *got, &n) || n > size - *got) return false;
        if (n == 0) break;
        *got += n;
    }
    return true;
}

}  // namespace

StreamStatus EncodeStream(ByteSource& source, ByteSink& sink) {
    // Uninitialised: only bytes read or encoded into them are used.
    std::unique_ptr<uint8_t[]> block(new uint8_t[kMaxBlockSize]);
    std::unique_ptr<uint8_t[]> packed(new uint8_t[kCompressedHeaderSize + kMaxBlockSize]);
    for (;;) {
        size_t size = 0;
        if (!ReadFull(source, block.get(), kMaxBlockSize, &size)) return StreamStatus::kReadError;
        if (size == 0) return StreamStatus::kOk;
        BlockHeader header;
        header.originalSize = size;
        // Compressed only when its larger header is paid for: 7 + c < 5 + size.
        const size_t limit = size > 2 ? size - 3 : 0;
        const size_t compressed =
            LzfEncode(block.get(), size, packed.get() + kCompressedHeaderSize, limit);
        size_t total = 0;
        if (compressed > 0) {
            header.compressed = true;
            header.payloadSize = compressed;
            total = WriteBlockHeader(header, packed.get()) + compressed;
        } else {
            header.payloadSize = size;
            const size_t headerSize = WriteBlockHeader(header, packed.get());
            std::memcpy(packed.get() + headerSize, block.get(), size);
            total = headerSize + size;
        }
        if (!sink.Write(packed.get(), total)) return StreamStatus::kWriteError;
        if (size < kMaxBlockSize) return StreamStatus::kOk;
    }
}

std::vector<uint8_t> EncodeBuffer(const std::vector<uint8_t>& content) {
    MemorySource source(content);
    VectorSink sink;
    EncodeStream(source, sink);  // memory cannot fail to read or write
    return sink.bytes;
}

}  // namespace prynn
