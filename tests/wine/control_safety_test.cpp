// IObjectSafety of the control: what a browser in the Internet zone asks before it scripts or
// initialises the object.
#include <windows.h>
#include <objsafe.h>
#include <ocidl.h>

#include <string>

#include "tests/wine/support.h"

namespace {

constexpr DWORD kCaller = INTERFACESAFE_FOR_UNTRUSTED_CALLER;  // 1
constexpr DWORD kData = INTERFACESAFE_FOR_UNTRUSTED_DATA;      // 2
constexpr DWORD kBoth = kCaller | kData;                       // 3

const GUID kRandomIid = {0x3f2a9c41, 0x77d0, 0x4e15, {0x9a, 0x0e, 0x12, 0x34, 0x56, 0x78, 0x9a, 0xbc}};

struct Iface {
    const char* name;
    const IID* iid;
};
const Iface kDispatch = {"IDispatch", &IID_IDispatch};
const Iface kPersistence[] = {
    {"IPersistPropertyBag", &IID_IPersistPropertyBag},
    {"IPersistStreamInit", &IID_IPersistStreamInit},
    {"IPersistStorage", &IID_IPersistStorage},
    {"IPersistMemory", &IID_IPersistMemory},
};
// Not exposed by the control.
const Iface kUnexposed[] = {
    {"IStream", &IID_IStream},
    {"random IID", &kRandomIid},
};
// Exposed, but neither scripting nor initialisation.
const Iface kOtherExposed[] = {
    {"IOleObject", &IID_IOleObject},
    {"IUnknown", &IID_IUnknown},
    {"IObjectSafety", &IID_IObjectSafety},
};

class SafetyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(wt::EnsureRegistered()); }

    void SetUp() override {
        ASSERT_TRUE(wt::CreateControl(m_control));
        ASSERT_EQ(S_OK, m_control->QueryInterface(IID_IObjectSafety, m_safety.receiveVoid()));
        ASSERT_TRUE(m_safety);
    }

    void TearDown() override {
        m_safety.reset();
        if (m_control) {
            EXPECT_EQ(0u, wt::FinalRelease(m_control));
        }
    }

    bool Exposed(const IID& iid) {
        win::ComPtr<IUnknown> p;
        return m_control->QueryInterface(iid, p.receiveVoid()) == S_OK && p;
    }

    // One GetInterfaceSafetyOptions row with sentinel-filled outputs.
    void ExpectGet(const Iface& iface, HRESULT hr, DWORD supported, DWORD enabled) {
        SCOPED_TRACE(iface.name);
        DWORD gotSupported = wt::kSentinel, gotEnabled = wt::kSentinel;
        EXPECT_EQ(hr, m_safety->GetInterfaceSafetyOptions(*iface.iid, &gotSupported, &gotEnabled));
        EXPECT_EQ(supported, gotSupported);
        EXPECT_EQ(enabled, gotEnabled);
    }

    void ExpectGetTable() {
        ExpectGet(kDispatch, S_OK, kBoth, kCaller);
        for (const Iface& i : kPersistence) ExpectGet(i, S_OK, kBoth, kData);
        for (const Iface& i : kUnexposed) ExpectGet(i, E_NOINTERFACE, kBoth, 0);
        for (const Iface& i : kOtherExposed) ExpectGet(i, E_NOINTERFACE, kBoth, 0);
    }

    struct SetRow {
        DWORD mask;
        DWORD enabled;
        HRESULT expected;
    };

    void ExpectSet(const Iface& iface, std::initializer_list<SetRow> rows) {
        for (const SetRow& row : rows) {
            SCOPED_TRACE(std::string(iface.name) + " mask " + std::to_string(row.mask) +
                         " enabled " + std::to_string(row.enabled));
            EXPECT_EQ(row.expected,
                      m_safety->SetInterfaceSafetyOptions(*iface.iid, row.mask, row.enabled));
        }
    }

    void ExpectSetTable() {
        ExpectSet(kDispatch, {{0, 0, S_OK},
                              {kCaller, kCaller, S_OK},
                              {kBoth, kCaller, E_FAIL},
                              {kCaller, 0, E_FAIL},
                              {0, kCaller, E_FAIL},
                              {kData, kData, E_FAIL},
                              {kBoth, kBoth, E_FAIL},
                              {4, 4, E_FAIL}});
        for (const Iface& i : kPersistence)
            ExpectSet(i, {{0, 0, S_OK},
                          {kData, kData, S_OK},
                          {kCaller, kCaller, E_FAIL},
                          {kBoth, kBoth, E_FAIL},
                          {kBoth, kData, E_FAIL},
                          {kData, 0, E_FAIL},
                          {0, kData, E_FAIL}});
        for (const Iface& i : kUnexposed)
            ExpectSet(i, {{0, 0, S_OK},
                          {kCaller, kCaller, E_FAIL},
                          {kCaller, 0, E_FAIL},
                          {kData, kData, E_FAIL}});
        for (const Iface& i : kOtherExposed)
            ExpectSet(i, {{0, 0, S_OK},
                          {kCaller, kCaller, E_FAIL},
                          {kData, kData, E_FAIL},
                          {kBoth, kBoth, E_FAIL}});
    }

    win::CoInit m_com;
    win::ComPtr<IUnknown> m_control;
    win::ComPtr<IObjectSafety> m_safety;
};

