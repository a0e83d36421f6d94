// A progress bar that paints itself: the filled part in the bar colour, the rest in the
// background colour, and centred over both the percentage (or the caller's text) in swapped
// colours, so the text stays readable where it crosses the edge of the fill. It subclasses a
// msctls_progress32 of a dialog template and answers the progress messages from its own
// fields; the common control's range, position and painting are never used.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "resources/window_messages.h"
#include "widgets/percent_bar_geometry.h"
#include "win/window.h"

namespace tavrin {

class CPercentProgressCtrl : public win::CWindow {
public:
    CPercentProgressCtrl() = default;
    ~CPercentProgressCtrl() override;

    // The calls behind the messages, also usable while the control has no window: the
    // setters that need one then only store (SetPos changes nothing and answers -1).
    int SetPos(int position);
    int GetPos() const { return m_range.position; }
    COLORREF SetBarColor(COLORREF color);
    COLORREF SetBkColor(COLORREF color);
    COLORREF SetTextColor(COLORREF color);
    BOOL ShowText(BOOL show);
    const std::wstring& GetText() const { return m_text; }

protected:
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void OnPaint();
    void Invalidate();
    LRESULT OnSetText(WPARAM wParam, LPARAM lParam);
    LRESULT OnGetText(WPARAM wParam, LPARAM lParam) const;
    LRESULT SetRange(int lower, int upper);
    LRESULT OnGetRange(WPARAM wParam, LPARAM lParam) const;

    COLORREF m_clrText = CLR_DEFAULT;  // CLR_DEFAULT: the swapped colours
    BarRange m_range;                  // position 0 in 0..100
    int m_step = 1;
    std::wstring m_text;            // the caller's text; empty shows the percentage
    BOOL m_showText = TRUE;
    RepaintRation m_ration;            // the filled width when a repaint was last requested
    COLORREF m_clrBar = CLR_DEFAULT;   // CLR_DEFAULT: COLOR_HIGHLIGHT
    COLORREF m_clrBk = CLR_DEFAULT;    // CLR_DEFAULT: COLOR_WINDOW
};

}  // namespace tavrin
