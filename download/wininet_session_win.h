// The download engine's Internet session over WinINet: one InternetOpenA per agent name, with
// the system's proxy settings; each request its own connection and request handles
// (InternetConnectA, HttpOpenRequestA, HttpSendRequestA), so that the receive timeout can be
// set where every WinINet honours it and the owner can close them while the server is silent;
// reads of at most what is asked.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <mutex>
#include <string>

#include "download/internet_session.h"
#include "download/internet_handle_win.h"
#include "win/handles.h"

namespace tavrin {

// Always from the server, never the cache; an open connection is reused (0xA0000002; the
// engine's flags since it opened requests by URL). Besides:
// packages go to the download folder only, never also into the user's Internet cache, and
// redirects are the engine's to judge (redirect.h), not the library's to follow.
constexpr DWORD kOpenUrlFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_EXISTING_CONNECT |
                                INTERNET_FLAG_TRANSFER_BINARY | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_NO_AUTO_REDIRECT;
static_assert((kOpenUrlFlags & 0xA0000002) == 0xA0000002, "the engine's base flags");
constexpr DWORD_PTR kInternetContext = 1;

class WinInetSession : public InternetSession {
public:
    // Null, with the system's message in error, when InternetOpenA fails.
    static std::unique_ptr<WinInetSession> Open(const std::string& agent, std::string& error);

    OpenOutcome OpenUrl(const std::string& url, const std::string& headers,
                        std::unique_ptr<InternetResponse>& response,
                        std::string& error) override;
    void Close() override;
    void Abort() override;
    std::string TruncatedBodyMessage() override;

private:
    explicit WinInetSession(HINTERNET handle) : m_handle(handle) {}
    // The session handle, unless closed or aborted.
    HINTERNET SessionHandle();
    // Hands the request being sent to the owner's Abort; false (nothing handed) once aborted.
    bool ExposeOpening(HINTERNET connection, HINTERNET request);
    // Takes them back after the send; false when Abort has closed them meanwhile.
    bool TakeBackOpening();

    std::mutex m_lock;  // the fields below: Abort comes from the owner's thread
    win::InternetHandle m_handle;
    bool m_aborted = false;
    HINTERNET m_openingConnection = nullptr;  // owned here only while the request is sent
    HINTERNET m_openingRequest = nullptr;
};

// The message of a WinINet or system error code, without its line break.
std::string InternetErrorText(DWORD code);

}  // namespace tavrin
