#include "download/http_downloader.h"

#include <cstdio>
#include <optional>

#include "download/redirect.h"
#include "download/status_text.h"

namespace tavrin {

namespace {

// Network errors of the engine's own checks.
constexpr const char* kLongerThanPublished = "longer than its published size";
constexpr const char* kRedirectRefused = "redirected to another server, which is not followed";
constexpr const char* kTooManyRedirects = "redirected more than 5 times";

// Counts are printed with "%s": the C libraries disagree on the printf size of 64 bits.
struct Decimal {
    explicit Decimal(uint64_t value) {
        char* p = text + sizeof text - 1;
        *p = '\0';
        do {
            *--p = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value);
        start = p;
    }
    char text[24];
    const char* start;
};

bool IsSuccess(int httpStatus) { return httpStatus >= 200 && httpStatus <= 299; }

}  // namespace

CHttpDownloader::CHttpDownloader(std::shared_ptr<DownloadPlatform> platform)
    : m_platform(std::move(platform)),
      m_isLead([p = m_platform.get()](unsigned char c) { return p->IsLeadByte(c); }) {}

CHttpDownloader::~CHttpDownloader() { CloseSession(); }

void CHttpDownloader::SetTarget(std::shared_ptr<StatusSink> notify, const std::string& agent,
                                const std::string& targetDir) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_pNotifyWnd = std::move(notify);
    m_strAgent = agent;
    m_strTargetDir = targetDir;
}

void CHttpDownloader::AddURL(const std::string& url) {
    if (url.empty()) return;
    std::lock_guard<std::mutex> hold(m_lock);
    m_arrURLs.push_back(url);
}

void CHttpDownloader::LimitSize(const std::string& url, uint64_t bytes) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_sizeLimits[url] = bytes;
}

void CHttpDownloader::SetStop(bool stop) {
    m_bStop.store(stop, std::memory_order_release);
    if (!stop) return;
    std::lock_guard<std::mutex> hold(m_readingLock);
    if (m_pReading) m_pReading->Abort();
    if (m_pAbortable) m_pAbortable->Abort();
}

void CHttpDownloader::Abandon() {
    m_bDiscardStopped.store(true);
    SetStop(true);
    std::shared_ptr<StatusSink> sink = NotifySink();
    if (sink) sink->Disconnect();
}

bool CHttpDownloader::StopIfSilentFor(int64_t seconds, std::string& fileName) {
    if (!m_bTransferring.load() || m_platform->NowSeconds() - m_lastHeard.load() < seconds)
        return false;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        fileName = m_strCurrentFile;
    }
    DiscardStoppedFile();
    SetStop(true);
    return true;
}

std::shared_ptr<StatusSink> CHttpDownloader::NotifySink() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_pNotifyWnd;
}

std::vector<std::string> CHttpDownloader::QueuedURLs() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_arrURLs;
}

bool CHttpDownloader::CreateSession(const std::string& agent,
                                    const std::shared_ptr<StatusSink>& notify) {
    CloseSession();
    std::string error;
    std::unique_ptr<InternetSession> internet = m_platform->OpenSession(agent, error);
    if (!internet) {
        m_platform->Trace("CreateSession failed: " + error);
        m_strSessionError = error;
        return false;
    }
    InternetSession* abortable = internet.get();
    m_pSession = std::make_unique<CWebGrabSession>(std::move(internet), notify, *m_platform);
    std::lock_guard<std::mutex> hold(m_readingLock);
    m_pAbortable = abortable;
    // A stop that came while the session was being opened finds it now.
    if (IsStopRequested()) m_pAbortable->Abort();
    return true;
}

void CHttpDownloader::CloseSession() {
    if (!m_pSession) return;
    {
        std::lock_guard<std::mutex> hold(m_readingLock);
        m_pAbortable = nullptr;
    }
    m_pSession->Close();
    m_pSession.reset();
}

bool CHttpDownloader::DownloadAll() {
    std::vector<std::string> urls;
    std::string targetDir, agent;
    std::shared_ptr<StatusSink> notify;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        urls = m_arrURLs;
        targetDir = m_strTargetDir;
        agent = m_strAgent;
        notify = m_pNotifyWnd;
    }

    bool outcome = true;
    for (const std::string& url : urls) {
        std::string fileName;
        if (url.empty() || !UrlFileName(url, fileName)) continue;
        if (!DownloadFile(url, targetDir + fileName, agent, notify) || IsStopRequested()) {
            // The file is closed by now: an owner deleting it while it was open could not.
            if (IsStopRequested() && m_bDiscardStopped.load()) {
                m_platform->RemoveLocalFile(targetDir + fileName);
            }
            outcome = false;
            break;
        }
    }

    {
        // Only what this batch took: the queue holds nothing else while a worker runs.
        std::lock_guard<std::mutex> hold(m_lock);
        size_t taken = urls.size() < m_arrURLs.size() ? urls.size() : m_arrURLs.size();
        m_arrURLs.erase(m_arrURLs.begin(), m_arrURLs.begin() + static_cast<std::ptrdiff_t>(taken));
    }

    if (m_pSession) {
        if (outcome) {
            m_pSession->m_nStatusCode = STATUS_DOWNLOAD_COMPLETE;
            m_pSession->SetStatus("Download Files Complete!");
        } else {
            m_pSession->m_nStatusCode = STATUS_DOWNLOAD_ERROR_CLOSE;
            m_pSession->SetStatus("Download Error Close!");
        }
    }
    return outcome;
}

