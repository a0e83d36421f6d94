// Delivers status messages to a window as UWM_STATUS, sent synchronously: the text lives on
// the sender's stack and the worker waits until the window has handled each message.
#pragma once

#include <windows.h>

#include <memory>

#include "download/status_sink.h"

namespace tavrin {

class WindowStatusSink : public StatusSink {
public:
    explicit WindowStatusSink(HWND window) : m_window(window) {}
    HWND window() const { return m_window; }

    static std::shared_ptr<WindowStatusSink> For(HWND window) {
        return std::make_shared<WindowStatusSink>(window);
    }

protected:
    // A window destroyed meanwhile makes SendMessageA fail harmlessly: nothing is delivered.
    void Deliver(uint16_t code, uint16_t percent, const char* text) override;

private:
    const HWND m_window;
};

}  // namespace tavrin
