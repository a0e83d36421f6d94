// The updater window (dialog 201): it prepares the folders, downloads the configuration and
// then every package with the progress popup, installs them, writes the shortcuts, tells the
// control and starts the client. Its reactions live in UpdateWorkflow, which talks to its parts
// by role (updater_roles.h): this class is the view, the windows, the questions and the
// downloads; WinFinishing (finish_worker_win.h) is the finishing step and its worker.
//
// Lifetime. A question or message box runs a nested message loop, so while a handler of the
// control, of this dialog or of its popup waits in one, a WM_LAUNCH_DONE, a download status or
// a stop can arrive and end the updater. One rule keeps that safe, in two parts:
// - No object bound to a window is deleted while one of its handlers runs. The control (on its
//   last Release), this dialog (owned by the control) and the popup (owned here) all go through
//   win::WindowObject::DeleteWhenIdle: deleted at once when idle, otherwise hidden and deleted
//   by their outermost handler as it returns.
// - Once Closed, the workflow acts on nothing: every event, and every handler coming back from
//   a question, looks at the state first.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "download/http_downloader.h"
#include "download/window_status_sink_win.h"
#include "resources/window_messages.h"
#include "updater/finish_worker_win.h"
#include "updater/signed_config.h"
#include "updater/update_workflow.h"
#include "widgets/gif_picture_ctrl_win.h"
#include "widgets/percent_progress_ctrl_win.h"
#include "widgets/progress_popup_dlg_win.h"
#include "win/window.h"

namespace tavrin {

class CDownLoadDlg : public win::CDialog,
                     private UpdateView,
                     private UpdaterWindows,
                     private PlayerDialogue,
                     private DownloadBatch,
                     private UpdateTrace {
public:
    // module: holds the templates, the clip and the picture; control: gets WM_LAUNCH_DONE.
    CDownLoadDlg(HINSTANCE module, HWND control);
    ~CDownLoadDlg() override;

    UpdaterState State() const { return m_flow.State(); }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnDeleteDeferred() override;

private:
    void CenterWindow();
    // False, with the folder that cannot be made (or given to Prynn) in failedFolder, when one
    // cannot be.
    bool PrepareFolders(std::wstring& failedFolder);
    void Begin();
    void StartConfigDownload();
    void WriteInternetShortcuts();
    INT_PTR OnDownloadStatus(WPARAM wParam, LPARAM lParam);
    LRESULT OnAskRunningClient(WPARAM what);
    void OnStallClock();

    // UpdateView
    void SetStatus(Surface where, const std::string& text, TextEncoding encoding) override;
    void SetProgress(Surface where, int percent) override;
    void ShowReadProgress(int percent, const std::string& text) override;
    void ApplyReadProgress();
    void StopAnimation(Surface where) override;
    void SetStopButton(Surface where, StopButton state) override;
    void RefreshDialog() override;
    // UpdaterWindows
    void HideDialog() override;
    bool HasPopup() override;
    void OpenPopup() override;
    void ClosePopup() override;
    void Post(NextStep step) override;
    void TellControlDone() override;
    // PlayerDialogue
    bool AskStop() override;
    void Tell(Failure what, const std::string& detail) override;
    const char* ConfigRefusalText() const;
    // DownloadBatch
    bool QueuePackages() override;
    void QueuePackage(const std::string& name);
    bool StoredEmptyPackagePasses(const std::string& name, const std::string& path);
    bool EnoughSpaceToDownload(std::string& needed) override;
    bool StartConfiguration() override;
    bool StartPackages() override;
    bool StartWorker();
    void Stop() override;
    void DiscardPackages() override;
    void StopBusyAnimation() override;
    // UpdateTrace
    void Trace(const std::string& line) override;
    void TraceEachRead(const std::string& line) override;

    HWND m_control;
    // Before the workflow, which keeps it as a part: it only keeps references to the lists and
    // folders below, which are filled later.
    WinFinishing m_installation{m_config, m_packages, m_installFolder, m_downloadFolder};
    UpdateWorkflow m_flow;
    win::WindowPtr<CProgressPopupDlg> m_popup;
    // Wide from the start, so the Korean folder works whatever the ANSI code page; the parts
    // below that take UTF-8 (the engine, the installation) get it converted without loss.
    std::wstring m_installFolder;            // drive of Windows + "Program Files\Velmora바둑"
    std::wstring m_downloadFolder;           // m_installFolder + "\Temp"
    std::vector<std::string> m_packages;  // UTF-8, as the signed configuration names them
    UpdateConfig m_config;  // what the signed configuration lists
    ConfigRefusal m_configRefusal = ConfigRefusal::kNone;
    uint64_t m_toDownload = 0;    // bytes the queued packages still need
    std::wstring m_configFile;  // its path once it is in; empty before
    std::wstring m_status;
    std::wstring m_shownStatus;  // what the dialog's status line holds
    // The latest read's progress, until it is shown; when the last one was.
    struct PendingProgress {
        bool waiting = false;
        int percent = 0;
        std::string text;
        DWORD shownAt = 0;
    } m_readProgress;
    bool m_traceEachRead = false;
    // Shared with the worker, which may outlive the dialog: the dialog abandons it on leaving.
    std::shared_ptr<CHttpDownloader> m_downloader;
    std::shared_ptr<WindowStatusSink> m_sink;
    CAnimateCtrl m_animate;
    CPercentProgressCtrl m_progress;
    CGifPictureCtrl m_picture;
};

}  // namespace tavrin
