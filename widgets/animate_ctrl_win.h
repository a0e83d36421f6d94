// The clip control (SysAnimate32) of a dialog: a thin handle over its messages. The download
// worker plays it from its own thread through the updater's global pointer; the messages are
// sent, so they run on the thread that owns the control.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace tavrin {

class CAnimateCtrl {
public:
    void Attach(HWND hwnd) { m_hWnd = hwnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }

    // An AVI resource of `module`.
    BOOL Open(HMODULE module, UINT resourceId) {
        return m_hWnd && ::SendMessageW(m_hWnd, ACM_OPENA, reinterpret_cast<WPARAM>(module),
                                        reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(resourceId)));
    }
    // From frame `from` to `to` (-1: the last), `repeat` times (-1: for ever).
    BOOL Play(UINT from = 0, UINT to = UINT(-1), UINT repeat = UINT(-1)) {
        return m_hWnd && ::SendMessageW(m_hWnd, ACM_PLAY, WPARAM(repeat),
                                        MAKELPARAM(WORD(from), WORD(to)));
    }
    BOOL Stop() { return m_hWnd && ::SendMessageW(m_hWnd, ACM_STOP, 0, 0); }
    BOOL Close() { return m_hWnd && ::SendMessageW(m_hWnd, ACM_OPENA, 0, 0); }

private:
    HWND m_hWnd = nullptr;
};

}  // namespace tavrin
