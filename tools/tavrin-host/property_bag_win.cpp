#include "tools/tavrin-host/property_bag_win.h"

#include "win/handles.h"

#include <utility>

namespace host {

PropertyBag::PropertyBag(std::vector<BagEntry> entries) : m_entries(std::move(entries)) {}

HRESULT PropertyBag::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyBag)) {
        *out = static_cast<IPropertyBag*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

ULONG PropertyBag::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

ULONG PropertyBag::Release() {
    LONG n = InterlockedDecrement(&m_refs);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

HRESULT PropertyBag::Read(LPCOLESTR name, VARIANT* var, IErrorLog* /*log: may be null*/) {
    if (!name || !var) return E_POINTER;
    const BagEntry* found = nullptr;
    for (const BagEntry& e : m_entries) {
        if (lstrcmpiW(e.name.c_str(), name) == 0) {
            found = &e;
            break;
        }
    }
    if (!found) return E_INVALIDARG;

    win::Variant text;
    V_VT(text.get()) = VT_BSTR;
    V_BSTR(text.get()) = ::SysAllocStringLen(found->value.data(), static_cast<UINT>(found->value.size()));
    if (!V_BSTR(text.get())) return E_OUTOFMEMORY;

    // On entry vt names the wanted type and the rest is not a value to free.
    VARTYPE wanted = V_VT(var);
    if (wanted == VT_EMPTY || wanted == VT_VARIANT) wanted = VT_BSTR;
    ::VariantInit(var);
    return ::VariantChangeType(var, text.get(), 0, wanted);
}

HRESULT PropertyBag::Write(LPCOLESTR, VARIANT*) { return E_NOTIMPL; }  // a page is read-only

}  // namespace host
