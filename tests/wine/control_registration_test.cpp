// Registration of the control module through the real regsvr32 and the prefix's registry, and
// the module's exports as COM loads them.
#include <windows.h>
#include <objbase.h>
#include <ole2.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/wine/support.h"
#include "tools/tavrin-host/host_meters_win.h"

namespace {

using wt::GuidString;
using wt::RegString;

const std::wstring kCtlKey = L"CLSID\\" + GuidString(CLSID_Tavrin);
const std::wstring kPageKey = L"CLSID\\" + GuidString(wt::CLSID_TavrinPropPage);
const std::wstring kTypeLibKey = L"TypeLib\\" + GuidString(LIBID_TAVRINLib);

::testing::AssertionResult ValueIs(const std::wstring& path, const wchar_t* name,
                                   const std::wstring& expected) {
    auto got = RegString(HKEY_CLASSES_ROOT, path, name);
    if (!got)
        return ::testing::AssertionFailure()
               << "HKCR\\" << wt::Narrow(path) << " [" << wt::Narrow(name ? name : L"(default)")
               << "] is missing";
    if (*got != expected)
        return ::testing::AssertionFailure()
               << "HKCR\\" << wt::Narrow(path) << " [" << wt::Narrow(name ? name : L"(default)")
               << "] is \"" << wt::Narrow(*got) << "\", expected \"" << wt::Narrow(expected)
               << "\"";
    return ::testing::AssertionSuccess();
}

// A registered module path: the path regsvr32 loaded, whatever letter case it comes back in.
::testing::AssertionResult IsModulePath(const std::wstring& path, const wchar_t* name) {
    auto got = RegString(HKEY_CLASSES_ROOT, path, name);
    if (!got) return ::testing::AssertionFailure() << "HKCR\\" << wt::Narrow(path) << " missing";
    if (!wt::SamePath(*got, wt::OcxPath()))
        return ::testing::AssertionFailure() << "HKCR\\" << wt::Narrow(path) << " names \""
                                             << wt::Narrow(*got) << "\", not the module \""
                                             << wt::Narrow(wt::OcxPath()) << "\"";
    return ::testing::AssertionSuccess();
}

// An export of the module as the function type it has.
template <typename Fn>
Fn Export(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

class RegistrationTest : public ::testing::Test {
protected:
    // Later tests of this program, and later programs, find the control registered.
    static void SetUpTestSuite() { ASSERT_TRUE(wt::RunRegsvr32(false)); }
    static void TearDownTestSuite() { EXPECT_TRUE(wt::RunRegsvr32(false)); }

    void CheckRegistered() {
        struct Row {
            std::wstring key;
            const wchar_t* name;
            std::wstring expected;
        };
        const Row rows[] = {
            {kCtlKey, nullptr, L"Tavrin Control"},
            {kCtlKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
            {kCtlKey + L"\\ProgID", nullptr, L"TAVRIN.TavrinCtrl.1"},
            {kCtlKey + L"\\MiscStatus", nullptr, L"0"},
            {kCtlKey + L"\\MiscStatus\\1", nullptr, L"131473"},
            {kCtlKey + L"\\TypeLib", nullptr, GuidString(LIBID_TAVRINLib)},
            {kCtlKey + L"\\Version", nullptr, L"1.0"},
            {L"TAVRIN.TavrinCtrl.1", nullptr, L"Tavrin Control"},
            {L"TAVRIN.TavrinCtrl.1\\CLSID", nullptr, GuidString(CLSID_Tavrin)},
            {kPageKey, nullptr, L"Tavrin Property Page"},
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(wt::Narrow(row.key));
            EXPECT_TRUE(ValueIs(row.key, row.name, row.expected));
        }

        EXPECT_TRUE(IsModulePath(kCtlKey + L"\\InprocServer32", nullptr));
        EXPECT_TRUE(IsModulePath(kPageKey + L"\\InprocServer32", nullptr));
        EXPECT_TRUE(wt::KeyExists(HKEY_CLASSES_ROOT, kCtlKey + L"\\Control"));
        EXPECT_FALSE(wt::KeyExists(HKEY_CLASSES_ROOT, kCtlKey + L"\\Insertable"));
        EXPECT_FALSE(wt::KeyExists(HKEY_CLASSES_ROOT, L"TAVRIN.TavrinCtrl.1\\Insertable"));

        // "<module>,1" (a blank after the comma is the other common spelling).
        auto bitmap = RegString(HKEY_CLASSES_ROOT, kCtlKey + L"\\ToolboxBitmap32", nullptr);
        ASSERT_TRUE(bitmap.has_value());
        const std::wstring module = wt::OcxPath();
        EXPECT_TRUE(wt::SamePath(*bitmap, module + L",1") ||
                    wt::SamePath(*bitmap, module + L", 1"))
            << wt::Narrow(*bitmap);

        // What OLE itself reads back from the registry.
        DWORD status = wt::kSentinel;
        EXPECT_EQ(S_OK, ::OleRegGetMiscStatus(CLSID_Tavrin, DVASPECT_CONTENT, &status));
        EXPECT_EQ(wt::kMiscStatus, status);
        status = wt::kSentinel;
        EXPECT_EQ(S_OK, ::OleRegGetMiscStatus(CLSID_Tavrin, DVASPECT_ICON, &status));
        EXPECT_EQ(0u, status) << "other aspects get the default";
        CLSID clsid;
        std::memset(&clsid, 0xde, sizeof(clsid));
        EXPECT_EQ(S_OK, ::CLSIDFromProgID(L"TAVRIN.TavrinCtrl.1", &clsid));
        EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Tavrin));

        // The type library: version 1.0 with its path for this build's platform under one
        // locale (0 or 0x409).
        EXPECT_TRUE(ValueIs(kTypeLibKey + L"\\1.0", nullptr, L"Tavrin ActiveX Control module"));
        int found = 0;
        for (const std::wstring& lcid : wt::SubKeys(HKEY_CLASSES_ROOT, kTypeLibKey + L"\\1.0")) {
            if (lcid != L"0" && lcid != L"409") continue;
            SCOPED_TRACE(wt::Narrow(lcid));
            EXPECT_TRUE(IsModulePath(kTypeLibKey + L"\\1.0\\" + lcid + L"\\" +
                                         wt::kTypeLibPlatform, nullptr));
            ++found;
        }
        EXPECT_GE(found, 1) << "no " << wt::Narrow(wt::kTypeLibPlatform)
                            << " entry under TypeLib\\{LIBID}\\1.0";
#ifdef _WIN64
        // A 32-bit browser reads the 32-bit view: it must not be sent to this 64-bit module.
        auto server32 = RegString(HKEY_CLASSES_ROOT, kCtlKey + L"\\InprocServer32", nullptr,
                                  KEY_WOW64_32KEY);
        EXPECT_FALSE(server32 && wt::SamePath(*server32, module)) << wt::Narrow(*server32);
#endif
        EXPECT_TRUE(ValueIs(L"Interface\\" + GuidString(DIID__DTavrin) + L"\\TypeLib", nullptr,
                            GuidString(LIBID_TAVRINLib)));
        BSTR path = nullptr;
        EXPECT_EQ(S_OK, ::QueryPathOfRegTypeLib(LIBID_TAVRINLib, 1, 0, 0x409, &path));
        EXPECT_TRUE(path && wt::SamePath(path, module)) << (path ? wt::Narrow(path) : "(null)");
        ::SysFreeString(path);
    }

    win::CoInit m_com;
};

TEST_F(RegistrationTest, RegisterWritesTheControlPageAndTypeLibrary) {
    ASSERT_TRUE(wt::RunRegsvr32(false));
    CheckRegistered();
}

TEST_F(RegistrationTest, RegisteringTwiceLeavesTheSameEntries) {
    ASSERT_TRUE(wt::RunRegsvr32(false));
    ASSERT_TRUE(wt::RunRegsvr32(false));
    CheckRegistered();
}

TEST_F(RegistrationTest, UnregisterRemovesEveryKeyItWrote) {
    ASSERT_TRUE(wt::RunRegsvr32(false));
    ASSERT_TRUE(wt::RunRegsvr32(true));
    const std::wstring gone[] = {
        kCtlKey,
        kPageKey,
        L"TAVRIN.TavrinCtrl.1",
        L"TAVRIN.TavrinPropPage.1",
        kTypeLibKey,
        L"Interface\\" + GuidString(DIID__DTavrin),
        L"Interface\\" + GuidString(DIID__DTavrinEvents),
    };
    for (const std::wstring& key : gone) {
        SCOPED_TRACE(wt::Narrow(key));
        EXPECT_FALSE(wt::KeyExists(HKEY_CLASSES_ROOT, key));
    }
    CLSID clsid;
    std::memset(&clsid, 0xde, sizeof(clsid));
    EXPECT_NE(S_OK, ::CLSIDFromProgID(L"TAVRIN.TavrinCtrl.1", &clsid));
    win::ComPtr<IUnknown> unk;
    EXPECT_EQ(REGDB_E_CLASSNOTREG, ::CoCreateInstance(CLSID_Tavrin, nullptr, CLSCTX_INPROC_SERVER,
                                                      IID_IUnknown, unk.receiveVoid()));
    EXPECT_FALSE(unk);

    // And it registers again after that.
    ASSERT_TRUE(wt::RunRegsvr32(false));
    CheckRegistered();
}

#ifdef _WIN64
// On 64-bit Windows the 32-bit control (for 32-bit browsers) registers beside this one: the
// same class and library, each module in its own registry view, a type library per platform.
TEST_F(RegistrationTest, The32BitControlRegistersBesideThisOne) {
    // scripts/wine-env says whether this machine starts 32-bit programs at all.
    char runs[8] = "";
    ::GetEnvironmentVariableA("TAVRIN_MACHINE_RUNS_WIN32", runs, sizeof runs);
    if (std::string(runs) != "yes") GTEST_SKIP() << "this machine runs no 32-bit programs";
    std::wstring ocx32 = wt::OcxPath();
    const size_t arch = ocx32.rfind(L"\\win64\\bin\\");
    ASSERT_NE(arch, std::wstring::npos) << wt::Narrow(ocx32);
    ocx32.replace(arch + 1, 5, L"win32");
    if (!wt::FileExists(ocx32)) GTEST_SKIP() << "no 32-bit build beside this one";
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring regsvr32 = std::wstring(windows) + L"\\syswow64\\regsvr32.exe";

    ASSERT_TRUE(wt::RunRegsvr32(false));
    ASSERT_TRUE(wt::RunRegsvr32(false, ocx32, regsvr32));
    CheckRegistered();
    auto server32 = RegString(HKEY_CLASSES_ROOT, kCtlKey + L"\\InprocServer32", nullptr,
                              KEY_WOW64_32KEY);
    EXPECT_TRUE(server32 && wt::SamePath(*server32, ocx32))
        << (server32 ? wt::Narrow(*server32) : "no 32-bit InprocServer32");
    auto typeLib32 = RegString(HKEY_CLASSES_ROOT, kTypeLibKey + L"\\1.0\\409\\win32", nullptr);
    EXPECT_TRUE(typeLib32 && wt::SamePath(*typeLib32, ocx32));
    // And this process still creates its own control from its own module.
    win::ComPtr<IUnknown> control;
    ASSERT_TRUE(wt::CreateControl(control));
    HMODULE loaded = nullptr;
    ASSERT_TRUE(::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                     wt::OcxPath().c_str(), &loaded));
    EXPECT_TRUE(loaded);
    control.reset();

