#include "download/web_grab_session.h"

#include <cstdarg>

namespace tavrin {

CWebGrabSession::CWebGrabSession(std::unique_ptr<InternetSession> internet,
                                 std::shared_ptr<StatusSink> notify,
                                 const DownloadPlatform& platform)
    : m_pNotifyWnd(std::move(notify)),
      m_internet(std::move(internet)),
      m_isLead([&platform](unsigned char c) { return platform.IsLeadByte(c); }) {}

CWebGrabSession::~CWebGrabSession() { Close(); }

void CWebGrabSession::SetStatusCode(uint16_t code, uint64_t value) {
    m_nStatusCode = code;
    m_nCurrentSize = value;
}

uint16_t CWebGrabSession::Percent() const {
    if (m_nStatusCode != STATUS_DOWNLOAD_SIZE) return 0;
    return PercentOf(m_nCurrentSize, m_nTotalSize);
}

void CWebGrabSession::SetStatus(const char* format, ...) {
    if (!m_pNotifyWnd) return;
    char text[kStatusTextSize];
    va_list args;
    va_start(args, format);
    FormatStatusText(text, m_isLead, format, args);
    va_end(args);
    m_pNotifyWnd->Send(m_nStatusCode, Percent(), text);
}

void CWebGrabSession::Close() {
    if (m_internet) m_internet->Close();
}

}  // namespace tavrin
