#include "framework/class_factory.h"

#include "framework/ole_control_module.h"

namespace fw {

namespace {
COleObjectFactory* g_factories = nullptr;  // the module's factories, newest first
}

COleObjectFactory::COleObjectFactory(REFCLSID clsid, Creator creator, const char* progId)
    : m_clsid(clsid), m_creator(creator), m_progId(progId), m_next(g_factories) {
    g_factories = this;
}

COleObjectFactory::~COleObjectFactory() {
    for (COleObjectFactory** p = &g_factories; *p; p = &(*p)->m_next) {
        if (*p == this) {
            *p = m_next;
            break;
        }
    }
}

bool COleObjectFactory::UpdateRegistryAll(bool bRegister) {
    for (COleObjectFactory* f = g_factories; f; f = f->m_next) {
        if (!f->UpdateRegistry(bRegister)) return false;
    }
    return true;
}

HRESULT COleObjectFactory::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    for (COleObjectFactory* f = g_factories; f; f = f->m_next) {
        if (IsEqualCLSID(f->m_clsid, clsid)) return f->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDMETHODIMP COleObjectFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppv = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) COleObjectFactory::AddRef() {
    COleControlModule::Get()->Lock(true);
    return 2;
}

STDMETHODIMP_(ULONG) COleObjectFactory::Release() {
    COleControlModule::Get()->Lock(false);
    return 1;
}

STDMETHODIMP COleObjectFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return m_creator(riid, ppv);
}

STDMETHODIMP COleObjectFactory::LockServer(BOOL lock) {
    COleControlModule::Get()->Lock(lock != FALSE);
    return S_OK;
}

}  // namespace fw
