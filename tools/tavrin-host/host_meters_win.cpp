#include "tools/tavrin-host/host_meters_win.h"

namespace host {

namespace {

constexpr DWORD kBeatMs = 10;
constexpr LONGLONG kTickUnit = 65536;  // Now()'s units per second

}  // namespace

LONGLONG Heartbeat::Frequency() { return kTickUnit; }

LPARAM Heartbeat::Now() {
    LARGE_INTEGER count, frequency;
    ::QueryPerformanceCounter(&count);
    ::QueryPerformanceFrequency(&frequency);
    const auto n = static_cast<unsigned long long>(count.QuadPart);
    const auto f = static_cast<unsigned long long>(frequency.QuadPart);
    const unsigned long long ticks = n / f * kTickUnit + n % f * kTickUnit / f;
    return static_cast<LPARAM>(static_cast<DWORD>(ticks));
}

bool Heartbeat::Start(HWND frame) {
    m_frame = frame;
    m_longestTicks = 0;
    m_beats = 0;
    return StartEvery(kBeatMs);
}

void Heartbeat::Beat(LPARAM postedAt) {
    // 32 bits of 1/65536 s wrap after 18 hours; the difference is right across the wrap.
    const DWORD waited = static_cast<DWORD>(Now()) - static_cast<DWORD>(postedAt);
    if (static_cast<LONGLONG>(waited) > m_longestTicks) m_longestTicks = waited;
    ++m_beats;
}

void Heartbeat::Tick() { ::PostMessageW(m_frame, kHeartbeatMessage, 0, Now()); }

namespace {

// Handle values are multiples of 4; a run this long of values that name nothing is past the
// last one in use.
constexpr ULONG_PTR kHandleGap = 4096;

DWORD CountHandles() {
    DWORD count = 0;
    ULONG_PTR sinceLast = 0;
    for (ULONG_PTR value = 4; sinceLast < kHandleGap; value += 4) {
        DWORD flags = 0;
        if (::GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            ++count;
            sinceLast = 0;
        } else {
            ++sinceLast;
        }
    }
    return count;
}

unsigned long long CountPrivateBytes() {
    unsigned long long total = 0;
    MEMORY_BASIC_INFORMATION info;
    const char* at = nullptr;
    while (::VirtualQuery(at, &info, sizeof info) == sizeof info) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
        const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

}  // namespace

ProcessCounts CountProcess() {
    ProcessCounts counts;
    counts.lowestFreeTls = ::TlsAlloc();
    if (counts.lowestFreeTls != TLS_OUT_OF_INDEXES) ::TlsFree(counts.lowestFreeTls);
    counts.handles = CountHandles();
    counts.privateBytes = CountPrivateBytes();
    return counts;
}

}  // namespace host
