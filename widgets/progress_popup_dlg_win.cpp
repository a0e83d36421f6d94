#include "widgets/progress_popup_dlg_win.h"

#include <commctrl.h>

#include <vector>

#include "resources/resource.h"
#include "widgets/common_controls_win.h"
#include "widgets/window_placement.h"

namespace tavrin {

CProgressPopupDlg::CProgressPopupDlg(HINSTANCE resources, HWND owner)
    : win::CDialog(resources, IDD_PROGRESS_POPUP), m_owner(owner) {}

CProgressPopupDlg::~CProgressPopupDlg() {
    // The controls go with the window while their objects still exist.
    DestroyWindow();
}

bool CProgressPopupDlg::Create() {
    InitDownloadCommonControls();
    return win::CDialog::Create(m_owner);
}

void CProgressPopupDlg::DoDataExchange(bool save) {
    HWND status = ::GetDlgItem(m_hWnd, IDC_POPUP_STATUS);
    if (save) {
        const int length = ::GetWindowTextLengthW(status);
        std::vector<wchar_t> text(size_t(length) + 1);
        ::GetWindowTextW(status, text.data(), length + 1);
        m_status.assign(text.data());
        return;
    }
    ::SetWindowTextW(status, m_status.c_str());
    if (!m_animate.GetSafeHwnd()) m_animate.Attach(::GetDlgItem(m_hWnd, IDC_POPUP_ANIMATE));
    if (!m_progress.GetSafeHwnd())
        m_progress.SubclassWindow(::GetDlgItem(m_hWnd, IDC_POPUP_PROGRESS));
    if (!m_picture.GetSafeHwnd())
        m_picture.SubclassWindow(::GetDlgItem(m_hWnd, IDC_POPUP_PICTURE));
}

void CProgressPopupDlg::UpdateData(bool save) {
    if (m_hWnd) DoDataExchange(save);
}

BOOL CProgressPopupDlg::OnInitDialog() {
    DoDataExchange(false);  // the template's status text never shows

    RECT window, desktop;
    ::GetWindowRect(m_hWnd, &window);
    ::GetClientRect(::GetDesktopWindow(), &desktop);
    const int width = window.right - window.left, height = window.bottom - window.top;
    const WindowPoint at = CentreOnDesktop(width, height, desktop.left, desktop.top,
                                           desktop.right, desktop.bottom);
    ::MoveWindow(m_hWnd, at.x, at.y, width, height, FALSE);

    ::SendDlgItemMessageW(m_hWnd, IDC_POPUP_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    // The clip waits for the download worker, which plays it once the running-client check
    // has passed. A missing clip or picture leaves its control empty: the window works on.
    m_animate.Open(m_module, IDR_AVI_BUSY);
    m_picture.SetNotifyWindow(m_hWnd);
    m_picture.LoadFromResource(m_module, MAKEINTRESOURCEA(IDR_GIF_BOARD), "GIF");
    m_picture.Play();  // FALSE for an animation that started: nothing to act on
    return TRUE;
}

BOOL CProgressPopupDlg::OnCommand(WPARAM wParam, LPARAM lParam) {
    if (LOWORD(wParam) == IDC_POPUP_STOP && HIWORD(wParam) == BN_CLICKED) {
        ::SendMessageW(m_owner, WM_POPUP_STOP, 0, 0);
        return TRUE;
    }
    return win::CDialog::OnCommand(wParam, lParam);
}

INT_PTR CProgressPopupDlg::DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_PAINT) {
        // The controls draw themselves.
        PAINTSTRUCT ps;
        ::BeginPaint(m_hWnd, &ps);
        ::EndPaint(m_hWnd, &ps);
        return TRUE;
    }
    return win::CDialog::DialogProc(msg, wParam, lParam);
}

}  // namespace tavrin
