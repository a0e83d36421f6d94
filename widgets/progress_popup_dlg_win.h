// The small modeless window that shows the progress of the client's file downloads: a clip,
// an animated picture, the percentage bar, one status line and a stop button. It holds no
// logic of its own: the stop button only tells the owner, and the owner decides.
#pragma once

#include <windows.h>

#include <string>

#include "resources/window_messages.h"
#include "widgets/animate_ctrl_win.h"
#include "widgets/gif_picture_ctrl_win.h"
#include "widgets/percent_progress_ctrl_win.h"
#include "win/window.h"

namespace tavrin {

class CProgressPopupDlg : public win::CDialog {
public:
    // `resources`: the module holding template 202, AVI 201 and GIF 204.
    CProgressPopupDlg(HINSTANCE resources, HWND owner);
    ~CProgressPopupDlg() override;

    // Creates the window (hidden: the owner shows it with SW_SHOW).
    bool Create();
    // save false: m_status to the status line; true: the other way.
    void UpdateData(bool save);

    // The clip control, which the updater's worker starts through its global pointer.
    CAnimateCtrl& Animation() { return m_animate; }
    CPercentProgressCtrl& Progress() { return m_progress; }
    CGifPictureCtrl& Picture() { return m_picture; }

    HWND m_owner;             // receives WM_POPUP_STOP; not owned
    std::wstring m_status;  // the status line, control 204

protected:
    BOOL OnInitDialog() override;
    void OnOK() override {}      // Enter does not close the window
    void OnCancel() override {}  // nor do Escape and a close request
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void DoDataExchange(bool save);

    CAnimateCtrl m_animate;         // control 201
    CPercentProgressCtrl m_progress;  // control 202
    CGifPictureCtrl m_picture;      // control 205
};

}  // namespace tavrin
