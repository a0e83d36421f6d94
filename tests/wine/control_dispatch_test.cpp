// The control's scripting surface: _DTavrin through IDispatch, its type information, class
// information, connection points, property pages and OLE status, as a browser's script engine
// and container see them.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/wine/support.h"

namespace {

using wt::kPropertyCount;
using wt::kPropertyNames;

class DispatchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(wt::EnsureRegistered()); }

    void SetUp() override {
        ASSERT_TRUE(wt::CreateControl(m_control));
        ASSERT_TRUE(wt::QueryDispatch(m_control.get(), m_disp));
    }

    void TearDown() override {
        m_disp.reset();
        if (m_control) {
            EXPECT_EQ(0u, wt::FinalRelease(m_control));
        }
    }

    template <typename T>
    ::testing::AssertionResult Query(const IID& iid, win::ComPtr<T>& out) {
        HRESULT hr = m_control->QueryInterface(iid, out.receiveVoid());
        if (hr != S_OK || !out)
            return ::testing::AssertionFailure() << "QueryInterface gave 0x" << std::hex << hr;
        return ::testing::AssertionSuccess();
    }

    DISPID IdOf(const wchar_t* name, HRESULT* hr) {
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        DISPID id = static_cast<DISPID>(wt::kSentinel);
        *hr = m_disp->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        return id;
    }

    win::CoInit m_com;
    win::ComPtr<IUnknown> m_control;
    win::ComPtr<IDispatch> m_disp;
};

TEST_F(DispatchTest, NamesMapToTheirDispids) {
    struct Row {
        const wchar_t* name;
        DISPID id;
    };
    std::vector<Row> rows;
    for (int i = 0; i < kPropertyCount; ++i) rows.push_back({kPropertyNames[i], i + 1});
    rows.push_back({L"AboutBox", wt::kDispidAboutBox});
    // Script languages do not keep the letter case of member names.
    rows.push_back({L"STRID", 1});
    rows.push_back({L"strserver9", 13});
    rows.push_back({L"KEY", 3});
    rows.push_back({L"aboutbox", wt::kDispidAboutBox});
    for (const Row& row : rows) {
        SCOPED_TRACE(wt::Narrow(row.name));
        HRESULT hr = E_FAIL;
        DISPID id = IdOf(row.name, &hr);
        EXPECT_EQ(S_OK, hr);
        EXPECT_EQ(row.id, id);
    }
}

TEST_F(DispatchTest, UnknownNamesAndInterfacesAreRefused) {
    for (const wchar_t* name : {L"strServer10", L"strPassword", L"", L"Launch"}) {
        SCOPED_TRACE(wt::Narrow(name));
        HRESULT hr = S_OK;
        DISPID id = IdOf(name, &hr);
        EXPECT_EQ(DISP_E_UNKNOWNNAME, hr);
        EXPECT_EQ(DISPID_UNKNOWN, id);
    }
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"strID")};
    DISPID id = static_cast<DISPID>(wt::kSentinel);
    EXPECT_EQ(DISP_E_UNKNOWNINTERFACE,
              m_disp->GetIDsOfNames(IID_IStream, names, 1, LOCALE_USER_DEFAULT, &id));

    win::Variant result;
    for (DISPID missing : {0, 14, 99, -1}) {
        SCOPED_TRACE(missing);
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND, wt::GetProperty(m_disp.get(), missing, result.get()));
        EXPECT_EQ(DISP_E_MEMBERNOTFOUND, wt::PutString(m_disp.get(), missing, L"x"));
    }
}

TEST_F(DispatchTest, PropertiesStartEmpty) {
    EXPECT_TRUE(wt::AllPropertiesAre(m_disp.get(), std::vector<std::wstring>(kPropertyCount)));
}