// One file's transfer: the response it reads and the file it writes. Each step closes them in
// the order the statuses need; whatever way out an exception takes, the destructor closes the
// response (before the session can go) and the file.
struct CHttpDownloader::Transfer {
    explicit Transfer(CHttpDownloader& owner) : downloader(owner) {}
    CHttpDownloader& downloader;
    std::unique_ptr<InternetResponse> response;
    std::unique_ptr<LocalFile> file;
    uint64_t total = 0;
    bool lengthKnown = false;
    std::optional<uint64_t> limit;  // the published size

    ~Transfer() {
        CloseResponse();
        std::string ignored;
        CloseFile(ignored);
    }
    // From here on a stop aborts the response's reads.
    void ExposeResponse() {
        std::lock_guard<std::mutex> hold(downloader.m_readingLock);
        downloader.m_pReading = response.get();
    }
    void CloseResponse() {
        {
            std::lock_guard<std::mutex> hold(downloader.m_readingLock);
            if (downloader.m_pReading == response.get()) downloader.m_pReading = nullptr;
        }
        if (response) response->Close();
        response.reset();
    }
    // False (error set) when written data may be lost.
    bool CloseFile(std::string& error) {
        if (!file) return true;
        const bool closed = file->Close(error);
        file.reset();
        return closed;
    }
};

bool CHttpDownloader::DownloadFile(const std::string& url, const std::string& localPath,
                                   const std::string& agent,
                                   const std::shared_ptr<StatusSink>& notify) {
    std::string fileName;
    if (!UrlFileName(url, fileName)) return false;
    if (!EnsureSession(fileName, agent, notify)) return false;
    CWebGrabSession& session = *m_pSession;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_strCurrentFile = fileName;
    }
    Heard();
    m_bTransferring.store(true);
    // Whatever way this file ends, the owner's clock stops watching it.
    struct Watched {
        std::atomic<bool>& flag;
        ~Watched() { flag.store(false); }
    } watched{m_bTransferring};
    if (notify) session.m_pNotifyWnd = notify;

    session.m_nTotalSize = 0;
    session.m_nCurrentSize = 0;
    session.SetStatusCode(STATUS_DOWNLOAD_START, 0);
    session.SetStatus("%s - Downloading...", fileName.c_str());
    m_platform->Trace("szURL : " + url);

    Transfer transfer(*this);
    {
        std::lock_guard<std::mutex> hold(m_lock);
        auto limit = m_sizeLimits.find(url);
        if (limit != m_sizeLimits.end()) transfer.limit = limit->second;
    }
    if (!OpenResponse(url, fileName, transfer)) return false;
    Heard();  // the headers
    std::string error;
    transfer.file = m_platform->CreateLocalFile(localPath, error);
    if (!transfer.file) {
        transfer.CloseResponse();
        ReportFileError(fileName, error);
        return false;
    }
    transfer.ExposeResponse();
    return ReceiveBody(fileName, transfer);
}

bool CHttpDownloader::EnsureSession(const std::string& fileName, const std::string& agent,
                                    const std::shared_ptr<StatusSink>& notify) {
    if (m_pSession || CreateSession(agent, notify)) return true;
    // Without any status the owner would wait for this batch for ever.
    if (!notify) return false;
    std::string message = m_strSessionError;
    CutText(message, kMaxErrorMessage, m_isLead);
    std::string text = fileName + " - " + message;  // as the session would say it
    CutText(text, kStatusTextSize - 1, m_isLead);
    notify->Send(STATUS_NET_ERROR, 0, text.c_str());
    return false;
}

