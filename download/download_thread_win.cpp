#include "download/download_thread_win.h"

#include <commctrl.h>

#include "download/download_worker.h"
#include "download/window_status_sink_win.h"
#include "resources/window_messages.h"
#include "win/module_lifetime.h"

namespace tavrin {

std::atomic<HWND> g_pBusyAnimate{nullptr};

namespace {

// Answers travel as the check's result + 3, so that 0 stays "nobody answered".
constexpr LRESULT kAnswerBias = 3;

class ThreadOps : public WorkerOps {
public:
    ThreadOps(bool check, HWND owner) : m_check(check), m_owner(owner) {}

    int StopRunningClient() override {
        if (!m_check) return 0;
        // A window that is gone (or never answers) is a refusal: nothing is installed
        // behind a question nobody saw.
        const LRESULT answer = m_owner ? ::SendMessageW(m_owner, WM_ASK_RUNNING_CLIENT, 0, 0) : 0;
        return answer > 0 ? static_cast<int>(answer - kAnswerBias) : -1;
    }

    void StartBusyAnimation() override {
        if (HWND animation = g_pBusyAnimate.load())
            ::SendMessageA(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, -1));
    }

private:
    bool m_check;
    HWND m_owner;
};

}  // namespace

LRESULT RunningClientAnswer(int checkResult) {
    return checkResult < -2 ? 1 : checkResult + kAnswerBias;
}

unsigned DownloadThreadProc(void* param) {
    std::unique_ptr<DownloadThreadStart> start(static_cast<DownloadThreadStart*>(param));
    if (!start || !start->downloader) return 0;
    auto window = std::dynamic_pointer_cast<WindowStatusSink>(start->downloader->NotifySink());
    ThreadOps ops(start->checkRunningClient, window ? window->window() : nullptr);
    RunDownloadWorker(*start->downloader, ops);
    return 0;
}

win::Handle BeginDownloadThread(std::shared_ptr<CHttpDownloader> downloader,
                               bool checkRunningClient) {
    auto* start = new DownloadThreadStart{std::move(downloader), checkRunningClient};
    win::Handle thread = win::BeginModuleThread(&DownloadThreadProc, start);
    if (!thread) delete start;
    return thread;
}

}  // namespace tavrin
