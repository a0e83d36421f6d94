#include "updater/update_worker_win.h"

#include <commctrl.h>

#include "download/download_thread_win.h"
#include "download/window_status_sink_win.h"
#include "resources/window_messages.h"

namespace tavrin {

std::atomic<HWND> g_pBusyAnimate{nullptr};

namespace {

// Answers travel as the check's result + 3, so that 0 stays "nobody answered".
constexpr LRESULT kAnswerBias = 3;

class UpdaterWorkerOps : public WorkerOps {
public:
    explicit UpdaterWorkerOps(HWND owner) : m_owner(owner) {}

    // A window that is gone (or never answers) is a refusal: nothing is installed behind a
    // question nobody saw.
    bool BeforeBatch() override {
        const LRESULT answer = m_owner ? ::SendMessageW(m_owner, WM_ASK_RUNNING_CLIENT, 0, 0) : 0;
        return answer > 0 && answer - kAnswerBias >= 0;
    }

    void AtBatchStart() override {
        if (HWND animation = g_pBusyAnimate.load())
            ::SendMessageA(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, -1));
    }

private:
    HWND m_owner;
};

}  // namespace

LRESULT RunningClientAnswer(int checkResult) {
    return checkResult < -2 ? 1 : checkResult + kAnswerBias;
}

win::Handle BeginUpdaterWorker(std::shared_ptr<CHttpDownloader> downloader) {
    auto window = std::dynamic_pointer_cast<WindowStatusSink>(downloader->NotifySink());
    return BeginDownloadThread(std::move(downloader),
                               std::make_unique<UpdaterWorkerOps>(window ? window->window() : nullptr));
}

}  // namespace tavrin
