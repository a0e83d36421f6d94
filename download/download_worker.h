// What a download worker does for one batch: the owner's step before it (which may refuse the
// batch), the owner's step at its start, then the queue. The owner's steps come in as
// WorkerOps; the engine knows nothing of what they are.
#pragma once

#include "download/http_downloader.h"

namespace tavrin {

class WorkerOps {
public:
    virtual ~WorkerOps() = default;
    // Before anything is downloaded: false ends the batch there, the owner hearing
    // STATUS_CLIENT_RUNNING ("User Stop!").
    virtual bool BeforeBatch() = 0;
    // Once the batch may run, before its first request.
    virtual void AtBatchStart() = 0;
};

// Runs the batch; never throws (the caller is a thread entry).
void RunDownloadWorker(CHttpDownloader& downloader, WorkerOps& ops);

}  // namespace tavrin