    // Removing the 32-bit one leaves this one whole (registered again, as a second
    // registration of either would leave it).
    EXPECT_TRUE(wt::RunRegsvr32(true, ocx32, regsvr32));
    server32 = RegString(HKEY_CLASSES_ROOT, kCtlKey + L"\\InprocServer32", nullptr,
                         KEY_WOW64_32KEY);
    EXPECT_FALSE(server32 && wt::SamePath(*server32, ocx32));
    ASSERT_TRUE(wt::RunRegsvr32(false));
    CheckRegistered();
}
#endif

TEST_F(RegistrationTest, ModuleExportsTheFourEntryPoints) {
    win::Library module(::LoadLibraryW(wt::OcxPath().c_str()));
    ASSERT_TRUE(module) << "LoadLibrary failed: " << ::GetLastError();
    for (const char* name :
         {"DllRegisterServer", "DllUnregisterServer", "DllGetClassObject", "DllCanUnloadNow"}) {
        SCOPED_TRACE(name);
        EXPECT_NE(nullptr, reinterpret_cast<void*>(::GetProcAddress(module.get(), name)));
    }
}

TEST_F(RegistrationTest, ClassObjectsServeTheControlAndThePageOnly) {
    win::Library module(::LoadLibraryW(wt::OcxPath().c_str()));
    ASSERT_TRUE(module);
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject =
        Export<GetClassObjectFn>(module.get(), "DllGetClassObject");
    ASSERT_NE(nullptr, getClassObject);

    const GUID kUnknownClass = {0x6b1e0d3a, 0x1c0f, 0x4f7e, {1, 2, 3, 4, 5, 6, 7, 8}};
    struct Row {
        const char* name;
        const CLSID* clsid;
        HRESULT expected;
    } rows[] = {
        {"control", &CLSID_Tavrin, S_OK},
        {"property page", &wt::CLSID_TavrinPropPage, S_OK},
        {"unknown class", &kUnknownClass, CLASS_E_CLASSNOTAVAILABLE},
        {"type library id", &LIBID_TAVRINLib, CLASS_E_CLASSNOTAVAILABLE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        void* raw = reinterpret_cast<void*>(static_cast<uintptr_t>(wt::kSentinel));
        HRESULT hr = getClassObject(*row.clsid, IID_IClassFactory, &raw);
        EXPECT_EQ(row.expected, hr);
        if (hr == S_OK) {
            ASSERT_NE(nullptr, raw);
            win::ComPtr<IClassFactory> factory(static_cast<IClassFactory*>(raw), false);
            // The factory answers for itself only.
            win::ComPtr<IUnknown> none;
            EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(IID_IDispatch, none.receiveVoid()));
            EXPECT_FALSE(none);
            // Aggregation is not offered.
            win::ComPtr<IUnknown> object;
            win::ComPtr<IUnknown> outer;
            EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, object.receiveVoid()));
            ASSERT_TRUE(object);
            outer = object;
            win::ComPtr<IUnknown> aggregated;
            HRESULT agg = factory->CreateInstance(outer.get(), IID_IDispatch,
                                                  aggregated.receiveVoid());
            // Aggregation may be offered, but only through IID_IUnknown.
            EXPECT_TRUE(FAILED(agg)) << std::hex << agg;
            EXPECT_FALSE(aggregated);
            outer.reset();
            EXPECT_EQ(0u, wt::FinalRelease(object));
        } else {
            EXPECT_EQ(nullptr, raw) << "out pointer not cleared";
        }
    }
}

