// Where the package codec reads and writes: files in the DLL and the packer, memory in tests
// and benchmarks.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace prynn {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Reads up to size bytes; *got is 0 only at the end of the data. False on a read error.
    virtual bool Read(uint8_t* buffer, size_t size, size_t* got) = 0;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Writes all size bytes or fails.
    virtual bool Write(const uint8_t* data, size_t size) = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    explicit MemorySource(const std::vector<uint8_t>& bytes)
        : MemorySource(bytes.data(), bytes.size()) {}
    bool Read(uint8_t* buffer, size_t size, size_t* got) override {
        const size_t n = std::min(size, m_size - m_offset);
        if (n > 0) std::memcpy(buffer, m_data + m_offset, n);
        m_offset += n;
        *got = n;
        return true;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_offset = 0;
};

class VectorSink : public ByteSink {
public:
    bool Write(const uint8_t* data, size_t size) override {
        bytes.insert(bytes.end(), data, data + size);
        return true;
    }
    std::vector<uint8_t> bytes;
};

}  // namespace prynn
