// The page's parameters as a browser hands them to IPersistPropertyBag::Load.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <string>
#include <vector>

namespace host {

struct BagEntry {
    std::wstring name;
    std::wstring value;
};

class PropertyBag final : public IPropertyBag {
public:
    // Starts with one reference, which the caller owns.
    explicit PropertyBag(std::vector<BagEntry> entries);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // Names match without regard to case and the first of equal names wins, as in browsers.
    // The value comes as VT_BSTR unless the caller asks for another type in pVar->vt.
    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* var, IErrorLog* log) override;
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR name, VARIANT* var) override;

private:
    ~PropertyBag() = default;

    LONG m_refs = 1;
    std::vector<BagEntry> m_entries;
};

}  // namespace host
