#include "framework/property_page.h"

namespace fw {

namespace {

INT_PTR CALLBACK ProbeProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// A dialog template's size in pixels, measured by creating it hidden once.
SIZE TemplateSize(HINSTANCE module, UINT templateId) {
    SIZE size = {0, 0};
    HWND probe = ::CreateDialogParamW(module, MAKEINTRESOURCEW(templateId), ::GetDesktopWindow(),
                                      ProbeProc, 0);
    if (probe) {
        RECT rc;
        ::GetWindowRect(probe, &rc);
        size.cx = rc.right - rc.left;
        size.cy = rc.bottom - rc.top;
        ::DestroyWindow(probe);
    }
    return size;
}

LPOLESTR CoTaskString(const wchar_t* text, int length) {
    auto* s = static_cast<LPOLESTR>(::CoTaskMemAlloc((length + 1) * sizeof(wchar_t)));
    if (s) {
        ::CopyMemory(s, text, length * sizeof(wchar_t));
        s[length] = L'\0';
    }
    return s;
}

}  // namespace

COlePropertyPage::COlePropertyPage(UINT templateId, UINT captionId)
    : win::CDialog(COleControlModule::Get()->Instance(), templateId), m_captionId(captionId) {}

COlePropertyPage::~COlePropertyPage() = default;

STDMETHODIMP COlePropertyPage::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyPage)) {
        *ppv = static_cast<IPropertyPage*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) COlePropertyPage::AddRef() { return ::InterlockedIncrement(&m_refs); }

STDMETHODIMP_(ULONG) COlePropertyPage::Release() {
    LONG refs = ::InterlockedDecrement(&m_refs);
    // The frame may let go from inside one of the page's handlers.
    if (refs == 0) DeleteWhenIdle(this);
    return static_cast<ULONG>(refs);
}

STDMETHODIMP COlePropertyPage::SetPageSite(IPropertyPageSite* site) {
    m_site = win::ComPtr<IPropertyPageSite>(site);
    return S_OK;
}

STDMETHODIMP COlePropertyPage::Activate(HWND parent, LPCRECT rect, BOOL) {
    if (m_hWnd) return E_UNEXPECTED;
    if (!Create(parent)) return E_FAIL;
    if (rect) Move(rect);
    DoDataExchange(false);
    return S_OK;
}

STDMETHODIMP COlePropertyPage::Deactivate() {
    DestroyWindow();
    return S_OK;
}

STDMETHODIMP COlePropertyPage::GetPageInfo(PROPPAGEINFO* info) {
    if (!info) return E_POINTER;
    wchar_t caption[256];
    int n = ::LoadStringW(m_module, m_captionId, caption, 256);
    info->cb = sizeof(PROPPAGEINFO);
    info->pszTitle = CoTaskString(caption, n > 0 ? n : 0);
    info->size = TemplateSize(m_module, m_templateId);
    info->pszDocString = nullptr;
    info->pszHelpFile = nullptr;
    info->dwHelpContext = 0;
    return info->pszTitle ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP COlePropertyPage::SetObjects(ULONG count, IUnknown** objects) {
    if (count && !objects) return E_POINTER;
    m_objects.clear();
    for (ULONG i = 0; i < count; ++i) m_objects.emplace_back(objects[i]);
    return S_OK;
}

STDMETHODIMP COlePropertyPage::Show(UINT cmdShow) {
    if (!m_hWnd) return E_UNEXPECTED;
    ::ShowWindow(m_hWnd, cmdShow);
    return S_OK;
}

STDMETHODIMP COlePropertyPage::Move(LPCRECT rect) {
    if (!rect) return E_POINTER;
    if (!m_hWnd) return E_UNEXPECTED;
    ::MoveWindow(m_hWnd, rect->left, rect->top, rect->right - rect->left,
                 rect->bottom - rect->top, TRUE);
    return S_OK;
}

STDMETHODIMP COlePropertyPage::IsPageDirty() { return m_bDirty ? S_OK : S_FALSE; }

STDMETHODIMP COlePropertyPage::Apply() {
    DoDataExchange(true);
    m_bDirty = false;
    return S_OK;
}

STDMETHODIMP COlePropertyPage::Help(LPCOLESTR) { return E_NOTIMPL; }

STDMETHODIMP COlePropertyPage::TranslateAccelerator(MSG*) { return S_FALSE; }

void COlePropertyPage::DoDataExchange(bool) {}

}  // namespace fw
