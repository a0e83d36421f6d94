#include "framework/ole_control_module.h"

#include "win/module_lifetime.h"

namespace fw {

namespace {
COleControlModule* g_module = nullptr;  // the one module object, for the factories and objects
}

COleControlModule::COleControlModule() { g_module = this; }

COleControlModule::~COleControlModule() {
    if (g_module == this) g_module = nullptr;
}

COleControlModule* COleControlModule::Get() { return g_module; }

BOOL COleControlModule::InitInstance() { return TRUE; }

int COleControlModule::ExitInstance() { return 0; }

std::wstring COleControlModule::ModulePath() const {
    wchar_t path[MAX_PATH * 2];
    DWORD n = ::GetModuleFileNameW(m_hInstance, path, sizeof(path) / sizeof(path[0]));
    if (n == 0 || n >= sizeof(path) / sizeof(path[0])) return std::wstring();
    return std::wstring(path, n);
}

void COleControlModule::ObjectCreated() { ::InterlockedIncrement(&m_nObjects); }
void COleControlModule::ObjectDestroyed() { ::InterlockedDecrement(&m_nObjects); }

void COleControlModule::Lock(bool lock) {
    if (lock)
        ::InterlockedIncrement(&m_nLocks);
    else
        ::InterlockedDecrement(&m_nLocks);
}

// Threads and windows of the module keep its code in use as much as its objects do.
bool COleControlModule::CanUnloadNow() const {
    return m_nObjects == 0 && m_nLocks == 0 && !win::ModuleInUse();
}

}  // namespace fw
