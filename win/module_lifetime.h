// What keeps this module's code in use besides its COM objects, and the one rule for it.
//
// The module runs inside a browser, which releases controls and unloads the modules that say
// they are unused (DllCanUnloadNow, then FreeLibrary) while it goes on running. Code of ours
// that runs after the unload crashes the browser, so:
// - every thread the module starts is begun with BeginModuleThread: it holds its own reference
//   to the module from before it starts until FreeLibraryAndExitThread, which ends it in the
//   system's code, never in ours;
// - every window whose procedure is ours counts as a user while it exists (win::CWindow and
//   win::CDialog count theirs);
// - DllCanUnloadNow answers "in use" while any thread or window counts (ModuleInUse);
// - the window classes the module registers go when it unloads (UnregisterModuleClasses), so
//   a later load never meets a class whose procedure pointed into the old image.
// Objects bound to windows have a lifetime rule of their own: see win::WindowObject.
#pragma once

#include <windows.h>

#include "win/handles.h"

namespace win {

// The module this code is linked into (the control's DLL, or a test's program).
HMODULE ThisModule();

void AddModuleUser();
void ReleaseModuleUser();
bool ModuleInUse();

using ModuleThreadFn = unsigned (*)(void* param);
// Starts fn(param) on a new thread that holds the module; fn's exceptions are stopped at the
// thread's edge. Null (and fn not called) when no thread could be started.
Handle BeginModuleThread(ModuleThreadFn fn, void* param);

// Registers a window class of this module, to be unregistered when the module unloads;
// a class already registered is left as it is. False when it cannot be registered.
bool RegisterModuleClass(const WNDCLASSEXW& wc);
// From DllMain when the module is unloaded (not at process exit).
void UnregisterModuleClasses();

}  // namespace win
