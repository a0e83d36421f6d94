// The thread runtime's TLS slot, given back when the module unloads.
//
// The module links the posix-thread runtime (winpthreads) statically, as it links libgcc and
// libstdc++: no runtime DLL ships beside it. That runtime takes one TLS slot the first time a
// thread meets it (an exception thrown, a wait of a condition, a sleep) and never frees it;
// a browser loads and unloads the module on every visit, and TLS slots are a process-wide
// resource of about a thousand, so visits would use them up and the runtime then aborts the
// browser. The slot is claimed at load, on the loading thread, where it can be recognised:
// the lowest free slot, which the runtime's first call takes and sets on that thread. At
// unload (not at process exit) it is freed, after every thread of ours has left.
#pragma once

#include <windows.h>

namespace win {

class RuntimeTlsSlot {
public:
    // From DllMain, DLL_PROCESS_ATTACH. False when the slot could not be recognised (another
    // thread took slots at the same moment): then it stays taken, as it would have anyway.
    bool Claim();
    // From DllMain, DLL_PROCESS_DETACH by FreeLibrary.
    void Release();
    DWORD index() const { return m_index; }

private:
    DWORD m_index = TLS_OUT_OF_INDEXES;
};

}  // namespace win
