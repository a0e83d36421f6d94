// The thread runtime's TLS slot, given back when the module unloads.
//
// The module links the posix-thread runtime (winpthreads) statically, as it links libgcc and
// libstdc++: no runtime DLL ships beside it. That runtime takes one TLS slot the first time a
// thread meets it (an exception thrown, a wait of a condition, a sleep) and never frees it;
// a browser loads and unloads the module on every visit, and TLS slots are a process-wide
// resource of about a thousand, so visits would use them up and the runtime then aborts the
// browser. So the slot is claimed before any other code of ours runs, where it can be
// recognised: on a short thread of its own, the lowest free slot is the one the runtime's first
// call takes, and that call sets it on that thread. The thread's record goes with the thread
// (the runtime cleans up at thread detach, which is why the module takes thread notifications).
// At unload (not at process exit) the slot is freed, after every thread of ours has left. The
// thread that unloads the module is the browser's, which ran our code and has a record of the
// runtime too; it lives on, so it is seen leaving the module first, as if it ended.
#pragma once

#include <windows.h>

namespace win {

class RuntimeTlsSlot {
public:
    // Before the module's first object (DllGetClassObject); once per load, later calls return
    // at once. False when the slot could not be recognised (another thread took slots at the
    // same moment): then it stays taken, as it would have anyway.
    bool Claim();
    // From DllMain, DLL_PROCESS_DETACH by FreeLibrary.
    void Release(HMODULE module);
    DWORD index() const { return m_index; }

private:
    static DWORD WINAPI ClaimOnThread(void* self);

    volatile LONG m_claimed = 0;
    DWORD m_index = TLS_OUT_OF_INDEXES;
};

}  // namespace win
