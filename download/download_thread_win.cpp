#include "download/download_thread_win.h"

#include <commctrl.h>
#include <process.h>

#include "download/download_worker.h"
#include "download/status_codes.h"
#include "download/window_status_sink_win.h"
#include "resources/product_names.h"
#include "win/boundary.h"

namespace tavrin {

std::atomic<HWND> g_pBusyAnimate{nullptr};

namespace {

class ThreadOps : public WorkerOps {
public:
    ThreadOps(RunningClientCheck check, HWND owner) : m_check(check), m_owner(owner) {}

    int StopRunningClient() override { return m_check ? m_check(m_owner, kClientExe) : 0; }

    void StartBusyAnimation() override {
        if (HWND animation = g_pBusyAnimate.load())
            ::SendMessageA(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, -1));
    }

private:
    RunningClientCheck m_check;
    HWND m_owner;
};

unsigned __stdcall ThreadEntry(void* param) { return DownloadThreadProc(param); }

}  // namespace

UINT DownloadThreadProc(LPVOID param) {
    // A failure only ends the batch.
    return win::Guarded("the download thread", UINT(0), [&]() -> UINT {
        std::unique_ptr<DownloadThreadStart> start(static_cast<DownloadThreadStart*>(param));
        if (!start || !start->downloader) return 0;
        auto window = std::dynamic_pointer_cast<WindowStatusSink>(start->downloader->NotifySink());
        ThreadOps ops(start->stopRunningClient, window ? window->window() : nullptr);
        RunDownloadWorker(*start->downloader, ops);
        return 0;
    });
}

win::Handle BeginDownloadThread(std::shared_ptr<CHttpDownloader> downloader,
                               RunningClientCheck stopRunningClient) {
    auto* start = new DownloadThreadStart{std::move(downloader), stopRunningClient};
    uintptr_t thread = ::_beginthreadex(nullptr, 0, ThreadEntry, start, 0, nullptr);
    if (!thread) {
        delete start;
        return win::Handle();
    }
    return win::Handle(reinterpret_cast<HANDLE>(thread));
}

}  // namespace tavrin
