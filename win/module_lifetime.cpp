#include "win/module_lifetime.h"

#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "win/boundary.h"

namespace win {

namespace {

volatile LONG g_users = 0;  // threads and windows of ours alive now

struct ThreadStart {
    ModuleThreadFn fn;
    void* param;
    HMODULE held;  // the thread's own reference to the module
};

// A reference to the module that holds the code at `address`: what the thread gives back as
// it leaves. GetModuleHandleExW where the system has it, else a load of the module's file.
HMODULE ReferenceModule() {
    using GetModuleHandleExFn = BOOL(WINAPI*)(DWORD, LPCWSTR, HMODULE*);
    const auto getEx = reinterpret_cast<GetModuleHandleExFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("KERNEL32.DLL"), "GetModuleHandleExW")));
    HMODULE module = nullptr;
    if (getEx && getEx(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCWSTR>(&ReferenceModule), &module))
        return module;
    char path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameA(ThisModule(), path, sizeof path);
    return n && n < sizeof path ? ::LoadLibraryA(path) : nullptr;
}

DWORD WINAPI ModuleThreadEntry(void* param) {
    ThreadStart start = *static_cast<ThreadStart*>(param);
    delete static_cast<ThreadStart*>(param);
    const unsigned code = Guarded("a thread of the module", 0u, [&] { return start.fn(start.param); });
    ReleaseModuleUser();
    // The module stays mapped until this call has left our code.
    ::FreeLibraryAndExitThread(start.held, code);
    return code;  // not reached
}

std::mutex g_classesLock;
struct ModuleClass {
    std::wstring name;
    HINSTANCE instance;
};
std::vector<ModuleClass>& RegisteredClasses() {
    static std::vector<ModuleClass> classes;
    return classes;
}

}  // namespace

HMODULE ThisModule() {
    MEMORY_BASIC_INFORMATION info = {};
    if (!::VirtualQuery(reinterpret_cast<void*>(&ThisModule), &info, sizeof info)) return nullptr;
    return static_cast<HMODULE>(info.AllocationBase);
}

void AddModuleUser() { ::InterlockedIncrement(&g_users); }
void ReleaseModuleUser() { ::InterlockedDecrement(&g_users); }
bool ModuleInUse() { return ::InterlockedCompareExchange(&g_users, 0, 0) != 0; }

Handle BeginModuleThread(ModuleThreadFn fn, void* param) {
    HMODULE held = ReferenceModule();
    if (!held) return Handle();
    auto* start = new (std::nothrow) ThreadStart{fn, param, held};
    if (!start) {
        ::FreeLibrary(held);
        return Handle();
    }
    AddModuleUser();
    HANDLE thread = ::CreateThread(nullptr, 0, ModuleThreadEntry, start, 0, nullptr);
    if (!thread) {
        ReleaseModuleUser();
        delete start;
        ::FreeLibrary(held);
    }
    return Handle(thread);
}

bool RegisterModuleClass(const WNDCLASSEXW& wc) {
    // Two pages may create their controls on two threads at once: the check and the
    // registration go together, or the second would find the class taken and get no window.
    std::lock_guard<std::mutex> hold(g_classesLock);
    WNDCLASSEXW existing = {};
    existing.cbSize = sizeof existing;
    if (::GetClassInfoExW(wc.hInstance, wc.lpszClassName, &existing)) return true;
    if (!::RegisterClassExW(&wc)) return ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    RegisteredClasses().push_back({wc.lpszClassName, wc.hInstance});
    return true;
}

void UnregisterModuleClasses() {
    std::lock_guard<std::mutex> hold(g_classesLock);
    for (const ModuleClass& registered : RegisteredClasses())
        ::UnregisterClassW(registered.name.c_str(), registered.instance);
    RegisteredClasses().clear();
}

}  // namespace win
