#include "download/http_downloader.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <cstdio>
#include <optional>
#include <random>

#include "download/redirect.h"
#include "download/retry_policy.h"
#include "download/status_text.h"

namespace tavrin {

namespace {

// Network errors of the engine's own checks.
constexpr const char* kLongerThanPublished = "longer than its published size";
constexpr const char* kRedirectRefused = "redirected to another server, which is not followed";
constexpr const char* kTooManyRedirects = "redirected more than 5 times";
constexpr const char* kNotPublished = "not the published file (its size or SHA-256 differs)";

// The folder a file's URL names, up to its last "/": what a host (the compiled one or a
// mirror) that served a wrong file is known by.
std::string HostOf(const std::string& url) { return url.substr(0, url.rfind('/') + 1); }

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
      m_isLead([p = m_platform.get()](unsigned char c) { return p->IsLeadByte(c); }),
      m_limits(DefaultTransferLimits()),
      m_retries(kRetries),
      m_retryDelayMs(RetryBaseMs()),
      m_random(std::random_device()()) {
    m_hosts.SetTries(m_retries + 1);
}

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

void CHttpDownloader::ResumeFrom(const std::string& url, uint64_t bytes) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_resumeFrom[url] = bytes;
}

void CHttpDownloader::SetRetryPolicy(int retries, uint32_t firstDelayMs) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_retries = retries < 0 ? 0 : retries;
    m_retryDelayMs = firstDelayMs;
    m_hosts.SetTries(m_retries + 1);
}

void CHttpDownloader::SetMirrors(const std::vector<std::string>& folders) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_mirrors = folders;
}

void CHttpDownloader::SetFileCheck(FileCheck check) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_fileCheck = std::move(check);
}

void CHttpDownloader::SetLimits(const TransferLimits& limits) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_limits = limits;
}

void CHttpDownloader::SetLanes(size_t lanes) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_lanes = std::max<size_t>(1, std::min(kMaxLanes, lanes));
}

void CHttpDownloader::SetStop(bool stop) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_bStop.store(stop, std::memory_order_release);
    }
    if (stop) m_stopSignal.notify_all();
}

void CHttpDownloader::Abandon() {
    m_bDiscardStopped.store(true);
    SetStop(true);
    std::shared_ptr<StatusSink> sink = NotifySink();
    if (sink) sink->Disconnect();
}

bool CHttpDownloader::StopIfSilentFor(int64_t seconds, std::string& fileName) {
    if (m_transferring.load() == 0 || m_platform->NowSeconds() - m_lastHeard.load() < seconds)
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
    return CreateSession(m_lane, agent, notify);
}

bool CHttpDownloader::CreateSession(Lane& lane, const std::string& agent,
                                    const std::shared_ptr<StatusSink>& notify) {
    lane.Close();
    std::string error;
    std::unique_ptr<InternetSession> internet = m_platform->OpenSession(agent, error);
    if (!internet) {
        m_platform->Trace("CreateSession failed: " + error);
        lane.sessionError = error;
        return false;
    }
    lane.session = std::make_unique<CWebGrabSession>(std::move(internet), notify, *m_platform);
    return true;
}

void CHttpDownloader::CloseSession() { m_lane.Close(); }

void CHttpDownloader::Lane::Close() {
    if (!session) return;
    session->Close();
    session.reset();
}

// The files of one batch, largest first, and what the lanes share of it.
struct CHttpDownloader::Batch {
    struct File {
        std::string url, name;
        uint64_t size = 0;  // the published size; 0 when none was given
    };
    std::vector<File> files;
    std::string targetDir, agent;
    std::shared_ptr<BatchStatus> status;
    std::atomic<size_t> next{0};           // the first file no lane has taken
    std::atomic<bool> anySession{false};   // a lane had a session to report through
    std::mutex thrownLock;
    std::exception_ptr thrown;  // the first exception of a lane
};

void CHttpDownloader::FailBatch() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_bBatchFailed.store(true);
    }
    m_stopSignal.notify_all();
}

