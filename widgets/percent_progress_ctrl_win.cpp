#include "widgets/percent_progress_ctrl_win.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "widgets/offscreen_dc_win.h"
#include "win/handles.h"

namespace tavrin {

namespace {

// position + delta wraps as the 32-bit registers do instead of overflowing.
WPARAM Advance(int position, int delta) {
    return WPARAM(int(unsigned(position) + unsigned(delta)));
}

RECT ToRect(const BarRect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

void FillSolidRect(HDC dc, const BarRect& r, COLORREF color) {
    // ExtTextOut with ETO_OPAQUE fills without a brush object, as MFC's FillSolidRect does.
    const RECT rc = ToRect(r);
    const COLORREF old = ::SetBkColor(dc, color);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rc, nullptr, 0, nullptr);
    ::SetBkColor(dc, old);
}

// The text over one part only. IntersectClipRect takes logical coordinates, which keeps the
// clip right in the off-screen bitmap whose origin is the clip box's corner; a region selected
// with SelectClipRgn would be taken in device coordinates and land displaced on a partial
// repaint.
void DrawTextIn(HDC dc, const BarRect& part, const RECT& client, COLORREF color,
                const std::wstring& text) {
    if (part.Width() <= 0 || part.Height() <= 0) return;
    const int saved = ::SaveDC(dc);
    ::IntersectClipRect(dc, part.left, part.top, part.right, part.bottom);
    ::SetTextColor(dc, color);
    RECT rc = client;
    ::DrawTextW(dc, text.c_str(), int(text.size()), &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    ::RestoreDC(dc, saved);
}

}  // namespace

CPercentProgressCtrl::~CPercentProgressCtrl() {
    // While this class's handlers still run.
    DestroyWindow();
}

int CPercentProgressCtrl::SetPos(int position) {
    if (!m_hWnd) return -1;
    const int previous = m_range.position;
    m_range.position = position;
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    if (m_ration.Due(BarFillWidth(m_range, client.right - client.left)))
        ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    return previous;
}

void CPercentProgressCtrl::Invalidate() {
    if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

COLORREF CPercentProgressCtrl::SetBarColor(COLORREF color) {
    Invalidate();
    return std::exchange(m_clrBar, color);
}

COLORREF CPercentProgressCtrl::SetBkColor(COLORREF color) {
    Invalidate();
    return std::exchange(m_clrBk, color);
}

COLORREF CPercentProgressCtrl::SetTextColor(COLORREF color) {
    Invalidate();
    return std::exchange(m_clrText, color);
}

BOOL CPercentProgressCtrl::ShowText(BOOL show) {
    const BOOL previous = m_showText;
    if (!show != !previous) Invalidate();
    m_showText = show;
    return previous;
}

LRESULT CPercentProgressCtrl::OnSetText(WPARAM wParam, LPARAM lParam) {
    const LRESULT result = Default(WM_SETTEXT, wParam, lParam);
    const wchar_t* text = reinterpret_cast<const wchar_t*>(lParam);
    const bool differs = text ? m_text != text : !m_text.empty();
    if (differs) {
        m_text = text ? text : L"";
        Invalidate();
    }
    return result;
}

LRESULT CPercentProgressCtrl::OnGetText(WPARAM wParam, LPARAM lParam) const {
    wchar_t* buffer = reinterpret_cast<wchar_t*>(lParam);
    if (!buffer || wParam == 0) return 0;
    const size_t count = std::min<size_t>(m_text.size(), wParam - 1);
    std::memcpy(buffer, m_text.data(), count * sizeof(wchar_t));
    buffer[count] = L'\0';
    return LRESULT(count);
}

LRESULT CPercentProgressCtrl::SetRange(int lower, int upper) {
    // The previous range, packed as the common control answers it (no caller reads it).
    const LRESULT previous = MAKELONG(m_range.lower, m_range.upper);
    m_range.lower = lower;
    m_range.upper = upper;
    return previous;
}

LRESULT CPercentProgressCtrl::OnGetRange(WPARAM wParam, LPARAM lParam) const {
    if (auto* range = reinterpret_cast<PBRANGE*>(lParam)) {
        range->iLow = m_range.lower;
        range->iHigh = m_range.upper;
    }
    return wParam ? m_range.lower : m_range.upper;
}

void CPercentProgressCtrl::OnPaint() {
    PAINTSTRUCT ps;
    HDC paintDc = ::BeginPaint(m_hWnd, &ps);
    if (paintDc && m_range.lower < m_range.upper) {
        const COLORREF bar = m_clrBar == CLR_DEFAULT ? ::GetSysColor(COLOR_HIGHLIGHT) : m_clrBar;
        const COLORREF bk = m_clrBk == CLR_DEFAULT ? ::GetSysColor(COLOR_WINDOW) : m_clrBk;
        RECT client;
        ::GetClientRect(m_hWnd, &client);
        const BarRect area{client.left, client.top, client.right, client.bottom};
        const bool vertical = (::GetWindowLongW(m_hWnd, GWL_STYLE) & PBS_VERTICAL) != 0;
        const BarLayout layout = LayOutBar(area, m_range, vertical);
        {
            COffscreenDC dc(paintDc);
            HFONT font = reinterpret_cast<HFONT>(
                ::SendMessageW(::GetParent(m_hWnd), WM_GETFONT, 0, 0));
            const int saved = ::SaveDC(dc.get());
            if (font) ::SelectObject(dc.get(), font);
            FillSolidRect(dc.get(), layout.filled, bar);
            FillSolidRect(dc.get(), layout.empty, bk);
            if (m_showText && !vertical) {
                const std::wstring text = BarText(m_text, m_range);
                ::SetBkMode(dc.get(), TRANSPARENT);
                DrawTextIn(dc.get(), layout.filled, client,
                           m_clrText == CLR_DEFAULT ? bk : m_clrText, text);
                DrawTextIn(dc.get(), layout.empty, client,
                           m_clrText == CLR_DEFAULT ? bar : m_clrText, text);
            }
            ::RestoreDC(dc.get(), saved);
        }  // the off-screen picture goes to the screen here
    }
    ::EndPaint(m_hWnd, &ps);
}

LRESULT CPercentProgressCtrl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_ERASEBKGND:
        return TRUE;  // painting covers the whole client area
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_SIZE: {
        const LRESULT result = Default(msg, wParam, lParam);
        m_ration.Forget();
        return result;
    }
    case WM_SETTEXT:
        return OnSetText(wParam, lParam);
    case WM_GETTEXT:
        return OnGetText(wParam, lParam);
    case PBM_SETRANGE:
        return SetRange(LOWORD(lParam), HIWORD(lParam));
    case PBM_SETRANGE32:
        return SetRange(int(wParam), int(lParam));
    case PBM_SETPOS:
        return SetPos(int(wParam));
    case PBM_DELTAPOS:
        return ::SendMessageW(m_hWnd, PBM_SETPOS, Advance(m_range.position, int(wParam)), 0);
    case PBM_SETSTEP:
        return std::exchange(m_step, int(wParam));
    case PBM_STEPIT:
        return ::SendMessageW(m_hWnd, PBM_SETPOS, Advance(m_range.position, m_step), 0);
    case PBM_GETRANGE:
        return OnGetRange(wParam, lParam);
    case PBM_GETPOS:
        return m_range.position;
    case PBM_SETBARCOLOR:
        return SetBarColor(COLORREF(lParam));
    case PBM_SETBKCOLOR:
        return SetBkColor(COLORREF(lParam));
    case UWM_PROGRESS_SETTEXTCOLOR:
        return SetTextColor(COLORREF(lParam));
    case UWM_PROGRESS_SHOWTEXT:
        return ShowText(BOOL(wParam != 0));
    default:
        return Default(msg, wParam, lParam);
    }
}

}  // namespace tavrin
