// The download worker thread: the running-client check first, then the busy animation, then
// the whole batch. The thread holds the downloader by shared ownership, so the owner may let
// go of it (after Abandon) without waiting for the thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

#include "download/http_downloader.h"
#include "system/process_win.h"
#include "win/handles.h"

namespace tavrin {

// The animation control that a worker starts playing before it downloads; null means none.
// The updater sets it; a worker reads it once, at its start. A window handle, not an object
// pointer: a window destroyed meanwhile only makes the message go nowhere.
extern std::atomic<HWND> g_pBusyAnimate;

// StopRunningProcess(owner, exeName): 0 not running, 1 ended, negative when refused or failed.
using RunningClientCheck = int (*)(HWND owner, const char* exeName);

struct DownloadThreadStart {
    std::shared_ptr<CHttpDownloader> downloader;
    // Owner of its questions: the window of the downloader's status sink. Tests put a fake
    // here; null means no check at all (the benchmark's engine).
    RunningClientCheck stopRunningClient = &StopRunningProcess;
};

// The thread entry; param is a DownloadThreadStart made with new, which it deletes. Returns 0.
UINT DownloadThreadProc(LPVOID param);

// Starts DownloadThreadProc on a new thread at normal priority; the handle may be closed at
// once (the thread ends by itself). Null when no thread could be started.
win::Handle BeginDownloadThread(std::shared_ptr<CHttpDownloader> downloader,
                               RunningClientCheck stopRunningClient = &StopRunningProcess);

}  // namespace tavrin
