// Base of an ActiveX control that a browser can host: embedding and in-place activation,
// drawing, dispatch through the embedded type library, class information, an (empty) event
// source, property pages and the four persistence interfaces, all driven by the derived
// control's DoPropExchange and its property and message handlers.
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <new>

#include "framework/connection_point.h"
#include "framework/ole_control_module.h"
#include "framework/prop_exchange.h"
#include "win/boundary.h"
#include "win/handles.h"
#include "win/window.h"

namespace fw {

// What identifies a control class to the base.
struct ControlClassIds {
    const CLSID* clsid;
    const IID* dispatchIid;  // the control's dispinterface
    const IID* eventsIid;    // its event dispinterface
    const GUID* libid;
    WORD libMajor;
    WORD libMinor;
    const CLSID* propPageClsid;
    UINT typeNameId;  // string resource with the type name
    DWORD miscStatus;
};

class COleControl : public win::CWindow,
                    public IOleObject,
                    public IOleInPlaceObject,
                    public IOleInPlaceActiveObject,
                    public IOleControl,
                    public IViewObject2,
                    public IDispatch,
                    public IProvideClassInfo2,
                    public IConnectionPointContainer,
                    public ISpecifyPropertyPages,
                    public IPersistPropertyBag,
                    public IPersistStreamInit,
                    public IPersistStorage,
                    public IPersistMemory {
public:
    explicit COleControl(const ControlClassIds& ids);
    ~COleControl() override;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IOleObject
    STDMETHODIMP SetClientSite(IOleClientSite* site) override;
    STDMETHODIMP GetClientSite(IOleClientSite** site) override;
    STDMETHODIMP SetHostNames(LPCOLESTR app, LPCOLESTR obj) override;
    STDMETHODIMP Close(DWORD saveOption) override;
    STDMETHODIMP SetMoniker(DWORD which, IMoniker* mk) override;
    STDMETHODIMP GetMoniker(DWORD assign, DWORD which, IMoniker** mk) override;
    STDMETHODIMP InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
    STDMETHODIMP GetClipboardData(DWORD reserved, IDataObject** data) override;
    STDMETHODIMP DoVerb(LONG verb, LPMSG msg, IOleClientSite* site, LONG index, HWND parent,
                        LPCRECT posRect) override;
    STDMETHODIMP EnumVerbs(IEnumOLEVERB** verbs) override;
    STDMETHODIMP Update() override;
    STDMETHODIMP IsUpToDate() override;
    STDMETHODIMP GetUserClassID(CLSID* clsid) override;
    STDMETHODIMP GetUserType(DWORD form, LPOLESTR* type) override;
    STDMETHODIMP SetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP GetExtent(DWORD aspect, SIZEL* size) override;
    STDMETHODIMP Advise(IAdviseSink* sink, DWORD* connection) override;
    STDMETHODIMP Unadvise(DWORD connection) override;
    STDMETHODIMP EnumAdvise(IEnumSTATDATA** advise) override;
    STDMETHODIMP GetMiscStatus(DWORD aspect, DWORD* status) override;
    STDMETHODIMP SetColorScheme(LOGPALETTE* palette) override;

    // IOleWindow (through both in-place interfaces)
    STDMETHODIMP GetWindow(HWND* hwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL enter) override;
    // IOleInPlaceObject
    STDMETHODIMP InPlaceDeactivate() override;
    STDMETHODIMP UIDeactivate() override;
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT clip) override;
    STDMETHODIMP ReactivateAndUndo() override;
    // IOleInPlaceActiveObject
    STDMETHODIMP TranslateAccelerator(LPMSG msg) override;
    STDMETHODIMP OnFrameWindowActivate(BOOL activate) override;
    STDMETHODIMP OnDocWindowActivate(BOOL activate) override;
    STDMETHODIMP ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
    STDMETHODIMP EnableModeless(BOOL enable) override;

    // IOleControl
    STDMETHODIMP GetControlInfo(CONTROLINFO* info) override;
    STDMETHODIMP OnMnemonic(MSG* msg) override;
    STDMETHODIMP OnAmbientPropertyChange(DISPID id) override;
    STDMETHODIMP FreezeEvents(BOOL freeze) override;

