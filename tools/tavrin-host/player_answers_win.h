// --answer yes|no: the player at the stand-in browser, who answers every question box of this
// process as it shows (a Yes/No box with that button; any other box with OK), so a measured run
// needs nobody at the screen.
#pragma once

#include <windows.h>

#include "win/handles.h"

namespace host {

class PlayerAnswers {
public:
    PlayerAnswers() = default;
    PlayerAnswers(const PlayerAnswers&) = delete;
    PlayerAnswers& operator=(const PlayerAnswers&) = delete;
    ~PlayerAnswers() { Stop(); }

    // button: IDYES or IDNO.
    bool Start(int button);
    void Stop();
    unsigned Answered() const { return static_cast<unsigned>(m_answered); }

private:
    static DWORD WINAPI Run(void* self);
    static BOOL CALLBACK AnswerBox(HWND window, LPARAM self);

    int m_button = IDYES;
    win::Handle m_stop;
    win::Handle m_thread;
    volatile LONG m_answered = 0;
    HWND m_last = nullptr;  // the box answered last, which may show a moment longer
};

}  // namespace host
