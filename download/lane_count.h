// How many transfers the updater runs side by side: kMaxLanes, or fewer where WinINet lets
// fewer connections reach one server at once (a lane beyond the cap would only wait for one).
// Test builds (not TAVRIN_RELEASE) take the count from TAVRIN_TEST_LANES (1 to kMaxLanes),
// whatever the cap, so that the benchmarks can compare counts under a library that reads low.
#pragma once

#include <cstddef>

namespace tavrin {

// serverCap: the library's connections per server; 0 when it could not be read.
size_t UpdaterLanes(size_t serverCap);

}  // namespace tavrin
