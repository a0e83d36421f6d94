#include "download/window_status_sink_win.h"

#include "download/status_message.h"

namespace tavrin {

void WindowStatusSink::Deliver(uint16_t code, uint16_t percent, const char* text) {
    if (!m_window) return;
    ::SendMessageA(m_window, StatusMessageId(), MAKEWPARAM(code, percent), reinterpret_cast<LPARAM>(text));
}

}  // namespace tavrin