TEST_F(DispatchTest, EveryPropertyRoundTripsOnItsOwn) {
    const std::wstring texts[] = {
        L"plain",
        L"바둑왕 김철수",  // Korean, code page 949
        L"",
        L" leading and trailing ",
        std::wstring(300, L'x'),  // longer than any buffer in the registry path
        L"a\"quoted\" /NAME:x",
    };
    std::vector<std::wstring> expected(kPropertyCount);
    for (int i = 0; i < kPropertyCount; ++i) {
        for (const std::wstring& text : texts) {
            SCOPED_TRACE(wt::Narrow(kPropertyNames[i]) + " = " + wt::Narrow(text));
            ASSERT_EQ(S_OK, wt::PutString(m_disp.get(), i + 1, text));
            EXPECT_TRUE(wt::PropertyIs(m_disp.get(), i + 1, text));
        }
        // Leave a value of its own in each, then check none leaked into another.
        expected[i] = std::wstring(kPropertyNames[i]) + L" 값";
        ASSERT_EQ(S_OK, wt::PutString(m_disp.get(), i + 1, expected[i]));
    }
    EXPECT_TRUE(wt::AllPropertiesAre(m_disp.get(), expected));
}

TEST_F(DispatchTest, PutCoercesWhatScriptsPass) {
    struct Row {
        const char* name;
        VARTYPE vt;
        LONG number;
        const wchar_t* text;
        HRESULT hr;
        const wchar_t* expected;
    } rows[] = {
        {"integer join key", VT_I4, 9000, nullptr, S_OK, L"9000"},
        {"short", VT_I2, 1000, nullptr, S_OK, L"1000"},
        {"null BSTR", VT_BSTR, 0, nullptr, S_OK, L""},
        // Not in code page 949: the client would get "?" for it, so the value is refused.
        {"Thai letter", VT_BSTR, 0, L"a\u0E01b", E_INVALIDARG, L"stale"},
        {"lone surrogate", VT_BSTR, 0, L"a\xD800", E_INVALIDARG, L"stale"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(S_OK, wt::PutString(m_disp.get(), 3, L"stale"));
        win::Variant v;
        v.get()->vt = row.vt;
        if (row.vt == VT_I4) v.get()->lVal = row.number;
        if (row.vt == VT_I2) v.get()->iVal = static_cast<SHORT>(row.number);
        // A null BSTR is the empty string.
        if (row.vt == VT_BSTR && row.text) v.get()->bstrVal = ::SysAllocString(row.text);
        EXPECT_EQ(row.hr, wt::PutProperty(m_disp.get(), 3, *v.get()));
        EXPECT_TRUE(wt::PropertyIs(m_disp.get(), 3, row.expected));
    }
}

TEST_F(DispatchTest, GetAlsoAnswersAsAMethodCall) {
    // VBScript asks for property values with both flags set.
    ASSERT_EQ(S_OK, wt::PutString(m_disp.get(), 4, L"go.example:7000"));
    win::Variant v;
    ASSERT_EQ(S_OK, wt::GetProperty(m_disp.get(), 4, v.get(),
                                    DISPATCH_METHOD | DISPATCH_PROPERTYGET));
    ASSERT_EQ(VT_BSTR, v.get()->vt);
    EXPECT_STREQ(L"go.example:7000", v.get()->bstrVal);
}

TEST_F(DispatchTest, TypeInfoDescribesDTavrin) {
    UINT count = wt::kSentinel;
    EXPECT_EQ(S_OK, m_disp->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);

    win::ComPtr<ITypeInfo> info;
    ASSERT_EQ(S_OK, m_disp->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.receive()));
    ASSERT_TRUE(info);
    win::Bstr name;
    ASSERT_EQ(S_OK, info->GetDocumentation(MEMBERID_NIL, name.receive(), nullptr, nullptr, nullptr));
    EXPECT_STREQ(L"_DTavrin", name.get());
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, info->GetTypeAttr(&attr));
    EXPECT_TRUE(IsEqualGUID(DIID__DTavrin, attr->guid));
    EXPECT_EQ(TKIND_DISPATCH, attr->typekind);
    info->ReleaseTypeAttr(attr);

    // The type information knows every property by name and DISPID.
    for (int i = 0; i < kPropertyCount; ++i) {
        SCOPED_TRACE(wt::Narrow(kPropertyNames[i]));
        win::Bstr member;
        EXPECT_EQ(S_OK, info->GetDocumentation(i + 1, member.receive(), nullptr, nullptr, nullptr));
        EXPECT_STREQ(kPropertyNames[i], member.get());
    }

    win::ComPtr<ITypeInfo> none;
    ITypeInfo** out = none.receive();
    *out = reinterpret_cast<ITypeInfo*>(static_cast<uintptr_t>(wt::kSentinel));
    EXPECT_EQ(DISP_E_BADINDEX, m_disp->GetTypeInfo(1, LOCALE_USER_DEFAULT, out));
    EXPECT_EQ(nullptr, *out) << "out pointer not cleared";
}

