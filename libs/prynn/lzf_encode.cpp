// The LZF encoder: greedy matching through a hash table of 3-byte sequences. It runs when an
// operator packs an update, so it favours a good ratio (every position of a match is hashed)
// over speed.
#include "libs/prynn/lzf_codec.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace prynn {
namespace {

constexpr int kHashBits = 15;

inline uint32_t HashAt(const uint8_t* p) {
    const uint32_t sequence = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
    return (sequence * 2654435761u) >> (32 - kHashBits);
}

class Writer {
public:
    Writer(uint8_t* out, size_t capacity) : m_op(out), m_oe(out + capacity), m_start(out) {}

    bool Literals(const uint8_t* from, size_t count) {
        while (count > 0) {
            const size_t run = std::min(count, kLzfMaxLiteralRun);
            if (static_cast<size_t>(m_oe - m_op) < run + 1) return false;
            *m_op++ = static_cast<uint8_t>(run - 1);
            std::memcpy(m_op, from, run);
            m_op += run;
            from += run;
            count -= run;
        }
        return true;
    }

    // len in [3, kLzfMaxMatch], dist in [1, kLzfMaxDistance].
    bool Match(size_t len, size_t dist) {
        const size_t code = len - 2;
        if (static_cast<size_t>(m_oe - m_op) < (code < 7 ? 2u : 3u)) return false;
        const size_t offset = dist - 1;
        const auto high = static_cast<uint8_t>(offset >> 8);
        if (code < 7) {
            *m_op++ = static_cast<uint8_t>(code << 5 | high);
        } else {
            *m_op++ = static_cast<uint8_t>(7 << 5 | high);
            *m_op++ = static_cast<uint8_t>(code - 7);
        }
        *m_op++ = static_cast<uint8_t>(offset & 0xff);
        return true;
    }

    size_t size() const { return static_cast<size_t>(m_op - m_start); }

private:
    uint8_t* m_op;
    uint8_t* const m_oe;
    uint8_t* const m_start;
};

}  // namespace

size_t LzfEncode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outCapacity) {
    if (inSize == 0) return 0;
    // Positions, not pointers: an empty slot (0) only proposes a candidate that is checked.
    // Zeroed in one memset (a vector's element-wise fill is slow in instrumented builds).
    std::unique_ptr<uint32_t[]> table(new uint32_t[size_t{1} << kHashBits]());
    Writer writer(out, outCapacity);
    size_t literalStart = 0;
    size_t i = 0;
    while (i + 2 < inSize) {
        uint32_t& slot = table[HashAt(in + i)];
        const size_t candidate = slot;
        slot = static_cast<uint32_t>(i);
        const size_t dist = i - candidate;
        if (candidate >= i || dist > kLzfMaxDistance ||
            std::memcmp(in + candidate, in + i, 3) != 0) {
            ++i;
            continue;
        }
        const size_t maxLen = std::min(kLzfMaxMatch, inSize - i);
        size_t len = 3;
        while (len < maxLen && in[candidate + len] == in[i + len]) ++len;

        if (!writer.Literals(in + literalStart, i - literalStart)) return 0;
        if (!writer.Match(len, dist)) return 0;
        const size_t end = i + len;
        for (size_t j = i + 1; j < end && j + 2 < inSize; ++j)
            table[HashAt(in + j)] = static_cast<uint32_t>(j);
        i = end;
        literalStart = end;
    }
    if (!writer.Literals(in + literalStart, inSize - literalStart)) return 0;
    return writer.size();
}

}  // namespace prynn
