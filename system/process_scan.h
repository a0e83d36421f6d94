// One scanned process and the fixed sizes the scans work with. Portable: the scans themselves
// (Tool Help, performance data) live in process_scan_win.cpp.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrin {

constexpr size_t kProcessNameSize = 260;  // MAX_PATH bytes, terminator included
constexpr size_t kScanCapacity = 256;     // entries in the buffer StopRunningProcess scans into
// The id stored for a process whose performance data report 0 (the idle pseudo-process).
constexpr uint32_t kNoProcessId = 0xFFFFFFFEu;

struct ProcessEntry {
    uint32_t processId;
    char name[kProcessNameSize];  // file name without directory, ANSI, always terminated
};

// Copies the part of path after its last backslash (all of it when it has none) into name.
// path holds at most pathSize bytes and need not be terminated within them; the copy is cut so
// that it always ends with a terminator. The ANSI code pages of the target systems (949) have
// no trail byte equal to '\\', so a byte search finds the real separator.
void ProcessNameFromPath(const char* path, size_t pathSize, char (&name)[kProcessNameSize]);

}  // namespace tavrin