TEST_F(RegistrationTest, CanUnloadOnlyWhenNoObjectLives) {
    win::Library module(::LoadLibraryW(wt::OcxPath().c_str()));
    ASSERT_TRUE(module);
    using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto canUnload =
        Export<CanUnloadFn>(module.get(), "DllCanUnloadNow");
    auto getClassObject =
        Export<GetClassObjectFn>(module.get(), "DllGetClassObject");
    ASSERT_NE(nullptr, canUnload);
    ASSERT_NE(nullptr, getClassObject);

    EXPECT_EQ(S_OK, canUnload());

    for (const CLSID* clsid : {&CLSID_Tavrin, &wt::CLSID_TavrinPropPage}) {
        SCOPED_TRACE(wt::Narrow(GuidString(*clsid)));
        win::ComPtr<IClassFactory> factory;
        ASSERT_EQ(S_OK, getClassObject(*clsid, IID_IClassFactory, factory.receiveVoid()));
        win::ComPtr<IUnknown> object;
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IUnknown, object.receiveVoid()));
        factory.reset();  // class objects are static: no count of their own to check

        EXPECT_EQ(S_FALSE, canUnload()) << "an object lives";
        EXPECT_EQ(0u, wt::FinalRelease(object));
        EXPECT_EQ(S_OK, canUnload());

        // A server lock keeps the module as well.
        ASSERT_EQ(S_OK, getClassObject(*clsid, IID_IClassFactory, factory.receiveVoid()));
        EXPECT_EQ(S_OK, factory->LockServer(TRUE));
        factory.reset();
        EXPECT_EQ(S_FALSE, canUnload()) << "the server is locked";
        ASSERT_EQ(S_OK, getClassObject(*clsid, IID_IClassFactory, factory.receiveVoid()));
        EXPECT_EQ(S_OK, factory->LockServer(FALSE));
        factory.reset();
        EXPECT_EQ(S_OK, canUnload());
    }
}