bool CHttpDownloader::DownloadAll() {
    Batch batch;
    std::vector<std::string> urls;
    std::shared_ptr<StatusSink> notify;
    size_t lanes = 1;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        urls = m_arrURLs;
        lanes = m_lanes;
        batch.targetDir = m_strTargetDir;
        batch.agent = m_strAgent;
        notify = m_pNotifyWnd;
        for (const std::string& url : urls) {
            Batch::File file{url, std::string(), 0};
            if (url.empty() || !UrlFileName(url, file.name)) continue;
            auto size = m_sizeLimits.find(url);
            if (size != m_sizeLimits.end()) file.size = size->second;
            batch.files.push_back(file);
        }
    }
    // Side by side only when every size is signed: the batch's percentage needs them all from
    // the start, and the largest can go first. Other batches (the configuration) go one by one.
    const bool signedSizes = std::all_of(batch.files.begin(), batch.files.end(),
                                         [](const Batch::File& file) { return file.size > 0; });
    if (!signedSizes) lanes = 1;
    lanes = std::min(lanes, batch.files.size());
    std::vector<uint64_t> sizes;
    if (lanes > 1) {
        // The largest first: the last file to finish is then a small one. One at a time, the
        // files keep the owner's order.
        std::stable_sort(batch.files.begin(), batch.files.end(),
                         [](const Batch::File& a, const Batch::File& b) { return a.size > b.size; });
        for (const Batch::File& file : batch.files) sizes.push_back(file.size);
    }
    m_bBatchFailed.store(false);
    batch.status = std::make_shared<BatchStatus>(notify, std::move(sizes), [this] { FailBatch(); });
    batch.anySession.store(m_lane.session != nullptr);

    Gained();  // the owner's steps between batches are no silence of the servers
    // Every lane has ended when RunLanes returns, whatever way each ended.
    auto lane = [this, &batch](size_t index) {
        try {
            if (index == 0) {
                RunLane(m_lane, batch);
            } else {
                Lane own;
                RunLane(own, batch);
            }
        } catch (...) {
            batch.status->FailQuietly();
            std::lock_guard<std::mutex> hold(batch.thrownLock);
            if (!batch.thrown) batch.thrown = std::current_exception();
        }
    };
    m_platform->RunLanes(lanes, lane);

    {
        // Only what this batch took: the queue holds nothing else while a worker runs.
        std::lock_guard<std::mutex> hold(m_lock);
        size_t taken = urls.size() < m_arrURLs.size() ? urls.size() : m_arrURLs.size();
        m_arrURLs.erase(m_arrURLs.begin(), m_arrURLs.begin() + static_cast<std::ptrdiff_t>(taken));
    }
    if (batch.thrown) std::rethrow_exception(batch.thrown);

    const uint16_t failure = batch.status->HeardFailure();
    const bool outcome = !batch.status->Failed() && !IsStopRequested();
    // A batch that fails ends the visit for its owner: a later one starts with every server.
    if (!outcome) {
        std::lock_guard<std::mutex> hold(m_lock);
        m_hosts = HostBook();
        m_hosts.SetTries(m_retries + 1);
    }
    // Network and file errors close the session: the next download starts a fresh one, and
    // the error was the batch's last word.
    if (failure == STATUS_NET_ERROR || failure == STATUS_FILE_ERROR) {
        CloseSession();
        return false;
    }
    if (notify && batch.anySession.load()) {
        if (outcome) notify->Send(STATUS_DOWNLOAD_COMPLETE, 0, "Download Files Complete!");
        else notify->Send(STATUS_DOWNLOAD_ERROR_CLOSE, 0, "Download Error Close!");
    }
    return outcome;
}

// Takes the batch's next file until none is left or the batch fails or stops.
void CHttpDownloader::RunLane(Lane& lane, Batch& batch) {
    lane.status = batch.status;
    for (;;) {
        // A downloader stopped before the batch still reports the stop with its first file.
        if (m_bBatchFailed.load() || (IsStopRequested() && batch.next.load() > 0)) return;
        const size_t index = batch.next.fetch_add(1);
        if (index >= batch.files.size()) return;
        const Batch::File& file = batch.files[index];
        const std::string path = batch.targetDir + file.name;
        lane.file = index;
        const bool done = DownloadFile(lane, file.url, path, batch.agent, batch.status);
        if (lane.session) batch.anySession.store(true);
        if (!done || Halted()) {
            // The file is closed by now: an owner deleting it while it was open could not.
            if (IsStopRequested() && m_bDiscardStopped.load()) m_platform->RemoveLocalFile(path);
            // A failure already told ends the others; one that could not be told, too.
            batch.status->FailQuietly();
            return;
        }
    }
}

