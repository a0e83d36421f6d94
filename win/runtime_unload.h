// What the statically linked runtime takes, given back when a module of ours unloads.
//
// Each of our DLLs links libgcc, libstdc++ and the posix-thread runtime (winpthreads)
// statically, beside the system's own C library (msvcrt.dll): no runtime DLL ships beside
// them, and a player's machine lacks one. A browser loads and unloads the modules on every
// visit, and the runtime was written for a program that loads it once:
// - the thread runtime takes one TLS slot the first time a thread meets it (the 32-bit
//   unwinder's frame registration at load, an exception, a wait of a condition) and never
//   frees it; TLS slots are a process-wide resource of about a thousand, so visits would use
//   them up and the runtime would then abort the browser;
// - the C++ runtime reserves memory for exceptions thrown when memory is short (about 18 KiB
//   in the 32-bit build, 72 KiB in the 64-bit one) from the C library's heap, which outlives
//   the module, and frees it only when asked.
//
// runtime_unload.cpp, linked into each DLL (tavrin_runtime_unload), gives both back: a TLS
// callback that runs before any other code of the module, on the loading thread, makes the
// runtime take its slot there, where it is recognisable (the lowest free one, set on this
// thread); when the module is unloaded (not at process exit) the unloading thread, the
// browser's, which ran our code and lives on, is first seen leaving the module, as if it ended
// (so the runtime frees its record of that thread and the handles in it), then the slot is
// freed and the exception reserve returned. Threads of the module are cleaned by the runtime
// at their own detach.
//
// What still stays, and no call of the runtime gives back: the thread runtime keeps the
// records of threads that left on a list of its own for reuse, and the list is lost with the
// module; about 0.3 KiB a module a visit (0.6 KiB in the 64-bit build).
#pragma once

#include <windows.h>

namespace win {

// The slot the runtime of this module took, or TLS_OUT_OF_INDEXES when it was not recognised
// (another thread took slots at the same moment: then it stays taken, as it would have anyway).
DWORD RuntimeTlsSlot();

}  // namespace win
