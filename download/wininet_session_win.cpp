#include "download/wininet_session_win.h"

#include <algorithm>

#include "download/download_platform_win.h"
#include "download/status_text.h"

namespace tavrin {

namespace {

// A wait that ended with the slice. Windows says ERROR_INTERNET_TIMEOUT; Wine's reads say the
// socket's WSAETIMEDOUT.
bool IsTimeout(DWORD code) { return code == ERROR_INTERNET_TIMEOUT || code == WSAETIMEDOUT; }

class WinInetResponse : public InternetResponse {
public:
    WinInetResponse(HINTERNET connection, HINTERNET request)
        : m_connection(connection), m_handle(request) {}

    int HttpStatus() override {
        DWORD status = 0, size = sizeof status;
        if (!::HttpQueryInfoA(m_handle.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                              &status, &size, nullptr))
            return 0;
        return static_cast<int>(status);
    }

    bool QueryContentLength(std::string& value) override {
        char text[32];
        DWORD size = sizeof text;
        if (!::HttpQueryInfoA(m_handle.get(), HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr))
            return false;
        value.assign(text, size < sizeof text ? size : sizeof text - 1);
        return true;
    }

    bool QueryLocation(std::string& value) override {
        DWORD size = 0;
        ::HttpQueryInfoA(m_handle.get(), HTTP_QUERY_LOCATION, nullptr, &size, nullptr);
        if (size == 0 || size > 8192) return false;
        std::string text(size, '\0');
        if (!::HttpQueryInfoA(m_handle.get(), HTTP_QUERY_LOCATION, &text[0], &size, nullptr))
            return false;
        text.resize(size);
        value = text;
        return true;
    }

    bool QueryHeader(ResponseHeader which, std::string& value) override {
        const DWORD query = which == ResponseHeader::kETag           ? HTTP_QUERY_ETAG
                            : which == ResponseHeader::kLastModified ? HTTP_QUERY_LAST_MODIFIED
                                                                     : HTTP_QUERY_CONTENT_RANGE;
        char text[1025];
        DWORD size = sizeof text - 1;
        if (!::HttpQueryInfoA(m_handle.get(), query, text, &size, nullptr) || size == 0)
            return false;
        value.assign(text, size < sizeof text ? size : sizeof text - 1);
        return true;
    }

    ReadOutcome Read(char* buffer, size_t size, size_t& got, std::string& error) override {
        // Bytes left over from what was known to be there are topped up with what arrives
        // next, so that a steady body is read in whole chunks.
        const bool topUp = m_available != 0 && m_available < size;
        const ReadOutcome outcome = ReadArrived(buffer, size, got, error);
        if (outcome != ReadOutcome::kBytes || !topUp || got >= size) return outcome;
        // Whatever the second read finds (a failure too) is left for the next one: what was
        // read stays.
        size_t more = 0;
        std::string later;
        if (ReadArrived(buffer + got, size - got, more, later) == ReadOutcome::kBytes) got += more;
        return outcome;
    }

    // The request first: the connection is its parent.
    void Close() override {
        m_handle.close();
        m_connection.close();
    }

private:
    // Reads only what has arrived: a read of a whole buffer waits for all of it, and a server
    // that sends a byte at a time must not hold the worker. The wait for the first byte ends
    // with the slice (the request's receive timeout), and the response stays readable.
    ReadOutcome ReadArrived(char* buffer, size_t size, size_t& got, std::string& error) {
        DWORD read = 0;
        got = 0;
        if (m_available == 0) {
            if (!::InternetQueryDataAvailable(m_handle.get(), &m_available, 0, 0)) {
                const DWORD code = ::GetLastError();
                if (IsTimeout(code)) return ReadOutcome::kQuiet;
                error = InternetErrorText(code);
                return ReadOutcome::kFailed;
            }
            if (m_available == 0) return ReadOutcome::kEnded;
        }
        if (m_available < size) size = m_available;
        if (!::InternetReadFile(m_handle.get(), buffer, static_cast<DWORD>(size), &read)) {
            error = InternetErrorText(::GetLastError());
            return ReadOutcome::kFailed;
        }
        m_available -= std::min(read, m_available);
        got = read;
        return read ? ReadOutcome::kBytes : ReadOutcome::kEnded;
    }

