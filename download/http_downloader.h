// The downloader: a queue of URLs fetched into a folder, one after another or, when the owner
// asks and every size is signed (LimitSize), several side by side, the largest first; every
// step reported through the status sink. The owner fills the queue and names the target on its own
// thread, then one worker runs DownloadAll. The owner and the worker share the downloader
// (std::shared_ptr), so it lives as long as the worker needs it; an owner that goes away calls
// Abandon and the worker finishes quietly.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "download/batch_status.h"
#include "download/download_platform.h"
#include "download/host_book.h"
#include "download/status_codes.h"
#include "download/status_sink.h"
#include "download/transfer_limits.h"
#include "download/web_grab_session.h"

namespace tavrin {

// Transfers at once. Each has its own session and connection, so one file's request and first
// round trip overlap another's body and the line is never idle between files; four cover the
// round trips of a batch of small packages on a home line, while more would only split the
// line's rate further and take more of the servers' connections.
constexpr size_t kMaxLanes = 4;

class CHttpDownloader {
public:
    explicit CHttpDownloader(std::shared_ptr<DownloadPlatform> platform);
    ~CHttpDownloader();
    CHttpDownloader(const CHttpDownloader&) = delete;
    CHttpDownloader& operator=(const CHttpDownloader&) = delete;

    // Owner's side. targetDir, in UTF-8, is used verbatim as the prefix of local paths (end it
    // with "\"); each file is named by the last segment of its URL.
    void SetTarget(std::shared_ptr<StatusSink> notify, const std::string& agent,
                   const std::string& targetDir);
    void AddURL(const std::string& url);  // an empty URL is ignored
    // The published size of what url names: a longer body is not read past it and fails the
    // download, and a response without Content-Length is taken.
    void LimitSize(const std::string& url, uint64_t bytes);
    // The first `bytes` of what url names are already in its file (left by an earlier visit):
    // the download asks only for the rest. A file that proves shorter is fetched whole. When
    // that is the whole published size (LimitSize), no server is asked unless the file check
    // refuses the file: it is then deleted and fetched whole.
    void ResumeFrom(const std::string& url, uint64_t bytes);
    // A file that ends early (the connection lost, a silent server, a 5xx answer) is tried
    // again up to `retries` times, continuing after the bytes it stored where the server
    // allows (retry_policy.h).
    void SetRetryPolicy(int retries, uint32_t firstDelayMs);
    // Where else the packages are: folder URLs ending in "/", tried in order after the queued
    // URL's own server for each file, continuing after the bytes stored. A server whose file
    // fails the check is not asked for anything more; one that fails (refused, reset, a 5xx
    // answer, silent) after its own tries, counted over every lane (host_book.h), is set aside
    // for the rest of the visit, so that the next files go straight to the next server. A
    // batch that fails ends the visit: the next one starts with every server again.
    void SetMirrors(const std::vector<std::string>& folders);
    // Judges each whole file on the worker's thread (its name and local path); one that fails
    // is deleted and fetched again from the next server. When no server is left, the last one
    // stays for the owner to refuse by name. None: every file passes.
    using FileCheck = std::function<bool(const std::string& fileName, const std::string& path)>;
    void SetFileCheck(FileCheck check);
    // The bounds of every wait (transfer_limits.h); DefaultTransferLimits() unless set.
    void SetLimits(const TransferLimits& limits);
    // Transfers at once, at most kMaxLanes; 1 (the default): one file after another.
    void SetLanes(size_t lanes);
    // Nothing resets a stop: a stopped downloader stays stopped. The worker sees it within a
    // slice of the session's waits (internet_session.h) and lets go of the request itself;
    // no handle is touched from this thread.
    void SetStop(bool stop);
    bool IsStopRequested() const { return m_bStop.load(std::memory_order_acquire); }
    // The owner's window goes away: stop as above, send nothing more, and delete the file that
    // was being written once the worker has let go of it.
    void Abandon();
    // The owner throws the downloaded files away after a stop. The file the worker is writing
    // cannot be deleted while it is open, so the worker deletes it itself once it has let go.
    void DiscardStoppedFile() { m_bDiscardStopped.store(true); }
    // The owner's own clock on a silent server: when the try under way has brought nothing
    // (not its headers, not another byte) for `seconds`, the downloader stops as above, the
    // worker deletes that file once it lets go, and fileName names it. False otherwise. The
    // clock starts again with every try and every server.
    bool StopIfSilentFor(int64_t seconds, std::string& fileName);
    std::shared_ptr<StatusSink> NotifySink() const;
    std::vector<std::string> QueuedURLs() const;