// One file's transfer: the response it reads and the file it writes. Each step closes them in
// the order the statuses need; whatever way out an exception takes, the destructor closes the
// response (before the session can go) and the file.
struct CHttpDownloader::Transfer {
    std::unique_ptr<InternetResponse> response;
    std::unique_ptr<LocalFile> file;
    uint64_t total = 0;
    uint64_t received = 0;  // bytes of the file on the disk, those of earlier tries included
    bool lengthKnown = false;
    std::optional<uint64_t> limit;  // the published size
    std::string url;                // asked of its server (redirects stay on it)

    ~Transfer() {
        CloseResponse();
        std::string ignored;
        CloseFile(ignored);
    }
    void CloseResponse() {
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

// What the tries of one file share: what is on the disk and what the server said of it.
struct CHttpDownloader::Resume {
    uint64_t stored = 0;    // bytes of the file on the disk, valid as far as anyone knows
    std::string validator;  // the first whole answer's ETag or Last-Modified; "" for none
    bool mixed = false;     // stored bytes came from another visit or another server
    std::string failure;    // why the last try ended early
    bool invalid = false;   // the last answer was an error page, not a lost connection

    void Failed(const std::string& why, bool errorPage) {
        failure = why;
        invalid = errorPage;
    }
};

bool CHttpDownloader::DownloadFile(Lane& lane, const std::string& url, const std::string& localPath,
                                   const std::string& agent,
                                   const std::shared_ptr<StatusSink>& notify) {
    std::string fileName;
    if (!UrlFileName(url, fileName)) return false;
    if (!EnsureSession(lane, fileName, agent, notify)) return false;
    CWebGrabSession& session = *lane.session;
    Resume resume;
    int retries = 0;
    uint64_t published = 0;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_strCurrentFile = fileName;
        auto from = m_resumeFrom.find(url);
        if (from != m_resumeFrom.end()) resume.stored = from->second;
        auto size = m_sizeLimits.find(url);
        if (size != m_sizeLimits.end()) published = size->second;
        retries = m_retries;
    }
    Heard();
    m_transferring.fetch_add(1);
    // Whatever way this file ends, the owner's clock stops watching it.
    struct Watched {
        std::atomic<int>& count;
        ~Watched() { count.fetch_sub(1); }
    } watched{m_transferring};
    if (notify) session.m_pNotifyWnd = notify;

    session.m_nTotalSize = 0;
    session.m_nCurrentSize = 0;
    session.SetStatusCode(STATUS_DOWNLOAD_START, 0);
    session.SetStatus("%s - Downloading...", fileName.c_str());
    m_platform->Trace("szURL : " + url);
    if (published > 0 && resume.stored == published) {
        if (TakeStored(lane, fileName, localPath, published)) return true;
        resume.stored = 0;
    }

    resume.mixed = resume.stored > 0;
    const std::vector<std::string> hosts = Hosts(url, fileName);
    bool tried = false;
    for (size_t h = 0; h < hosts.size(); ++h) {
        if (!Usable(hosts[h])) {
            TakeHostFailure(hosts[h], resume);
            continue;
        }
        if (tried) {
            // Another server's version tag means nothing here; the signed check judges, and
            // without one the file starts again rather than join two servers' bytes.
            resume.validator.clear();
            if (!HasFileCheck()) resume.stored = 0;
            resume.mixed = resume.mixed || resume.stored > 0;
            Announce(lane, fileName, "Trying another server...");
        }
        tried = true;
        const Try result = TryHost(lane, hosts[h], localPath, fileName, resume, retries);
        if (result == Try::kStopped) return false;
        if (result == Try::kSkipped) continue;
        // Down, failing or silent after all its tries: the next files go elsewhere at once.
        if (result == Try::kAgain) SetAside(hosts[h]);
        if (result != Try::kDone) continue;
        if (Passes(fileName, localPath)) return true;
        // Not the published file. Bytes from elsewhere may be what spoilt it: this server
        // tries again from the start; otherwise it is not asked for anything more.
        const bool retryHere = resume.mixed;
        // No other server has it: the file stays for the owner's own check to name it, and
        // this server, the last one left, serves the other files.
        if (!retryHere && !AnotherHostAfter(hosts, h)) return true;
        m_platform->RemoveLocalFile(localPath);
        resume = Resume();
        resume.Failed(kNotPublished, false);
        if (retryHere) --h;
        else Ban(hosts[h]);
    }
    return GiveUp(lane, fileName, resume);
}

// The tries of one file at one server: again after an early end, while tries are left.
CHttpDownloader::Try CHttpDownloader::TryHost(Lane& lane, const std::string& url,
                                              const std::string& localPath,
                                              const std::string& fileName, Resume& resume,
                                              int retries) {
    for (int retry = 1;; ++retry) {
        if (VisitOver()) return EndVisit(lane, fileName, nullptr);
        if (!AskHost(url)) {
            if (Halted()) return Stopped(lane);
            TakeHostFailure(url, resume);
            return retry == 1 ? Try::kSkipped : Try::kAgain;
        }
        Heard();  // each try has the owner's whole limit for itself
        Try result = Try::kStopped;
        try {
            result = TryFile(lane, url, localPath, fileName, resume);
        } catch (...) {
            HostAnswered(url, Try::kStopped, resume);
            throw;
        }
        HostAnswered(url, result, resume);
        if (result != Try::kAgain) return result;
        m_platform->Trace(fileName + " ended early: " + resume.failure);
        if (retry > retries) return Try::kAgain;
        if (!WaitToRetry(lane, url, fileName, retry)) return Stopped(lane);
    }
}

CHttpDownloader::Try CHttpDownloader::Stopped(Lane& lane) {
    lane.session->SetStatusCode(STATUS_USER_STOP, 0);
    lane.session->SetStatus("User Stop!");
    return Try::kStopped;
}

std::vector<std::string> CHttpDownloader::Hosts(const std::string& url,
                                                const std::string& fileName) const {
    std::vector<std::string> hosts{url};
    std::lock_guard<std::mutex> hold(m_lock);
    for (const std::string& mirror : m_mirrors) hosts.push_back(mirror + fileName);
    return hosts;
}

bool CHttpDownloader::AnotherHostAfter(const std::vector<std::string>& hosts, size_t h) const {
    for (size_t next = h + 1; next < hosts.size(); ++next)
        if (Usable(hosts[next])) return true;
    return false;
}

void CHttpDownloader::SetAside(const std::string& url) {
    m_platform->Trace("set aside for this visit: " + HostOf(url));
    std::lock_guard<std::mutex> hold(m_lock);
    m_hosts.SetAside(HostOf(url));
}

bool CHttpDownloader::AskHost(const std::string& url) {
    const std::string host = HostOf(url);
    std::unique_lock<std::mutex> hold(m_lock);
    // Each wait ends with another lane's try, whose own bounds end it, or with a halt.
    m_stopSignal.wait(hold, [&] {
        return Halted() || !m_hosts.Usable(host) || m_hosts.MayAsk(host);
    });
    if (Halted() || !m_hosts.MayAsk(host)) return false;
    m_hosts.Asking(host);
    return true;
}

// Only what says the server is failing counts against it: an early end (refused, reset, a 5xx
// answer, silent), not an error page or a wrong file. A byte forgives the failures before it.
void CHttpDownloader::HostAnswered(const std::string& url, Try result, const Resume& resume) {
    bool setAside = false;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        setAside = m_hosts.Answered(HostOf(url), result == Try::kAgain, resume.failure,
                                    resume.invalid);
    }
    if (setAside) m_platform->Trace("set aside for this visit: " + HostOf(url));
    m_stopSignal.notify_all();
}

