// The download engine's Internet session over WinINet: one InternetOpenA per agent name, with
// the system's proxy settings; each request its own connection and request handles
// (InternetConnectA, HttpOpenRequestA, HttpSendRequestA), so that the wait slice can be set
// where every WinINet honours it; reads of at most what has arrived. WinINet keeps the
// connections alive and reuses them by server. Synchronous calls, each ending within the
// slice: Wine's asynchronous mode keeps a socket open for as long as a pending call waits,
// even after every handle is closed, so only a call that returns lets the connection go.
// Everything here is used and closed by the worker's thread alone.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <memory>
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
    std::string TruncatedBodyMessage() override;

private:
    explicit WinInetSession(HINTERNET handle) : m_handle(handle) {}

    win::InternetHandle m_handle;
};

// WinINet's connections per server for this process (0 when it cannot be read). Only read: the
// setting is the whole process's, and the browser's own pages share it.
size_t WinInetConnectionsPerServer();

// The message of a WinINet or system error code, without its line break.
std::string InternetErrorText(DWORD code);

}  // namespace tavrin
