// Helpers shared by the tests of the Windows layer.
#include "tests/wine/support.h"

#include <wincrypt.h>

#include <shlwapi.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "trust/base64.h"
#include "updater/signed_config.h"
#include "win/code_page.h"
#include "trust/crypto_handles_win.h"
#include "win/handles.h"
#include "win/whole_file.h"

namespace wt {

const CLSID CLSID_TavrinPropPage = {
    0xFE6861FB, 0xA27F, 0x43BB, {0x86, 0x85, 0xCB, 0xED, 0x93, 0xED, 0xDB, 0x6C}};

const wchar_t* const kPropertyNames[kPropertyCount] = {
    L"strID",       L"strPass",     L"key",         L"strServer",   L"strServer1",
    L"strServer2",  L"strServer3",  L"strServer4",  L"strServer5",  L"strServer6",
    L"strServer7",  L"strServer8",  L"strServer9"};
const char* const kControlProgId = "TAVRIN.TavrinCtrl.1";
const char* const kPageProgId = "TAVRIN.TavrinPropPage.1";
const char* const kClientKey = "Software\\Brennix\\Orbisan\\Sumnel";

std::string Ansi(const std::wstring& s) { return win::WideToAnsi(s); }
std::wstring Wide(const std::string& s) { return win::AnsiToWide(s); }
std::string Narrow(const std::wstring& s) { return win::WideToUtf8(s); }

// ---- Files and paths --------------------------------------------------------------------

std::wstring BinPath(const std::wstring& relative) {
    // Wine maps the Linux root to drive Z:.
    std::wstring dir = win::Utf8ToWide(TAVRIN_BIN_DIR);
    std::replace(dir.begin(), dir.end(), L'/', L'\\');
    std::wstring rel = relative;
    std::replace(rel.begin(), rel.end(), L'/', L'\\');
    return L"Z:" + dir + L"\\" + rel;
}

std::wstring OcxPath() { return BinPath(L"TAVRIN.OCX"); }

std::string SignedWithTestKey(const std::string& text) {
    std::wstring path = L"Z:" + win::Utf8ToWide(TAVRIN_TEST_KEYS) + L"/test-rsa3072.rsa.pem";
    std::replace(path.begin(), path.end(), L'/', L'\\');
    std::vector<uint8_t> der;
    const std::optional<std::string> pem = ReadFileBytes(path);
    if (!pem || !tavrin::PemToDer(*pem, "RSA PRIVATE KEY", &der)) return std::string();
    BYTE* blob = nullptr;
    DWORD blobSize = 0;
    if (!::CryptDecodeObjectEx(X509_ASN_ENCODING, PKCS_RSA_PRIVATE_KEY, der.data(),
                               static_cast<DWORD>(der.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr,
                               &blob, &blobSize))
        return std::string();
    std::unique_ptr<BYTE, decltype(&::LocalFree)> blobOwner(blob, &::LocalFree);
    win::CryptProvider provider;
    win::CryptKey key;
    win::CryptHash hash;
    constexpr ALG_ID kSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;
    DWORD size = 0;
    if (!::CryptAcquireContextW(provider.receive(), nullptr, nullptr, PROV_RSA_AES,
                                CRYPT_VERIFYCONTEXT) ||
        !::CryptImportKey(provider.get(), blob, blobSize, 0, 0, key.receive()) ||
        !::CryptCreateHash(provider.get(), kSha256, 0, 0, hash.receive()) ||
        !::CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(text.data()),
                         static_cast<DWORD>(text.size()), 0) ||
        !::CryptSignHashW(hash.get(), AT_KEYEXCHANGE, nullptr, 0, nullptr, &size))
        return std::string();
    std::vector<uint8_t> signature(size);
    if (!::CryptSignHashW(hash.get(), AT_KEYEXCHANGE, nullptr, 0, signature.data(), &size))
        return std::string();
    signature.resize(size);
    std::reverse(signature.begin(), signature.end());  // CryptoAPI writes it little-endian
    return text + tavrin::SignatureLine(signature);
}

std::wstring GuidString(REFGUID guid) {
    wchar_t text[64] = {};
    ::StringFromGUID2(guid, text, 64);
    return text;
}

bool FileExists(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
    win::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return std::nullopt;
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    return win::WriteWholeFile(path, bytes);
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

namespace {

// Calls onFile for every file below dir, and onFolder for every folder below it once its
// contents have been seen.
void Walk(const std::wstring& dir, const std::function<void(const std::wstring&)>& onFile,
          const std::function<void(const std::wstring&)>& onFolder) {
    WIN32_FIND_DATAW data;
    win::FindHandle find(::FindFirstFileW((dir + L"\\*").c_str(), &data));
    if (!find) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring full = dir + L"\\" + name;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Walk(full, onFile, onFolder);
            onFolder(full);
        } else {
            onFile(full);
        }
    } while (::FindNextFileW(find.get(), &data));
}

}  // namespace

