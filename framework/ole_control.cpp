// Identity, embedding, in-place activation, drawing and the control's window.
#include "framework/ole_control.h"

#include <olectl.h>

#include "framework/verb_enum.h"
#include "win/code_page.h"

namespace fw {

namespace {

// Default size of a control the host has not sized yet: 100 x 50 pixels in HIMETRIC.
const LONG kDefaultWidth = 2646;
const LONG kDefaultHeight = 1323;

const wchar_t kWindowClass[] = L"FwOleControlWindow";

template <typename I>
bool Is(REFIID riid) { return IsEqualIID(riid, __uuidof(I)) != 0; }

}  // namespace

COleControl::COleControl(const ControlClassIds& ids)
    : m_ids(ids), m_eventsPoint(this, *ids.eventsIid) {
    m_extent.cx = kDefaultWidth;
    m_extent.cy = kDefaultHeight;
}

COleControl::~COleControl() {
    // The window must go while this class's WindowProc can still answer it.
    DestroyWindow();
}

STDMETHODIMP COleControl::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    IUnknown* found = nullptr;
    if (Is<IUnknown>(riid) || Is<IOleObject>(riid)) found = static_cast<IOleObject*>(this);
    else if (Is<IOleWindow>(riid) || Is<IOleInPlaceObject>(riid))
        found = static_cast<IOleInPlaceObject*>(this);
    else if (Is<IOleInPlaceActiveObject>(riid)) found = static_cast<IOleInPlaceActiveObject*>(this);
    else if (Is<IOleControl>(riid)) found = static_cast<IOleControl*>(this);
    else if (Is<IViewObject>(riid) || Is<IViewObject2>(riid)) found = static_cast<IViewObject2*>(this);
    else if (Is<IDispatch>(riid) || IsEqualIID(riid, *m_ids.dispatchIid))
        found = static_cast<IDispatch*>(this);
    else if (Is<IProvideClassInfo>(riid) || Is<IProvideClassInfo2>(riid))
        found = static_cast<IProvideClassInfo2*>(this);
    else if (Is<IConnectionPointContainer>(riid)) found = static_cast<IConnectionPointContainer*>(this);
    else if (Is<ISpecifyPropertyPages>(riid)) found = static_cast<ISpecifyPropertyPages*>(this);
    else if (Is<IPersistPropertyBag>(riid)) found = static_cast<IPersistPropertyBag*>(this);
    // IPersistStreamInit is IPersistStream with InitNew added at the end: containers that
    // save and load with OleSaveToStream/OleLoadFromStream ask for the shorter one.
    else if (Is<IPersist>(riid) || Is<IPersistStreamInit>(riid) || Is<IPersistStream>(riid))
        found = static_cast<IPersistStreamInit*>(this);
    else if (Is<IPersistStorage>(riid)) found = static_cast<IPersistStorage*>(this);
    else if (Is<IPersistMemory>(riid)) found = static_cast<IPersistMemory*>(this);
    else found = QueryExtraInterface(riid);
    *ppv = found;
    if (!found) return E_NOINTERFACE;
    found->AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) COleControl::AddRef() { return ::InterlockedIncrement(&m_refs); }

STDMETHODIMP_(ULONG) COleControl::Release() {
    LONG refs = ::InterlockedDecrement(&m_refs);
    // The host may let go from inside one of the control's handlers (closing its window).
    if (refs == 0) DeleteWhenIdle(this);
    return static_cast<ULONG>(refs);
}

IUnknown* COleControl::QueryExtraInterface(REFIID) { return nullptr; }

// ---- IOleObject

STDMETHODIMP COleControl::SetClientSite(IOleClientSite* site) {
    m_clientSite = win::ComPtr<IOleClientSite>(site);
    return S_OK;
}

STDMETHODIMP COleControl::GetClientSite(IOleClientSite** site) {
    if (!site) return E_POINTER;
    *site = m_clientSite.get();
    if (*site) (*site)->AddRef();
    return S_OK;
}

STDMETHODIMP COleControl::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

STDMETHODIMP COleControl::Close(DWORD) {
    InPlaceDeactivate();
    return S_OK;
}

STDMETHODIMP COleControl::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }

STDMETHODIMP COleControl::GetMoniker(DWORD, DWORD, IMoniker** mk) {
    if (mk) *mk = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP COleControl::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }

STDMETHODIMP COleControl::GetClipboardData(DWORD, IDataObject** data) {
    if (data) *data = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP COleControl::DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND parent,
                                 LPCRECT posRect) {
    switch (verb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
        return InPlaceActivate(site ? site : m_clientSite.get(), parent, posRect);
    case OLEIVERB_HIDE:
        if (m_hWnd) ::ShowWindow(m_hWnd, SW_HIDE);
        return S_OK;
    case OLEIVERB_PROPERTIES:
        return ShowPropertyFrame(parent);
    default:
        return verb < 0 ? E_NOTIMPL : OLEOBJ_S_INVALIDVERB;
    }
}

