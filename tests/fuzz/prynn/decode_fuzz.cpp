// The package decoder on any input: no read or write outside its buffers (the sanitizers
// watch), and the encoder's output always decodes back to its input.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "libs/prynn/lzf_codec.h"
#include "libs/prynn/lzf_stream.h"

using namespace prynn;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// Raw LZF data into an output of exactly capacity bytes, so any write past it is caught.
void DecodeRaw(const uint8_t* data, size_t size, size_t capacity) {
    std::unique_ptr<uint8_t[]> out(new uint8_t[capacity ? capacity : 1]);
    size_t produced = 0;
    if (LzfDecode(data, size, out.get(), capacity, &produced) == LzfStatus::kOk)
        Check(produced <= capacity);
}

void RoundTrip(const uint8_t* data, size_t size) {
    const size_t bound = LzfEncodeBound(size);
    std::unique_ptr<uint8_t[]> packed(new uint8_t[bound]);
    const size_t packedSize = LzfEncode(data, size, packed.get(), bound);
    Check(size == 0 || packedSize > 0);
    if (size > 0) {
        std::unique_ptr<uint8_t[]> back(new uint8_t[size]);
        size_t produced = 0;
        Check(LzfDecode(packed.get(), packedSize, back.get(), size, &produced) == LzfStatus::kOk);
        Check(produced == size && std::memcmp(back.get(), data, size) == 0);
    }

    const std::vector<uint8_t> content(data, data + size);
    std::vector<uint8_t> decoded;
    Check(DecodeBuffer(EncodeBuffer(content), &decoded) == StreamStatus::kOk);
    Check(decoded == content);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // As a package, through the streaming decoder and into memory of a fixed size.
    const std::vector<uint8_t> package(data, data + size);
    std::vector<uint8_t> content;
    const StreamStatus streamed = DecodeBuffer(package, &content);

    // Room for three blocks at most, and less for short inputs, which cannot fill it.
    const size_t capacity = std::min<size_t>(3 * 65535, 64 * size + 64);
    std::unique_ptr<uint8_t[]> out(new uint8_t[capacity]);
    size_t produced = 0;
    const StreamStatus inMemory = DecodeStreamInto(data, size, out.get(), capacity, &produced);
    // Both decoders must agree whenever the content fits.
    if (inMemory == StreamStatus::kOk) {
        Check(streamed == StreamStatus::kOk && content.size() == produced);
        Check(produced == 0 || std::memcmp(content.data(), out.get(), produced) == 0);
    } else if (inMemory != StreamStatus::kOutputFull) {
        Check(streamed == inMemory);
    }

    // As raw LZF data, into outputs around the sizes that matter to the fast paths.
    DecodeRaw(data, size, 0);
    DecodeRaw(data, size, size);
    DecodeRaw(data, size, 300);
    DecodeRaw(data, size, 4 * size + 300);

    RoundTrip(data, size);
    return 0;
}
