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
// Posted by the control to itself when the installed client did not start: the message box
// comes once the page has finished creating the control, and the page stays open.
constexpr UINT WM_LAUNCH_FAILED = WM_USER + 1004;

}  // namespace tavrin
