// The download engine's Internet session over WinINet: one InternetOpenA per agent name, with
// the system's proxy settings; responses by InternetOpenUrlA; reads of at most what is asked.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>
#include <string>

#include "download/internet_session.h"
#include "win/handles.h"

namespace tavrin {

// Always from the server, never the cache; an open connection is reused (0xA0000002). Besides:
// packages go to the download folder only, never also into the user's Internet cache, and
// redirects are the engine's to judge (redirect.h), not the library's to follow.
constexpr DWORD kOpenUrlFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_EXISTING_CONNECT |
                                INTERNET_FLAG_TRANSFER_BINARY | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_NO_AUTO_REDIRECT;
static_assert((kOpenUrlFlags & 0xA0000002) == 0xA0000002, "the engine's base flags");
// A server that sends no byte for this long ends the transfer with a network error, so a
// trickling or stalled server cannot hold the updater for ever.
constexpr DWORD kReceiveTimeoutMs = 60000;
constexpr DWORD_PTR kInternetContext = 1;

class WinInetSession : public InternetSession {
public:
    // Null, with the system's message in error, when InternetOpenA fails.
    static std::unique_ptr<WinInetSession> Open(const std::string& agent, std::string& error);

    OpenOutcome OpenUrl(const std::string& url, std::unique_ptr<InternetResponse>& response,
                        std::string& error) override;
    void Close() override { m_handle.close(); }
    std::string TruncatedBodyMessage() override;

    HINTERNET handle() const { return m_handle.get(); }

private:
    explicit WinInetSession(HINTERNET handle) : m_handle(handle) {}
    win::InternetHandle m_handle;
};

// The message of a WinINet or system error code, without its line break.
std::string InternetErrorText(DWORD code);

}  // namespace tavrin
