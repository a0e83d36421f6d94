// The control's property page in a real window on the test display: it shows only its
// placeholder text, and applying it changes nothing.
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/wine/support.h"

namespace {

const wchar_t kPlaceholder[] =
    L"TODO: Place controls to manipulate properties of Tavrin Control on this dialog.";

// The frame side of a page, as a property sheet provides it.
class PageSite : public IPropertyPageSite {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPropertyPageSite)) {
            *out = static_cast<IPropertyPageSite*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE OnStatusChange(DWORD flags) override {
        statusChanges.push_back(flags);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLocaleID(LCID* lcid) override {
        if (!lcid) return E_POINTER;
        *lcid = 0x412;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPageContainer(IUnknown** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return S_FALSE; }

    LONG refs = 1;
    std::vector<DWORD> statusChanges;
};

struct ChildScan {
    std::vector<std::wstring> texts;
    std::vector<std::wstring> classes;
};

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM param) {
    auto* scan = reinterpret_cast<ChildScan*>(param);
    wchar_t text[512] = {}, cls[64] = {};
    ::GetWindowTextW(hwnd, text, 512);
    ::GetClassNameW(hwnd, cls, 64);
    scan->texts.emplace_back(text);
    scan->classes.emplace_back(cls);
    return TRUE;
}

class PropPageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(wt::EnsureRegistered()); }

    void SetUp() override {
        ASSERT_EQ(S_OK, ::CoCreateInstance(wt::CLSID_TavrinPropPage, nullptr,
                                           CLSCTX_INPROC_SERVER, IID_IPropertyPage,
                                           m_page.receiveVoid()));
        ASSERT_TRUE(m_page);
    }

    void TearDown() override {
        if (m_page) {
            EXPECT_EQ(0u, wt::FinalRelease(m_page));
        }
        EXPECT_EQ(1, m_site.refs) << "the page kept a reference to its site";
    }

    wt::OleInit m_ole;
    win::ComPtr<IPropertyPage> m_page;
    PageSite m_site;
};

TEST_F(PropPageTest, PageInfoGivesTheCaptionAndASize) {
    PROPPAGEINFO info;
    std::memset(&info, 0xde, sizeof(info));
    info.cb = sizeof(info);
    ASSERT_EQ(S_OK, m_page->GetPageInfo(&info));
    EXPECT_STREQ(L"General", info.pszTitle);
    EXPECT_GT(info.size.cx, 0);
    EXPECT_GT(info.size.cy, 0);
    EXPECT_LT(info.size.cx, 2000);
    EXPECT_LT(info.size.cy, 2000);
    ::CoTaskMemFree(info.pszTitle);
    ::CoTaskMemFree(info.pszDocString);
    ::CoTaskMemFree(info.pszHelpFile);
    EXPECT_EQ(E_POINTER, m_page->GetPageInfo(nullptr));
}

TEST_F(PropPageTest, ShowsOnlyThePlaceholderAndApplyChangesNothing) {
    win::ComPtr<IUnknown> control;
    ASSERT_TRUE(wt::CreateControl(control));
    win::ComPtr<IDispatch> disp;
    ASSERT_TRUE(wt::QueryDispatch(control.get(), disp));
    std::vector<std::wstring> values;
    for (int i = 0; i < wt::kPropertyCount; ++i) values.push_back(L"값 " + std::to_wstring(i));
    ASSERT_TRUE(wt::PutAll(disp.get(), values));

    win::OwnedWindow frame(::CreateWindowExW(0, L"STATIC", L"page frame",
                                            WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 600, 400,
                                            nullptr, nullptr, ::GetModuleHandleW(nullptr),
                                            nullptr));
    ASSERT_TRUE(frame);

    ASSERT_EQ(S_OK, m_page->SetPageSite(&m_site));
    IUnknown* objects[] = {control.get()};
    ASSERT_EQ(S_OK, m_page->SetObjects(1, objects));
    RECT rect = {10, 10, 500, 200};
    ASSERT_EQ(S_OK, m_page->Activate(frame.get(), &rect, FALSE));
    EXPECT_EQ(S_OK, m_page->Show(SW_SHOW));

    // The page is a child of the frame holding the placeholder text; nothing to type into.
    ChildScan scan;
    ASSERT_TRUE(wt::PumpUntil(
        [&] {
            scan = ChildScan();
            ::EnumChildWindows(frame.get(), CollectChild, reinterpret_cast<LPARAM>(&scan));
            return std::find(scan.texts.begin(), scan.texts.end(), kPlaceholder) !=
                   scan.texts.end();
        },
        5000))
        << "placeholder text not shown";
    for (const std::wstring& cls : scan.classes) {
        SCOPED_TRACE(wt::Narrow(cls));
        EXPECT_NE(0, ::lstrcmpiW(cls.c_str(), L"Edit"));
        EXPECT_NE(0, ::lstrcmpiW(cls.c_str(), L"ComboBox"));
        EXPECT_NE(0, ::lstrcmpiW(cls.c_str(), L"ListBox"));
    }

    EXPECT_EQ(S_FALSE, m_page->IsPageDirty());
    EXPECT_EQ(S_OK, m_page->Apply());
    EXPECT_TRUE(wt::AllPropertiesAre(disp.get(), values));

    EXPECT_EQ(S_OK, m_page->Deactivate());
    EXPECT_TRUE(wt::PumpUntil(
        [&] {
            scan = ChildScan();
            ::EnumChildWindows(frame.get(), CollectChild, reinterpret_cast<LPARAM>(&scan));
            return scan.texts.empty();
        },
        5000))
        << "the page window outlived Deactivate";

    EXPECT_EQ(S_OK, m_page->SetObjects(0, nullptr));
    EXPECT_EQ(S_OK, m_page->SetPageSite(nullptr));
    EXPECT_TRUE(wt::AllPropertiesAre(disp.get(), values));
    disp.reset();
    EXPECT_EQ(0u, wt::FinalRelease(control));
}

}  // namespace
