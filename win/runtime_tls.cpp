#include "win/runtime_tls.h"

#include <pthread.h>

#include "win/handles.h"

namespace win {

bool RuntimeTlsSlot::Claim() {
    if (::InterlockedCompareExchange(&m_claimed, 1, 0) == 0) {
        Handle thread(::CreateThread(nullptr, 0, ClaimOnThread, this, 0, nullptr));
        if (thread) ::WaitForSingleObject(thread.get(), INFINITE);
    }
    return m_index != TLS_OUT_OF_INDEXES;
}

DWORD WINAPI RuntimeTlsSlot::ClaimOnThread(void* self) {
    const DWORD lowest = ::TlsAlloc();
    if (lowest == TLS_OUT_OF_INDEXES) return 0;
    ::TlsFree(lowest);
    // The runtime's first call takes its slot and stores this thread's record in it. A slot
    // another thread took meanwhile holds nothing on this thread.
    ::pthread_self();
    if (::TlsGetValue(lowest)) static_cast<RuntimeTlsSlot*>(self)->m_index = lowest;
    return 0;
}

namespace {

// The module's TLS callbacks (the runtime's among them) told that this thread leaves it.
void LeaveModuleOnThisThread(HMODULE module) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
    if (!entry.VirtualAddress) return;
    const auto* tls = reinterpret_cast<const IMAGE_TLS_DIRECTORY*>(base + entry.VirtualAddress);
    // The directory holds addresses, already relocated to where the module is.
    auto* callback = reinterpret_cast<PIMAGE_TLS_CALLBACK*>(tls->AddressOfCallBacks);
    for (; callback && *callback; ++callback) (*callback)(module, DLL_THREAD_DETACH, nullptr);
}

}  // namespace

void RuntimeTlsSlot::Release(HMODULE module) {
    if (m_index == TLS_OUT_OF_INDEXES) return;
    if (::TlsGetValue(m_index)) LeaveModuleOnThisThread(module);
    ::TlsFree(m_index);
    m_index = TLS_OUT_OF_INDEXES;
}

}  // namespace win
