// The platform operations the download engine needs from an HTTP client library: one session
// per agent name, responses opened by URL, their status and Content-Length, and reads. Errors
// come back as values with the library's message (the engine turns them into status codes).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace tavrin {

// The response headers a continued transfer needs.
enum class ResponseHeader {
    kETag,
    kLastModified,
    kContentRange,
};

class InternetResponse {
public:
    virtual ~InternetResponse() = default;
    // The HTTP status code, 0 when it cannot be had.
    virtual int HttpStatus() = 0;
    // The raw Content-Length header; false when the query fails (no such header, or it does
    // not fit 31 characters).
    virtual bool QueryContentLength(std::string& value) = 0;
    // The Location header of a redirect; false when there is none.
    virtual bool QueryLocation(std::string& value) = 0;
    // One of the headers above, at most 1,024 characters; false when there is none.
    virtual bool QueryHeader(ResponseHeader which, std::string& value) = 0;
    // Up to size bytes; 0 bytes means the body has ended. False on a network error.
    virtual bool Read(char* buffer, size_t size, size_t& got, std::string& error) = 0;
    virtual void Close() = 0;
    // From another thread, while Read may be blocked: the read fails at once and the
    // connection is let go. Close and the destructor stay the reading thread's.
    virtual void Abort() = 0;
};

enum class OpenOutcome {
    Opened,      // response set
    NoResponse,  // nothing to read from, and no error either
    Failed,      // a network error; error set
};

class InternetSession {
public:
    virtual ~InternetSession() = default;
    // headers: more request header lines, each ending in "\r\n" ("" for none).
    virtual OpenOutcome OpenUrl(const std::string& url, const std::string& headers,
                                std::unique_ptr<InternetResponse>& response,
                                std::string& error) = 0;
    virtual void Close() = 0;
    // From another thread, while OpenUrl may be waiting for the server (to connect, or for the
    // headers): the request being opened is abandoned, the session closed, and every later
    // OpenUrl fails. Close and the destructor stay the opening thread's.
    virtual void Abort() = 0;
    // The library's message for a connection that ended before the announced body did.
    virtual std::string TruncatedBodyMessage() = 0;
};

}  // namespace tavrin
