// stop_driver.exe AFTER_MS STAY_MS: the player who stops an installation, for the line bench.
// Waits (up to 60 s) for the updater's progress window; AFTER_MS after it shows, presses its
// stop button and answers the question with Yes; once the question has gone and the button has
// become "close", leaves the window open STAY_MS more (the page and the browser stay, so only
// the updater can close its connection meanwhile), then presses it. Prints
// "stopped at UNIX-SECONDS", the moment the question went (Wine under Xvfb takes up to 2 s to
// withdraw a box after its answer: that is not the updater's). Exit 0, or 1 when a window did
// not come.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "resources/player_texts.h"
#include "win/code_page.h"

namespace {

constexpr int kStopButton = 203;    // the progress window's stop (then close) button
constexpr int kPicture = 205;       // its picture: a black rectangle in the progress window
constexpr DWORD kWaitMs = 60000;
const wchar_t kWindowCaption[] = L"Velmora 바둑을 다운받고 있습니다.";

double UnixNow() {
    FILETIME ft;
    ::GetSystemTimeAsFileTime(&ft);
    const ULONGLONG t = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (t - 116444736000000000ULL) / 1e7;
}

// Polls find() every 20 ms until it gives a window or waitMs have passed.
template <typename Find>
HWND WaitFor(Find find, DWORD waitMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (HWND w = find()) return w;
        if (::GetTickCount() - start > waitMs) return nullptr;
        ::Sleep(20);
    }
}

HWND ProgressWindow() {
    HWND w = ::FindWindowW(L"#32770", kWindowCaption);
    if (!w || !::IsWindowVisible(w)) return nullptr;
    HWND picture = ::GetDlgItem(w, kPicture);
    return picture && (::GetWindowLongW(picture, GWL_STYLE) & SS_TYPEMASK) == SS_BLACKRECT
               ? w
               : nullptr;
}

HWND Question() {
    HWND box = ::FindWindowW(L"#32770", win::Utf8ToWide(tavrin::kMessageCaption).c_str());
    return box && ::IsWindowVisible(box) ? box : nullptr;
}

void Press(HWND window, int id) {
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(window, id)));
}

std::wstring ButtonText(HWND window) {
    wchar_t text[32] = L"";
    ::GetDlgItemTextW(window, kStopButton, text, 32);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const DWORD afterMs = argc > 1 ? static_cast<DWORD>(std::strtoul(argv[1], nullptr, 10)) : 0;
    const DWORD stayMs = argc > 2 ? static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)) : 0;
    HWND window = WaitFor(ProgressWindow, kWaitMs);
    if (!window) {
        std::puts("no progress window");
        return 1;
    }
    ::Sleep(afterMs);
    Press(window, kStopButton);
    HWND box = WaitFor(Question, kWaitMs);
    if (!box) {
        std::puts("no question");
        return 1;
    }
    Press(box, IDYES);
    WaitFor([box]() -> HWND { return ::IsWindow(box) ? nullptr : box; }, kWaitMs);
    std::printf("stopped at %.3f\n", UnixNow());
    std::fflush(stdout);
    const std::wstring close = win::Utf8ToWide(tavrin::kCloseLabel);
    if (WaitFor([&]() -> HWND { return ButtonText(window) == close ? window : nullptr; }, kWaitMs)) {
        ::Sleep(stayMs);
        Press(window, kStopButton);
    }
    return 0;
}
