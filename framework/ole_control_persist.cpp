// The persistence interfaces of a control, all served by its DoPropExchange.
#include "framework/ole_control.h"

#include <cstring>

namespace fw {

namespace {
const wchar_t kContentsStream[] = L"Contents";
}

void COleControl::DoPropExchange(CPropExchange& px) {
    long cx = m_extent.cx, cy = m_extent.cy;
    px.ExchangeLong(L"_ExtentX", cx);
    px.ExchangeLong(L"_ExtentY", cy);
    if (px.IsLoading() && cx > 0 && cy > 0) {
        m_extent.cx = cx;
        m_extent.cy = cy;
    }
}

STDMETHODIMP COleControl::GetClassID(CLSID* clsid) {
    if (!clsid) return E_POINTER;
    *clsid = *m_ids.clsid;
    return S_OK;
}

STDMETHODIMP COleControl::IsDirty() { return m_bModified ? S_OK : S_FALSE; }

STDMETHODIMP COleControl::InitNew() {
    OnResetState();
    return S_OK;
}

STDMETHODIMP COleControl::Load(IPropertyBag* bag, IErrorLog* log) {
    if (!bag) return E_POINTER;
    return win::Guarded("Load", E_OUTOFMEMORY, [&]() -> HRESULT {
        CBagExchange px(bag, log, true);
        DoPropExchange(px);
        SetModifiedFlag(false);
        return S_OK;
    });
}

STDMETHODIMP COleControl::Save(IPropertyBag* bag, BOOL clearDirty, BOOL) {
    if (!bag) return E_POINTER;
    return win::Guarded("Save", E_OUTOFMEMORY, [&]() -> HRESULT {
        CBagExchange px(bag, nullptr, false);
        DoPropExchange(px);
        if (clearDirty) SetModifiedFlag(false);
        return S_OK;
    });
}

HRESULT COleControl::LoadFromStream(IStream* stream) {
    if (!stream) return E_POINTER;
    return win::Guarded("LoadFromStream", E_OUTOFMEMORY, [&]() -> HRESULT {
        CBlobExchange px(true);
        HRESULT hr = px.Read(stream);
        if (FAILED(hr)) return hr;
        DoPropExchange(px);
        SetModifiedFlag(false);
        return S_OK;
    });
}

HRESULT COleControl::SaveToStream(IStream* stream, BOOL clearDirty) {
    if (!stream) return E_POINTER;
    return win::Guarded("SaveToStream", E_OUTOFMEMORY, [&]() -> HRESULT {
        CBlobExchange px(false);
        DoPropExchange(px);
        HRESULT hr = px.Write(stream);
        if (SUCCEEDED(hr) && clearDirty) SetModifiedFlag(false);
        return hr;
    });
}

STDMETHODIMP COleControl::Load(LPSTREAM stream) { return LoadFromStream(stream); }

STDMETHODIMP COleControl::Save(LPSTREAM stream, BOOL clearDirty) {
    return SaveToStream(stream, clearDirty);
}

STDMETHODIMP COleControl::GetSizeMax(ULARGE_INTEGER* size) {
    if (!size) return E_POINTER;
    ULONG small = 0;
    HRESULT hr = GetSizeMax(&small);
    size->QuadPart = small;
    return hr;
}

STDMETHODIMP COleControl::InitNew(IStorage*) { return InitNew(); }

STDMETHODIMP COleControl::Load(IStorage* storage) {
    if (!storage) return E_POINTER;
    win::ComPtr<IStream> stream;
    HRESULT hr = storage->OpenStream(kContentsStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE,
                                     0, stream.receive());
    if (FAILED(hr)) return hr;
    return LoadFromStream(stream.get());
}

STDMETHODIMP COleControl::Save(IStorage* storage, BOOL) {
    if (!storage) return E_POINTER;
    win::ComPtr<IStream> stream;
    HRESULT hr = storage->CreateStream(kContentsStream,
                                       STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                       stream.receive());
    if (FAILED(hr)) return hr;
    return SaveToStream(stream.get(), TRUE);
}

STDMETHODIMP COleControl::SaveCompleted(IStorage*) { return S_OK; }
STDMETHODIMP COleControl::HandsOffStorage() { return S_OK; }

STDMETHODIMP COleControl::Load(LPVOID memory, ULONG size) {
    if (!memory) return E_POINTER;
    HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
    if (!copy) return E_OUTOFMEMORY;
    void* p = ::GlobalLock(copy);
    if (p) std::memcpy(p, memory, size);
    ::GlobalUnlock(copy);
    win::ComPtr<IStream> stream;
    HRESULT hr = ::CreateStreamOnHGlobal(copy, TRUE, stream.receive());
    if (FAILED(hr)) {
        ::GlobalFree(copy);
        return hr;
    }
    ULARGE_INTEGER length;
    length.QuadPart = size;
    stream->SetSize(length);
    return LoadFromStream(stream.get());
}

STDMETHODIMP COleControl::Save(LPVOID memory, BOOL clearDirty, ULONG size) {
    if (!memory) return E_POINTER;
    win::ComPtr<IStream> stream;
    HRESULT hr = ::CreateStreamOnHGlobal(nullptr, TRUE, stream.receive());
    if (FAILED(hr)) return hr;
    hr = SaveToStream(stream.get(), FALSE);
    if (FAILED(hr)) return hr;
    STATSTG stat = {};
    hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr)) return hr;
    if (stat.cbSize.QuadPart > size) return STG_E_MEDIUMFULL;
    HGLOBAL global = nullptr;
    hr = ::GetHGlobalFromStream(stream.get(), &global);
    if (FAILED(hr)) return hr;
    const void* p = ::GlobalLock(global);
    if (!p) return E_OUTOFMEMORY;
    std::memcpy(memory, p, static_cast<size_t>(stat.cbSize.QuadPart));
    ::GlobalUnlock(global);
    if (clearDirty) SetModifiedFlag(false);
    return S_OK;
}

STDMETHODIMP COleControl::GetSizeMax(ULONG* size) {
    if (!size) return E_POINTER;
    return win::Guarded("GetSizeMax", E_OUTOFMEMORY, [&]() -> HRESULT {
        CBlobExchange px(false);
        DoPropExchange(px);
        *size = px.SizeMax();
        return S_OK;
    });
}

}  // namespace fw
