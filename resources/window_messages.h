// Private window messages between the control and its updater window, in one place.
#pragma once

#include <windows.h>

namespace tavrin {

// Posted by the updater window to the control's window when it has finished (launched the
// client or ended); wParam 1. The control then closes the page's window.
constexpr UINT WM_LAUNCH_DONE = WM_USER + 1001;
// Posted by the control to itself when it refused the page's values: the message box comes
// once the page has finished creating the control.
constexpr UINT WM_LAUNCH_REFUSED = WM_USER + 1002;

// Sent by the download worker to the window that owns its questions: the running-client check
// runs on that window's thread, and the answer comes back as RunningClientAnswer (never 0,
// which is what a window that is gone answers).
constexpr UINT WM_ASK_RUNNING_CLIENT = WM_USER + 1006;

}  // namespace tavrin
