#include "download/download_thread_win.h"

#include "win/module_lifetime.h"

namespace tavrin {
namespace {

// A batch with no steps of the owner's around it.
class NoOps : public WorkerOps {
public:
    bool BeforeBatch() override { return true; }
    void AtBatchStart() override {}
};

}  // namespace

unsigned DownloadThreadProc(void* param) {
    std::unique_ptr<DownloadThreadStart> start(static_cast<DownloadThreadStart*>(param));
    if (!start || !start->downloader) return 0;
    NoOps none;
    RunDownloadWorker(*start->downloader, start->ops ? *start->ops : none);
    return 0;
}

win::Handle BeginDownloadThread(std::shared_ptr<CHttpDownloader> downloader,
                               std::unique_ptr<WorkerOps> ops) {
    auto* start = new DownloadThreadStart{std::move(downloader), std::move(ops)};
    win::Handle thread = win::BeginModuleThread(&DownloadThreadProc, start);
    if (!thread) delete start;
    return thread;
}

}  // namespace tavrin
