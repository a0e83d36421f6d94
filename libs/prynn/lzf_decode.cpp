// The LZF decoder. Most tokens are decoded in a fast loop that runs only while the input and
// the output have room for the largest token, so it checks no bounds but the match distance
// and copies in whole 16- and 32-byte chunks; the last few tokens go through a loop that
// checks every byte count.
#include "libs/prynn/lzf_codec.h"

#include <cstring>

namespace prynn {
namespace {

// The most a token reads: a control byte and 32 literals.
constexpr size_t kMaxTokenInput = 1 + kLzfMaxLiteralRun;
// The most the fast loop writes for one token: the longest match rounded up to 16 bytes.
constexpr size_t kMaxTokenOutput = (kLzfMaxMatch + 15) / 16 * 16;

inline void Copy8(uint8_t* to, const uint8_t* from) { std::memcpy(to, from, 8); }
inline void Copy16(uint8_t* to, const uint8_t* from) { std::memcpy(to, from, 16); }

// Copies a match of len bytes from dist bytes back, with the meaning of a byte-by-byte copy
// (a match may overlap its own output). May write up to 15 bytes past op + len.
inline void CopyMatchWide(uint8_t* op, size_t dist, size_t len) {
    const uint8_t* ref = op - dist;
    if (dist >= 16) {
        // Each chunk reads only bytes that are final by then.
        for (size_t i = 0; i < len; i += 16) Copy16(op + i, ref + i);
    } else if (dist >= 8) {
        for (size_t i = 0; i < len; i += 8) Copy8(op + i, ref + i);
    } else if (dist == 1) {
        std::memset(op, *ref, len);
    } else {
        for (size_t i = 0; i < len; ++i) op[i] = ref[i];
    }
}

}  // namespace

LzfStatus LzfDecode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outCapacity,
                    size_t* produced) {
    const uint8_t* ip = in;
    const uint8_t* const ie = in + inSize;
    uint8_t* op = out;
    uint8_t* const oe = out + outCapacity;

    // Limits of the fast loop, computed without forming pointers before the buffers.
    const uint8_t* const ipFast = inSize > kMaxTokenInput ? ie - kMaxTokenInput : in;
    uint8_t* const opFast = outCapacity > kMaxTokenOutput ? oe - kMaxTokenOutput : out;

    while (ip < ipFast && op < opFast) {
        const unsigned ctrl = *ip++;
        if (ctrl < 32) {
            const size_t len = ctrl + 1;
            Copy16(op, ip);
            Copy16(op + 16, ip + 16);
            op += len;
            ip += len;
            continue;
        }
        size_t len = ctrl >> 5;
        if (len == 7) len += *ip++;
        const size_t dist = (static_cast<size_t>(ctrl & 0x1f) << 8 | *ip++) + 1;
        len += 2;
        if (dist > static_cast<size_t>(op - out)) return LzfStatus::kBadReference;
        CopyMatchWide(op, dist, len);
        op += len;
    }

    while (ip < ie) {
        const unsigned ctrl = *ip++;
        if (ctrl < 32) {
            const size_t len = ctrl + 1;
            if (static_cast<size_t>(ie - ip) < len) return LzfStatus::kTruncated;
            if (static_cast<size_t>(oe - op) < len) return LzfStatus::kOutputOverflow;
            std::memcpy(op, ip, len);
            op += len;
            ip += len;
            continue;
        }
        size_t len = ctrl >> 5;
        if (len == 7) {
            if (ip == ie) return LzfStatus::kTruncated;
            len += *ip++;
        }
        if (ip == ie) return LzfStatus::kTruncated;
        const size_t dist = (static_cast<size_t>(ctrl & 0x1f) << 8 | *ip++) + 1;
        len += 2;
        if (dist > static_cast<size_t>(op - out)) return LzfStatus::kBadReference;
        if (static_cast<size_t>(oe - op) < len) return LzfStatus::kOutputOverflow;
        const uint8_t* ref = op - dist;
        for (size_t i = 0; i < len; ++i) op[i] = ref[i];
        op += len;
    }

    *produced = static_cast<size_t>(op - out);
    return LzfStatus::kOk;
}

}  // namespace prynn
