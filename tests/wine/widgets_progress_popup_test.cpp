// The download progress window from template 202 of TAVRIN.OCX, on the test display: the
// template as compiled, centring, the state after creation, Enter, Escape and close requests,
// the stop button, what the owner does with it, the clip, and a screenshot at 50%.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/wine/support.h"
#include "widgets/progress_popup_dlg_win.h"

using tavrin::CProgressPopupDlg;

namespace {

// ---- Template 202 as compiled into the module ---------------------------------------------
struct DlgItem {
    DWORD style = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    int id = 0;
    std::wstring cls, text;
};
struct Template {
    DWORD style = 0;
    short cx = 0, cy = 0;
    std::wstring caption, font;
    WORD points = 0;
    std::vector<DlgItem> items;
};

// A string or an ordinal; ordinals of the predefined classes become their names.
std::wstring ReadSzOrOrd(const WORD*& p) {
    if (*p == 0xFFFF) {
        const WORD ord = p[1];
        p += 2;
        switch (ord) {
        case 0x80: return L"button";
        case 0x81: return L"edit";
        case 0x82: return L"static";
        default: return L"#" + std::to_wstring(ord);
        }
    }
    std::wstring s(reinterpret_cast<const wchar_t*>(p));
    p += s.size() + 1;
    return s;
}

std::wstring Lower(std::wstring s) {
    for (wchar_t& c : s) c = wchar_t(::towlower(c));
    return s;
}

bool ReadTemplate(HMODULE module, Template& t) {
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(IDD_PROGRESS_POPUP),
                                   MAKEINTRESOURCEW(5));  // RT_DIALOG;
    if (!found) return false;
    const auto* base = static_cast<const BYTE*>(::LockResource(::LoadResource(module, found)));
    const auto* head = reinterpret_cast<const DLGTEMPLATE*>(base);
    if (reinterpret_cast<const WORD*>(base)[1] == 0xFFFF) return false;  // DLGTEMPLATEEX
    t.style = head->style;
    t.cx = head->cx;
    t.cy = head->cy;
    const WORD* p = reinterpret_cast<const WORD*>(head + 1);
    ReadSzOrOrd(p);  // menu
    ReadSzOrOrd(p);  // class
    t.caption = ReadSzOrOrd(p);
    if (t.style & DS_SETFONT) {
        t.points = *p++;
        t.font = ReadSzOrOrd(p);
    }
    for (int i = 0; i < head->cdit; ++i) {
        p = reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t(3));
        const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
        DlgItem it;
        it.style = item->style;
        it.x = item->x;
        it.y = item->y;
        it.cx = item->cx;
        it.cy = item->cy;
        it.id = short(item->id);
        p = reinterpret_cast<const WORD*>(item + 1);
        it.cls = Lower(ReadSzOrOrd(p));
        it.text = ReadSzOrOrd(p);
        p += 1 + (*p ? *p / 2 : 0);  // creation data
        t.items.push_back(it);
    }
    return true;
}

