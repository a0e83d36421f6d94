// The container side an ActiveX control meets in a browser: a client site, an in-place site
// and frame, the ambient properties, and the page's address from the container's moniker,
// its document or the browser's services. Only what a control placed on a page needs.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <oleidl.h>
#include <servprov.h>

#include <string>

#include "win/handles.h"

namespace host {

// The page's address as each source gives it; an empty one does not answer, so a test can
// have the control learn the address from one source alone or from sources that disagree.
struct PageAddresses {
    std::wstring moniker;   // the container's moniker: GetMoniker(OLEWHICHMK_CONTAINER)
    std::wstring document;  // the container's document: IHTMLDocument2::get_URL
    std::wstring browser;   // the browser service: IWebBrowser2::get_LocationURL
};

class ClientSite final : public IOleClientSite,
                         public IOleInPlaceSite,
                         public IOleInPlaceFrame,
                         public IDispatch,
                         public IServiceProvider {
public:
    // frame: the host's top-level window; pos: the object's place in its client area.
    // Starts with one reference, which the caller owns.
    ClientSite(HWND frame, const RECT& pos, const PageAddresses& addresses);

    // The object, for answering its layout requests; Forget drops it (and breaks the cycle).
    void SetObject(IOleObject* object);
    void Forget();
    // The object's active part, which sees keystrokes before they are dispatched.
    IOleInPlaceActiveObject* ActiveObject() const { return m_active.get(); }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override;
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** out) override;
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** out) override;
    HRESULT STDMETHODCALLTYPE ShowObject() override;
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL show) override;
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override;

    // IOleWindow (shared by the site and the frame)
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* out) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override;
    HRESULT STDMETHODCALLTYPE OnUIActivate() override;
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc,
                                               LPRECT pos, LPRECT clip,
                                               LPOLEINPLACEFRAMEINFO info) override;
    HRESULT STDMETHODCALLTYPE Scroll(SIZE extent) override;
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL undoable) override;
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override;
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override;
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT pos) override;

    // IOleInPlaceUIWindow
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT border) override;
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS widths) override;
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS widths) override;
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject* active, LPCOLESTR name) override;

    // IOleInPlaceFrame
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU shared, LPOLEMENUGROUPWIDTHS widths) override;
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU shared, HOLEMENU ole, HWND object) override;
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU shared) override;
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR text) override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG msg, WORD id) override;

    // IDispatch: the ambient properties of a page in a browser
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                     UINT* argErr) override;

    // IServiceProvider: the browser, when it names the page
    HRESULT STDMETHODCALLTYPE QueryService(REFGUID service, REFIID riid, void** out) override;

private:
    ~ClientSite() = default;

    LONG m_refs = 1;
    HWND m_frame;
    RECT m_pos;
    std::wstring m_monikerUrl;
    win::ComPtr<IOleContainer> m_document;  // null when the document does not answer
    win::ComPtr<IUnknown> m_browser;        // null when the browser does not answer
    win::ComPtr<IOleObject> m_object;
    win::ComPtr<IOleInPlaceActiveObject> m_active;
};

}  // namespace host