void CHttpDownloader::HostGave(const std::string& url) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_hosts.Gave(HostOf(url));
    }
    m_stopSignal.notify_all();
}

void CHttpDownloader::TakeHostFailure(const std::string& url, Resume& resume) const {
    if (!resume.failure.empty()) return;
    bool errorPage = false;
    std::string why;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        why = m_hosts.Failure(HostOf(url), &errorPage);
    }
    resume.Failed(why.empty() ? "the server failed earlier in this visit" : why, errorPage);
}

bool CHttpDownloader::HasFileCheck() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return static_cast<bool>(m_fileCheck);
}

// The clock is read outside the lock: a platform may call back into the owner's side.
bool CHttpDownloader::VisitOver() const {
    const int64_t now = m_platform->NowSeconds();
    std::lock_guard<std::mutex> hold(m_lock);
    return now - m_visitGainedAt.load() >= m_limits.visitSeconds;
}

// The response and the file go before the session does: the library may close a request with
// its session, and a second close could end someone else's.
CHttpDownloader::Try CHttpDownloader::EndVisit(Lane& lane, const std::string& fileName, Transfer* transfer) {
    if (transfer) {
        std::string ignored;
        transfer->CloseResponse();
        transfer->CloseFile(ignored);
    }
    int64_t bound = 0;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        bound = m_limits.visitSeconds;
    }
    ReportNetError(lane, fileName, "nothing came from any server for " + std::to_string(bound) +
                                 " seconds");
    return Try::kStopped;
}