    DWORD m_available = 0;  // bytes known to have arrived and not yet read
    // Both the worker's alone, closed on its thread, the request before its connection.
    win::InternetHandle m_connection;
    win::InternetHandle m_handle;  // the request
};

// Every wait of a request ends within the slice: connecting, sending, the headers and each
// read. Set on the connection and on the request, where WinINet applies them (Wine ignores
// them on the session). The engine keeps the real bounds on its own clock.
bool SetSlice(HINTERNET handle) {
    DWORD slice = kWaitSliceMs;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT,
                         INTERNET_OPTION_RECEIVE_TIMEOUT})
        if (!::InternetSetOptionA(handle, option, &slice, sizeof slice)) return false;
    return true;
}

// The parts of an http or https URL that a request is made of.
struct UrlParts {
    std::string host;
    INTERNET_PORT port = 0;
    std::string object;  // path and query
    bool secure = false;
};

bool CrackUrl(const std::string& url, UrlParts& parts) {
    char host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = "";
    std::string object(url.size() + 1, '\0');
    std::string extra(url.size() + 1, '\0');
    URL_COMPONENTSA components = {};
    components.dwStructSize = sizeof components;
    components.lpszHostName = host;
    components.dwHostNameLength = sizeof host;
    components.lpszUrlPath = &object[0];
    components.dwUrlPathLength = static_cast<DWORD>(object.size());
    components.lpszExtraInfo = &extra[0];
    components.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (!::InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), 0, &components))
        return false;
    if (components.nScheme != INTERNET_SCHEME_HTTP && components.nScheme != INTERNET_SCHEME_HTTPS)
        return false;
    parts.host.assign(host, components.dwHostNameLength);
    parts.port = components.nPort;
    parts.object = object.substr(0, components.dwUrlPathLength) +
                   extra.substr(0, components.dwExtraInfoLength);
    if (parts.object.empty()) parts.object = "/";
    parts.secure = components.nScheme == INTERNET_SCHEME_HTTPS;
    return !parts.host.empty();
}

// Diagnostics only: the texts go to the trace sink when one is set, else nowhere.
void CALLBACK StatusCallback(HINTERNET, DWORD_PTR, DWORD status, LPVOID info, DWORD length) {
    DownloadTraceFn trace = DownloadTrace();
    if (!trace) return;
    std::string text = StatusCallbackText(status, info, length);
    if (!text.empty()) trace("%s", text.c_str());
}

