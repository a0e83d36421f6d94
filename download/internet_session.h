// The platform operations the download engine needs from an HTTP client library: one session
// per agent name, responses opened by URL, their status and Content-Length, and reads. Errors
// come back as values with the library's message (the engine turns them into status codes).
// Every call returns within about a second (kWaitSliceMs), also from a silent server: the
// worker that called it is the only thread that touches the session and its responses, and it
// ends a transfer itself at a stop, a leave or one of its limits between two calls. No other
// thread closes or aborts anything (a handle closed under a waiting call, with handle values
// reused by the library, could end someone else's request).
// The price of the slice: a server that takes longer than a slice to begin its answer is asked
// again at every slice (the library ends a request whose headers are late) until the try's
// bound, and is then counted as silent. Under Wine no mode of the library avoids it: a pending
// asynchronous call keeps its socket open, whatever handle is closed, until its own receive
// timeout ends it, so a longer wait for the headers would keep a stopped connection open as long.
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

// The longest a call waits for the server before it returns "nothing yet".
constexpr unsigned kWaitSliceMs = 1000;

enum class ReadOutcome {
    kBytes,   // got set (nonzero)
    kEnded,   // the body has ended
    kQuiet,   // nothing arrived within the slice; the response can be read again
    kFailed,  // a network error; error set
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
    // Up to size bytes of what has arrived, waiting at most a slice for the first of them.
    virtual ReadOutcome Read(char* buffer, size_t size, size_t& got, std::string& error) = 0;
    virtual void Close() = 0;
};

enum class OpenOutcome {
    Opened,      // response set
    NoResponse,  // nothing to read from, and no error either
    Failed,      // a network error; error set
    Quiet,       // no answer within the slice (the request is let go): open it again
};

class InternetSession {
public:
    virtual ~InternetSession() = default;
    // headers: more request header lines, each ending in "\r\n" ("" for none).
    virtual OpenOutcome OpenUrl(const std::string& url, const std::string& headers,
                                std::unique_ptr<InternetResponse>& response,
                                std::string& error) = 0;
    // Every response must be closed first: the library may close them with the session.
    virtual void Close() = 0;
    // The library's message for a connection that ended before the announced body did.
    virtual std::string TruncatedBodyMessage() = 0;
};

}  // namespace tavrin
