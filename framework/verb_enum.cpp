#include "framework/verb_enum.h"

#include <cstring>
#include <new>

#include "win/boundary.h"

namespace fw {

namespace {

class VerbEnumerator final : public IEnumOLEVERB {
public:
    VerbEnumerator(std::vector<Verb> verbs, ULONG position)
        : m_verbs(std::move(verbs)), m_position(position) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IEnumOLEVERB))
            return E_NOINTERFACE;
        *ppv = static_cast<IEnumOLEVERB*>(this);
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&m_refs); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG refs = ::InterlockedDecrement(&m_refs);
        if (refs == 0) delete this;
        return static_cast<ULONG>(refs);
    }

    // The caller frees each name with CoTaskMemFree.
    STDMETHODIMP Next(ULONG wanted, OLEVERB* out, ULONG* fetched) override {
        if (!out || (wanted > 1 && !fetched)) return E_POINTER;
        ULONG given = 0;
        while (given < wanted && m_position < m_verbs.size()) {
            const Verb& verb = m_verbs[m_position];
            const size_t bytes = (verb.name.size() + 1) * sizeof(wchar_t);
            auto* name = static_cast<LPOLESTR>(::CoTaskMemAlloc(bytes));
            if (!name) break;
            std::memcpy(name, verb.name.c_str(), bytes);
            out[given] = {verb.id, name, verb.flags, verb.attributes};
            ++given;
            ++m_position;
        }
        if (fetched) *fetched = given;
        return given == wanted ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        const ULONG left = static_cast<ULONG>(m_verbs.size()) - m_position;
        m_position += count < left ? count : left;
        return count <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        m_position = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumOLEVERB** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return win::Guarded("IEnumOLEVERB::Clone", E_OUTOFMEMORY, [&] {
            *out = new VerbEnumerator(m_verbs, m_position);
            return S_OK;
        });
    }

private:
    ~VerbEnumerator() = default;

    LONG m_refs = 1;
    std::vector<Verb> m_verbs;
    ULONG m_position;
};

}  // namespace

HRESULT CreateVerbEnumerator(std::vector<Verb> verbs, IEnumOLEVERB** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return win::Guarded("EnumVerbs", E_OUTOFMEMORY, [&] {
        *out = new VerbEnumerator(std::move(verbs), 0);
        return S_OK;
    });
}

}  // namespace fw
