// The percentage bar on a real msctls_progress32 in a window on the test display, read back
// pixel by pixel: fill, swapped text colours, truncated percentage, caller text, vertical bars,
// empty ranges, partial repaints, the replies of its messages and the rationed repaints.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "tests/wine/support.h"
#include "widgets/percent_progress_ctrl_win.h"

using tavrin::CPercentProgressCtrl;

namespace {

constexpr int kWidth = 200, kHeight = 20;
constexpr COLORREF kBar = RGB(0, 0, 200), kBk = RGB(250, 250, 0), kRed = RGB(255, 0, 0);

// The client area's pixels, row by row.
struct Pixels {
    int width = 0, height = 0;
    std::vector<COLORREF> data;
    COLORREF at(int x, int y) const { return data[size_t(y) * width + x]; }
    bool operator==(const Pixels& o) const { return width == o.width && data == o.data; }
    // Pixels exactly of this colour in columns [x0, x1).
    int Count(COLORREF c, int x0, int x1) const {
        int n = 0;
        for (int y = 0; y < height; ++y)
            for (int x = x0; x < x1; ++x) n += at(x, y) == c;
        return n;
    }
};

Pixels Capture(HWND hwnd) {
    Pixels p;
    RECT rc;
    ::GetClientRect(hwnd, &rc);
    p.width = rc.right;
    p.height = rc.bottom;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = p.width;
    bi.bmiHeader.biHeight = -p.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    win::WindowDc screen(hwnd);
    win::GdiObject dib(::CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    win::MemoryDc mem(::CreateCompatibleDC(screen.get()));
    {
        win::SelectedObject select(mem.get(), dib.get());
        ::BitBlt(mem.get(), 0, 0, p.width, p.height, screen.get(), 0, 0, SRCCOPY);
    }
    ::GdiFlush();
    const auto* px = static_cast<const uint32_t*>(bits);
    for (int i = 0; i < p.width * p.height; ++i)
        p.data.push_back(RGB((px[i] >> 16) & 0xFF, (px[i] >> 8) & 0xFF, px[i] & 0xFF));
    return p;
}

// Counts the WM_PAINT messages of the bar: a subclass above the bar's own.
struct PaintCounter {
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = static_cast<PaintCounter*>(::GetPropW(hwnd, L"widgets.test.paints"));
        if (msg == WM_PAINT) ++self->paints;
        return ::CallWindowProcW(self->next, hwnd, msg, wParam, lParam);
    }
    void Attach(HWND hwnd) {
        window = hwnd;
        ::SetPropW(hwnd, L"widgets.test.paints", this);
        next = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
    }
    ~PaintCounter() {
        if (!window) return;
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(next));
        ::RemovePropW(window, L"widgets.test.paints");
    }
    HWND window = nullptr;
    WNDPROC next = nullptr;
    int paints = 0;
};

