#include "tools/tavrin-host/client_site_win.h"

#include <urlmon.h>

#include <exdisp.h>
#include <olectl.h>

#include "tools/tavrin-host/page_browser_win.h"
#include "tools/tavrin-host/page_document_win.h"

namespace host {

ClientSite::ClientSite(HWND frame, const RECT& pos, const PageAddresses& addresses)
    : m_frame(frame), m_pos(pos), m_monikerUrl(addresses.moniker) {
    if (!addresses.document.empty()) m_document = NewPageDocument(addresses.document);
    if (!addresses.browser.empty()) m_browser = NewPageBrowser(addresses.browser);
}

void ClientSite::SetObject(IOleObject* object) { m_object = win::ComPtr<IOleObject>(object); }

void ClientSite::Forget() {
    m_active.reset();
    m_object.reset();
}

HRESULT ClientSite::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite))
        *out = static_cast<IOleClientSite*>(this);
    else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite))
        *out = static_cast<IOleInPlaceSite*>(this);
    else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame))
        *out = static_cast<IOleInPlaceFrame*>(this);
    else if (IsEqualIID(riid, IID_IDispatch))
        *out = static_cast<IDispatch*>(this);
    else if (IsEqualIID(riid, IID_IServiceProvider))
        *out = static_cast<IServiceProvider*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG ClientSite::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }

ULONG ClientSite::Release() {
    LONG n = InterlockedDecrement(&m_refs);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
}

// --- IOleClientSite: a page is never saved.

HRESULT ClientSite::SaveObject() { return S_OK; }

// The container's moniker names the page, as a browser's does; the control may learn the
// page's address from it. Nothing else is asked of a moniker here.
HRESULT ClientSite::GetMoniker(DWORD, DWORD which, IMoniker** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (which != OLEWHICHMK_CONTAINER || m_monikerUrl.empty()) return E_NOTIMPL;
    return ::CreateURLMonikerEx(nullptr, m_monikerUrl.c_str(), out, URL_MK_UNIFORM);
}

// The container is the page's document, when it is to name the page.
HRESULT ClientSite::GetContainer(IOleContainer** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!m_document) return E_NOINTERFACE;
    *out = m_document.get();
    (*out)->AddRef();
    return S_OK;
}

HRESULT ClientSite::ShowObject() { return S_OK; }
HRESULT ClientSite::OnShowWindow(BOOL) { return S_OK; }
HRESULT ClientSite::RequestNewObjectLayout() { return E_NOTIMPL; }

// --- IOleWindow

HRESULT ClientSite::GetWindow(HWND* out) {
    if (!out) return E_POINTER;
    // The control may close our window and still ask during its own teardown.
    if (!::IsWindow(m_frame)) {
        *out = nullptr;
        return E_FAIL;
    }
    *out = m_frame;
    return S_OK;
}

HRESULT ClientSite::ContextSensitiveHelp(BOOL) { return S_OK; }

// --- IOleInPlaceSite

HRESULT ClientSite::CanInPlaceActivate() { return ::IsWindow(m_frame) ? S_OK : S_FALSE; }
HRESULT ClientSite::OnInPlaceActivate() { return S_OK; }
HRESULT ClientSite::OnUIActivate() { return S_OK; }

HRESULT ClientSite::GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                     LPRECT pos, LPRECT clip, LPOLEINPLACEFRAMEINFO info) {
    if (!frame || !doc || !pos || !clip || !info) return E_POINTER;
    *frame = static_cast<IOleInPlaceFrame*>(this);
    AddRef();
    // The frame is the document window too; some controls do not expect a null document.
    *doc = static_cast<IOleInPlaceUIWindow*>(static_cast<IOleInPlaceFrame*>(this));
    AddRef();
    *pos = m_pos;
    if (!::GetClientRect(m_frame, clip)) *clip = m_pos;
    info->fMDIApp = FALSE;
    info->hwndFrame = m_frame;
    info->haccel = nullptr;
    info->cAccelEntries = 0;
    return S_OK;
}