    // Worker's side.
    bool DownloadAll();
    bool CreateSession(const std::string& agent, const std::shared_ptr<StatusSink>& notify);
    void CloseSession();
    bool HasSession() const { return m_lane.session != nullptr; }

private:
    struct Transfer;
    struct Resume;
    struct Batch;
    // What one transfer at a time needs for itself: its session (and connection), its buffer,
    // and the batch it reports to.
    struct Lane {
        std::unique_ptr<CWebGrabSession> session;
        std::string sessionError;  // why the last CreateSession failed
        std::shared_ptr<BatchStatus> status;
        size_t file = 0;  // the batch's index of the file under way
        char buffer[kReadBufferSize];
        ~Lane() { Close(); }
        void Close();
    };
    void RunLane(Lane& lane, Batch& batch);
    bool DownloadFile(Lane& lane, const std::string& url, const std::string& localPath,
                      const std::string& agent, const std::shared_ptr<StatusSink>& notify);
    bool CreateSession(Lane& lane, const std::string& agent,
                       const std::shared_ptr<StatusSink>& notify);
    // A stop of the owner's, or a failure of another transfer of the batch.
    bool Halted() const { return IsStopRequested() || m_bBatchFailed.load(); }
    void FailBatch();
    // kStopped: stopped, or the file cannot be stored (reported); kAgain: ended early, worth
    // another try; kRefused: this server will not give it (an error page, a refused redirect,
    // a longer file), so the next server may; kSkipped: the server was not asked, another lane
    // having found it failing or wrong.
    enum class Try { kDone, kStopped, kAgain, kRefused, kSkipped };
    // The steps of DownloadFile: a session to carry the statuses, the response (a checked
    // status and length), then the body into the file.
    bool EnsureSession(Lane& lane, const std::string& fileName, const std::string& agent,
                       const std::shared_ptr<StatusSink>& notify);
    Try TryHost(Lane& lane, const std::string& url, const std::string& localPath,
                const std::string& fileName, Resume& resume, int retries);
    Try TryFile(Lane& lane, const std::string& url, const std::string& localPath,
                const std::string& fileName, Resume& resume);
    // url first, then the same file at each mirror.
    std::vector<std::string> Hosts(const std::string& url, const std::string& fileName) const;
    bool Usable(const std::string& url) const;
    bool AnotherHostAfter(const std::vector<std::string>& hosts, size_t h) const;
    void Ban(const std::string& url);
    void SetAside(const std::string& url);
    // False when the server is not to be asked (set aside or banned, perhaps while this lane
    // waited for the outcome of its last tries under way elsewhere) or the batch halted.
    bool AskHost(const std::string& url);
    void HostAnswered(const std::string& url, Try result, const Resume& resume);
    void HostGave(const std::string& url);
    // A file that cannot ask a server reports why that server failed, if nothing else.
    void TakeHostFailure(const std::string& url, Resume& resume) const;
    bool HasFileCheck() const;
    Try Stopped(Lane& lane);
    // The visit has gained nothing for its bound; EndVisit tells the player so.
    bool VisitOver() const;
    Try EndVisit(Lane& lane, const std::string& fileName, Transfer* transfer);
    void Gained();
    bool Passes(const std::string& fileName, const std::string& localPath) const;
    // A file stored at its published size, taken when the check passes it; false (the file
    // deleted) otherwise.
    bool TakeStored(Lane& lane, const std::string& fileName, const std::string& localPath,
                    uint64_t size);
    void Announce(Lane& lane, const std::string& fileName, const char* what);
    Try OpenResponse(Lane& lane, const std::string& url, const std::string& fileName, Transfer& transfer,
                     Resume& resume);
    Try TakeAnswer(Lane& lane, const std::string& fileName, Transfer& transfer, Resume& resume);
    Try ReceiveBody(Lane& lane, const std::string& fileName, Transfer& transfer, Resume& resume);
    Try EndStopped(Lane& lane, Transfer& transfer);
    bool GiveUp(Lane& lane, const std::string& fileName, const Resume& resume);
    // False when a stop came during the wait.
    bool WaitToRetry(Lane& lane, const std::string& url, const std::string& fileName, int retry);
    void Heard() { m_lastHeard.store(m_platform->NowSeconds()); }

    void ReportNetError(Lane& lane, const std::string& fileName, std::string message);
    void ReportFileError(Lane& lane, const std::string& fileName, std::string message);
    // received: of the whole file; thisTry: of the try under way, whose rate is shown.
    void ReportProgress(Lane& lane, const std::string& fileName, uint64_t received, uint64_t thisTry,
                        int64_t startSeconds);

    const std::shared_ptr<DownloadPlatform> m_platform;
    LeadBytePredicate m_isLead;

    mutable std::mutex m_lock;  // the owner's fields below, set from the owner's thread
    std::string m_strTargetDir;
    std::shared_ptr<StatusSink> m_pNotifyWnd;
    std::string m_strAgent;
    std::vector<std::string> m_arrURLs;
    std::map<std::string, uint64_t> m_sizeLimits;  // by URL
    std::map<std::string, uint64_t> m_resumeFrom;  // by URL
    std::vector<std::string> m_mirrors;
    HostBook m_hosts;  // by folder URL: failing and wrong servers, over the visit's lanes
    TransferLimits m_limits;
    FileCheck m_fileCheck;
    int m_retries;
    size_t m_lanes = 1;
    uint32_t m_retryDelayMs;
    std::minstd_rand m_random;  // the jitter of the waits (m_lock)

    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bBatchFailed{false};  // a transfer of this batch failed: all end
    // Ends a wait between tries, or for a failing server's tries under way (with m_lock).
    std::condition_variable m_stopSignal;
    std::atomic<bool> m_bDiscardStopped{false};
    // What the owner's clock reads: the file started last (m_lock) and when any transfer last
    // brought anything; m_transferring counts the files under way.
    std::string m_strCurrentFile;
    std::atomic<int64_t> m_lastHeard{0};
    std::atomic<int> m_transferring{0};
    std::atomic<int64_t> m_visitGainedAt{0};  // when the visit last gained a byte

    // The worker's first lane; its session lasts from batch to batch.
    Lane m_lane;
};

}  // namespace tavrin
