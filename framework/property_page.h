// Base of a property page: a child dialog from a template, shown by a property frame.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <vector>

#include "framework/ole_control_module.h"
#include "win/handles.h"
#include "win/window.h"

namespace fw {

class COlePropertyPage : public IPropertyPage, protected win::CDialog {
public:
    COlePropertyPage(UINT templateId, UINT captionId);
    ~COlePropertyPage() override;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
    STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override;
    STDMETHODIMP Deactivate() override;
    STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
    STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
    STDMETHODIMP Show(UINT cmdShow) override;
    STDMETHODIMP Move(LPCRECT rect) override;
    STDMETHODIMP IsPageDirty() override;
    STDMETHODIMP Apply() override;
    STDMETHODIMP Help(LPCOLESTR helpDir) override;
    STDMETHODIMP TranslateAccelerator(MSG* msg) override;

protected:
    // Moves values between the page's controls and the objects; the base has none.
    virtual void DoDataExchange(bool save);
    virtual const CLSID& GetClassID() const = 0;

    std::vector<win::ComPtr<IUnknown>> m_objects;

private:
    ModuleObjectCount m_moduleCount;
    volatile LONG m_refs = 0;
    UINT m_captionId;
    win::ComPtr<IPropertyPageSite> m_site;
    bool m_bDirty = false;
};

}  // namespace fw