// ---- The owner: records WM_POPUP_STOP -----------------------------------------------------
struct Owner {
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        if (msg == tavrin::WM_POPUP_STOP) {
            auto* self = reinterpret_cast<Owner*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
            self->stops.push_back({wParam, lParam});
            return 0;
        }
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    Owner() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"WidgetsPopupOwner";
        ::RegisterClassW(&wc);
        window.attach(::CreateWindowExW(0, wc.lpszClassName, L"owner", WS_OVERLAPPED, 0, 0, 50,
                                        50, nullptr, nullptr, wc.hInstance, nullptr));
        ::SetWindowLongPtrW(window.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    struct Stop {
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<Stop> stops;
    win::OwnedWindow window;
};

// ---- Pixels -------------------------------------------------------------------------------
struct Shot {
    int width = 0, height = 0;
    std::vector<uint32_t> bgrx;  // top-down
    uint32_t at(int x, int y) const { return bgrx[size_t(y) * width + x] & 0xFFFFFF; }
};

uint32_t Bgr(COLORREF c) {
    return uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
}

// The screen's pixels under a rectangle (what the display shows there). `decorate`, when
// given, draws onto the captured pixels before they are read (window coordinates).
Shot CaptureScreen(const RECT& r, const std::function<void(HDC)>& decorate = nullptr) {
    Shot s;
    s.width = r.right - r.left;
    s.height = r.bottom - r.top;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = s.width;
    bi.bmiHeader.biHeight = -s.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    win::WindowDc screen(nullptr);
    win::GdiObject dib(::CreateDIBSection(screen.get(), &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    win::MemoryDc mem(::CreateCompatibleDC(screen.get()));
    {
        win::SelectedObject select(mem.get(), dib.get());
        ::BitBlt(mem.get(), 0, 0, s.width, s.height, screen.get(), r.left, r.top, SRCCOPY);
        if (decorate) decorate(mem.get());
    }
    ::GdiFlush();
    const auto* px = static_cast<const uint32_t*>(bits);
    s.bgrx.assign(px, px + size_t(s.width) * s.height);
    return s;
}

Shot CaptureClient(HWND hwnd) {
    RECT rc;
    ::GetClientRect(hwnd, &rc);
    ::MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&rc), 2);
    return CaptureScreen(rc);
}

// The whole window. The test display has no window manager, so nobody draws the frame and
// caption of a captioned window there: the system's own DrawEdge and DrawCaption draw them,
// with the window's caption text, where a window manager would.
Shot CaptureWindow(HWND hwnd) {
    RECT window, client;
    ::GetWindowRect(hwnd, &window);
    ::GetClientRect(hwnd, &client);
    POINT origin = {0, 0};
    ::ClientToScreen(hwnd, &origin);
    const int left = origin.x - window.left, top = origin.y - window.top;
    return CaptureScreen(window, [&](HDC dc) {
        const RECT all = {0, 0, window.right - window.left, window.bottom - window.top};
        win::GdiObject face(::CreateSolidBrush(::GetSysColor(COLOR_BTNFACE)));
        const RECT bands[] = {{0, 0, all.right, top},
                              {0, top, left, all.bottom},
                              {left + client.right, top, all.right, all.bottom},
                              {0, top + client.bottom, all.right, all.bottom}};
        for (const RECT& band : bands) ::FillRect(dc, &band, static_cast<HBRUSH>(face.get()));
        RECT edge = all;
        ::DrawEdge(dc, &edge, EDGE_RAISED, BF_RECT);
        const int border = left;
        RECT caption = {border, border, all.right - border, top - 1};
        ::DrawCaption(hwnd, dc, &caption, DC_ACTIVE | DC_TEXT | DC_GRADIENT);
    });
}

bool WriteBmp(const std::wstring& path, const Shot& s) {
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = s.width;
    info.biHeight = -s.height;
    info.biPlanes = 1;
    info.biBitCount = 32;
    const DWORD bytes = DWORD(s.bgrx.size() * 4);
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + bytes;
    std::string out(reinterpret_cast<const char*>(&file), sizeof(file));
    out.append(reinterpret_cast<const char*>(&info), sizeof(info));
    out.append(reinterpret_cast<const char*>(s.bgrx.data()), bytes);
    return wt::WriteFileBytes(path, out);
}

class ProgressPopupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(m_ole.result()));
        m_module.attach(::LoadLibraryExW(wt::OcxPath().c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(m_module) << wt::Narrow(wt::OcxPath());
        ASSERT_TRUE(m_owner.window);
    }
    void Create() {
        m_popup = std::make_unique<CProgressPopupDlg>(m_module.get(), m_owner.window.get());
        ASSERT_TRUE(m_popup->Create());
        ASSERT_TRUE(m_popup->GetSafeHwnd());
    }
    HWND Dlg() const { return m_popup->GetSafeHwnd(); }
    HWND Item(int id) const { return ::GetDlgItem(Dlg(), id); }
    std::wstring Text(int id) const {
        wchar_t text[256] = {};
        ::GetDlgItemTextW(Dlg(), id, text, 256);
        return text;
    }
    // Shown, everything queued handled and the window painted with its controls.
    void ShowAndSettle() {
        ::ShowWindow(Dlg(), SW_SHOW);
        ::SetWindowPos(Dlg(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        wt::PumpUntil([] { return true; }, 0);
        ::RedrawWindow(Dlg(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    }

    wt::OleInit m_ole;
    win::Library m_module;
    Owner m_owner;
    std::unique_ptr<CProgressPopupDlg> m_popup;
};

TEST_F(ProgressPopupTest, Template202IsCompiledAsListed) {
    Template t;
    ASSERT_TRUE(ReadTemplate(m_module.get(), t));
    EXPECT_EQ(0x80C000C0u, t.style);
    EXPECT_EQ(255, t.cx);
    EXPECT_EQ(133, t.cy);
    EXPECT_EQ(L"Velmora 바둑을 다운받고 있습니다.", t.caption);
    EXPECT_EQ(9, t.points);
    EXPECT_EQ(L"굴림", t.font);
    const DlgItem expected[] = {
        {WS_CHILD | WS_VISIBLE | WS_BORDER, 14, 61, 227, 14, 202, L"msctls_progress32",
         L"Progress1"},
        {WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT, 15, 78, 195, 11, 204, L"static",
         L"Velmora 바둑을 다운 받고 있습니다."},
        {WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 197, 105, 51, 21, 203, L"button",
         L"중  지"},
        {WS_CHILD | WS_VISIBLE | WS_TABSTOP | ACS_TRANSPARENT, 96, 3, 149, 31, 201,
         L"sysanimate32", L"Animate1"},
        {WS_CHILD | WS_VISIBLE | SS_BLACKRECT, 7, 9, 81, 28, 205, L"static", L""},
        {WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 7, 45, 241, 52, -1, L"button", L"다운로드중..."},
    };
    ASSERT_EQ(std::size(expected), t.items.size());
    for (size_t i = 0; i < t.items.size(); ++i) {
        SCOPED_TRACE(i);
        const DlgItem& e = expected[i];
        const DlgItem& a = t.items[i];
        EXPECT_EQ(e.id, a.id);
        EXPECT_EQ(e.cls, a.cls);
        EXPECT_EQ(e.text, a.text);
        EXPECT_EQ(e.style, a.style);
        EXPECT_EQ(e.x, a.x);
        EXPECT_EQ(e.y, a.y);
        EXPECT_EQ(e.cx, a.cx);
        EXPECT_EQ(e.cy, a.cy);
    }
}

TEST_F(ProgressPopupTest, OpensHiddenAndCentredOnTheDesktop) {
    Create();
    EXPECT_FALSE(::IsWindowVisible(Dlg())) << "the owner shows it";
    EXPECT_EQ(m_owner.window.get(), ::GetWindow(Dlg(), GW_OWNER));
    RECT w, d;
    ::GetWindowRect(Dlg(), &w);
    ::GetClientRect(::GetDesktopWindow(), &d);
    ASSERT_EQ(1024, d.right) << "the test display";
    ASSERT_EQ(768, d.bottom);
    const int width = w.right - w.left, height = w.bottom - w.top;
    EXPECT_EQ(512 - width / 2, w.left);
    EXPECT_EQ(384 - height / 2, w.top);

}

TEST_F(ProgressPopupTest, StartsWithAnEmptyStatusLineAndZeroPercent) {
    Create();
    EXPECT_EQ(L"", Text(IDC_POPUP_STATUS)) << "the template's text never shows";
    EXPECT_EQ(0, ::SendMessageW(Item(IDC_POPUP_PROGRESS), PBM_GETPOS, 0, 0));
    EXPECT_EQ(0, ::SendMessageW(Item(IDC_POPUP_PROGRESS), PBM_GETRANGE, TRUE, 0));
    EXPECT_EQ(100, ::SendMessageW(Item(IDC_POPUP_PROGRESS), PBM_GETRANGE, FALSE, 0));
    EXPECT_EQ(Item(IDC_POPUP_PROGRESS), m_popup->Progress().GetSafeHwnd());
    EXPECT_EQ(Item(IDC_POPUP_ANIMATE), m_popup->Animation().GetSafeHwnd());

    ShowAndSettle();
    const Shot bar = CaptureClient(Item(IDC_POPUP_PROGRESS));
    const uint32_t bk = Bgr(::GetSysColor(COLOR_WINDOW)), hi = Bgr(::GetSysColor(COLOR_HIGHLIGHT));
    int filled = 0, text = 0;
    for (int y = 0; y < bar.height; ++y) {
        filled += bar.at(0, y) == hi;
        for (int x = 0; x < bar.width; ++x) text += bar.at(x, y) == hi;
    }
    EXPECT_EQ(0, filled) << "nothing filled";
    EXPECT_GT(text, 0) << "0% in the bar colour";
    EXPECT_EQ(bk, bar.at(0, 0));
}

TEST_F(ProgressPopupTest, EnterEscapeAndCloseRequestsLeaveItOpen) {
    Create();
    ShowAndSettle();
    // Enter on the focused stop button presses it, as on any dialog; the owner then decides.
    struct Row {
        const char* what;
        UINT msg;
        WPARAM wParam;
        bool dialogKey;  // through the dialog manager, as a key press goes
        bool mayPressStop;
    } rows[] = {
        {"Enter", WM_KEYDOWN, VK_RETURN, true, true},
        {"Escape", WM_KEYDOWN, VK_ESCAPE, true, false},
        {"IDOK", WM_COMMAND, IDOK, false, false},
        {"IDCANCEL", WM_COMMAND, IDCANCEL, false, false},
        {"WM_CLOSE", WM_CLOSE, 0, false, false},
        {"SC_CLOSE", WM_SYSCOMMAND, SC_CLOSE, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.dialogKey) {
            MSG msg = {};
            msg.hwnd = ::GetFocus() ? ::GetFocus() : Dlg();
            msg.message = row.msg;
            msg.wParam = row.wParam;
            ::IsDialogMessageW(Dlg(), &msg);
        } else {
            ::SendMessageW(Dlg(), row.msg, row.wParam, 0);
        }
        wt::PumpUntil([] { return true; }, 0);  // what the dialog manager posted
        EXPECT_TRUE(::IsWindow(Dlg()));
        EXPECT_TRUE(::IsWindowVisible(Dlg()));
        if (!row.mayPressStop) {
            EXPECT_TRUE(m_owner.stops.empty()) << "the owner hears nothing";
        }
        m_owner.stops.clear();
    }
}

TEST_F(ProgressPopupTest, StopButtonSendsWmPopupStopSynchronously) {
    Create();
    ShowAndSettle();
    ::SendMessageW(Item(IDC_POPUP_STOP), BM_CLICK, 0, 0);
    ASSERT_EQ(1u, m_owner.stops.size()) << "received before the click returned, unpumped";
    EXPECT_EQ(0u, m_owner.stops[0].wParam);
    EXPECT_EQ(0, m_owner.stops[0].lParam);
    EXPECT_TRUE(::IsWindowVisible(Dlg())) << "the window waits for its owner";

    // The owner's answer to a confirmed stop, then the second press.
    ::SetDlgItemTextW(Dlg(), IDC_POPUP_STOP, L"닫  기");
    ::SendMessageW(Dlg(), WM_COMMAND, MAKEWPARAM(IDC_POPUP_STOP, BN_CLICKED),
                   LPARAM(Item(IDC_POPUP_STOP)));
    EXPECT_EQ(2u, m_owner.stops.size());
    EXPECT_EQ(L"닫  기", Text(IDC_POPUP_STOP));

    ::CloseWindow(Dlg());
    m_popup->DestroyWindow();
    EXPECT_EQ(nullptr, m_popup->GetSafeHwnd());
    EXPECT_EQ(nullptr, m_popup->Progress().GetSafeHwnd()) << "the bar lost its window too";
}

TEST_F(ProgressPopupTest, OwnerWritesTheStatusAndTheBar) {
    Create();
    m_popup->m_status = L"Orbisan.exe 받는 중 (3/12)";
    m_popup->UpdateData(false);
    EXPECT_EQ(m_popup->m_status, Text(IDC_POPUP_STATUS));
    ::SetDlgItemTextW(Dlg(), IDC_POPUP_STATUS, L"완료");
    m_popup->UpdateData(true);
    EXPECT_EQ(L"완료", m_popup->m_status);
    EXPECT_EQ(0, ::SendDlgItemMessageW(Dlg(), IDC_POPUP_PROGRESS, PBM_SETPOS, 40, 0));
    EXPECT_EQ(40, ::SendDlgItemMessageW(Dlg(), IDC_POPUP_PROGRESS, PBM_SETPOS, 70, 0));
}

TEST_F(ProgressPopupTest, ClipIsOpenAndPlaysWhenStarted) {
    Create();
    ShowAndSettle();
    HWND clip = Item(IDC_POPUP_ANIMATE);
    const Shot before = CaptureClient(clip);
    ASSERT_TRUE(m_popup->Animation().Play()) << "ACM_PLAY needs an open clip";
    bool moved = wt::PumpUntil([&] { return CaptureClient(clip).bgrx != before.bgrx; }, 3000);
    EXPECT_TRUE(moved) << "frames follow one another";
    EXPECT_TRUE(::SendMessageW(clip, ACM_STOP, 0, 0));

    // The picture of control 205 plays too, at the GIF's size.
    RECT rc;
    ::GetClientRect(Item(IDC_POPUP_PICTURE), &rc);
    EXPECT_EQ(145, rc.right);
    EXPECT_EQ(43, rc.bottom);
    EXPECT_TRUE(m_popup->Picture().IsPlaying());
}

TEST_F(ProgressPopupTest, ScreenshotAtFiftyPercent) {
    Create();
    m_popup->m_status = L"Velmora바둑 대국실 파일을 받고 있습니다.";
    m_popup->UpdateData(false);
    ::SendDlgItemMessageW(Dlg(), IDC_POPUP_PROGRESS, PBM_SETPOS, 50, 0);
    m_popup->Animation().Play();
    ShowAndSettle();
    // Some stones on the board before the picture is taken.
    ASSERT_TRUE(wt::PumpUntil([&] { return m_popup->Picture().CurrentFrame() >= 8; }, 5000));
    ::RedrawWindow(Dlg(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    RECT rc;
    ::GetWindowRect(Dlg(), &rc);
    const Shot shot = CaptureWindow(Dlg());
    const std::wstring path = wt::BinPath(L"..\\widgets_progress_popup.bmp");
    ASSERT_TRUE(WriteBmp(path, shot)) << wt::Narrow(path);
    // Not a blank capture: the bar's fill shows in it.
    RECT bar;
    ::GetWindowRect(Item(IDC_POPUP_PROGRESS), &bar);
    EXPECT_EQ(Bgr(::GetSysColor(COLOR_HIGHLIGHT)),
              shot.at(bar.left - rc.left + 3, (bar.top + bar.bottom) / 2 - rc.top));
    std::printf("screenshot: %s\n", wt::Narrow(path).c_str());
}

}  // namespace
