// What the stand-in browser measures of itself while a control lives in it.
#pragma once

#include <windows.h>

#include "tools/tavrin-host/periodic_thread_win.h"

namespace host {

// The message a heartbeat posts to the frame; its lParam is when it was posted.
constexpr UINT kHeartbeatMessage = WM_APP + 0x29;

// A heartbeat every 10 ms, posted to the frame from a thread of its own, as a browser's own
// timers and input would come: the longest time one waited before the browser's thread
// handled it is the longest the browser could not answer the player.
class Heartbeat final : public PeriodicThread {
public:
    Heartbeat() = default;
    ~Heartbeat() { Stop(); }

    bool Start(HWND frame);
    // From the frame's procedure, for each kHeartbeatMessage.
    void Beat(LPARAM postedAt);
    double LongestWaitMs() const { return m_longestTicks * 1000.0 / Frequency(); }
    unsigned Beats() const { return m_beats; }

private:
    void Tick() override;
    static LONGLONG Frequency();
    static LPARAM Now();  // in units of 1/65536 s since an arbitrary origin, wrapping

    HWND m_frame = nullptr;
    LONGLONG m_longestTicks = 0;
    unsigned m_beats = 0;
};

// The process's own counts that show whether a module that comes and goes gives back what it
// took: the lowest free TLS slot, open handles and committed private memory.
struct ProcessCounts {
    DWORD lowestFreeTls;
    DWORD handles;
    unsigned long long privateBytes;
};
ProcessCounts CountProcess();

}  // namespace host
