// Dispatch through the embedded type library, class information, the event source and the
// property pages of a control.
#include "framework/ole_control.h"

namespace fw {

HRESULT COleControl::GetTypeLib(LCID lcid, ITypeLib** lib) {
    if (!lib) return E_POINTER;
    *lib = nullptr;
    if (!m_typeLib) {
        // The library is registered under 0x409 only; under a Korean locale a lookup by the
        // user's locale fails, so fall back to 0x409 and then to the module's own resource.
        const GUID& libid = *m_ids.libid;
        HRESULT hr = ::LoadRegTypeLib(libid, m_ids.libMajor, m_ids.libMinor, lcid,
                                      m_typeLib.receive());
        if (FAILED(hr))
            hr = ::LoadRegTypeLib(libid, m_ids.libMajor, m_ids.libMinor, 0x409,
                                  m_typeLib.receive());
        if (FAILED(hr)) {
            std::wstring path = COleControlModule::Get()->ModulePath();
            hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, m_typeLib.receive());
        }
        if (FAILED(hr)) return hr;
    }
    *lib = m_typeLib.get();
    (*lib)->AddRef();
    return S_OK;
}

HRESULT COleControl::TypeInfoOf(REFGUID guid, ITypeInfo** info) {
    win::ComPtr<ITypeLib> lib;
    HRESULT hr = GetTypeLib(LOCALE_SYSTEM_DEFAULT, lib.receive());
    if (FAILED(hr)) return hr;
    return lib->GetTypeInfoOfGuid(guid, info);
}

STDMETHODIMP COleControl::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP COleControl::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return win::Guarded("GetTypeInfo", E_OUTOFMEMORY, [&] { return TypeInfoOf(*m_ids.dispatchIid, info); });
}

STDMETHODIMP COleControl::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                        DISPID* ids) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids) return E_POINTER;
    return win::Guarded("GetIDsOfNames", E_OUTOFMEMORY, [&] {
        win::ComPtr<ITypeInfo> info;
        HRESULT hr = TypeInfoOf(*m_ids.dispatchIid, info.receive());
        if (FAILED(hr)) return hr;
        return info->GetIDsOfNames(names, count, ids);
    });
}

STDMETHODIMP COleControl::Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO*, UINT* argErr) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!params) return E_POINTER;
    return win::Guarded("Invoke", E_OUTOFMEMORY, [&]() -> HRESULT {
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
            if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
            if (params->cNamedArgs != 1 || params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTOPTIONAL;
            HRESULT hr = PutDispProperty(id, params->rgvarg[0]);
            if (hr == DISP_E_TYPEMISMATCH && argErr) *argErr = 0;
            return hr;
        }
        if (flags & DISPATCH_PROPERTYGET) {
            if (params->cArgs != 0) {
                // A method call that VBScript also flags as a get.
                if (!(flags & DISPATCH_METHOD)) return DISP_E_BADPARAMCOUNT;
            } else {
                VARIANT ignored;
                ::VariantInit(&ignored);
                HRESULT hr = GetDispProperty(id, result ? result : &ignored);
                ::VariantClear(&ignored);
                if (hr != DISP_E_MEMBERNOTFOUND || !(flags & DISPATCH_METHOD)) return hr;
            }
        }
        if (flags & DISPATCH_METHOD) {
            if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
            if (result) ::VariantInit(result);
            return InvokeDispMethod(id);
        }
        return DISP_E_MEMBERNOTFOUND;
    });
}

HRESULT COleControl::GetDispProperty(DISPID, VARIANT*) { return DISP_E_MEMBERNOTFOUND; }
HRESULT COleControl::PutDispProperty(DISPID, const VARIANT&) { return DISP_E_MEMBERNOTFOUND; }
HRESULT COleControl::InvokeDispMethod(DISPID) { return DISP_E_MEMBERNOTFOUND; }

STDMETHODIMP COleControl::GetClassInfo(ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    return win::Guarded("GetClassInfo", E_OUTOFMEMORY, [&] { return TypeInfoOf(*m_ids.clsid, info); });
}

STDMETHODIMP COleControl::GetGUID(DWORD kind, GUID* guid) {
    if (!guid) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *guid = GUID_NULL;
        return E_INVALIDARG;
    }
    *guid = *m_ids.eventsIid;
    return S_OK;
}

STDMETHODIMP COleControl::EnumConnectionPoints(IEnumConnectionPoints** points) {
    return CreateConnectionPointEnum(&m_eventsPoint, points);
}

STDMETHODIMP COleControl::FindConnectionPoint(REFIID riid, IConnectionPoint** point) {
    if (!point) return E_POINTER;
    *point = nullptr;
    if (!IsEqualIID(riid, *m_ids.eventsIid)) return CONNECT_E_NOCONNECTION;
    *point = &m_eventsPoint;
    (*point)->AddRef();
    return S_OK;
}

STDMETHODIMP COleControl::GetPages(CAUUID* pages) {
    if (!pages) return E_POINTER;
    pages->cElems = 0;
    pages->pElems = nullptr;
    if (!m_ids.propPageClsid) return S_OK;
    pages->pElems = static_cast<GUID*>(::CoTaskMemAlloc(sizeof(GUID)));
    if (!pages->pElems) return E_OUTOFMEMORY;
    pages->pElems[0] = *m_ids.propPageClsid;
    pages->cElems = 1;
    return S_OK;
}

}  // namespace fw
