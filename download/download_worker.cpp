#include "download/download_worker.h"

#include <exception>

namespace tavrin {

void RunDownloadWorker(CHttpDownloader& downloader, WorkerOps& ops) {
    std::shared_ptr<StatusSink> notify;
    try {
        notify = downloader.NotifySink();
        // An owner that went away before the worker ran wants no question and no download.
        if (notify && !notify->connected()) return;
        if (!ops.BeforeBatch()) {
            if (notify) notify->Send(STATUS_CLIENT_RUNNING, 0, "User Stop!");
            return;
        }
        ops.AtBatchStart();
        downloader.DownloadAll();
    } catch (...) {
        // The owner waits for the batch's last word: without one it would wait for ever.
        try {
            if (notify) notify->Send(STATUS_DOWNLOAD_ERROR_CLOSE, 0, "Download Error Close!");
        } catch (...) {
        }
    }
}

}  // namespace tavrin