STDMETHODIMP COleControl::EnumVerbs(IEnumOLEVERB** verbs) {
    if (!verbs) return E_POINTER;
    // As a control's verb map: the Properties verb, on the container's menu. DoVerb also
    // takes the standard activation verbs, which containers know without being told.
    return CreateVerbEnumerator({{OLEIVERB_PROPERTIES, L"&Properties...", MF_STRING,
                                  OLEVERBATTRIB_ONCONTAINERMENU}},
                                verbs);
}

STDMETHODIMP COleControl::Update() { return S_OK; }
STDMETHODIMP COleControl::IsUpToDate() { return S_OK; }

STDMETHODIMP COleControl::GetUserClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = *m_ids.clsid;
    return S_OK;
}

STDMETHODIMP COleControl::GetUserType(DWORD, LPOLESTR* type) {
    if (!type) return E_POINTER;
    *type = nullptr;
    wchar_t text[256];
    int n = ::LoadStringW(ModuleInstance(), m_ids.typeNameId, text, 256);
    if (n <= 0) return OLE_S_USEREG;
    *type = static_cast<LPOLESTR>(::CoTaskMemAlloc((n + 1) * sizeof(wchar_t)));
    if (!*type) return E_OUTOFMEMORY;
    ::CopyMemory(*type, text, n * sizeof(wchar_t));
    (*type)[n] = L'\0';
    return S_OK;
}

STDMETHODIMP COleControl::SetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    m_extent = *size;
    SetModifiedFlag();
    return S_OK;
}

STDMETHODIMP COleControl::GetExtent(DWORD aspect, SIZEL* size) {
    if (!size) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = m_extent;
    return S_OK;
}

STDMETHODIMP COleControl::Advise(IAdviseSink* sink, DWORD* connection) {
    if (!connection) return E_POINTER;
    *connection = 0;
    if (!m_adviseHolder) {
        HRESULT hr = ::CreateOleAdviseHolder(m_adviseHolder.receive());
        if (FAILED(hr)) return hr;
    }
    return m_adviseHolder->Advise(sink, connection);
}

STDMETHODIMP COleControl::Unadvise(DWORD connection) {
    if (!m_adviseHolder) return OLE_E_NOCONNECTION;
    return m_adviseHolder->Unadvise(connection);
}

STDMETHODIMP COleControl::EnumAdvise(IEnumSTATDATA** advise) {
    if (!advise) return E_POINTER;
    *advise = nullptr;
    if (!m_adviseHolder) return S_OK;
    return m_adviseHolder->EnumAdvise(advise);
}

STDMETHODIMP COleControl::GetMiscStatus(DWORD, DWORD* status) {
    if (!status) return E_POINTER;
    *status = m_ids.miscStatus;
    return S_OK;
}

STDMETHODIMP COleControl::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

HRESULT COleControl::InPlaceActivate(IOleClientSite* site, HWND parentHint, LPCRECT posRect) {
    if (m_bInPlaceActive) return S_OK;
    if (!site) return E_UNEXPECTED;
    win::ComPtr<IOleInPlaceSite> inPlaceSite;
    HRESULT hr = site->QueryInterface(IID_IOleInPlaceSite, inPlaceSite.receiveVoid());
    if (FAILED(hr)) return hr;
    if (inPlaceSite->CanInPlaceActivate() != S_OK) return E_FAIL;
    hr = inPlaceSite->OnInPlaceActivate();
    if (FAILED(hr)) return hr;
    m_inPlaceSite = inPlaceSite;
    m_bInPlaceActive = true;

    HWND parent = parentHint;
    if (FAILED(inPlaceSite->GetWindow(&parent)) || !parent) parent = parentHint;
    win::ComPtr<IOleInPlaceFrame> frame;
    win::ComPtr<IOleInPlaceUIWindow> doc;
    RECT pos = {0, 0, 0, 0}, clip = {0, 0, 0, 0};
    OLEINPLACEFRAMEINFO frameInfo = {};
    frameInfo.cb = sizeof(frameInfo);
    if (FAILED(inPlaceSite->GetWindowContext(frame.receive(), doc.receive(), &pos, &clip,
                                             &frameInfo)) && posRect)
        pos = *posRect;

    // WM_CREATE, and so the derived control's OnCreate, runs inside this call.
    if (!CreateEx(ModuleInstance(), kWindowClass,
                  WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, pos, parent)) {
        InPlaceDeactivate();
        return E_FAIL;
    }
    return S_OK;
}

// ---- IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject

STDMETHODIMP COleControl::GetWindow(HWND* hwnd) {
    if (!hwnd) return E_POINTER;
    *hwnd = m_hWnd;
    return m_hWnd ? S_OK : E_FAIL;
}

