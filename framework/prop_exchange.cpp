#include "framework/prop_exchange.h"

#include <string>
#include <vector>

#include "win/code_page.h"
#include "win/handles.h"

namespace fw {

namespace {

const wchar_t kVersionName[] = L"_Version";
const DWORD kBlobMagic = 0x4E565254;  // "TRVN"
// A blob holds a few short strings; anything far larger is not ours.
const DWORD kMaxEntries = 1024;
const DWORD kMaxChars = 1u << 20;

HRESULT ReadExact(IStream* stream, void* buffer, ULONG size) {
    ULONG got = 0;
    HRESULT hr = stream->Read(buffer, size, &got);
    if (FAILED(hr)) return hr;
    return got == size ? S_OK : STG_E_READFAULT;
}

HRESULT WriteExact(IStream* stream, const void* buffer, ULONG size) {
    ULONG put = 0;
    HRESULT hr = stream->Write(buffer, size, &put);
    if (FAILED(hr)) return hr;
    return put == size ? S_OK : STG_E_WRITEFAULT;
}

HRESULT ReadText(IStream* stream, std::wstring& text) {
    DWORD chars = 0;
    HRESULT hr = ReadExact(stream, &chars, sizeof(chars));
    if (FAILED(hr)) return hr;
    if (chars > kMaxChars) return STG_E_INVALIDHEADER;
    text.assign(chars, L'\0');
    return chars ? ReadExact(stream, &text[0], chars * sizeof(wchar_t)) : S_OK;
}

HRESULT WriteText(IStream* stream, const std::wstring& text) {
    DWORD chars = static_cast<DWORD>(text.size());
    HRESULT hr = WriteExact(stream, &chars, sizeof(chars));
    if (FAILED(hr) || chars == 0) return hr;
    return WriteExact(stream, text.data(), chars * sizeof(wchar_t));
}

}  // namespace

void CBagExchange::ExchangeVersion(DWORD& version, DWORD defaultVersion) {
    long value = static_cast<long>(defaultVersion);
    if (!m_loading) value = static_cast<long>(version);
    ExchangeLong(kVersionName, value);
    version = static_cast<DWORD>(value);
}

bool CBagExchange::ExchangeString(const wchar_t* name, std::string& value) {
    win::Variant v;
    if (m_loading) {
        v.get()->vt = VT_BSTR;
        if (FAILED(m_bag->Read(name, v.get(), m_log))) return true;  // absent: keep the value
        if (v.get()->vt != VT_BSTR &&
            FAILED(::VariantChangeType(v.get(), v.get(), 0, VT_BSTR)))
            return true;
        // Like a page's own put: a value the ANSI code page cannot carry exactly is not taken.
        win::Converted<std::string> ansi = win::BstrToAnsi(v.get()->bstrVal);
        if (!ansi.exact) return false;
        value = std::move(ansi.text);
    } else {
        v.get()->vt = VT_BSTR;
        v.get()->bstrVal = win::AnsiToBstr(value);
        m_bag->Write(name, v.get());  // a host that refuses one name loses only that name
    }
    return true;
}

void CBagExchange::ExchangeLong(const wchar_t* name, long& value) {
    win::Variant v;
    if (m_loading) {
        v.get()->vt = VT_I4;
        if (FAILED(m_bag->Read(name, v.get(), m_log))) return;
        if (FAILED(::VariantChangeType(v.get(), v.get(), 0, VT_I4))) return;
        value = v.get()->lVal;
    } else {
        v.get()->vt = VT_I4;
        v.get()->lVal = value;
        m_bag->Write(name, v.get());
    }
}

HRESULT CBlobExchange::Read(IStream* stream) {
    DWORD header[3] = {};  // magic, version, entry count
    HRESULT hr = ReadExact(stream, header, sizeof(header));
    if (FAILED(hr)) return hr;
    if (header[0] != kBlobMagic || header[2] > kMaxEntries) return STG_E_INVALIDHEADER;
    m_version = header[1];
    m_hasVersion = true;
    for (DWORD i = 0; i < header[2]; ++i) {
        std::wstring name, value;
        if (FAILED(hr = ReadText(stream, name)) || FAILED(hr = ReadText(stream, value)))
            return hr;
        m_values[name] = value;
    }
    return S_OK;
}

HRESULT CBlobExchange::Write(IStream* stream) const {
    DWORD header[3] = {kBlobMagic, m_version, static_cast<DWORD>(m_values.size())};
    HRESULT hr = WriteExact(stream, header, sizeof(header));
    for (auto it = m_values.begin(); SUCCEEDED(hr) && it != m_values.end(); ++it) {
        hr = WriteText(stream, it->first);
        if (SUCCEEDED(hr)) hr = WriteText(stream, it->second);
    }
    return hr;
}

ULONG CBlobExchange::SizeMax() const {
    ULONG size = 3 * sizeof(DWORD);
    for (const auto& entry : m_values)
        size += 2 * sizeof(DWORD) +
                static_cast<ULONG>((entry.first.size() + entry.second.size()) * sizeof(wchar_t));
    return size;
}

void CBlobExchange::ExchangeVersion(DWORD& version, DWORD defaultVersion) {
    if (m_loading) {
        version = m_hasVersion ? m_version : defaultVersion;
    } else {
        m_version = version;
        m_hasVersion = true;
    }
}

bool CBlobExchange::ExchangeString(const wchar_t* name, std::string& value) {
    if (m_loading) {
        auto it = m_values.find(name);
        if (it == m_values.end()) return true;
        win::Converted<std::string> ansi = win::FromWide(it->second);
        if (!ansi.exact) return false;
        value = std::move(ansi.text);
    } else {
        m_values[name] = win::AnsiToWide(value);
    }
    return true;
}

void CBlobExchange::ExchangeLong(const wchar_t* name, long& value) {
    if (m_loading) {
        auto it = m_values.find(name);
        if (it != m_values.end()) value = std::wcstol(it->second.c_str(), nullptr, 10);
    } else {
        m_values[name] = std::to_wstring(value);
    }
}

}  // namespace fw
