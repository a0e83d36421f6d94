// Decoding a package, from a source to a sink or from memory to memory.
#include <cstring>
#include <memory>

#include "libs/prynn/lzf_block.h"
#include "libs/prynn/lzf_stream.h"

namespace prynn {
namespace {

// The input, read in large pieces; it always has room for a whole block.
class InputBuffer {
public:
    // Left uninitialised: every byte is read into before it is used.
    explicit InputBuffer(ByteSource& source)
        : m_source(source), m_buffer(new uint8_t[kCapacity]) {}

    // Makes at least n bytes available unless the data ends first. False on a read error.
    bool Fill(size_t n) {
        if (m_end - m_pos >= n) return true;
        if (m_pos > 0) {
            std::memmove(m_buffer.get(), m_buffer.get() + m_pos, m_end - m_pos);
            m_end -= m_pos;
            m_pos = 0;
        }
        while (m_end < n && !m_ended) {
            const size_t want = kCapacity - m_end;
            size_t got = 0;
            if (!m_source.Read(m_buffer.get() + m_end, want, &got) || got > want) return false;
            m_end += got;
            m_ended = got == 0;  // a short read alone may not be the end (pipes)
        }
        return true;
    }

    const uint8_t* data() const { return m_buffer.get() + m_pos; }
    size_t available() const { return m_end - m_pos; }
    void Consume(size_t n) { m_pos += n; }

private:
    static constexpr size_t kCapacity = 256 * 1024;
    static_assert(kCapacity >= kCompressedHeaderSize + kMaxBlockSize, "a block must fit");

    ByteSource& m_source;
    std::unique_ptr<uint8_t[]> m_buffer;
    size_t m_pos = 0;
    size_t m_end = 0;
    bool m_ended = false;
};

}  // namespace

const char* StreamStatusText(StreamStatus status) {
    switch (status) {
        case StreamStatus::kOk: return "ok";
        case StreamStatus::kReadError: return "read error";
        case StreamStatus::kWriteError: return "write error";
        case StreamStatus::kBadMagic: return "not a package (a block lacks its \"ZV\" mark)";
        case StreamStatus::kBadBlockType: return "unknown block type";
        case StreamStatus::kTruncated: return "truncated package";
        case StreamStatus::kCorruptBlock: return "corrupt block (data ends inside a token)";
        case StreamStatus::kBadReference: return "corrupt block (match before the block start)";
        case StreamStatus::kBlockTooLong: return "corrupt block (longer than its header says)";
        case StreamStatus::kBlockTooShort: return "corrupt block (shorter than its header says)";
        case StreamStatus::kOutputFull: return "output buffer too small";
    }
    return "unknown status";
}

StreamStatus DecodeStream(ByteSource& source, ByteSink& sink) {
    InputBuffer input(source);
    std::unique_ptr<uint8_t[]> block(new uint8_t[kMaxBlockSize]);
    for (;;) {
        if (!input.Fill(kCompressedHeaderSize)) return StreamStatus::kReadError;
        if (input.available() == 0) return StreamStatus::kOk;
        BlockHeader header;
        StreamStatus status = ParseBlockHeader(input.data(), input.available(), &header);
        if (status != StreamStatus::kOk) return status;
        const size_t whole = header.headerSize + header.payloadSize;
        if (!input.Fill(whole)) return StreamStatus::kReadError;
        if (input.available() < whole) return StreamStatus::kTruncated;
        const uint8_t* payload = input.data() + header.headerSize;
        if (header.compressed) {
            status = DecodeBlock(header, payload, block.get());
            if (status != StreamStatus::kOk) return status;
            payload = block.get();
        }
        if (!sink.Write(payload, header.originalSize)) return StreamStatus::kWriteError;
        input.Consume(whole);
    }
}

StreamStatus DecodeStreamInto(const uint8_t* in, size_t inSize, uint8_t* out,
                              size_t outCapacity, size_t* produced) {
    size_t pos = 0;
    size_t done = 0;
    while (pos < inSize) {
        BlockHeader header;
        StreamStatus status = ParseBlockHeader(in + pos, inSize - pos, &header);
        if (status != StreamStatus::kOk) return status;
        if (inSize - pos - header.headerSize < header.payloadSize) return StreamStatus::kTruncated;
        if (outCapacity - done < header.originalSize) return StreamStatus::kOutputFull;
        status = DecodeBlock(header, in + pos + header.headerSize, out + done);
        if (status != StreamStatus::kOk) return status;
        pos += header.headerSize + header.payloadSize;
        done += header.originalSize;
    }
    *produced = done;
    return StreamStatus::kOk;
}

StreamStatus DecodeBuffer(const std::vector<uint8_t>& package, std::vector<uint8_t>* content) {
    MemorySource source(package);
    VectorSink sink;
    const StreamStatus status = DecodeStream(source, sink);
    content->swap(sink.bytes);
    return status;
}

}  // namespace prynn
