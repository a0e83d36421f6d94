// --answer yes|no: the player at the stand-in browser, who answers every question box of this
// process as it shows (a Yes/No box with that button; any other box with OK), so a measured run
// needs nobody at the screen.
#pragma once

#include <windows.h>

#include "tools/tavrin-host/periodic_thread_win.h"

namespace host {

class PlayerAnswers final : public PeriodicThread {
public:
    PlayerAnswers() = default;
    ~PlayerAnswers() { Stop(); }

    // button: IDYES or IDNO.
    bool Start(int button);
    unsigned Answered() const { return static_cast<unsigned>(m_answered); }

private:
    void Tick() override;
    static BOOL CALLBACK AnswerBox(HWND window, LPARAM self);

    int m_button = IDYES;
    volatile LONG m_answered = 0;
    HWND m_last = nullptr;  // the box answered last, which may show a moment longer
};

}  // namespace host
