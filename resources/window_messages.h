// Private window messages of the module, all in one place so that no two share a value: the
// control's window, the updater window and its popup pass some of them to one another, and a
// shared value would run the wrong handler.
#pragma once

#include <windows.h>

namespace tavrin {

// Posted to the notify window of a picture control on a click: wParam = the control object,
// lParam = its dialog id.
constexpr UINT WM_GIFCTRL_CLICKED = WM_USER + 55;

// Percentage bar: lParam a COLORREF or CLR_DEFAULT; wParam non-zero shows the text.
constexpr UINT UWM_PROGRESS_SETTEXTCOLOR = WM_USER + 100;
constexpr UINT UWM_PROGRESS_SHOWTEXT = WM_USER + 101;

// Posted by the updater window to the control's window when it has finished (launched the
// client or ended); wParam 1. The control then closes the page's window.
constexpr UINT WM_LAUNCH_DONE = WM_USER + 1001;  // 2025

// Posted by the updater's worker to the updater window when the configuration, then the
// packages, have been downloaded.
constexpr UINT WM_CONFIG_DOWNLOADED = WM_USER + 1002;    // 2026
constexpr UINT WM_PACKAGES_DOWNLOADED = WM_USER + 1003;  // 2027

// Posted by the updater window to itself from WM_INITDIALOG: the folders are made and the
// first worker started once the window is up, so a message about them comes over a shown
// window, and hiding it afterwards is not undone by the template's WS_VISIBLE.
constexpr UINT WM_UPDATER_BEGIN = WM_USER + 1004;  // 2028

// Sent (not posted) by the progress popup to its owner when the stop button is pressed;
// wParam 0, lParam 0.
constexpr UINT WM_POPUP_STOP = WM_USER + 1005;  // 2029

// Sent by the download worker to the window that owns its questions: the running-client check
// runs on that window's thread, and the answer comes back as RunningClientAnswer (never 0,
// which is what a window that is gone answers).
constexpr UINT WM_ASK_RUNNING_CLIENT = WM_USER + 1006;

// Posted by the control to itself when it refused the page's values: the message box comes
// once the page has finished creating the control.
constexpr UINT WM_LAUNCH_REFUSED = WM_USER + 1010;
// Posted by the control to itself when the installed client did not start: the message box
// comes once the page has finished creating the control, and the page stays open.
constexpr UINT WM_LAUNCH_FAILED = WM_USER + 1011;
// Posted by the control to itself when the install folder holds no whole set it may start
// (wParam 1: another installation is at work there): the message box comes once the page has
// finished creating the control, and the page stays open.
constexpr UINT WM_INSTALL_UNFINISHED = WM_USER + 1012;

// Sent by the finishing worker to the updater window: a package is being installed (wParam:
// the set's percent, lParam: the package's UTF-8 name), then the step's end (lParam: the
// worker's FinishOutcome). Both live on the worker's stack while the message is handled.
constexpr UINT WM_INSTALL_PROGRESS = WM_USER + 1013;
constexpr UINT WM_INSTALL_FINISHED = WM_USER + 1014;

namespace window_messages_detail {
constexpr UINT kAll[] = {
    WM_GIFCTRL_CLICKED,   UWM_PROGRESS_SETTEXTCOLOR, UWM_PROGRESS_SHOWTEXT, WM_LAUNCH_DONE,
    WM_CONFIG_DOWNLOADED, WM_PACKAGES_DOWNLOADED,    WM_POPUP_STOP,         WM_ASK_RUNNING_CLIENT,
    WM_LAUNCH_REFUSED,    WM_LAUNCH_FAILED,          WM_UPDATER_BEGIN,      WM_INSTALL_UNFINISHED,
    WM_INSTALL_PROGRESS,  WM_INSTALL_FINISHED,
};
constexpr bool AllDistinct() {
    constexpr auto n = sizeof(kAll) / sizeof(kAll[0]);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            if (kAll[i] == kAll[j]) return false;
    return true;
}
}  // namespace window_messages_detail
static_assert(window_messages_detail::AllDistinct(), "two private window messages share a value");

}  // namespace tavrin
