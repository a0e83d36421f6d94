// What a download worker does for one batch: make sure no client is running, start the busy
// animation, download the queue. The two platform steps come in as WorkerOps.
#pragma once

#include "download/http_downloader.h"

namespace tavrin {

class WorkerOps {
public:
    virtual ~WorkerOps() = default;
    // The running-client check for "Orbisan.exe" (its questions owned by the notify window):
    // 0 not running, 1 ended, negative when the user declined or it could not be ended.
    virtual int StopRunningClient() = 0;
    // Plays the animation the owner named for this batch, if any.
    virtual void StartBusyAnimation() = 0;
};

// Runs the batch; never throws (the caller is a thread entry).
void RunDownloadWorker(CHttpDownloader& downloader, WorkerOps& ops);

}  // namespace tavrin
