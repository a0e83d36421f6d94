// The module object of a control server: its instance handle, and the object and lock
// counts behind DllCanUnloadNow. Exactly one lives per module (the control's theApp).
#pragma once

#include <windows.h>

#include <string>

namespace fw {

class COleControlModule {
public:
    COleControlModule();
    virtual ~COleControlModule();
    COleControlModule(const COleControlModule&) = delete;
    COleControlModule& operator=(const COleControlModule&) = delete;

    // The module object of this server; set while it lives.
    static COleControlModule* Get();

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    void Attach(HINSTANCE instance) { m_hInstance = instance; }
    HINSTANCE Instance() const { return m_hInstance; }
    // Full path of the module file.
    std::wstring ModulePath() const;

    void ObjectCreated();
    void ObjectDestroyed();
    void Lock(bool lock);
    bool CanUnloadNow() const;

private:
    HINSTANCE m_hInstance = nullptr;
    volatile LONG m_nObjects = 0;
    volatile LONG m_nLocks = 0;
};

// Counts one live COM object of the module for its lifetime.
class ModuleObjectCount {
public:
    ModuleObjectCount() { COleControlModule::Get()->ObjectCreated(); }
    ~ModuleObjectCount() { COleControlModule::Get()->ObjectDestroyed(); }
    ModuleObjectCount(const ModuleObjectCount&) = delete;
    ModuleObjectCount& operator=(const ModuleObjectCount&) = delete;
};

}  // namespace fw
