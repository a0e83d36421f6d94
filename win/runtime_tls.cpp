#include "win/runtime_tls.h"

#include <pthread.h>

namespace win {

bool RuntimeTlsSlot::Claim() {
    const DWORD lowest = ::TlsAlloc();
    if (lowest == TLS_OUT_OF_INDEXES) return false;
    ::TlsFree(lowest);
    // The runtime's first call on this thread takes its slot and stores this thread's record
    // in it. A slot another thread took meanwhile holds nothing on this thread.
    ::pthread_self();
    if (!::TlsGetValue(lowest)) return false;
    m_index = lowest;
    return true;
}

void RuntimeTlsSlot::Release() {
    if (m_index == TLS_OUT_OF_INDEXES) return;
    ::TlsFree(m_index);
    m_index = TLS_OUT_OF_INDEXES;
}

}  // namespace win