STDMETHODIMP COleControl::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

STDMETHODIMP COleControl::InPlaceDeactivate() {
    // The window may be gone already: a control that closed its host's window from its own
    // handler loses its window with it.
    DestroyWindow();
    if (m_bInPlaceActive) {
        m_bInPlaceActive = false;
        win::ComPtr<IOleInPlaceSite> site = m_inPlaceSite;
        m_inPlaceSite.reset();
        if (site) site->OnInPlaceDeactivate();
    }
    return S_OK;
}

STDMETHODIMP COleControl::UIDeactivate() { return S_OK; }

STDMETHODIMP COleControl::SetObjectRects(LPCRECT pos, LPCRECT) {
    if (!pos) return E_POINTER;
    if (m_hWnd)
        ::MoveWindow(m_hWnd, pos->left, pos->top, pos->right - pos->left, pos->bottom - pos->top,
                     TRUE);
    return S_OK;
}

STDMETHODIMP COleControl::ReactivateAndUndo() { return E_NOTIMPL; }
STDMETHODIMP COleControl::TranslateAccelerator(LPMSG) { return S_FALSE; }
STDMETHODIMP COleControl::OnFrameWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP COleControl::OnDocWindowActivate(BOOL) { return S_OK; }
STDMETHODIMP COleControl::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
STDMETHODIMP COleControl::EnableModeless(BOOL) { return S_OK; }

// ---- IOleControl

STDMETHODIMP COleControl::GetControlInfo(CONTROLINFO* info) {
    if (!info) return E_POINTER;
    info->hAccel = nullptr;  // no mnemonics
    info->cAccel = 0;
    info->dwFlags = 0;
    return S_OK;
}

STDMETHODIMP COleControl::OnMnemonic(MSG*) { return S_OK; }
STDMETHODIMP COleControl::OnAmbientPropertyChange(DISPID) { return S_OK; }
STDMETHODIMP COleControl::FreezeEvents(BOOL) { return S_OK; }

// ---- IViewObject2

STDMETHODIMP COleControl::Draw(DWORD aspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC drawDc,
                               LPCRECTL bounds, LPCRECTL, BOOL(STDMETHODCALLTYPE*)(ULONG_PTR),
                               ULONG_PTR) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!drawDc || !bounds) return E_INVALIDARG;
    RECT rc = {bounds->left, bounds->top, bounds->right, bounds->bottom};
    OnDraw(drawDc, rc);
    return S_OK;
}

STDMETHODIMP COleControl::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC,
                                      LOGPALETTE** colors) {
    if (colors) *colors = nullptr;
    return S_FALSE;
}

STDMETHODIMP COleControl::Freeze(DWORD, LONG, void*, DWORD*) { return E_NOTIMPL; }
STDMETHODIMP COleControl::Unfreeze(DWORD) { return E_NOTIMPL; }

STDMETHODIMP COleControl::SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) {
    m_viewAspects = aspects;
    m_viewFlags = flags;
    m_viewSink = win::ComPtr<IAdviseSink>(sink);
    return S_OK;
}

STDMETHODIMP COleControl::GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) {
    if (aspects) *aspects = m_viewAspects;
    if (flags) *flags = m_viewFlags;
    if (sink) {
        *sink = m_viewSink.get();
        if (*sink) (*sink)->AddRef();
    }
    return S_OK;
}

STDMETHODIMP COleControl::GetExtent(DWORD aspect, LONG, DVTARGETDEVICE*, LPSIZEL size) {
    return GetExtent(aspect, size);
}

// ---- the window

int COleControl::OnCreate(CREATESTRUCTW*) { return 0; }

void COleControl::OnDraw(HDC, const RECT&) {}

LRESULT COleControl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_CREATE:
        return OnCreate(reinterpret_cast<CREATESTRUCTW*>(lParam));
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(m_hWnd, &ps);
        RECT rc;
        ::GetClientRect(m_hWnd, &rc);
        OnDraw(dc, rc);
        ::EndPaint(m_hWnd, &ps);
        return 0;
    }
    default:
        return Default(msg, wParam, lParam);
    }
}

HRESULT COleControl::ShowPropertyFrame(HWND parent) {
    if (!m_ids.propPageClsid) return E_NOTIMPL;
    wchar_t caption[256] = L"";
    ::LoadStringW(ModuleInstance(), m_ids.typeNameId, caption, 256);
    IUnknown* self = static_cast<IOleObject*>(this);
    CLSID page = *m_ids.propPageClsid;
    return ::OleCreatePropertyFrame(parent ? parent : m_hWnd, 0, 0, caption, 1, &self, 1, &page,
                                    ::GetUserDefaultLCID(), 0, nullptr);
}

}  // namespace fw
