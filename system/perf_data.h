// Readers for the two things the NT process scan gets from the system: the "Counters" list of
// counter names and the PERF data block of the process object. Both come from outside, so every
// offset, length, count and string is checked against the bytes at hand; data that do not hold
// together give no result rather than a read outside the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "system/process_scan.h"

namespace tavrin {

// What the "Counters" list (index and name strings alternating) says about processes.
struct ProcessCounterIndexes {
    std::string processObject;  // index of the "process" object as text, "" when not listed
    uint32_t idProcess = 0;     // index of the "id process" counter
    bool hasIdProcess = false;
};

// Walks the NUL-separated strings of size bytes up to the first empty string or the end of the
// bytes, whichever comes first (a last string without its NUL ends at the end). A name counts
// only when the string before it is an index (decimal digits that fit 32 bits); a later match
// overrides an earlier one. Names compare case-insensitively in ASCII.
ProcessCounterIndexes ParseCounterNames(const char* data, size_t size);

// Converts an instance name (UTF-16, no terminator) to the ANSI code page; false when it cannot.
using InstanceNameConverter = std::function<bool(const std::u16string& name, std::string& out)>;

// Reads the process instances of a PERF data block into entries: the first object's first
// min(capacity - 1, NumInstances) instances, in order. Each name is the converted instance name
// followed by ".exe" ("unknown" when the conversion fails or does not fit 260 bytes; "", which
// no search matches, when the name fits but ".exe" does not); each id is the instance's
// idProcessCounter value, 0 being stored as kNoProcessId.
// Returns the number of entries filled; 0 when capacity < 2, when the block lacks the "PERF"
// signature or an object, when the object has no counter with that index, or when any
// structure of the instances read lies outside the block.
size_t ParsePerfProcesses(const uint8_t* data, size_t size, uint32_t idProcessCounter,
                          ProcessEntry* entries, size_t capacity,
                          const InstanceNameConverter& convert);

// Layout of the PERF structures (winperf.h, 32-bit), shared with the Windows side, which checks
// it against the system headers.
namespace perf {
constexpr size_t kBlockTotalByteLength = 20;
constexpr size_t kBlockHeaderLength = 24;
constexpr size_t kBlockNumObjectTypes = 28;
constexpr size_t kBlockSize = 88;

constexpr size_t kObjectTotalByteLength = 0;
constexpr size_t kObjectDefinitionLength = 4;
constexpr size_t kObjectHeaderLength = 8;
constexpr size_t kObjectNumCounters = 32;
constexpr size_t kObjectNumInstances = 40;
constexpr size_t kObjectSize = 64;

constexpr size_t kCounterNameTitleIndex = 4;
constexpr size_t kCounterOffset = 36;
constexpr size_t kCounterDefinitionSize = 40;

constexpr size_t kInstanceByteLength = 0;
constexpr size_t kInstanceNameOffset = 16;
constexpr size_t kInstanceNameLength = 20;
constexpr size_t kInstanceSize = 24;

constexpr size_t kCounterBlockByteLength = 0;
constexpr size_t kCounterBlockSize = 4;
}  // namespace perf

}  // namespace tavrin
