// The LZF decoder. Most tokens are decoded in a fast loop that runs only while the input and
// the output have room for the largest round, so it checks no bounds but the match distance
// and copies in whole 8- and 16-byte chunks; the last few tokens go through a loop that checks
// every byte count.
//
// Each round of the fast loop is an optional literal run and the match that follows it (a run
// shorter than 32 is always followed by a match). Whether a token is a run is close to a coin
// toss on real data, so the round does not branch on it: it copies 16 literal bytes either way
// and keeps them only if the token was a run. Nearly all matches are at most 16 bytes long and
// fit one copy; long ones and ones that overlap their own first bytes take a slower path.
#include "libs/prynn/lzf_codec.h"

#include <cstring>

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the short-distance match copy assumes a little-endian machine"
#endif

namespace prynn {
namespace {

// The most one round of the fast loop reads: a run of 32 literals and its control byte, then
// a match's three bytes.
constexpr size_t kMaxRoundInput = 1 + kLzfMaxLiteralRun + 3;
// The most it writes: a literal run, then the longest match rounded up to 16-byte chunks.
constexpr size_t kMaxRoundOutput = kLzfMaxLiteralRun + (kLzfMaxMatch + 15) / 16 * 16;

inline void Copy8(uint8_t* to, const uint8_t* from) { std::memcpy(to, from, 8); }
inline void Copy16(uint8_t* to, const uint8_t* from) { std::memcpy(to, from, 16); }

// Copies through a register, for ranges that may overlap: a match closer than the chunk also
// reads bytes past its own end, which land past the match, where the next token writes.
inline void CopyOverlapping8(uint8_t* to, const uint8_t* from) {
    uint64_t chunk;
    std::memcpy(&chunk, from, 8);
    std::memcpy(to, &chunk, 8);
}
inline void CopyOverlapping16(uint8_t* to, const uint8_t* from) {
    uint8_t chunk[16];
    std::memcpy(chunk, from, 16);
    std::memcpy(to, chunk, 16);
}

// lead < 32 ? ifRun : otherwise. GCC compiles the plain conditional to a jump, which
// mispredicts on about every other token; a conditional move costs two cycles.
inline size_t IfRun(size_t lead, size_t ifRun, size_t otherwise) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
    __asm__("cmp $32, %[lead]\n\tcmovae %[otherwise], %[result]"
            : [result] "+r"(ifRun)
            : [lead] "r"(lead), [otherwise] "r"(otherwise)
            : "cc");
    return ifRun;
#else
    const size_t runMask = size_t{0} - size_t{lead < 32};
    return (ifRun & runMask) | (otherwise & ~runMask);
#endif
}

// A match closer than 8 bytes: its first dist bytes repeated, built in a register so the
// copy does not read back what it has just written. Stores of 8 bytes then advance by the
// largest multiple of dist that fits in 8, so every store starts at the pattern's phase 0.
// Reads 8 bytes from op - dist and may write up to 7 bytes past op + len.
inline void CopyMatchNear(uint8_t* op, size_t dist, size_t len) {
    uint64_t pattern;
    std::memcpy(&pattern, op - dist, 8);
    const unsigned bits = static_cast<unsigned>(dist) * 8;
    pattern &= (uint64_t{1} << bits) - 1;
    for (unsigned shift = bits; shift < 64; shift *= 2) pattern |= pattern << shift;
    const size_t step = 8 - 8 % dist;
    for (size_t i = 0; i < len; i += step) std::memcpy(op + i, &pattern, 8);
}

// Copies a match of len bytes from dist bytes back, with the meaning of a byte-by-byte copy
// (a match may overlap its own output). May write up to 15 bytes past op + len.
inline void CopyMatchWide(uint8_t* op, size_t dist, size_t len) {
    const uint8_t* ref = op - dist;
    if (dist >= 16) {
        // Each chunk reads only bytes that are final by then.
        for (size_t i = 0; i < len; i += 16) Copy16(op + i, ref + i);
    } else if (dist >= 8) {
        for (size_t i = 0; i < len; i += 8) Copy8(op + i, ref + i);
    } else {
        CopyMatchNear(op, dist, len);
    }
}

// Decodes rounds while ip < ipFast and op < opFast, which leaves room for any round. False on
// a match before the start of the output; ip and op are where it stopped.
bool DecodeFast(const uint8_t*& ipAt, uint8_t*& opAt, const uint8_t* ipFast, uint8_t* out,
                uint8_t* opFast) {
    const uint8_t* ip = ipAt;
    uint8_t* op = opAt;
    while (ip < ipFast && op < opFast) {
        const size_t lead = ip[0];
        Copy16(op, ip + 1);
        if (lead - 16 < 16) Copy16(op + 16, ip + 17);  // the rare run longer than 16
        // ip first: the next round waits for it, and GCC keeps the order of the two.
        ip += IfRun(lead, lead + 4, 2);  // past the run and a short match's two bytes
        op += IfRun(lead, lead + 1, 0);

        const size_t ctrl = ip[-2];
        if (ctrl < 32) {  // a run after a run of 32
            ip -= 2;
            continue;
        }
        const size_t done = static_cast<size_t>(op - out);
        size_t len = (ctrl >> 5) + 2;
        size_t dist;
        if (ctrl < 7 << 5) {  // up to 8 bytes
            dist = ((ctrl & 0x1f) << 8 | ip[-1]) + 1;
            if (len <= dist && dist <= done) {
                CopyOverlapping8(op, op - dist);
                op += len;
                continue;
            }
        } else {
            len += ip[-1];
            dist = ((ctrl & 0x1f) << 8 | ip[0]) + 1;
            ++ip;
            // Up to 16 bytes that do not overlap, or up to 32 whose halves do not.
            if (len <= 32 && (len <= dist || dist >= 16) && dist <= done) {
                CopyOverlapping16(op, op - dist);
                if (len > 16) Copy16(op + 16, op - dist + 16);
                op += len;
                continue;
            }
        }
        if (dist > done) {
            ipAt = ip;
            opAt = op;
            return false;
        }
        CopyMatchWide(op, dist, len);
        op += len;
    }
    ipAt = ip;
    opAt = op;
    return true;
}

// Decodes the rest of the input, checking every count against both ends.
LzfStatus DecodeCareful(const uint8_t* ip, const uint8_t* ie, uint8_t* op, uint8_t* oe,
                        uint8_t* out, size_t* produced) {
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

}  // namespace

LzfStatus LzfDecode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outCapacity,
                    size_t* produced) {
    const uint8_t* ip = in;
    const uint8_t* const ie = in + inSize;
    uint8_t* op = out;
    uint8_t* const oe = out + outCapacity;

    // Limits of the fast loop, computed without forming pointers before the buffers.
    const uint8_t* const ipFast = inSize > kMaxRoundInput ? ie - kMaxRoundInput : in;
    uint8_t* const opFast = outCapacity > kMaxRoundOutput ? oe - kMaxRoundOutput : out;
    if (!DecodeFast(ip, op, ipFast, out, opFast)) return LzfStatus::kBadReference;
    return DecodeCareful(ip, ie, op, oe, out, produced);
}

}  // namespace prynn