std::string FormatMessageText(DWORD flags, HMODULE module, DWORD code) {
    char* text = nullptr;
    DWORD n = ::FormatMessageA(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               module, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = n && text ? std::string(text, n) : std::string();
    if (text) ::LocalFree(text);
    while (!message.empty() &&
           (message.back() == '\r' || message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    return message;
}

// For the certificate errors, when the system has no text of its own for them (Wine has none):
// a player's report should say what was wrong, not only a number.
const char* CertificateErrorText(DWORD code) {
    switch (code) {
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID: return "The server's certificate has expired";
    case ERROR_INTERNET_SEC_CERT_CN_INVALID: return "The server's certificate is for another name";
    case ERROR_INTERNET_INVALID_CA:
        return "The server's certificate is not from a trusted authority";
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
        return "The server's certificate could not be checked for revocation";
    case ERROR_INTERNET_SEC_CERT_REVOKED: return "The server's certificate has been revoked";
    case ERROR_INTERNET_SEC_INVALID_CERT: return "The server's certificate is invalid";
    default: return nullptr;
    }
}

}  // namespace

size_t WinInetConnectionsPerServer() {
    DWORD cap = 0, size = sizeof cap;
    if (!::InternetQueryOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &cap, &size))
        return 0;
    return cap;
}

std::string InternetErrorText(DWORD code) {
    std::string message;
    if (code == ERROR_INTERNET_EXTENDED_ERROR) {
        DWORD detail = 0, size = 0;
        ::InternetGetLastResponseInfoA(&detail, nullptr, &size);
        if (size) {
            message.resize(size + 1);
            DWORD got = size + 1;
            if (::InternetGetLastResponseInfoA(&detail, &message[0], &got)) message.resize(got);
            else message.clear();
        }
    } else if (code >= INTERNET_ERROR_BASE && code <= INTERNET_ERROR_LAST) {
        message = FormatMessageText(FORMAT_MESSAGE_FROM_HMODULE,
                                    ::GetModuleHandleA("wininet.dll"), code);
    }
    if (message.empty()) message = FormatMessageText(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code);
    if (message.empty() && CertificateErrorText(code))
        message = std::string(CertificateErrorText(code)) + " (" + std::to_string(code) + ")";
    if (message.empty()) message = "Error " + std::to_string(code);
    return message;
}

std::unique_ptr<WinInetSession> WinInetSession::Open(const std::string& agent,
                                                     std::string& error) {
    HINTERNET handle =
        ::InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!handle) {
        error = InternetErrorText(::GetLastError());
        return nullptr;
    }
    // Without the callback only the diagnostic lines are missing.
    ::InternetSetStatusCallbackA(handle, StatusCallback);
    return std::unique_ptr<WinInetSession>(new WinInetSession(handle));
}

OpenOutcome WinInetSession::OpenUrl(const std::string& url, const std::string& headers,
                                    std::unique_ptr<InternetResponse>& response,
                                    std::string& error) {
    UrlParts parts;
    if (!CrackUrl(url, parts)) {
        error = InternetErrorText(ERROR_INTERNET_INVALID_URL);
        return OpenOutcome::Failed;
    }
    win::InternetHandle connection(::InternetConnectA(m_handle.get(), parts.host.c_str(),
                                                      parts.port, nullptr, nullptr,
                                                      INTERNET_SERVICE_HTTP, 0, kInternetContext));
    const DWORD flags = kOpenUrlFlags | (parts.secure ? INTERNET_FLAG_SECURE : 0);
    win::InternetHandle request(connection ? ::HttpOpenRequestA(connection.get(), "GET",
                                                                parts.object.c_str(), nullptr,
                                                                nullptr, nullptr, flags,
                                                                kInternetContext)
                                           : nullptr);
    if (!request || !SetSlice(connection.get()) || !SetSlice(request.get())) {
        error = InternetErrorText(::GetLastError());
        return OpenOutcome::Failed;
    }
    const DWORD asked = ::GetTickCount();
    const BOOL sent = ::HttpSendRequestA(request.get(), headers.empty() ? nullptr : headers.c_str(),
                                         static_cast<DWORD>(headers.size()), nullptr, 0);
    if (!sent) {
        const DWORD code = ::GetLastError();
        // Wine ends a wait for the headers at the slice as an aborted connection: told apart
        // from a server that closes at once by the time it took.
        const bool quiet = IsTimeout(code) || (code == ERROR_INTERNET_CONNECTION_ABORTED &&
                                               ::GetTickCount() - asked >= kWaitSliceMs * 9 / 10);
        if (quiet) return OpenOutcome::Quiet;
        error = InternetErrorText(code);
        return OpenOutcome::Failed;
    }
    response = std::make_unique<WinInetResponse>(connection.detach(), request.detach());
    return OpenOutcome::Opened;
}

void WinInetSession::Close() { m_handle.close(); }

std::string WinInetSession::TruncatedBodyMessage() {
    return InternetErrorText(ERROR_INTERNET_CONNECTION_ABORTED);
}

}  // namespace tavrin