// A byte of any file, or the start of a batch: the visit is getting somewhere.
void CHttpDownloader::Gained() { m_visitGainedAt.store(m_platform->NowSeconds()); }

bool CHttpDownloader::Usable(const std::string& url) const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_hosts.Usable(HostOf(url));
}

void CHttpDownloader::Ban(const std::string& url) {
    m_platform->Trace("not asked again: " + HostOf(url));
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_hosts.Ban(HostOf(url));
    }
    m_stopSignal.notify_all();
}

bool CHttpDownloader::TakeStored(Lane& lane, const std::string& fileName,
                                 const std::string& localPath, uint64_t size) {
    if (!HasFileCheck() || !Passes(fileName, localPath)) {
        m_platform->Trace("stored file refused: " + fileName);
        m_platform->RemoveLocalFile(localPath);
        return false;
    }
    CWebGrabSession& session = *lane.session;
    session.m_nTotalSize = size;
    session.m_nCurrentSize = size;
    if (lane.status) lane.status->Progress(lane.file, size, size);
    session.SetStatusCode(STATUS_DOWNLOAD_END, 0);
    session.SetStatus("%s - Download End!", fileName.c_str());
    Gained();
    return true;
}

bool CHttpDownloader::Passes(const std::string& fileName, const std::string& localPath) const {
    FileCheck check;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        check = m_fileCheck;
    }
    return !check || check(fileName, localPath);
}

void CHttpDownloader::Announce(Lane& lane, const std::string& fileName, const char* what) {
    lane.session->SetStatusCode(STATUS_DOWNLOAD_RETRY, 0);
    lane.session->SetStatus("%s - %s", fileName.c_str(), what);
}

CHttpDownloader::Try CHttpDownloader::TryFile(Lane& lane, const std::string& url, const std::string& localPath,
                                              const std::string& fileName, Resume& resume) {
    Transfer transfer;
    transfer.url = url;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        auto limit = m_sizeLimits.find(url);
        if (limit != m_sizeLimits.end()) transfer.limit = limit->second;
    }
    const Try opened = OpenResponse(lane, url, fileName, transfer, resume);
    if (opened != Try::kDone) return opened;
    if (Halted()) return EndStopped(lane, transfer);
    Heard();  // the headers
    std::string error;
    // A continued file keeps what it has; otherwise it starts empty.
    transfer.file = transfer.received > 0
                        ? m_platform->ContinueLocalFile(localPath, transfer.received, error)
                        : m_platform->CreateLocalFile(localPath, error);
    if (!transfer.file && transfer.received > 0) {
        // Shorter than thought (or gone): the next try fetches it whole.
        transfer.CloseResponse();
        resume.stored = 0;
        resume.Failed(error, false);
        return Try::kAgain;
    }
    if (!transfer.file) {
        transfer.CloseResponse();
        ReportFileError(lane, fileName, error);
        return Try::kStopped;
    }
    return ReceiveBody(lane, fileName, transfer, resume);
}

