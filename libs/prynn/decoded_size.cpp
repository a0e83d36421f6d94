#include "libs/prynn/decoded_size.h"

#include <algorithm>

#include "libs/prynn/lzf_block.h"

namespace prynn {

void DecodedSizeCounter::Feed(const uint8_t* data, size_t size) {
    while (size > 0 && m_status == StreamStatus::kOk) {
        if (m_payloadLeft > 0) {
            const size_t skip = static_cast<size_t>(std::min<uint64_t>(m_payloadLeft, size));
            m_payloadLeft -= skip;
            data += skip;
            size -= skip;
            continue;
        }
        // A header arrives a byte at a time at worst: gather it until it parses.
        m_header[m_headerHave++] = *data++;
        --size;
        BlockHeader header;
        const StreamStatus parsed = ParseBlockHeader(m_header, m_headerHave, &header);
        if (parsed == StreamStatus::kTruncated) continue;
        if (parsed != StreamStatus::kOk) {
            m_status = parsed;
            return;
        }
        // A stored block holds exactly what it decodes to; a compressed one says both sizes.
        m_total += header.originalSize;
        m_payloadLeft = header.payloadSize;
        m_headerHave = 0;
    }
}

StreamStatus DecodedSizeCounter::Finish(uint64_t* decodedSize) const {
    if (m_status != StreamStatus::kOk) return m_status;
    if (m_headerHave > 0 || m_payloadLeft > 0) return StreamStatus::kTruncated;
    *decodedSize = m_total;
    return StreamStatus::kOk;
}

}  // namespace prynn