bool CHttpDownloader::OpenResponse(const std::string& url, const std::string& fileName,
                                   Transfer& transfer) {
    CWebGrabSession& session = *m_pSession;
    std::string error, current = url;
    OpenOutcome opened = OpenOutcome::NoResponse;
    for (int hops = 0;; ++hops) {
        // Another scheme gives no HTTP response to read a length or a status from.
        opened = IsHttpUrl(current) ? session.Internet().OpenUrl(current, transfer.response, error)
                                    : OpenOutcome::NoResponse;
        if (opened == OpenOutcome::Failed) {
            // The wait for the server that a stop abandoned.
            if (IsStopRequested()) return EndStopped(transfer);
            transfer.CloseResponse();
            ReportNetError(fileName, error);
            return false;
        }
        std::string location;
        if (opened != OpenOutcome::Opened || !transfer.response ||
            !IsRedirectStatus(transfer.response->HttpStatus()) ||
            !transfer.response->QueryLocation(location))
            break;
        transfer.CloseResponse();
        const std::string next = RedirectTarget(current, location);
        if (next.empty() || hops == kMaxRedirects) {
            m_platform->Trace("redirect refused: " + location.substr(0, 200));
            ReportNetError(fileName, next.empty() ? kRedirectRefused : kTooManyRedirects);
            return false;
        }
        current = next;
    }
    // An error page (404, 500, ...) is not the file: never store it.
    std::string lengthText;
    // Without Content-Length (a chunked body) only a file of published size is taken.
    if (opened == OpenOutcome::NoResponse || !transfer.response ||
        !IsSuccess(transfer.response->HttpStatus()) ||
        (!transfer.response->QueryContentLength(lengthText) && !transfer.limit)) {
        session.SetStatusCode(STATUS_URL_INVALID, 0);
        session.SetStatus("%s is Invalid!", fileName.c_str());
        transfer.CloseResponse();
        return false;
    }
    transfer.lengthKnown = ParseContentLength(lengthText, transfer.total);
    if (transfer.limit && transfer.lengthKnown && transfer.total > *transfer.limit) {
        transfer.CloseResponse();
        ReportNetError(fileName, kLongerThanPublished);
        return false;
    }
    if (transfer.limit && !transfer.lengthKnown) transfer.total = *transfer.limit;
    session.m_nTotalSize = transfer.total;
    m_platform->Trace("m_nTotalSize : " + std::string(Decimal(transfer.total).start));
    return true;
}

bool CHttpDownloader::ReceiveBody(const std::string& fileName, Transfer& transfer) {
    CWebGrabSession& session = *m_pSession;
    std::string error, ignored;
    const int64_t start = m_platform->NowSeconds();
    uint64_t received = 0;
    for (;;) {
        if (IsStopRequested()) return EndStopped(transfer);
        size_t got = 0;
        // A body of known length ends with its last byte: asking for more would wait for the
        // server to close a connection it keeps open.
        const bool whole = transfer.lengthKnown && received == transfer.total;
        if (!whole && !transfer.response->Read(m_szBuffer, kReadChunk, got, error)) {
            // The read a stop aborted.
            if (IsStopRequested()) return EndStopped(transfer);
            transfer.CloseFile(ignored);
            transfer.CloseResponse();
            ReportNetError(fileName, error);
            return false;
        }
        if (got == 0) {
            // The library ends a body early without an error when the server closes the
            // connection: a short body is a broken transfer, not a complete file.
            if (transfer.lengthKnown && received < transfer.total) {
                transfer.CloseFile(ignored);
                transfer.CloseResponse();
                ReportNetError(fileName, session.Internet().TruncatedBodyMessage());
                return false;
            }
            transfer.CloseResponse();
            if (!transfer.CloseFile(error)) {
                ReportFileError(fileName, error);
                return false;
            }
            session.SetStatusCode(STATUS_DOWNLOAD_END, 0);
            session.SetStatus("%s - Download End!", fileName.c_str());
            return true;
        }
        // Never more than the published size is stored.
        if (transfer.limit && got > *transfer.limit - received) {
            transfer.CloseFile(ignored);
            transfer.CloseResponse();
            ReportNetError(fileName, kLongerThanPublished);
            return false;
        }
        if (!transfer.file->Write(m_szBuffer, got, error)) {
            transfer.CloseFile(ignored);
            transfer.CloseResponse();
            ReportFileError(fileName, error);
            return false;
        }
        received += got;
        Heard();
        session.SetStatusCode(STATUS_DOWNLOAD_SIZE, received);
        ReportProgress(fileName, received, start);
    }
}

bool CHttpDownloader::EndStopped(Transfer& transfer) {
    std::string ignored;
    m_pSession->SetStatusCode(STATUS_USER_STOP, 0);
    m_pSession->SetStatus("User Stop!");
    transfer.CloseResponse();
    transfer.CloseFile(ignored);  // the partial file stays; a close error adds nothing
    return false;
}

void CHttpDownloader::ReportProgress(const std::string& fileName, uint64_t received,
                                     int64_t startSeconds) {
    Decimal count(received);
    int64_t elapsed = m_platform->NowSeconds() - startSeconds;
    if (elapsed > 0) {
        double rate = static_cast<double>(received) / 1024.0 / static_cast<double>(elapsed);
        m_pSession->SetStatus("%s - Read %s bytes (%0.1f Kb/s)", fileName.c_str(), count.start,
                              rate);
    } else {
        m_pSession->SetStatus("%s - Read %s bytes", fileName.c_str(), count.start);
    }
}

// Network and file errors close the session: the next download starts a fresh one.
void CHttpDownloader::ReportNetError(const std::string& fileName, std::string message) {
    CutText(message, kMaxErrorMessage, m_isLead);
    m_pSession->SetStatusCode(STATUS_NET_ERROR, 0);
    m_pSession->SetStatus("%s - %s", fileName.c_str(), message.c_str());
    CloseSession();
}

void CHttpDownloader::ReportFileError(const std::string& fileName, std::string message) {
    CutText(message, kMaxErrorMessage, m_isLead);
    m_pSession->SetStatusCode(STATUS_FILE_ERROR, 0);
    m_pSession->SetStatus("%s - %s", fileName.c_str(), message.c_str());
    CloseSession();
}

}  // namespace tavrin
