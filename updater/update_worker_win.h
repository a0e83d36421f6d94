// The updater's download worker: before each batch the running-client check (its scans,
// pauses and termination here, its question on the update dialog's thread), and at its start
// the busy animation the dialog named.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

#include "download/http_downloader.h"
#include "win/handles.h"

namespace tavrin {

// The animation control that a worker starts playing before it downloads; null means none.
// The updater sets it; a worker reads it once, at its start. A window handle, not an object
// pointer: a window destroyed meanwhile only makes the message go nowhere.
extern std::atomic<HWND> g_busyAnimation;

// The running-client check's messages are shown on the thread that owns the status window:
// the worker sends it WM_ASK_RUNNING_CLIENT with one of these and waits for the answer. A
// window that is gone answers 0, which is No: nothing is installed behind a question nobody saw.
enum RunningClientMessage : WPARAM {
    kAskToEndClient = 1,     // answered kAnswerYes or kAnswerNo
    kTellClientNotEnded = 2,  // answered once the player has read it
};
constexpr LRESULT kAnswerNo = 1;
constexpr LRESULT kAnswerYes = 2;

// The running-client check from a worker, its question and message on owner's thread: true
// when no client runs or the player had it ended.
bool EndRunningClientFrom(HWND owner);

// Starts a worker for the downloader's queue with the updater's steps; the question goes to
// the window of the downloader's status sink. Null when no thread could be started.
win::Handle BeginUpdaterWorker(std::shared_ptr<CHttpDownloader> downloader);

}  // namespace tavrin