TEST_F(DispatchTest, ClassInfoNamesTheCoclassAndItsEvents) {
    win::ComPtr<IProvideClassInfo2> provide;
    ASSERT_TRUE(Query(IID_IProvideClassInfo2, provide));

    GUID guid;
    std::memset(&guid, 0xde, sizeof(guid));
    EXPECT_EQ(S_OK, provide->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &guid));
    EXPECT_TRUE(IsEqualGUID(DIID__DTavrinEvents, guid)) << wt::Narrow(wt::GuidString(guid));
    EXPECT_EQ(E_POINTER, provide->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, nullptr));
    EXPECT_EQ(E_INVALIDARG, provide->GetGUID(77, &guid));

    win::ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(S_OK, provide->GetClassInfo(coclass.receive()));
    ASSERT_TRUE(coclass);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(S_OK, coclass->GetTypeAttr(&attr));
    EXPECT_EQ(TKIND_COCLASS, attr->typekind);
    EXPECT_TRUE(IsEqualGUID(CLSID_Tavrin, attr->guid));
    const WORD implemented = attr->cImplTypes;
    coclass->ReleaseTypeAttr(attr);
    ASSERT_EQ(2, implemented);

    // [default] _DTavrin and [default, source] _DTavrinEvents.
    bool sawDispatch = false, sawEvents = false;
    for (UINT i = 0; i < implemented; ++i) {
        SCOPED_TRACE(i);
        INT flags = 0;
        HREFTYPE ref = 0;
        ASSERT_EQ(S_OK, coclass->GetImplTypeFlags(i, &flags));
        ASSERT_EQ(S_OK, coclass->GetRefTypeOfImplType(i, &ref));
        win::ComPtr<ITypeInfo> iface;
        ASSERT_EQ(S_OK, coclass->GetRefTypeInfo(ref, iface.receive()));
        TYPEATTR* ia = nullptr;
        ASSERT_EQ(S_OK, iface->GetTypeAttr(&ia));
        if (IsEqualGUID(ia->guid, DIID__DTavrin)) {
            sawDispatch = true;
            EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT, flags);
        } else if (IsEqualGUID(ia->guid, DIID__DTavrinEvents)) {
            sawEvents = true;
            EXPECT_EQ(IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE, flags);
            EXPECT_EQ(0, ia->cFuncs) << "the event interface has no members";
        }
        iface->ReleaseTypeAttr(ia);
    }
    EXPECT_TRUE(sawDispatch);
    EXPECT_TRUE(sawEvents);
}

// A minimal event sink: what a browser advises for the control's events.
class EventSink : public IDispatch {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, DIID__DTavrinEvents)) {
            *out = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        ++invokes;
        return S_OK;
    }
    LONG refs = 1;
    int invokes = 0;
};

