// The control's one connection point, for its event interface. Sinks are kept (a host may
// rely on Advise succeeding) though the control fires no events.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <vector>

#include "win/handles.h"

namespace fw {

class CConnectionPoint : public IConnectionPoint {
public:
    // owner: the container whose reference count this object shares.
    CConnectionPoint(IConnectionPointContainer* owner, REFIID iid) : m_owner(owner), m_iid(iid) {}
    CConnectionPoint(const CConnectionPoint&) = delete;
    CConnectionPoint& operator=(const CConnectionPoint&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return m_owner->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_owner->Release(); }
    STDMETHODIMP GetConnectionInterface(IID* iid) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
    STDMETHODIMP Unadvise(DWORD cookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

private:
    struct Sink {
        DWORD cookie;
        win::ComPtr<IUnknown> unknown;
    };
    IConnectionPointContainer* m_owner;
    IID m_iid;
    std::vector<Sink> m_sinks;
    DWORD m_nextCookie = 1;
};

// Enumerates a single connection point.
HRESULT CreateConnectionPointEnum(IConnectionPoint* point, IEnumConnectionPoints** result);

}  // namespace fw
