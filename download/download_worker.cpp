#include "download/download_worker.h"

#include <exception>

namespace tavrin {

void RunDownloadWorker(CHttpDownloader& downloader, WorkerOps& ops) {
    try {
        std::shared_ptr<StatusSink> notify = downloader.NotifySink();
        // An owner that went away before the worker ran wants no question and no download.
        if (notify && !notify->connected()) return;
        if (ops.StopRunningClient() < 0) {
            if (notify) notify->Send(STATUS_CLIENT_RUNNING, 0, "User Stop!");
            return;
        }
        ops.StartBusyAnimation();
        downloader.DownloadAll();
    } catch (const std::exception&) {
        // Out of memory inside a batch: the worker ends, the owner keeps what it was told.
    }
}

}  // namespace tavrin
