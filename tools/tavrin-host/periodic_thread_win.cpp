#include "tools/tavrin-host/periodic_thread_win.h"

namespace host {

bool PeriodicThread::StartEvery(DWORD periodMs) {
    Stop();
    m_periodMs = periodMs;
    m_stop.attach(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_stop) return false;
    m_thread.attach(::CreateThread(nullptr, 0, Run, this, 0, nullptr));
    return static_cast<bool>(m_thread);
}

void PeriodicThread::Stop() {
    if (m_thread) {
        ::SetEvent(m_stop.get());
        ::WaitForSingleObject(m_thread.get(), INFINITE);
        m_thread.close();
    }
    m_stop.close();
}

DWORD WINAPI PeriodicThread::Run(void* self) {
    auto* thread = static_cast<PeriodicThread*>(self);
    while (::WaitForSingleObject(thread->m_stop.get(), thread->m_periodMs) == WAIT_TIMEOUT)
        thread->Tick();
    return 0;
}

}  // namespace host
