// IObjectSafety: the control is safe for scripting through IDispatch and safe for
// initialisation through its persistence interfaces, and nothing else. Nothing is stored:
// the answers never change.
#include "control/tavrin_ctrl_win.h"

namespace tavrin {

namespace {

const DWORD kSafeForScripting = INTERFACESAFE_FOR_UNTRUSTED_CALLER;  // 1
const DWORD kSafeForInit = INTERFACESAFE_FOR_UNTRUSTED_DATA;         // 2

bool IsPersistence(REFIID riid) {
    return IsEqualIID(riid, IID_IPersistPropertyBag) || IsEqualIID(riid, IID_IPersistStreamInit) ||
           IsEqualIID(riid, IID_IPersistStorage) || IsEqualIID(riid, IID_IPersistMemory);
}

}  // namespace

IUnknown* CTavrinCtrl::QueryExtraInterface(REFIID riid) {
    if (IsEqualIID(riid, IID_IObjectSafety)) return &m_xObjectSafety;
    return COleControl::QueryExtraInterface(riid);
}

bool CTavrinCtrl::Exposes(REFIID riid) {
    IUnknown* unknown = nullptr;
    if (FAILED(QueryInterface(riid, reinterpret_cast<void**>(&unknown))) || !unknown)
        return false;
    unknown->Release();
    return true;
}

STDMETHODIMP CTavrinCtrl::XObjectSafety::QueryInterface(REFIID riid, void** ppv) {
    return m_owner->QueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CTavrinCtrl::XObjectSafety::AddRef() { return m_owner->AddRef(); }

STDMETHODIMP_(ULONG) CTavrinCtrl::XObjectSafety::Release() { return m_owner->Release(); }

STDMETHODIMP CTavrinCtrl::XObjectSafety::GetInterfaceSafetyOptions(REFIID riid, DWORD* supported,
                                                                   DWORD* enabled) {
    if (!supported || !enabled) return E_POINTER;
    *supported = kSafeForScripting | kSafeForInit;
    *enabled = 0;
    if (!m_owner->Exposes(riid)) return E_NOINTERFACE;
    if (IsEqualIID(riid, IID_IDispatch)) {
        *enabled = kSafeForScripting;
        return S_OK;
    }
    if (IsPersistence(riid)) {
        *enabled = kSafeForInit;
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP CTavrinCtrl::XObjectSafety::SetInterfaceSafetyOptions(REFIID riid, DWORD mask,
                                                                   DWORD enabled) {
    if (mask == 0 && enabled == 0) return S_OK;
    if (!m_owner->Exposes(riid)) return E_FAIL;
    if (IsEqualIID(riid, IID_IDispatch))
        return mask == kSafeForScripting && enabled == kSafeForScripting ? S_OK : E_FAIL;
    if (IsPersistence(riid))
        return mask == kSafeForInit && enabled == kSafeForInit ? S_OK : E_FAIL;
    return E_FAIL;
}

}  // namespace tavrin