class PercentBarTest : public ::testing::Test {
protected:
    // One host for the suite: without a window manager, Wine waits up to 2 s for a top-level
    // window to be unmapped when it is destroyed.
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&icc);
        m_host = ::CreateWindowExW(WS_EX_TOPMOST, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 40, 40,
                                  260, 160, nullptr, nullptr, nullptr, nullptr);
    }
    static void TearDownTestSuite() { ::DestroyWindow(m_host); }
    void SetUp() override { ASSERT_TRUE(m_host); }

    // A bar of the given style and client size, subclassed and painted.
    HWND MakeBar(DWORD style = 0, int width = kWidth, int height = kHeight) {
        HWND bar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE | style, 10,
                                     10, width, height, m_host, HMENU(202), nullptr,
                                     nullptr);
        EXPECT_TRUE(bar);
        EXPECT_TRUE(m_bar.SubclassWindow(bar));
        Settle();
        return bar;
    }
    // Everything queued handled and every window painted.
    void Settle() {
        wt::PumpUntil([] { return true; }, 0);
        ::RedrawWindow(m_host, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    LRESULT Send(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendMessageW(m_bar.GetSafeHwnd(), msg, wParam, lParam);
    }
    void UseColors() {
        Send(PBM_SETBARCOLOR, 0, kBar);
        Send(PBM_SETBKCOLOR, 0, kBk);
    }
    Pixels Painted() {
        ::UpdateWindow(m_bar.GetSafeHwnd());
        return Capture(m_bar.GetSafeHwnd());
    }

    static HWND m_host;
    CPercentProgressCtrl m_bar;  // its window goes with it
};

HWND PercentBarTest::m_host = nullptr;

TEST_F(PercentBarTest, NewBarShowsZeroPercentInTheBarColourOnTheBackground) {
    MakeBar();
    const COLORREF bar = ::GetSysColor(COLOR_HIGHLIGHT), bk = ::GetSysColor(COLOR_WINDOW);
    ASSERT_NE(bar, bk);
    const Pixels p = Painted();
    ASSERT_EQ(kWidth, p.width);
    EXPECT_EQ(kHeight, p.Count(bk, 0, 1)) << "nothing is filled";
    EXPECT_EQ(kHeight, p.Count(bk, kWidth - 1, kWidth));
    EXPECT_GT(p.Count(bar, 80, 120), 0) << "the text 0% in the bar colour";
    EXPECT_EQ(0, p.Count(bar, 0, 70) + p.Count(bar, 130, kWidth)) << "centred";
}

TEST_F(PercentBarTest, HalfFillsHalfTheBarWithTheTextColoursSwappedAcrossTheEdge) {
    MakeBar();
    UseColors();
    EXPECT_EQ(0, Send(PBM_SETPOS, 50));
    const Pixels p = Capture(m_bar.GetSafeHwnd());  // PBM_SETPOS repainted before it replied
    int fill = 0;
    while (fill < kWidth && p.at(fill, 0) == kBar) ++fill;
    EXPECT_EQ(100, fill) << "the top row, above the text";
    for (int x = fill; x < kWidth; ++x) EXPECT_EQ(kBk, p.at(x, 0)) << x;
    EXPECT_EQ(kHeight, p.Count(kBar, 0, 1));
    EXPECT_EQ(kHeight, p.Count(kBk, kWidth - 1, kWidth));
    // "50%" straddles the edge: background-coloured text over the fill, bar-coloured after.
    EXPECT_GT(p.Count(kBk, 0, 100), 0);
    EXPECT_GT(p.Count(kBar, 100, kWidth), 0);
}

TEST_F(PercentBarTest, PercentageIsTruncatedNotRounded) {
    MakeBar();
    UseColors();
    Send(PBM_SETRANGE32, 0, 3);
    Send(PBM_SETPOS, 2);
    const Pixels shown = Painted();
    struct Row {
        const wchar_t* text;
        bool same;
    } rows[] = {{L"66%", true}, {L"67%", false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(wt::Narrow(row.text));
        ::SetWindowTextW(m_bar.GetSafeHwnd(), row.text);
        EXPECT_EQ(row.same, Painted() == shown);
        ::SetWindowTextW(m_bar.GetSafeHwnd(), L"");
        EXPECT_TRUE(Painted() == shown);
    }
}

TEST_F(PercentBarTest, CallerTextReplacesThePercentageUntilCleared) {
    MakeBar();
    UseColors();
    Send(PBM_SETPOS, 50);
    const Pixels percent = Painted();
    ::SetWindowTextW(m_bar.GetSafeHwnd(), L"받는 중");
    const Pixels text = Painted();
    EXPECT_FALSE(text == percent);
    EXPECT_EQ(kBar, text.at(0, 10));
    wchar_t buffer[16] = {};
    EXPECT_EQ(4, Send(WM_GETTEXT, 16, LPARAM(buffer)));
    EXPECT_EQ(std::wstring(L"받는 중"), buffer);
    Send(PBM_SETPOS, 51);  // the caller text stays while the position moves
    EXPECT_FALSE(Painted() == percent);
    Send(PBM_SETPOS, 50);
    ::SetWindowTextW(m_bar.GetSafeHwnd(), L"");
    EXPECT_TRUE(Painted() == percent);
}

TEST_F(PercentBarTest, VerticalBarFillsFromTheBottomWithoutText) {
    MakeBar(PBS_VERTICAL, 20, 100);
    UseColors();
    Send(PBM_SETPOS, 50);
    const Pixels p = Painted();
    for (int y = 0; y < p.height; ++y) {
        SCOPED_TRACE(y);
        const COLORREF want = y >= 50 ? kBar : kBk;
        int row = 0;
        for (int x = 0; x < p.width; ++x) row += p.at(x, y) == want;
        EXPECT_EQ(p.width, row);
    }
}

TEST_F(PercentBarTest, EqualBoundsPaintNothing) {
    MakeBar();
    UseColors();
    Send(PBM_SETPOS, 50);
    const Pixels before = Painted();
    Send(PBM_SETRANGE32, 30, 30);
    ::InvalidateRect(m_bar.GetSafeHwnd(), nullptr, TRUE);
    EXPECT_TRUE(Painted() == before) << "neither erased nor drawn";
    EXPECT_FALSE(::GetUpdateRect(m_bar.GetSafeHwnd(), nullptr, FALSE)) << "the paint completed";
}

// The off-screen bitmap starts at the clip box: a repaint of part of the bar must give the
// same pixels as a full one, text clipping included.
TEST_F(PercentBarTest, PartialRepaintMatchesAFullOne) {
    MakeBar();
    UseColors();
    Send(PBM_SETPOS, 50);
    const Pixels full = Painted();
    const RECT parts[] = {{90, 0, 130, 20}, {101, 3, 140, 17}, {0, 0, 100, 20}, {60, 5, 99, 15}};
    for (const RECT& part : parts) {
        SCOPED_TRACE(testing::Message() << part.left << "," << part.top << "-" << part.right
                                        << "," << part.bottom);
        ::InvalidateRect(m_bar.GetSafeHwnd(), &part, TRUE);
        EXPECT_TRUE(Painted() == full);
    }
}

TEST_F(PercentBarTest, TextColourAndHiddenText) {
    MakeBar();
    UseColors();
    Send(PBM_SETPOS, 50);
    EXPECT_EQ(CLR_DEFAULT, COLORREF(Send(tavrin::UWM_PROGRESS_SETTEXTCOLOR, 0, kRed)));
    Pixels p = Painted();
    EXPECT_GT(p.Count(kRed, 0, 100), 0);
    EXPECT_GT(p.Count(kRed, 100, kWidth), 0);
    EXPECT_EQ(0, p.Count(kBk, 0, 100)) << "no swapped colour with a text colour set";
    EXPECT_EQ(kRed, COLORREF(Send(tavrin::UWM_PROGRESS_SETTEXTCOLOR, 0, CLR_DEFAULT)));

    EXPECT_EQ(TRUE, Send(tavrin::UWM_PROGRESS_SHOWTEXT, FALSE));
    p = Painted();
    EXPECT_EQ(100 * kHeight, p.Count(kBar, 0, 100));
    EXPECT_EQ(100 * kHeight, p.Count(kBk, 100, kWidth));
}

TEST_F(PercentBarTest, MessagesAnswerFromTheBarsOwnFields) {
    MakeBar();
    EXPECT_EQ(MAKELONG(0, 100), Send(PBM_SETRANGE, 0, MAKELPARAM(10, 60000)));
    EXPECT_EQ(10, Send(PBM_GETRANGE, TRUE));
    EXPECT_EQ(60000, Send(PBM_GETRANGE, FALSE)) << "the 16-bit bounds are unsigned";
    Send(PBM_SETRANGE32, -5, 70000);
    PBRANGE range = {int(wt::kSentinel), int(wt::kSentinel)};
    EXPECT_EQ(70000, Send(PBM_GETRANGE, FALSE, LPARAM(&range)));
    EXPECT_EQ(-5, range.iLow);
    EXPECT_EQ(70000, range.iHigh);

    Send(PBM_SETRANGE32, 0, 10);
    struct Step {
        const char* what;
        UINT msg;
        WPARAM wParam;
        LRESULT reply;
        int position;
    } steps[] = {
        {"set", PBM_SETPOS, 4, 0, 4},
        {"set step", PBM_SETSTEP, 5, 1, 4},
        {"step", PBM_STEPIT, 0, 4, 9},
        {"step past the end: no wrap-around", PBM_STEPIT, 0, 9, 14},
        {"delta", PBM_DELTAPOS, WPARAM(-20), 14, -6},
        {"set step again", PBM_SETSTEP, 2, 5, -6},
        {"outside the range: not clamped", PBM_SETPOS, WPARAM(-7), -6, -7},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        EXPECT_EQ(s.reply, Send(s.msg, s.wParam));
        EXPECT_EQ(s.position, Send(PBM_GETPOS));
    }
    struct Color {
        UINT msg;
        COLORREF value;
    } colors[] = {{PBM_SETBARCOLOR, kBar}, {PBM_SETBKCOLOR, kBk},
                  {tavrin::UWM_PROGRESS_SETTEXTCOLOR, kRed}};
    for (const Color& c : colors) {
        SCOPED_TRACE(c.msg);
        EXPECT_EQ(CLR_DEFAULT, COLORREF(Send(c.msg, 0, c.value)));
        EXPECT_EQ(c.value, COLORREF(Send(c.msg, 0, CLR_DEFAULT)));
    }
}

TEST_F(PercentBarTest, GetTextCopiesTheStoredTextCutToFit) {
    MakeBar();
    ::SetWindowTextW(m_bar.GetSafeHwnd(), L"Velmora");
    struct Row {
        WPARAM size;
        LRESULT copied;
        const wchar_t* text;
    } rows[] = {{64, 7, L"Velmora"}, {8, 7, L"Velmora"}, {7, 6, L"Velmor"}, {1, 0, L""}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.size);
        wchar_t buffer[80];
        std::fill(std::begin(buffer), std::end(buffer), L'#');
        EXPECT_EQ(r.copied, Send(WM_GETTEXT, r.size, LPARAM(buffer)));
        EXPECT_EQ(std::wstring(r.text), buffer);
        EXPECT_EQ(L'#', buffer[r.size]) << "nothing written past the buffer";
    }
    ::SetWindowTextW(m_bar.GetSafeHwnd(), nullptr);
    EXPECT_EQ(L"", m_bar.GetText()) << "a null text clears";
}

// Which messages ask for a repaint: the window's update region tells.
TEST_F(PercentBarTest, SettersInvalidateOnlyWhenSomethingChanges) {
    MakeBar();
    struct Row {
        const char* what;
        UINT msg;
        WPARAM wParam;
        LPARAM lParam;
        bool invalidates;
    } rows[] = {
        {"text", WM_SETTEXT, 0, LPARAM(L"abc"), true},
        {"same text", WM_SETTEXT, 0, LPARAM(L"abc"), false},
        {"null text", WM_SETTEXT, 0, 0, true},
        {"null text again", WM_SETTEXT, 0, 0, false},
        {"hide text", tavrin::UWM_PROGRESS_SHOWTEXT, FALSE, 0, true},
        {"hide text again", tavrin::UWM_PROGRESS_SHOWTEXT, FALSE, 0, false},
        {"show text", tavrin::UWM_PROGRESS_SHOWTEXT, 7, 0, true},
        {"bar colour", PBM_SETBARCOLOR, 0, LPARAM(kBar), true},
        {"range", PBM_SETRANGE32, 0, 50, false},
        {"step", PBM_SETSTEP, 3, 0, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        ::UpdateWindow(m_bar.GetSafeHwnd());
        Send(r.msg, r.wParam, r.lParam);
        EXPECT_EQ(r.invalidates, bool(::GetUpdateRect(m_bar.GetSafeHwnd(), nullptr, FALSE)));
    }
}

TEST_F(PercentBarTest, RepaintsOnlyWhenTheFilledWidthChangesAndAfterAResize) {
    HWND bar = MakeBar();
    Send(PBM_SETRANGE32, 0, 1000);  // 5 units a pixel
    PaintCounter counter;
    counter.Attach(bar);
    struct Step {
        const char* what;
        int position;  // -1: resize (height only, the width stays)
        int paints;
    } steps[] = {
        {"first position", 1, 1},
        {"same width", 4, 0},
        {"one pixel", 5, 1},
        {"same width, other percentage", 9, 0},
        {"resize", -1, 0},
        {"same width after the resize", 9, 1},
        {"again", 8, 0},
        {"back to zero", 0, 1},
    };
    int height = kHeight;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        ::UpdateWindow(bar);
        const int before = counter.paints;
        if (s.position < 0) {
            ::SetWindowPos(bar, nullptr, 0, 0, kWidth, ++height, SWP_NOMOVE | SWP_NOZORDER);
            continue;
        }
        Send(PBM_SETPOS, WPARAM(s.position));
        EXPECT_EQ(s.paints, counter.paints - before) << "painted before PBM_SETPOS replied";
    }
}

TEST_F(PercentBarTest, WithoutWindowSettersOnlyStore) {
    CPercentProgressCtrl bar;
    EXPECT_EQ(-1, bar.SetPos(40));
    EXPECT_EQ(0, bar.GetPos());
    EXPECT_EQ(CLR_DEFAULT, bar.SetBarColor(kBar));
    EXPECT_EQ(kBar, bar.SetBarColor(kBk));
    EXPECT_EQ(TRUE, bar.ShowText(FALSE));
    EXPECT_EQ(FALSE, bar.ShowText(TRUE));
}

TEST_F(PercentBarTest, DestroyingTheWindowLeavesTheObjectWithoutOne) {
    HWND bar = MakeBar();
    ::DestroyWindow(bar);
    EXPECT_EQ(nullptr, m_bar.GetSafeHwnd());
    EXPECT_EQ(-1, m_bar.SetPos(3));
}

}  // namespace