void RemoveTree(const std::wstring& dir) {
    auto removeFile = [](const std::wstring& file) {
        ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(file.c_str());
    };
    Walk(dir, removeFile, [](const std::wstring& folder) { ::RemoveDirectoryW(folder.c_str()); });
    ::RemoveDirectoryW(dir.c_str());
}

std::vector<std::wstring> FilesUnder(const std::wstring& dir) {
    std::vector<std::wstring> files;
    Walk(dir, [&](const std::wstring& file) { files.push_back(file); },
         [](const std::wstring&) {});
    return files;
}

TempDir::TempDir(const std::wstring& leaf) {
    static LONG counter = 0;
    wchar_t temp[MAX_PATH] = {};
    DWORD n = ::GetTempPathW(MAX_PATH, temp);
    if (n == 0 || n >= MAX_PATH) return;
    std::wstring base = temp;
    if (!base.empty() && base.back() == L'\\') base.pop_back();
    m_root = base + L"\\wt-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(::InterlockedIncrement(&counter)) + L"-" +
            std::to_wstring(::GetTickCount());
    if (!::CreateDirectoryW(m_root.c_str(), nullptr)) return;
    m_path = leaf.empty() ? m_root : m_root + L"\\" + leaf;
    m_ok = leaf.empty() || ::CreateDirectoryW(m_path.c_str(), nullptr);
}

TempDir::~TempDir() {
    if (!m_root.empty()) RemoveTree(m_root);
}

// ---- Processes and deadlines ------------------------------------------------------------

::testing::AssertionResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs,
                                      DWORD* exitCode, HANDLE stdOut) {
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    if (stdOut) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = stdOut;
        si.hStdError = stdOut;
    }
    PROCESS_INFORMATION pi = {};
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    if (!::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, stdOut != nullptr, 0,
                          nullptr, nullptr, &si, &pi)) {
        return ::testing::AssertionFailure()
               << "CreateProcess failed (" << ::GetLastError() << "): " << Narrow(commandLine);
    }
    win::Handle process(pi.hProcess);
    win::Handle thread(pi.hThread);
    if (::WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
        ::TerminateProcess(process.get(), 1);
        ::WaitForSingleObject(process.get(), 5000);
        return ::testing::AssertionFailure()
               << "still running after " << timeoutMs << " ms: " << Narrow(commandLine);
    }
    DWORD code = kSentinel;
    ::GetExitCodeProcess(process.get(), &code);
    if (exitCode) *exitCode = code;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult RunRegsvr32(bool unregister, const std::wstring& ocx,
                                       const std::wstring& regsvr32) {
    if (!FileExists(ocx))
        return ::testing::AssertionFailure() << "the control module is missing: " << Narrow(ocx);
    wchar_t system[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring program =
        regsvr32.empty() ? std::wstring(system) + L"\\regsvr32.exe" : regsvr32;
    std::wstring command = L"\"" + program + L"\"" +
                           (unregister ? L" /u" : L"") + L" /s \"" + ocx + L"\"";
    DWORD code = kSentinel;
    ::testing::AssertionResult ran = RunProcess(command, 60000, &code);
    if (!ran) return ran;
    if (code != 0)
        return ::testing::AssertionFailure() << Narrow(command) << " exited with " << code;
    return ::testing::AssertionSuccess();
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (done()) return true;
        DWORD elapsed = ::GetTickCount() - start;
        if (elapsed >= timeoutMs) return done();
        // Wake on messages; otherwise look again soon for conditions that send none
        // (files, other processes).
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(timeoutMs - elapsed, 20),
                                    QS_ALLINPUT);
    }
}

namespace {

struct WindowSearch {
    const wchar_t* caption;
    std::vector<HWND> found;
};

BOOL CALLBACK MatchCaption(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    wchar_t text[256] = {};
    ::GetWindowTextW(hwnd, text, 256);
    if (wcscmp(text, search->caption) == 0) search->found.push_back(hwnd);
    return TRUE;
}

}  // namespace

std::vector<HWND> FindTopWindows(const wchar_t* caption) {
    WindowSearch search{caption, {}};
    ::EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// ---- Registry ---------------------------------------------------------------------------

bool KeyExists(HKEY root, const std::wstring& path) {
    win::RegKey key;
    return ::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.receive()) == ERROR_SUCCESS;
}

