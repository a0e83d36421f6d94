#include "framework/connection_point.h"

#include <olectl.h>

#include <new>

namespace fw {

STDMETHODIMP CConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CConnectionPoint::GetConnectionInterface(IID* iid) {
    if (!iid) return E_POINTER;
    *iid = m_iid;
    return S_OK;
}

STDMETHODIMP CConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** c) {
    if (!c) return E_POINTER;
    *c = m_owner;
    m_owner->AddRef();
    return S_OK;
}

STDMETHODIMP CConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
    if (!cookie) return E_POINTER;
    *cookie = 0;
    if (!sink) return E_POINTER;
    win::ComPtr<IUnknown> events;
    if (FAILED(sink->QueryInterface(m_iid, events.receiveVoid()))) return CONNECT_E_CANNOTCONNECT;
    m_sinks.push_back(Sink{m_nextCookie, events});
    *cookie = m_nextCookie++;
    return S_OK;
}

STDMETHODIMP CConnectionPoint::Unadvise(DWORD cookie) {
    for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
        if (it->cookie == cookie) {
            m_sinks.erase(it);
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

STDMETHODIMP CConnectionPoint::EnumConnections(IEnumConnections** connections) {
    if (connections) *connections = nullptr;
    return E_NOTIMPL;
}

namespace {

class CEnumConnectionPoints : public IEnumConnectionPoints {
public:
    CEnumConnectionPoints(IConnectionPoint* point, ULONG position)
        : m_point(point), m_position(position) {}
    virtual ~CEnumConnectionPoints() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumConnectionPoints)) {
            *ppv = static_cast<IEnumConnectionPoints*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&m_refs); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG refs = ::InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return refs;
    }
    STDMETHODIMP Next(ULONG count, IConnectionPoint** points, ULONG* fetched) override {
        if (!points) return E_POINTER;
        ULONG n = 0;
        if (count > 0 && m_position == 0) {
            points[0] = m_point.get();
            points[0]->AddRef();
            m_position = n = 1;
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        if (count == 0) return S_OK;
        bool ok = m_position == 0 && count == 1;
        m_position = 1;
        return ok ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        m_position = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumConnectionPoints** result) override {
        if (!result) return E_POINTER;
        *result = new (std::nothrow) CEnumConnectionPoints(m_point.get(), m_position);
        if (!*result) return E_OUTOFMEMORY;
        (*result)->AddRef();
        return S_OK;
    }

private:
    win::ComPtr<IConnectionPoint> m_point;
    ULONG m_position;
    volatile LONG m_refs = 0;
};

}  // namespace

HRESULT CreateConnectionPointEnum(IConnectionPoint* point, IEnumConnectionPoints** result) {
    if (!result) return E_POINTER;
    *result = new (std::nothrow) CEnumConnectionPoints(point, 0);
    if (!*result) return E_OUTOFMEMORY;
    (*result)->AddRef();
    return S_OK;
}

}  // namespace fw
