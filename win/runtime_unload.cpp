#include "win/runtime_unload.h"

#include <pthread.h>

#if defined(__GLIBCXX__)
// The C++ runtime's release of its exception reserve, meant for a program's last moment; the
// reserve is then gone, and a later exception is allocated as any other.
namespace __gnu_cxx {
void __freeres() noexcept;
}
#endif

namespace win {

namespace {

// The module's one record of it: set on load, before the module's own initialisation.
DWORD g_runtimeSlot = TLS_OUT_OF_INDEXES;

HMODULE ThisModule() {
    MEMORY_BASIC_INFORMATION info = {};
    if (!::VirtualQuery(reinterpret_cast<void*>(&ThisModule), &info, sizeof info)) return nullptr;
    return static_cast<HMODULE>(info.AllocationBase);
}

void ClaimRuntimeSlot() {
    const DWORD lowest = ::TlsAlloc();
    if (lowest == TLS_OUT_OF_INDEXES) return;
    ::TlsFree(lowest);
    // The runtime's first call takes its slot and stores this thread's record in it; a slot
    // another thread took meanwhile holds nothing on this thread.
    ::pthread_self();
    if (::TlsGetValue(lowest)) g_runtimeSlot = lowest;
}

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

void ReleaseRuntimeSlot() {
    if (g_runtimeSlot == TLS_OUT_OF_INDEXES) return;
    if (::TlsGetValue(g_runtimeSlot)) LeaveModuleOnThisThread(ThisModule());
    ::TlsFree(g_runtimeSlot);
    g_runtimeSlot = TLS_OUT_OF_INDEXES;
}

void ReleaseExceptionReserve() {
#if defined(__GLIBCXX__)
    __gnu_cxx::__freeres();
#endif
}

void NTAPI RuntimeTlsCallback(PVOID, DWORD reason, PVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) ClaimRuntimeSlot();
    // Unloaded by FreeLibrary (reserved is null), not at the process's end.
    if (reason == DLL_PROCESS_DETACH && !reserved) {
        ReleaseRuntimeSlot();
        ReleaseExceptionReserve();
    }
}

}  // namespace

DWORD RuntimeTlsSlot() { return g_runtimeSlot; }

}  // namespace win

// First in the module's list of TLS callbacks (.CRT$XLB sorts before the runtime's and the C
// library's), so it runs before the module's own initialisation on load. Only the mingw-w64
// runtime needs it.
#if defined(__MINGW32__)
extern "C" {
__attribute__((section(".CRT$XLB"), used)) PIMAGE_TLS_CALLBACK tavrin_runtime_unload_callback =
    win::RuntimeTlsCallback;
}
#endif
