// How long a transfer may wait for its server, and a whole visit for anything at all. The
// engine keeps these bounds itself, on its own clock, between the session's short waits
// (internet_session.h): a library's own timeouts are not relied on, nor any other thread.
// Test builds (not TAVRIN_RELEASE) shorten them from the environment: TAVRIN_TEST_STALL_MS
// (silence and the rate floor's window), TAVRIN_TEST_HEADERS_MS and TAVRIN_TEST_VISIT_MS.
#pragma once

#include <cstdint>

namespace tavrin {

struct TransferLimits {
    int64_t headersSeconds = 30;  // a try that brings no headers by then ends
    int64_t silenceSeconds = 60;  // a body that brings no byte for this long ends
    // A body that brings fewer than floorBytes in a window of silenceSeconds ends: a server
    // sending a byte now and then would otherwise hold the transfer for ever.
    uint64_t floorBytes = 1024;
    // With nothing gained for this long (no byte of any file) the visit ends and the player is
    // told, whatever servers and tries are left.
    int64_t visitSeconds = 300;
};

// The limits above, shortened in test builds as the environment says.
TransferLimits DefaultTransferLimits();

}  // namespace tavrin