std::optional<std::wstring> RegString(HKEY root, const std::wstring& path, const wchar_t* name,
                                      REGSAM view) {
    win::RegKey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, key.receive()) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::nullopt;
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(key.get(), name, nullptr, &type,
                           reinterpret_cast<BYTE*>(&text[0]), &size) != ERROR_SUCCESS)
        return std::nullopt;
    text.resize(size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

std::vector<std::wstring> SubKeys(HKEY root, const std::wstring& path) {
    std::vector<std::wstring> names;
    win::RegKey key;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.receive()) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (::RegEnumKeyExW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

void DeleteClientKey() { ::SHDeleteKeyA(HKEY_CURRENT_USER, kClientKey); }

bool ClientKeyExists() {
    win::RegKey key;
    return ::RegOpenKeyExA(HKEY_CURRENT_USER, kClientKey, 0, KEY_READ, key.receive()) ==
           ERROR_SUCCESS;
}

std::optional<std::string> ClientValue(const char* name) {
    win::RegKey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kClientKey, 0, KEY_READ, key.receive()) !=
        ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0, size = 0;
    if (::RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::string data(size + 1, '\0');
    size = static_cast<DWORD>(data.size());
    if (::RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                           &size) != ERROR_SUCCESS)
        return std::nullopt;
    data.resize(size);
    if (!data.empty() && data.back() == '\0') data.pop_back();
    return data;
}

::testing::AssertionResult SetClientValue(const char* name, const std::string& value) {
    win::RegKey key;
    LONG rc = ::RegCreateKeyExA(HKEY_CURRENT_USER, kClientKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                                key.receive(), nullptr);
    if (rc == ERROR_SUCCESS)
        rc = ::RegSetValueExA(key.get(), name, 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>(value.size() + 1));
    if (rc != ERROR_SUCCESS)
        return ::testing::AssertionFailure() << "cannot write " << name << ": error " << rc;
    return ::testing::AssertionSuccess();
}

void DeleteClientValue(const char* name) {
    win::RegKey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kClientKey, 0, KEY_SET_VALUE, key.receive()) ==
        ERROR_SUCCESS)
        ::RegDeleteValueA(key.get(), name);
}

// ---- COM --------------------------------------------------------------------------------

TrustedRoot::TrustedRoot(const std::string& pem) {
    std::vector<uint8_t> der;
    if (!tavrin::PemToDer(pem, "CERTIFICATE", &der)) return;
    m_store =
        ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (!m_store) return;
    PCCERT_CONTEXT added = nullptr;
    if (::CertAddEncodedCertificateToStore(static_cast<HCERTSTORE>(m_store), X509_ASN_ENCODING,
                                           der.data(), static_cast<DWORD>(der.size()),
                                           CERT_STORE_ADD_REPLACE_EXISTING, &added))
        m_added = added;
    // A registry store writes its changes out only when told or closed; the browser process
    // reads the registry.
    ::CertControlStore(static_cast<HCERTSTORE>(m_store), 0, CERT_STORE_CTRL_COMMIT, nullptr);
}

TrustedRoot::~TrustedRoot() {
    // Deleting frees the context too.
    if (m_added) ::CertDeleteCertificateFromStore(static_cast<PCCERT_CONTEXT>(m_added));
    if (m_store) ::CertCloseStore(static_cast<HCERTSTORE>(m_store), 0);
}

::testing::AssertionResult EnsureRegistered() {
    static bool registered = false;
    if (registered) return ::testing::AssertionSuccess();
    ::testing::AssertionResult result = RunRegsvr32(false);
    registered = static_cast<bool>(result);
    return result;
}

::testing::AssertionResult CreateControl(win::ComPtr<IUnknown>& out) {
    HRESULT hr = ::CoCreateInstance(CLSID_Tavrin, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                    out.receiveVoid());
    if (FAILED(hr) || !out)
        return ::testing::AssertionFailure()
               << "CoCreateInstance(CLSID_Tavrin) failed: 0x" << std::hex << hr;
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult QueryDispatch(IUnknown* unk, win::ComPtr<IDispatch>& out) {
    HRESULT hr = unk->QueryInterface(IID_IDispatch, out.receiveVoid());
    if (FAILED(hr) || !out)
        return ::testing::AssertionFailure() << "no IDispatch: 0x" << std::hex << hr;
    return ::testing::AssertionSuccess();
}

namespace {

void FreeExcepInfo(EXCEPINFO& info) {
    ::SysFreeString(info.bstrSource);
    ::SysFreeString(info.bstrDescription);
    ::SysFreeString(info.bstrHelpFile);
}

}  // namespace

HRESULT PutProperty(IDispatch* disp, DISPID id, const VARIANT& value) {
    VARIANT arg = value;  // borrowed: Invoke does not free its arguments
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params = {&arg, &named, 1, 1};
    EXCEPINFO info = {};
    UINT argError = kSentinel;
    HRESULT hr = disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params,
                              nullptr, &info, &argError);
    FreeExcepInfo(info);
    return hr;
}

