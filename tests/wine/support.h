// Helpers shared by the tests of the Windows layer: where the built files are, processes,
// the registry, the control object, property access by DISPID and a property bag.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "TAVRIN_h.h"
#include "win/handles.h"

namespace wt {

// The property page has no type information, so its CLSID is not in the type library.
extern const CLSID CLSID_TavrinPropPage;  // {FE6861FB-A27F-43BB-8685-CBED93EDDB6C}

constexpr DWORD kSentinel = 0xdeadbeef;
constexpr DISPID kDispidAboutBox = -552;
constexpr DWORD kMiscStatus = 0x20191;
// The platform this build's type library registers for.
#ifdef _WIN64
const wchar_t kTypeLibPlatform[] = L"win64";
#else
const wchar_t kTypeLibPlatform[] = L"win32";
#endif
constexpr int kPropertyCount = 13;
// The control's string properties; DISPID = index + 1.
extern const wchar_t* const kPropertyNames[kPropertyCount];
extern const char* const kControlProgId;
extern const char* const kPageProgId;

// ---- Files and paths --------------------------------------------------------------------
// Windows path (Z:\...) of a file in the build's bin folder.
std::wstring BinPath(const std::wstring& relative);
std::wstring OcxPath();
std::wstring GuidString(REFGUID guid);
bool FileExists(const std::wstring& path);
std::optional<std::string> ReadFileBytes(const std::wstring& path);
// text followed by its "[signature]" line, signed with the test key through CryptoAPI (the
// publisher's side, which the product itself never does); empty when signing fails.
std::string SignedWithTestKey(const std::string& text);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);
// The names in a folder (without "." and ".."); empty when it cannot be read.
std::set<std::wstring> FolderNames(const std::wstring& dir);
// Every file below dir, at any depth, by its full path.
std::vector<std::wstring> FilesUnder(const std::wstring& dir);
// Deletes dir with everything in it.
void RemoveTree(const std::wstring& dir);
// Case-insensitive path equality, as Windows compares file names.
bool SamePath(const std::wstring& a, const std::wstring& b);

// Adds a certificate (PEM) to the user's Root store of the prefix while it lives, so that
// WinINet trusts the servers it issued; takes it out again when it goes.
class TrustedRoot {
public:
    explicit TrustedRoot(const std::string& pem);
    ~TrustedRoot();
    TrustedRoot(const TrustedRoot&) = delete;
    TrustedRoot& operator=(const TrustedRoot&) = delete;
    bool ok() const { return m_added != nullptr; }

private:
    void* m_store = nullptr;        // HCERTSTORE
    const void* m_added = nullptr;  // PCCERT_CONTEXT
};

// A fresh folder under %TEMP%, removed with its content when it goes.
class TempDir {
public:
    explicit TempDir(const std::wstring& leaf = L"");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::wstring& path() const { return m_path; }
    std::wstring file(const std::wstring& name) const { return m_path + L"\\" + name; }
    bool ok() const { return m_ok; }

private:
    std::wstring m_root;  // what gets removed (holds m_path)
    std::wstring m_path;
    bool m_ok = false;
};

// ---- Processes and deadlines ------------------------------------------------------------
// Runs a program and waits up to timeoutMs for it; a program still running then is ended
// through its own handle and the result is a failure. stdOut, when set, must be inheritable.
::testing::AssertionResult RunProcess(const std::wstring& commandLine, DWORD timeoutMs,
                                      DWORD* exitCode, HANDLE stdOut = nullptr);
// regsvr32 [/u] /s on the control module; success means exit code 0.
// Registers (or unregisters) a control module with a regsvr32: by default this build's module
// with the regsvr32 of this process's system folder.
::testing::AssertionResult RunRegsvr32(bool unregister, const std::wstring& module = OcxPath(),
                                       const std::wstring& regsvr32 = L"");
// Pumps this thread's messages until done() holds or the deadline passes; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);
// Top-level windows with exactly this caption.
std::vector<HWND> FindTopWindows(const wchar_t* caption);

// ---- Registry ---------------------------------------------------------------------------
bool KeyExists(HKEY root, const std::wstring& path);
// A string value (name nullptr: the default value); nothing when absent or not a string.
// view: 0 for the process's own registry view, KEY_WOW64_32KEY or KEY_WOW64_64KEY for another.
std::optional<std::wstring> RegString(HKEY root, const std::wstring& path, const wchar_t* name,
                                      REGSAM view = 0);
