#include "tools/tavrin-host/player_answers_win.h"

#include <cwchar>

namespace host {

namespace {

constexpr DWORD kLookEveryMs = 100;

}  // namespace

bool PlayerAnswers::Start(int button) {
    m_button = button;
    return StartEvery(kLookEveryMs);
}

// A visible message box of this process: answered once (it goes when its button is pressed).
BOOL CALLBACK PlayerAnswers::AnswerBox(HWND window, LPARAM self) {
    auto* answers = reinterpret_cast<PlayerAnswers*>(self);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    wchar_t cls[16] = L"";
    ::GetClassNameW(window, cls, 16);
    if (process != ::GetCurrentProcessId() || std::wcscmp(cls, L"#32770") != 0 ||
        !::IsWindowVisible(window) || !::GetDlgItem(window, 0xFFFF))  // a box's text
        return TRUE;
    HWND yes = ::GetDlgItem(window, IDYES);
    const int button = yes ? answers->m_button : IDOK;
    HWND control = ::GetDlgItem(window, button);
    if (!control || window == answers->m_last) return TRUE;
    answers->m_last = window;
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(control));
    ::InterlockedIncrement(&answers->m_answered);
    return TRUE;
}

void PlayerAnswers::Tick() { ::EnumWindows(AnswerBox, reinterpret_cast<LPARAM>(this)); }

}  // namespace host