// No try is left: the player hears why the last one ended.
bool CHttpDownloader::GiveUp(Lane& lane, const std::string& fileName, const Resume& resume) {
    if (resume.invalid) {
        lane.session->SetStatusCode(STATUS_URL_INVALID, 0);
        lane.session->SetStatus("%s is Invalid!", fileName.c_str());
    } else {
        ReportNetError(lane, fileName, resume.failure);
    }
    return false;
}

bool CHttpDownloader::WaitToRetry(Lane& lane, const std::string& url, const std::string& fileName,
                                  int retry) {
    uint32_t baseMs = 0;
    int retries = 0;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        baseMs = m_retryDelayMs;
        retries = m_retries;
    }
    lane.session->SetStatusCode(STATUS_DOWNLOAD_RETRY, 0);
    lane.session->SetStatus("%s - Retrying (%d/%d)...", fileName.c_str(), retry, retries);
    std::unique_lock<std::mutex> hold(m_lock);
    const uint32_t delay = RetryDelayMs(retry, baseMs, m_random());
    // Another lane setting the server aside ends the wait too: the next server is asked at once.
    const std::string host = HostOf(url);
    m_stopSignal.wait_for(hold, std::chrono::milliseconds(delay),
                          [&] { return Halted() || !m_hosts.Usable(host); });
    const bool stopped = Halted();
    hold.unlock();
    Heard();  // the next try starts its own wait for the server
    return !stopped;
}

bool CHttpDownloader::EnsureSession(Lane& lane, const std::string& fileName, const std::string& agent,
                                    const std::shared_ptr<StatusSink>& notify) {
    if (lane.session || CreateSession(lane, agent, notify)) return true;
    // Without any status the owner would wait for this batch for ever.
    if (!notify) return false;
    std::string message = lane.sessionError;
    CutText(message, kMaxErrorMessage, m_isLead);
    std::string text = fileName + " - " + message;  // as the session would say it
    CutText(text, kStatusTextSize - 1, m_isLead);
    notify->Send(STATUS_NET_ERROR, 0, text.c_str());
    return false;
}

CHttpDownloader::Try CHttpDownloader::OpenResponse(Lane& lane, const std::string& url,
                                                   const std::string& fileName,
                                                   Transfer& transfer, Resume& resume) {
    CWebGrabSession& session = *lane.session;
    std::string error, current = url;
    // Only the rest of a file already begun; If-Range makes a changed file come whole.
    std::string headers;
    if (resume.stored > 0) {
        headers = "Range: bytes=" + std::string(Decimal(resume.stored).start) + "-\r\n";
        if (!resume.validator.empty()) headers += "If-Range: " + resume.validator + "\r\n";
    }
    OpenOutcome opened = OpenOutcome::NoResponse;
    const int64_t asked = m_platform->NowSeconds();
    int64_t headersBound = 0;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        headersBound = m_limits.headersSeconds;
    }
    for (int hops = 0;; ++hops) {
        // Another scheme gives no HTTP response to read a length or a status from.
        opened = IsHttpUrl(current)
                     ? session.Internet().OpenUrl(current, headers, transfer.response, error)
                     : OpenOutcome::NoResponse;
        if (opened == OpenOutcome::Quiet) {
            // Nothing yet: asked again, until a stop, the visit's end or the try's bound.
            if (Halted()) return EndStopped(lane, transfer);
            if (VisitOver()) return EndVisit(lane, fileName, &transfer);
            if (m_platform->NowSeconds() - asked < headersBound) {
                --hops;
                continue;
            }
            resume.Failed("no answer from the server for " + std::to_string(headersBound) +
                              " seconds",
                          false);
            return Try::kAgain;
        }
        if (opened == OpenOutcome::Failed) {
            // The wait for the server that a stop abandoned.
            if (Halted()) return EndStopped(lane, transfer);
            transfer.CloseResponse();
            resume.Failed(error, false);
            return Try::kAgain;
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
            resume.Failed(next.empty() ? kRedirectRefused : kTooManyRedirects, false);
            return Try::kRefused;
        }
        current = next;
    }
    if (opened != OpenOutcome::Opened || !transfer.response) {
        resume.Failed("no answer", true);
        return Try::kRefused;
    }
    return TakeAnswer(lane, fileName, transfer, resume);
}

