// The LZF data format, one buffer to another: the payload of a compressed package block.
// A token is a control byte c: c < 32 starts a run of c + 1 literal bytes; otherwise c >> 5
// (7 meaning "7 plus the next byte") is the match length minus 2, and the low 5 bits with the
// byte after the length give the distance minus 1 back into the output (up to 8,192 bytes).
#pragma once

#include <cstddef>
#include <cstdint>

namespace prynn {

enum class LzfStatus {
    kOk,
    kTruncated,       // a token runs past the end of the input
    kBadReference,    // a match reaches before the start of the output
    kOutputOverflow,  // the data decodes to more than the output holds
};

// Decodes in[0, inSize) into out[0, outCapacity). On kOk, *produced is the decoded size. No
// byte outside out[0, outCapacity) is written and none outside the input is read, whatever
// the input; on failure the output holds garbage.
LzfStatus LzfDecode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outCapacity,
                    size_t* produced);

// The longest match and the farthest reach the format can express.
constexpr size_t kLzfMaxMatch = 264;
constexpr size_t kLzfMaxDistance = 8192;
constexpr size_t kLzfMaxLiteralRun = 32;

// Encodes in[0, inSize) into out[0, outCapacity). Returns the encoded size, or 0 when the
// result does not fit (or the input is empty). Writes nothing past outCapacity. Inputs stay
// below 4 GiB (positions are kept in 32 bits); packages give it blocks of 64 KiB.
size_t LzfEncode(const uint8_t* in, size_t inSize, uint8_t* out, size_t outCapacity);

// An output capacity that always fits the encoding of inSize bytes (one control byte per
// 32 literals in the worst case).
constexpr size_t LzfEncodeBound(size_t inSize) { return inSize + inSize / 32 + 1; }

}  // namespace prynn
