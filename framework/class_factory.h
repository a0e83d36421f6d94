// Class factories of the module: each creates one kind of object and knows how to register
// it. The factories are static objects; they enrol themselves on construction.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace fw {

class COleObjectFactory : public IClassFactory {
public:
    // Creates a new object and queries it for riid (the object starts with no reference of
    // its own beyond the one returned).
    using Creator = HRESULT (*)(REFIID riid, void** ppv);

    COleObjectFactory(REFCLSID clsid, Creator creator, const char* progId);
    virtual ~COleObjectFactory();
    COleObjectFactory(const COleObjectFactory&) = delete;
    COleObjectFactory& operator=(const COleObjectFactory&) = delete;

    // Writes (true) or removes (false) this class's registry entries.
    virtual bool UpdateRegistry(bool bRegister) = 0;

    // Every factory of the module; stops at the first failure.
    static bool UpdateRegistryAll(bool bRegister);
    // DllGetClassObject: the factory for clsid, queried for riid.
    static HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv);

    const CLSID& ClassId() const { return m_clsid; }
    const char* ProgId() const { return m_progId; }

    // IUnknown: the factories are static, so reference counts only keep the module locked.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IClassFactory
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    CLSID m_clsid;
    Creator m_creator;
    const char* m_progId;
    COleObjectFactory* m_next = nullptr;
};

}  // namespace fw
