// A helper thread of the stand-in browser that does one small thing at a fixed period until it
// is stopped: the heartbeat and the player who answers boxes are both such threads.
#pragma once

#include <windows.h>

#include "win/handles.h"

namespace host {

class PeriodicThread {
public:
    PeriodicThread(const PeriodicThread&) = delete;
    PeriodicThread& operator=(const PeriodicThread&) = delete;

    // Waits for the thread to end; nothing ticks afterwards. Calling it again does nothing.
    void Stop();

protected:
    PeriodicThread() = default;
    // A derived class stops the thread in its own destructor, while its Tick can still run.
    ~PeriodicThread() = default;

    bool StartEvery(DWORD periodMs);
    // On the thread, once per period.
    virtual void Tick() = 0;

private:
    static DWORD WINAPI Run(void* self);

    DWORD m_periodMs = 0;
    win::Handle m_stop;
    win::Handle m_thread;
};

}  // namespace host