HRESULT ClientSite::Scroll(SIZE) { return S_OK; }
HRESULT ClientSite::OnUIDeactivate(BOOL) { return S_OK; }

HRESULT ClientSite::OnInPlaceDeactivate() {
    m_active.reset();
    return S_OK;
}

HRESULT ClientSite::DiscardUndoState() { return S_OK; }
HRESULT ClientSite::DeactivateAndUndo() { return S_OK; }

// The page grants whatever size the control asks for, as a browser does for a fixed layout.
HRESULT ClientSite::OnPosRectChange(LPCRECT pos) {
    if (!pos) return E_POINTER;
    m_pos = *pos;
    win::ComPtr<IOleInPlaceObject> inPlace;
    if (m_object && SUCCEEDED(m_object.as(inPlace))) {
        RECT clip;
        if (!::GetClientRect(m_frame, &clip)) clip = m_pos;
        inPlace->SetObjectRects(&m_pos, &clip);
    }
    return S_OK;
}

// --- IOleInPlaceUIWindow / IOleInPlaceFrame: no toolbars, menus or accelerators of our own.

HRESULT ClientSite::GetBorder(LPRECT) { return INPLACE_E_NOTOOLSPACE; }
HRESULT ClientSite::RequestBorderSpace(LPCBORDERWIDTHS) { return INPLACE_E_NOTOOLSPACE; }

HRESULT ClientSite::SetBorderSpace(LPCBORDERWIDTHS widths) {
    return widths ? INPLACE_E_NOTOOLSPACE : S_OK;
}

HRESULT ClientSite::SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR) {
    m_active = win::ComPtr<IOleInPlaceActiveObject>(active);
    return S_OK;
}

HRESULT ClientSite::InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) { return S_OK; }
HRESULT ClientSite::SetMenu(HMENU, HOLEMENU, HWND) { return S_OK; }
HRESULT ClientSite::RemoveMenus(HMENU) { return S_OK; }
HRESULT ClientSite::SetStatusText(LPCOLESTR) { return S_OK; }
HRESULT ClientSite::EnableModeless(BOOL) { return S_OK; }
HRESULT ClientSite::TranslateAccelerator(LPMSG, WORD) { return S_FALSE; }

// --- IDispatch: ambient properties

HRESULT ClientSite::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT ClientSite::GetTypeInfo(UINT, LCID, ITypeInfo** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

HRESULT ClientSite::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) {
    return DISP_E_UNKNOWNNAME;
}

HRESULT ClientSite::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS*, VARIANT* result,
                           EXCEPINFO*, UINT*) {
    if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (!result) return E_POINTER;
    ::VariantInit(result);
    switch (id) {
    case DISPID_AMBIENT_USERMODE:
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = VARIANT_TRUE;  // a page being viewed, not designed
        return S_OK;
    case DISPID_AMBIENT_UIDEAD:
    case DISPID_AMBIENT_SHOWGRABHANDLES:
    case DISPID_AMBIENT_SHOWHATCHING:
    case DISPID_AMBIENT_MESSAGEREFLECT:
    case DISPID_AMBIENT_DISPLAYASDEFAULT:
        V_VT(result) = VT_BOOL;
        V_BOOL(result) = VARIANT_FALSE;
        return S_OK;
    case DISPID_AMBIENT_LOCALEID:
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(::GetUserDefaultLCID());
        return S_OK;
    case DISPID_AMBIENT_BACKCOLOR:
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(0x80000000 | COLOR_WINDOW);
        return S_OK;
    case DISPID_AMBIENT_FORECOLOR:
        V_VT(result) = VT_I4;
        V_I4(result) = static_cast<LONG>(0x80000000 | COLOR_WINDOWTEXT);
        return S_OK;
    default:
        return DISP_E_MEMBERNOTFOUND;
    }
}

// --- IServiceProvider: the browser (IID_IWebBrowserApp is also its service id), and no other.

HRESULT ClientSite::QueryService(REFGUID service, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!m_browser || !IsEqualGUID(service, IID_IWebBrowserApp)) return E_NOINTERFACE;
    return m_browser->QueryInterface(riid, out);
}

}  // namespace host
