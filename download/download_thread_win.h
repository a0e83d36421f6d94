// The download worker thread: the owner's steps around the batch (WorkerOps), then the whole
// batch. The thread holds the downloader by shared ownership, so the owner may let go of it
// (after Abandon) without waiting for the thread, and it holds the module (see
// win/module_lifetime.h), so a browser that unloads the module meanwhile waits for it.
#pragma once

#include <windows.h>

#include <memory>

#include "download/download_worker.h"
#include "download/http_downloader.h"
#include "win/handles.h"

namespace tavrin {

struct DownloadThreadStart {
    std::shared_ptr<CHttpDownloader> downloader;
    std::unique_ptr<WorkerOps> ops;  // null: the batch alone
};

// The thread's work; param is a DownloadThreadStart made with new, which it deletes. Returns 0.
unsigned DownloadThreadProc(void* param);

// Starts DownloadThreadProc on a new thread of the module, which owns ops; the handle may be
// closed at once (the thread ends by itself). Null when no thread could be started.
win::Handle BeginDownloadThread(std::shared_ptr<CHttpDownloader> downloader,
                               std::unique_ptr<WorkerOps> ops = nullptr);

}  // namespace tavrin
