// The updater's download worker: before each batch the running-client check, asked on the
// update dialog's thread, and at its start the busy animation the dialog named.
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
extern std::atomic<HWND> g_pBusyAnimate;

// The running-client question is asked on the thread that owns the status window: the worker
// sends it WM_ASK_RUNNING_CLIENT and waits. The window runs the check (StopRunningProcess: 0
// not running, 1 ended, negative when refused or failed) and answers with this.
LRESULT RunningClientAnswer(int checkResult);

// Starts a worker for the downloader's queue with the updater's steps; the question goes to
// the window of the downloader's status sink. Null when no thread could be started.
win::Handle BeginUpdaterWorker(std::shared_ptr<CHttpDownloader> downloader);

}  // namespace tavrin
