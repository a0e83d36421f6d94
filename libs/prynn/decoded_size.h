// What a package decodes to, read from its block headers alone, without decoding: the sum of
// the original sizes its blocks announce. The decoder never writes more than a block's header
// says, so this is the most a package can put on the disk, known before anything is written.
#pragma once

#include <cstddef>
#include <cstdint>

#include "libs/prynn/lzf_stream.h"

namespace prynn {

class DecodedSizeCounter {
public:
    // The next bytes of the package; after a fault the rest is ignored.
    void Feed(const uint8_t* data, size_t size);
    // kOk with the total once the package ended after a whole block; the fault otherwise.
    StreamStatus Finish(uint64_t* decodedSize) const;

private:
    StreamStatus m_status = StreamStatus::kOk;
    uint8_t m_header[kCompressedHeaderSize] = {};
    size_t m_headerHave = 0;
    uint64_t m_payloadLeft = 0;  // of the block under way, once its header is whole
    uint64_t m_total = 0;
};

}  // namespace prynn
