// Property exchange: one routine (the control's DoPropExchange) serves loading and saving
// through every persistence interface. A name absent from the store keeps its value.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include <map>
#include <string>

namespace fw {

class CPropExchange {
public:
    virtual ~CPropExchange() = default;
    virtual bool IsLoading() const = 0;
    // The property set version; on loading a store without one gives defaultVersion.
    virtual void ExchangeVersion(DWORD& version, DWORD defaultVersion) = 0;
    // The string in the process's ANSI code page. False when loading met a value that code
    // page cannot carry exactly: value is then left as it was, and the caller decides.
    virtual bool ExchangeString(const wchar_t* name, std::string& value) = 0;
    virtual void ExchangeLong(const wchar_t* name, long& value) = 0;
};

// Through a host's IPropertyBag (the page's <param> elements in a browser).
class CBagExchange : public CPropExchange {
public:
    CBagExchange(IPropertyBag* bag, IErrorLog* log, bool loading)
        : m_bag(bag), m_log(log), m_loading(loading) {}
    bool IsLoading() const override { return m_loading; }
    void ExchangeVersion(DWORD& version, DWORD defaultVersion) override;
    bool ExchangeString(const wchar_t* name, std::string& value) override;
    void ExchangeLong(const wchar_t* name, long& value) override;

private:
    IPropertyBag* m_bag;
    IErrorLog* m_log;
    bool m_loading;
};

// Through a stream: a small self-describing blob of named values, so that names absent from
// an older blob keep their values and unknown names are skipped.
class CBlobExchange : public CPropExchange {
public:
    // Saving: start empty, exchange, then Write. Loading: Read, then exchange.
    explicit CBlobExchange(bool loading) : m_loading(loading) {}
    HRESULT Read(IStream* stream);
    HRESULT Write(IStream* stream) const;
    ULONG SizeMax() const;

    bool IsLoading() const override { return m_loading; }
    void ExchangeVersion(DWORD& version, DWORD defaultVersion) override;
    bool ExchangeString(const wchar_t* name, std::string& value) override;
    void ExchangeLong(const wchar_t* name, long& value) override;

private:
    bool m_loading;
    DWORD m_version = 0;
    bool m_hasVersion = false;
    std::map<std::wstring, std::wstring> m_values;
};

}  // namespace fw
