// The session of a downloader: the HTTP library's session plus the status of the current file
// (code, bytes received, total size), the status texts and where they go.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "download/download_platform.h"
#include "download/internet_session.h"
#include "download/status_sink.h"
#include "download/status_text.h"

#if defined(__MINGW_PRINTF_FORMAT)
#define TAVRIN_PRINTF_CHECK(f, a) __attribute__((format(__MINGW_PRINTF_FORMAT, f, a)))
#elif defined(__GNUC__)
#define TAVRIN_PRINTF_CHECK(f, a) __attribute__((format(printf, f, a)))
#else
#define TAVRIN_PRINTF_CHECK(f, a)
#endif

namespace tavrin {

class CWebGrabSession {
public:
    CWebGrabSession(std::unique_ptr<InternetSession> internet, std::shared_ptr<StatusSink> notify,
                    const DownloadPlatform& platform);
    ~CWebGrabSession();
    CWebGrabSession(const CWebGrabSession&) = delete;
    CWebGrabSession& operator=(const CWebGrabSession&) = delete;

    // Sets the code and the received count; sends nothing.
    void SetStatusCode(uint16_t code, uint64_t value);
    // Formats into a 512-byte buffer (cut, never overrun) and sends it with the current code.
    void SetStatus(const char* format, ...) TAVRIN_PRINTF_CHECK(2, 3);
    // Of the current file; nonzero only with STATUS_DOWNLOAD_SIZE.
    uint16_t Percent() const;

    InternetSession& Internet() { return *m_internet; }
    void Close();

    uint16_t m_nStatusCode = 0;
    uint64_t m_nCurrentSize = 0;
    uint64_t m_nTotalSize = 0;
    std::shared_ptr<StatusSink> m_pNotifyWnd;  // may be null: nothing is sent then

private:
    std::unique_ptr<InternetSession> m_internet;
    LeadBytePredicate m_isLead;
};

}  // namespace tavrin