// The answer's status and lengths: the file whole, its rest, or a failure.
CHttpDownloader::Try CHttpDownloader::TakeAnswer(Lane& lane, const std::string& /*fileName*/, Transfer& transfer,
                                                 Resume& resume) {
    CWebGrabSession& session = *lane.session;
    InternetResponse& response = *transfer.response;
    const int status = response.HttpStatus();
    // A server in trouble, or one that closed the connection before any status, may answer
    // the next try.
    if (status == 0 || (status >= 500 && status <= 599)) {
        transfer.CloseResponse();
        resume.Failed(status ? "HTTP " + std::to_string(status) : "no answer", true);
        return Try::kAgain;
    }
    std::string lengthText, range;
    const bool rest = status == 206 && resume.stored > 0;
    // An error page (404, ...) is not the file: never store it. Without Content-Length (a
    // chunked body) only a file of published size is taken.
    if ((!rest && (status == 206 || !IsSuccess(status))) ||
        (!response.QueryContentLength(lengthText) && !transfer.limit)) {
        transfer.CloseResponse();
        resume.Failed("HTTP " + std::to_string(status), true);
        return Try::kRefused;
    }
    if (rest) {
        uint64_t total = 0;
        // Only the rest of this very file, from where it stopped, is taken.
        if (!response.QueryHeader(ResponseHeader::kContentRange, range) ||
            !ParseContentRange(range, resume.stored, &total)) {
            transfer.CloseResponse();
            resume.stored = 0;
            resume.Failed("the server did not continue the file where it stopped", false);
            return Try::kAgain;
        }
        transfer.received = resume.stored;
        transfer.total = total;
        transfer.lengthKnown = true;
    } else {
        // The whole file: what identifies this version of it lets a later try continue it.
        resume.stored = 0;
        resume.mixed = false;
        if (!response.QueryHeader(ResponseHeader::kETag, resume.validator) &&
            !response.QueryHeader(ResponseHeader::kLastModified, resume.validator))
            resume.validator.clear();
        transfer.lengthKnown = ParseContentLength(lengthText, transfer.total);
    }
    if (transfer.limit && transfer.lengthKnown && transfer.total > *transfer.limit) {
        transfer.CloseResponse();
        resume.Failed(kLongerThanPublished, false);
        return Try::kRefused;
    }
    if (transfer.limit && !transfer.lengthKnown) transfer.total = *transfer.limit;
    session.m_nTotalSize = transfer.total;
    m_platform->Trace("m_nTotalSize : " + std::string(Decimal(transfer.total).start));
    return Try::kDone;
}

