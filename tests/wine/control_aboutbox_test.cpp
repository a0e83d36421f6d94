// AboutBox through IDispatch shows the module's about box modally, with no owner, until OK.
#include <thread>

#include "tests/wine/support.h"

namespace {

struct AboutBoxSeen {
    bool found = false;
    bool ownerless = false;
    std::vector<std::wstring> texts;  // every child window's text
    bool hasIcon = false;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
    auto* seen = reinterpret_cast<AboutBoxSeen*>(param);
    wchar_t text[256] = L"";
    ::GetWindowTextW(child, text, 256);
    if (text[0]) seen->texts.push_back(text);
    if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
        ::SendMessageW(child, STM_GETICON, 0, 0) != 0)
        seen->hasIcon = true;
    return TRUE;
}

// Waits for the about box, records what it shows and presses its OK button.
void AnswerAboutBox(AboutBoxSeen* seen) {
    const DWORD deadline = ::GetTickCount() + 20000;
    while (::GetTickCount() < deadline) {
        std::vector<HWND> boxes = wt::FindTopWindows(L"About Tavrin Control");
        if (!boxes.empty() && ::IsWindowVisible(boxes[0])) {
            HWND box = boxes[0];
            seen->found = true;
            seen->ownerless = ::GetWindow(box, GW_OWNER) == nullptr;
            ::EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(seen));
            ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
            return;
        }
        ::Sleep(50);
    }
}

bool Contains(const std::vector<std::wstring>& texts, const std::wstring& wanted) {
    for (const std::wstring& t : texts)
        if (t.find(wanted) != std::wstring::npos) return true;
    return false;
}

TEST(AboutBox, ShowsTheModulesAboutBoxUntilOk) {
    wt::OleInit ole;
    ASSERT_TRUE(wt::EnsureRegistered());
    win::ComPtr<IUnknown> control;
    ASSERT_TRUE(wt::CreateControl(control));
    win::ComPtr<IDispatch> disp;
    ASSERT_TRUE(wt::QueryDispatch(control.get(), disp));

    AboutBoxSeen seen;
    std::thread watcher(AnswerAboutBox, &seen);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    VARIANT result;
    ::VariantInit(&result);
    result.vt = VT_I4;
    result.lVal = static_cast<LONG>(wt::kSentinel);
    HRESULT hr = disp->Invoke(wt::kDispidAboutBox, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD,
                              &none, &result, nullptr, nullptr);
    watcher.join();

    EXPECT_EQ(S_OK, hr);
    EXPECT_EQ(VT_EMPTY, result.vt) << "AboutBox returns nothing";
    ASSERT_TRUE(seen.found) << "no about box appeared";
    EXPECT_TRUE(seen.ownerless);
    EXPECT_TRUE(Contains(seen.texts, L"Tavrin Control, Version 1.0"));
    EXPECT_TRUE(Contains(seen.texts, L"Copyright"));
    EXPECT_TRUE(Contains(seen.texts, L"OK"));
    EXPECT_TRUE(seen.hasIcon) << "the about box shows the module's icon";
    EXPECT_TRUE(wt::FindTopWindows(L"About Tavrin Control").empty()) << "the box is gone after OK";

    disp.reset();
    EXPECT_EQ(0u, wt::FinalRelease(control));
}

}  // namespace