    // IViewObject2
    STDMETHODIMP Draw(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                      HDC targetDc, HDC drawDc, LPCRECTL bounds, LPCRECTL wBounds,
                      BOOL(STDMETHODCALLTYPE* cont)(ULONG_PTR), ULONG_PTR contArg) override;
    STDMETHODIMP GetColorSet(DWORD aspect, LONG index, void* aspectInfo, DVTARGETDEVICE* device,
                             HDC targetDc, LOGPALETTE** colors) override;
    STDMETHODIMP Freeze(DWORD aspect, LONG index, void* aspectInfo, DWORD* freeze) override;
    STDMETHODIMP Unfreeze(DWORD freeze) override;
    STDMETHODIMP SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    STDMETHODIMP GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    STDMETHODIMP GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device,
                           LPSIZEL size) override;

    // IDispatch
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* excep, UINT* argErr) override;

    // IProvideClassInfo2
    STDMETHODIMP GetClassInfo(ITypeInfo** info) override;
    STDMETHODIMP GetGUID(DWORD kind, GUID* guid) override;

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** points) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

    // ISpecifyPropertyPages
    STDMETHODIMP GetPages(CAUUID* pages) override;

    // IPersist and the persistence interfaces
    STDMETHODIMP GetClassID(CLSID* clsid) override;
    STDMETHODIMP IsDirty() override;
    STDMETHODIMP InitNew() override;
    STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
    STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;
    STDMETHODIMP Load(LPSTREAM stream) override;
    STDMETHODIMP Save(LPSTREAM stream, BOOL clearDirty) override;
    STDMETHODIMP GetSizeMax(ULARGE_INTEGER* size) override;
    STDMETHODIMP InitNew(IStorage* storage) override;
    STDMETHODIMP Load(IStorage* storage) override;
    STDMETHODIMP Save(IStorage* storage, BOOL sameAsLoad) override;
    STDMETHODIMP SaveCompleted(IStorage* storage) override;
    STDMETHODIMP HandsOffStorage() override;
    STDMETHODIMP Load(LPVOID memory, ULONG size) override;
    STDMETHODIMP Save(LPVOID memory, BOOL clearDirty, ULONG size) override;
    STDMETHODIMP GetSizeMax(ULONG* size) override;

    // The address of the page hosting the control, as its container tells it (UTF-8); ""
    // when no container answers.
    std::string PageAddress();

protected:
    // Persistence of the derived control; the base part exchanges the extent.
    virtual void DoPropExchange(CPropExchange& px);
    virtual void OnResetState() {}
    // WM_CREATE of the control's window: 0, or -1 to fail the creation.
    virtual int OnCreate(CREATESTRUCTW* cs);
    virtual void OnDraw(HDC dc, const RECT& bounds);
    // Dispatch members; DISP_E_MEMBERNOTFOUND for what the control does not have.
    virtual HRESULT GetDispProperty(DISPID id, VARIANT* result);
    virtual HRESULT PutDispProperty(DISPID id, const VARIANT& value);
    virtual HRESULT InvokeDispMethod(DISPID id);
    // Interfaces the derived control adds (reference not yet taken), or nullptr.
    virtual IUnknown* QueryExtraInterface(REFIID riid);
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    void SetModifiedFlag(bool modified = true) { m_bModified = modified; }
    HINSTANCE ModuleInstance() const { return COleControlModule::Get()->Instance(); }
    // The registered type library, or the one embedded in the module.
    HRESULT GetTypeLib(LCID lcid, ITypeLib** lib);

private:
    HRESULT InPlaceActivate(IOleClientSite* site, HWND parentHint, LPCRECT posRect);
    HRESULT ShowPropertyFrame(HWND parent);
    HRESULT LoadFromStream(IStream* stream);
    HRESULT SaveToStream(IStream* stream, BOOL clearDirty);
    HRESULT TypeInfoOf(REFGUID guid, ITypeInfo** info);

    ControlClassIds m_ids;
    ModuleObjectCount m_moduleCount;
    volatile LONG m_refs = 0;
    bool m_bModified = false;
    bool m_bInPlaceActive = false;
    SIZEL m_extent;  // HIMETRIC
    win::ComPtr<IOleClientSite> m_clientSite;
    win::ComPtr<IOleInPlaceSite> m_inPlaceSite;
    win::ComPtr<IOleAdviseHolder> m_adviseHolder;
    win::ComPtr<IAdviseSink> m_viewSink;
    DWORD m_viewAspects = 0;
    DWORD m_viewFlags = 0;
    win::ComPtr<ITypeLib> m_typeLib;
    CConnectionPoint m_eventsPoint;
};

// Creates a new T and queries it for riid; the object is deleted when that fails.
// No exception leaves: this runs inside IClassFactory::CreateInstance.
template <typename T>
HRESULT CreateComObject(REFIID riid, void** ppv) {
    return win::Guarded("CreateInstance", E_OUTOFMEMORY, [&] {
        T* object = new T();
        object->AddRef();
        HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    });
}

}  // namespace fw