// The tables below rest on which interfaces the control exposes.
TEST_F(SafetyTest, TablesMatchWhatTheControlExposes) {
    EXPECT_TRUE(Exposed(IID_IDispatch));
    for (const Iface& i : kPersistence) {
        SCOPED_TRACE(i.name);
        EXPECT_TRUE(Exposed(*i.iid));
    }
    for (const Iface& i : kUnexposed) {
        SCOPED_TRACE(i.name);
        win::ComPtr<IUnknown> p;
        void** out = p.receiveVoid();
        *out = reinterpret_cast<void*>(static_cast<uintptr_t>(wt::kSentinel));
        EXPECT_EQ(E_NOINTERFACE, m_control->QueryInterface(*i.iid, out));
        EXPECT_EQ(nullptr, *out) << "out pointer not cleared";
    }
    for (const Iface& i : kOtherExposed) {
        SCOPED_TRACE(i.name);
        EXPECT_TRUE(Exposed(*i.iid));
    }
}

// IObjectSafety is a part of the control object, not an object of its own.
TEST_F(SafetyTest, SharesTheControlsIdentityAndCount) {
    win::ComPtr<IUnknown> viaSafety;
    ASSERT_EQ(S_OK, m_safety->QueryInterface(IID_IUnknown, viaSafety.receiveVoid()));
    EXPECT_EQ(m_control.get(), viaSafety.get());
    win::ComPtr<IDispatch> disp;
    EXPECT_EQ(S_OK, m_safety->QueryInterface(IID_IDispatch, disp.receiveVoid()));
    win::ComPtr<IObjectSafety> again;
    ASSERT_EQ(S_OK, disp->QueryInterface(IID_IObjectSafety, again.receiveVoid()));
    EXPECT_EQ(m_safety.get(), again.get());
    // References taken through IObjectSafety keep the control alive.
    viaSafety.reset();
    disp.reset();
    again.reset();
    IObjectSafety* raw = m_safety.detach();
    m_control.reset();
    EXPECT_EQ(0u, raw->Release());
}

TEST_F(SafetyTest, GetRefusesNullOutPointers) {
    DWORD supported = wt::kSentinel, enabled = wt::kSentinel;
    EXPECT_EQ(E_POINTER, m_safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, &enabled));
    EXPECT_EQ(E_POINTER, m_safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, nullptr));
    EXPECT_EQ(E_POINTER, m_safety->GetInterfaceSafetyOptions(IID_IDispatch, nullptr, nullptr));
    EXPECT_EQ(E_POINTER, m_safety->GetInterfaceSafetyOptions(kRandomIid, nullptr, nullptr));
}

TEST_F(SafetyTest, GetAnswersPerInterface) { ExpectGetTable(); }

TEST_F(SafetyTest, SetAnswersPerInterface) { ExpectSetTable(); }

// Nothing is stored: the answers are the same after any sequence of Set calls, and a browser's
// usual pair of calls does not change what Get reports.
TEST_F(SafetyTest, AnswersNeverChangeAfterSet) {
    ASSERT_EQ(S_OK, m_safety->SetInterfaceSafetyOptions(IID_IDispatch, kCaller, kCaller));
    ASSERT_EQ(S_OK, m_safety->SetInterfaceSafetyOptions(IID_IPersistPropertyBag, kData, kData));
    ExpectGetTable();
    ExpectSetTable();
    ExpectGetTable();
    ExpectSetTable();
}

}  // namespace