CHttpDownloader::Try CHttpDownloader::ReceiveBody(Lane& lane, const std::string& fileName,
                                                  Transfer& transfer, Resume& resume) {
    CWebGrabSession& session = *lane.session;
    std::string error, ignored;
    const int64_t start = m_platform->NowSeconds();
    const uint64_t startedAt = transfer.received;
    uint64_t& received = transfer.received;
    TransferLimits limits;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        limits = m_limits;
    }
    // The last byte, and the rate floor's window: its start and what came in it.
    int64_t lastByte = start, windowStart = start;
    uint64_t windowBytes = 0;
    // What the next try can build on: every byte written so far.
    auto endedEarly = [&](const std::string& why) {
        transfer.CloseFile(ignored);
        transfer.CloseResponse();
        resume.stored = received;
        resume.Failed(why, false);
        return Try::kAgain;
    };
    for (;;) {
        if (Halted()) return EndStopped(lane, transfer);
        if (VisitOver()) return EndVisit(lane, fileName, &transfer);
        const int64_t now = m_platform->NowSeconds();
        if (now - lastByte >= limits.silenceSeconds)
            return endedEarly("no data from the server for " +
                              std::to_string(limits.silenceSeconds) + " seconds");
        if (now - windowStart >= limits.silenceSeconds) {
            if (windowBytes < limits.floorBytes)
                return endedEarly("fewer than " + std::to_string(limits.floorBytes) +
                                  " bytes in " + std::to_string(limits.silenceSeconds) +
                                  " seconds");
            windowStart = now;
            windowBytes = 0;
        }
        size_t got = 0;
        // A body of known length ends with its last byte: asking for more would wait for the
        // server to close a connection it keeps open.
        const bool whole = transfer.lengthKnown && received == transfer.total;
        const ReadOutcome read = whole ? ReadOutcome::kEnded
                                       : transfer.response->Read(lane.buffer, kReadChunk, got, error);
        if (read == ReadOutcome::kFailed) return endedEarly(error);
        if (read == ReadOutcome::kQuiet) continue;
        if (read == ReadOutcome::kEnded) {
            // The library ends a body early without an error when the server closes the
            // connection: a short body is a broken transfer, not a complete file.
            if (transfer.lengthKnown && received < transfer.total)
                return endedEarly(session.Internet().TruncatedBodyMessage());
            transfer.CloseResponse();
            if (!transfer.CloseFile(error)) {
                ReportFileError(lane, fileName, error);
                return Try::kStopped;
            }
            session.SetStatusCode(STATUS_DOWNLOAD_END, 0);
            session.SetStatus("%s - Download End!", fileName.c_str());
            Gained();
            return Try::kDone;
        }
        // Never more than the published size is stored.
        if (transfer.limit && got > *transfer.limit - received) {
            transfer.CloseFile(ignored);
            transfer.CloseResponse();
            resume.stored = 0;
            resume.Failed(kLongerThanPublished, false);
            return Try::kRefused;
        }
        if (!transfer.file->Write(lane.buffer, got, error)) {
            transfer.CloseFile(ignored);
            transfer.CloseResponse();
            ReportFileError(lane, fileName, error);
            return Try::kStopped;
        }
        if (received == startedAt) HostGave(transfer.url);  // the server is alive
        received += got;
        lastByte = m_platform->NowSeconds();
        windowBytes += got;
        Gained();
        Heard();
        session.SetStatusCode(STATUS_DOWNLOAD_SIZE, received);
        if (lane.status) lane.status->Progress(lane.file, received, transfer.total);
        ReportProgress(lane, fileName, received, received - startedAt, start);
    }
}

CHttpDownloader::Try CHttpDownloader::EndStopped(Lane& lane, Transfer& transfer) {
    std::string ignored;
    lane.session->SetStatusCode(STATUS_USER_STOP, 0);
    lane.session->SetStatus("User Stop!");
    transfer.CloseResponse();
    transfer.CloseFile(ignored);  // the partial file stays; a close error adds nothing
    return Try::kStopped;
}

void CHttpDownloader::ReportProgress(Lane& lane, const std::string& fileName, uint64_t received,
                                     uint64_t thisTry, int64_t startSeconds) {
    Decimal count(received);
    int64_t elapsed = m_platform->NowSeconds() - startSeconds;
    if (elapsed > 0) {
        double rate = static_cast<double>(thisTry) / 1024.0 / static_cast<double>(elapsed);
        lane.session->SetStatus("%s - Read %s bytes (%0.1f Kb/s)", fileName.c_str(), count.start,
                              rate);
    } else {
        lane.session->SetStatus("%s - Read %s bytes", fileName.c_str(), count.start);
    }
}

// Network and file errors close the session: the next download starts a fresh one.
void CHttpDownloader::ReportNetError(Lane& lane, const std::string& fileName, std::string message) {
    CutText(message, kMaxErrorMessage, m_isLead);
    lane.session->SetStatusCode(STATUS_NET_ERROR, 0);
    lane.session->SetStatus("%s - %s", fileName.c_str(), message.c_str());
    lane.Close();
}

void CHttpDownloader::ReportFileError(Lane& lane, const std::string& fileName, std::string message) {
    CutText(message, kMaxErrorMessage, m_isLead);
    lane.session->SetStatusCode(STATUS_FILE_ERROR, 0);
    lane.session->SetStatus("%s - %s", fileName.c_str(), message.c_str());
    lane.Close();
}

}  // namespace tavrin