// A browser loads and frees our modules on every visit: each gives back the runtime's TLS slot
// and memory it took, so after a few loads (the process's own parts warming up) the lowest
// free slot stays and the memory stays flat. A module that kept its runtime's exception
// reserve grew by 18 KiB a load (72 KiB in the 64-bit build).
TEST_F(RegistrationTest, EachModuleLoadedAndFreedOftenGivesBackWhatItTook) {
    constexpr int kWarmUp = 20, kLoads = 120;
    constexpr unsigned long long kBytesPerLoad = 8 * 1024;
    std::wstring folder = wt::OcxPath();
    folder.erase(folder.find_last_of(L"\\/") + 1);
    for (const wchar_t* name : {L"TAVRIN.OCX", L"Prynn.dll", L"Wexlog.dll"}) {
        SCOPED_TRACE(wt::Narrow(name));
        ASSERT_EQ(nullptr, ::GetModuleHandleW(name)) << "loaded already: its unload is unseen";
        host::ProcessCounts warm{};
        for (int load = 1; load <= kWarmUp + kLoads; ++load) {
            win::Library module(::LoadLibraryW((folder + name).c_str()));
            ASSERT_TRUE(module) << "LoadLibrary failed: " << ::GetLastError();
            module.close();
            ASSERT_EQ(nullptr, ::GetModuleHandleW(name)) << "not unloaded at load " << load;
            if (load == kWarmUp) warm = host::CountProcess();
        }
        const host::ProcessCounts last = host::CountProcess();
        std::printf("[ figures  ] %s, loads %d and %d: lowest free TLS slot %lu, %lu; private "
                    "KiB %llu, %llu\n", wt::Narrow(name).c_str(), kWarmUp, kWarmUp + kLoads,
                    warm.lowestFreeTls, last.lowestFreeTls, warm.privateBytes / 1024,
                    last.privateBytes / 1024);
        EXPECT_EQ(warm.lowestFreeTls, last.lowestFreeTls);
        EXPECT_LE(last.privateBytes, warm.privateBytes + kLoads * kBytesPerLoad);
    }
}

// Last in this program: a module that writes through a null out pointer ends the process.
TEST_F(RegistrationTest, GetClassObjectRefusesANullOutPointer) {
    win::Library module(::LoadLibraryW(wt::OcxPath().c_str()));
    ASSERT_TRUE(module);
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto getClassObject =
        Export<GetClassObjectFn>(module.get(), "DllGetClassObject");
    ASSERT_NE(nullptr, getClassObject);
    EXPECT_EQ(E_POINTER, getClassObject(CLSID_Tavrin, IID_IClassFactory, nullptr));
}

}  // namespace