std::vector<std::wstring> SubKeys(HKEY root, const std::wstring& path);

// The client's settings key, HKCU\Software\Brennix\Orbisan\Sumnel; values in the ANSI code page.
extern const char* const kClientKey;
void DeleteClientKey();
bool ClientKeyExists();
std::optional<std::string> ClientValue(const char* name);
::testing::AssertionResult SetClientValue(const char* name, const std::string& value);
void DeleteClientValue(const char* name);

// The prefix's Windows version (HKCU\Software\Wine "Version": win98, winxp, ...) for one
// scope; programs started meanwhile see it. Back to winxp, the prefix's default, afterwards.
class WineVersion {
public:
    explicit WineVersion(const wchar_t* version) { m_ok = Set(version); }
    ~WineVersion() { Set(L"winxp"); }
    WineVersion(const WineVersion&) = delete;
    WineVersion& operator=(const WineVersion&) = delete;
    bool ok() const { return m_ok; }

private:
    static bool Set(const std::wstring& version);
    bool m_ok = false;
};

// ---- COM --------------------------------------------------------------------------------
// OleInitialize for one scope (windows, in-place activation and property pages need OLE).
class OleInit {
public:
    OleInit() : m_hr(::OleInitialize(nullptr)) {}
    ~OleInit() { if (SUCCEEDED(m_hr)) ::OleUninitialize(); }
    OleInit(const OleInit&) = delete;
    OleInit& operator=(const OleInit&) = delete;
    HRESULT result() const { return m_hr; }

private:
    HRESULT m_hr;
};

// Registers the control once per test program (every test program gets a registered control
// whatever ran before it in the prefix).
::testing::AssertionResult EnsureRegistered();
// A new control by CoCreateInstance, as a browser makes it.
::testing::AssertionResult CreateControl(win::ComPtr<IUnknown>& out);
::testing::AssertionResult QueryDispatch(IUnknown* unk, win::ComPtr<IDispatch>& out);

// Releases the last reference this test holds; returns what Release returned.
template <typename T>
ULONG FinalRelease(win::ComPtr<T>& p) {
    T* raw = p.detach();
    return raw ? raw->Release() : kSentinel;
}

// Property access the way script engines do it.
HRESULT PutProperty(IDispatch* disp, DISPID id, const VARIANT& value);
HRESULT PutString(IDispatch* disp, DISPID id, const std::wstring& value);
HRESULT GetProperty(IDispatch* disp, DISPID id, VARIANT* result,
                    WORD flags = DISPATCH_PROPERTYGET);
::testing::AssertionResult PropertyIs(IDispatch* disp, DISPID id, const std::wstring& expected);
// Sets all thirteen properties (values[i] to DISPID i + 1).
::testing::AssertionResult PutAll(IDispatch* disp, const std::vector<std::wstring>& values);
::testing::AssertionResult AllPropertiesAre(IDispatch* disp,
                                            const std::vector<std::wstring>& values);

// An IPropertyBag over a name → text map, as a page's <param> elements form one. It records
// what the object reads and writes and counts its references (it lives on the stack: the test
// checks that the object gave back every reference it took).
class PropertyBag : public IPropertyBag {
public:
    PropertyBag() = default;
    explicit PropertyBag(std::map<std::wstring, std::wstring> initial)
        : values(std::move(initial)) {}
    virtual ~PropertyBag() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE Read(LPCOLESTR name, VARIANT* var, IErrorLog* log) override;
    HRESULT STDMETHODCALLTYPE Write(LPCOLESTR name, VARIANT* var) override;

    std::map<std::wstring, std::wstring> values;
    std::vector<std::wstring> reads;   // every name asked for, found or not
    std::vector<std::wstring> writes;  // every name written, in order
    LONG refs = 1;                     // the test's own
};

// ---- Text -------------------------------------------------------------------------------
std::string Ansi(const std::wstring& s);   // to the process's ANSI code page (949 here)
std::wstring Wide(const std::string& s);   // from it
std::string Narrow(const std::wstring& s);  // to UTF-8, for messages

}  // namespace wt
