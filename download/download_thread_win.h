// The download worker thread: the running-client check first, then the busy animation, then
// the whole batch. The thread holds the downloader by shared ownership, so the owner may let
// go of it (after Abandon) without waiting for the thread, and it holds the module (see
// win/module_lifetime.h), so a browser that unloads the module meanwhile waits for it.
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

struct DownloadThreadStart {
    std::shared_ptr<CHttpDownloader> downloader;
    // False: no running-client check at all (the benchmark's engine).
    bool checkRunningClient = true;
};

// The thread's work; param is a DownloadThreadStart made with new, which it deletes. Returns 0.
unsigned DownloadThreadProc(void* param);

// Starts DownloadThreadProc on a new thread of the module; the handle may be closed at once
// (the thread ends by itself). Null when no thread could be started.
win::Handle BeginDownloadThread(std::shared_ptr<CHttpDownloader> downloader,
                               bool checkRunningClient = true);

}  // namespace tavrin
