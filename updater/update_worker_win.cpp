#include "updater/update_worker_win.h"

#include <commctrl.h>

#include "download/download_thread_win.h"
#include "download/window_status_sink_win.h"
#include "libs/wexlog/wexlog.h"
#include "resources/product_names.h"
#include "resources/window_messages.h"
#include "system/process_win.h"

namespace tavrin {

std::atomic<HWND> g_busyAnimation{nullptr};

namespace {

// The check's messages, sent to the window that owns them; the worker waits for each.
class OwnerDialogue : public StopDialogue {
public:
    explicit OwnerDialogue(HWND owner) : m_owner(owner) {}
    bool AskToEnd() override { return Send(kAskToEndClient) == kAnswerYes; }
    void ShowTerminateFailed() override { Send(kTellClientNotEnded); }

private:
    LRESULT Send(RunningClientMessage what) {
        return m_owner ? ::SendMessageW(m_owner, WM_ASK_RUNNING_CLIENT, what, 0) : 0;
    }
    HWND m_owner;
};

class UpdaterWorkerOps : public WorkerOps {
public:
    explicit UpdaterWorkerOps(HWND owner) : m_owner(owner) {}

    // The batch runs when no client runs, or the player had it ended; never for an owner
    // that is gone.
    bool BeforeBatch() override {
        return m_owner && ::IsWindow(m_owner) && EndRunningClientFrom(m_owner);
    }

    void AtBatchStart() override {
        if (HWND animation = g_busyAnimation.load())
            ::SendMessageA(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, -1));
    }

private:
    HWND m_owner;
};

}  // namespace

bool EndRunningClientFrom(HWND owner) {
    OwnerDialogue dialogue(owner);
    const int result = StopRunningProcess(kClientExe, dialogue);
    WexlogTrace("CDownLoadDlg - running-client check: %d", result);
    return result >= 0;
}

win::Handle BeginUpdaterWorker(std::shared_ptr<CHttpDownloader> downloader) {
    auto window = std::dynamic_pointer_cast<WindowStatusSink>(downloader->NotifySink());
    return BeginDownloadThread(std::move(downloader),
                               std::make_unique<UpdaterWorkerOps>(window ? window->window() : nullptr));
}

}  // namespace tavrin