TEST_F(DispatchTest, EventsConnectionPointAcceptsASink) {
    win::ComPtr<IConnectionPointContainer> container;
    ASSERT_TRUE(Query(IID_IConnectionPointContainer, container));

    win::ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, container->FindConnectionPoint(DIID__DTavrinEvents, point.receive()));
    ASSERT_TRUE(point);
    IID iid;
    std::memset(&iid, 0xde, sizeof(iid));
    EXPECT_EQ(S_OK, point->GetConnectionInterface(&iid));
    EXPECT_TRUE(IsEqualIID(DIID__DTavrinEvents, iid));

    EventSink sink;
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(&sink, &cookie));
    EXPECT_NE(0u, cookie);
    // The control fires no events: changing properties calls nothing on the sink.
    ASSERT_EQ(S_OK, wt::PutString(m_disp.get(), 1, L"someone"));
    EXPECT_EQ(0, sink.invokes);
    EXPECT_EQ(S_OK, point->Unadvise(cookie));
    EXPECT_EQ(1, sink.refs) << "the sink's references were not all given back";

    win::ComPtr<IConnectionPoint> none;
    IConnectionPoint** out = none.receive();
    *out = reinterpret_cast<IConnectionPoint*>(static_cast<uintptr_t>(wt::kSentinel));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, container->FindConnectionPoint(IID_IStream, out));
    EXPECT_EQ(nullptr, *out) << "out pointer not cleared";
}

TEST_F(DispatchTest, SpecifiesExactlyItsOwnPage) {
    win::ComPtr<ISpecifyPropertyPages> pages;
    ASSERT_TRUE(Query(IID_ISpecifyPropertyPages, pages));
    CAUUID ids = {wt::kSentinel, nullptr};
    ASSERT_EQ(S_OK, pages->GetPages(&ids));
    ASSERT_EQ(1u, ids.cElems);
    ASSERT_NE(nullptr, ids.pElems);
    EXPECT_TRUE(IsEqualCLSID(wt::CLSID_TavrinPropPage, ids.pElems[0]))
        << wt::Narrow(wt::GuidString(ids.pElems[0]));
    ::CoTaskMemFree(ids.pElems);
}

TEST_F(DispatchTest, OleObjectReportsStatusAndClass) {
    win::ComPtr<IOleObject> ole;
    ASSERT_TRUE(Query(IID_IOleObject, ole));
    DWORD status = wt::kSentinel;
    EXPECT_EQ(S_OK, ole->GetMiscStatus(DVASPECT_CONTENT, &status));
    EXPECT_EQ(wt::kMiscStatus, status);
    CLSID clsid;
    std::memset(&clsid, 0xde, sizeof(clsid));
    EXPECT_EQ(S_OK, ole->GetUserClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_Tavrin, clsid));
    LPOLESTR type = nullptr;
    EXPECT_EQ(S_OK, ole->GetUserType(USERCLASSTYPE_FULL, &type));
    EXPECT_STREQ(L"Tavrin Control", type);
    ::CoTaskMemFree(type);
}

// The container's menu offers the Properties verb, which DoVerb answers.
TEST_F(DispatchTest, OleObjectOffersThePropertiesVerb) {
    win::ComPtr<IOleObject> ole;
    ASSERT_TRUE(Query(IID_IOleObject, ole));
    win::ComPtr<IEnumOLEVERB> verbs;
    ASSERT_EQ(S_OK, ole->EnumVerbs(verbs.receive()));
    for (int pass = 0; pass < 2; ++pass) {  // the second after Reset, on a clone
        SCOPED_TRACE(pass);
        OLEVERB verb[2] = {};
        ULONG fetched = 99;
        EXPECT_EQ(S_FALSE, verbs->Next(2, verb, &fetched));
        ASSERT_EQ(1u, fetched);
        EXPECT_EQ(OLEIVERB_PROPERTIES, verb[0].lVerb);
        EXPECT_STREQ(L"&Properties...", verb[0].lpszVerbName);
        EXPECT_EQ(static_cast<DWORD>(OLEVERBATTRIB_ONCONTAINERMENU), verb[0].grfAttribs);
        ::CoTaskMemFree(verb[0].lpszVerbName);
        EXPECT_EQ(S_FALSE, verbs->Next(1, verb, nullptr));
        ASSERT_EQ(S_OK, verbs->Reset());
        win::ComPtr<IEnumOLEVERB> clone;
        ASSERT_EQ(S_OK, verbs->Clone(clone.receive()));
        verbs = std::move(clone);
    }
}

}  // namespace