HRESULT PutString(IDispatch* disp, DISPID id, const std::wstring& value) {
    win::Variant v;
    v.get()->vt = VT_BSTR;
    v.get()->bstrVal = ::SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    return PutProperty(disp, id, *v.get());
}

HRESULT GetProperty(IDispatch* disp, DISPID id, VARIANT* result, WORD flags) {
    DISPPARAMS params = {nullptr, nullptr, 0, 0};
    EXCEPINFO info = {};
    UINT argError = kSentinel;
    HRESULT hr = disp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &info,
                              &argError);
    FreeExcepInfo(info);
    return hr;
}

::testing::AssertionResult PropertyIs(IDispatch* disp, DISPID id, const std::wstring& expected) {
    win::Variant v;
    v.get()->vt = VT_I4;  // a stale type the call must replace
    v.get()->lVal = static_cast<LONG>(kSentinel);
    HRESULT hr = GetProperty(disp, id, v.get());
    if (hr != S_OK)
        return ::testing::AssertionFailure()
               << "get of DISPID " << id << " gave 0x" << std::hex << hr;
    if (v.get()->vt != VT_BSTR)
        return ::testing::AssertionFailure()
               << "DISPID " << id << " came back as vt " << v.get()->vt;
    std::wstring got(v.get()->bstrVal ? v.get()->bstrVal : L"",
                     ::SysStringLen(v.get()->bstrVal));
    if (got != expected)
        return ::testing::AssertionFailure() << "DISPID " << id << " is \"" << Narrow(got)
                                             << "\", expected \"" << Narrow(expected) << "\"";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult PutAll(IDispatch* disp, const std::vector<std::wstring>& values) {
    for (int i = 0; i < kPropertyCount; ++i) {
        HRESULT hr = PutString(disp, i + 1, values.at(i));
        if (hr != S_OK)
            return ::testing::AssertionFailure()
                   << "put " << Narrow(kPropertyNames[i]) << " gave 0x" << std::hex << hr;
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult AllPropertiesAre(IDispatch* disp,
                                            const std::vector<std::wstring>& values) {
    for (int i = 0; i < kPropertyCount; ++i) {
        ::testing::AssertionResult r = PropertyIs(disp, i + 1, values.at(i));
        if (!r) return r << " (" << Narrow(kPropertyNames[i]) << ")";
    }
    return ::testing::AssertionSuccess();
}

HRESULT PropertyBag::QueryInterface(REFIID riid, void** out) {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyBag)) {
        *out = static_cast<IPropertyBag*>(this);
        AddRef();
        return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
}

HRESULT PropertyBag::Read(LPCOLESTR name, VARIANT* var, IErrorLog*) {
    if (!name || !var) return E_POINTER;
    reads.emplace_back(name);
    auto it = values.find(name);
    if (it == values.end()) return E_INVALIDARG;  // what a page's parameter bag answers
    VARTYPE wanted = var->vt;
    BSTR text = ::SysAllocStringLen(it->second.data(), static_cast<UINT>(it->second.size()));
    if (wanted == VT_EMPTY || wanted == VT_BSTR) {
        var->vt = VT_BSTR;
        var->bstrVal = text;
        return S_OK;
    }
    VARIANT source;
    source.vt = VT_BSTR;
    source.bstrVal = text;
    ::VariantInit(var);
    HRESULT hr = ::VariantChangeType(var, &source, 0, wanted);
    ::VariantClear(&source);
    return hr;
}

HRESULT PropertyBag::Write(LPCOLESTR name, VARIANT* var) {
    if (!name || !var) return E_POINTER;
    VARIANT text;
    ::VariantInit(&text);
    HRESULT hr = ::VariantChangeType(&text, var, 0, VT_BSTR);
    if (FAILED(hr)) return hr;
    values[name] = std::wstring(text.bstrVal ? text.bstrVal : L"", ::SysStringLen(text.bstrVal));
    writes.emplace_back(name);
    ::VariantClear(&text);
    return S_OK;
}

bool WineVersion::Set(const std::wstring& version) {
    win::RegKey key;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine", 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, key.receive(), nullptr) != ERROR_SUCCESS)
        return false;
    return ::RegSetValueExW(key.get(), L"Version", 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(version.c_str()),
                            static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

std::set<std::wstring> FolderNames(const std::wstring& dir) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW data;
    win::FindHandle find(::FindFirstFileW((dir + L"\\*").c_str(), &data));
    if (!find) return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") names.insert(name);
    } while (::FindNextFileW(find.get(), &data));
    return names;
}

}  // namespace wt
