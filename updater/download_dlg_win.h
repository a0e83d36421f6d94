// The updater window (dialog 201): it prepares the folders, downloads the configuration and
// then every package with the progress popup, installs them, writes the shortcuts, tells the
// control and starts the client. Its reactions live in UpdateWorkflow; this class gives them
// windows, files and threads.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "download/http_downloader.h"
#include "download/window_status_sink_win.h"
#include "updater/update_workflow.h"
#include "widgets/gif_picture_ctrl_win.h"
#include "widgets/percent_progress_ctrl_win.h"
#include "widgets/progress_popup_dlg_win.h"
#include "win/window.h"

namespace tavrin {

constexpr UINT WM_CONFIG_DOWNLOADED = WM_USER + 1002;    // 2026
constexpr UINT WM_PACKAGES_DOWNLOADED = WM_USER + 1003;  // 2027
constexpr UINT WM_RELEASE_POPUP = WM_USER + 1004;     // 2028, to itself: a closed popup goes

class CDownLoadDlg : public win::CDialog, private UpdaterUi {
public:
    // module: holds the templates, the clip and the picture; control: gets WM_LAUNCH_DONE.
    CDownLoadDlg(HINSTANCE module, HWND control);
    ~CDownLoadDlg() override;

    // Deletes the dialog now, or, while one of its handlers still runs (a message box of it
    // is open), hides it and deletes it when that handler returns.
    static void Dispose(CDownLoadDlg* dlg);

    UpdaterState State() const { return m_flow.State(); }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override {}
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    INT_PTR DialogProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    class HandlerScope;

    void CenterWindow();
    bool PrepareFolders();
    void StartConfigDownload();
    void WriteInternetShortcuts();
    static std::string UserDesktopFolder();
    INT_PTR OnDownloadStatus(WPARAM wParam, LPARAM lParam);

    // UpdaterUi
    void EndDialog() override;
    void SetDialogStatus(const std::string& text) override;
    void SetDialogProgress(int percent) override;
    void RefreshDialog() override;
    void StopDialogAnimation() override;
    void DisableStopButton() override;
    void RelabelStopButton() override;
    bool HasPopup() override;
    void CreatePopup() override;
    void DestroyPopup() override;
    void StopPopupAnimation() override;
    void SetPopupStatus(const std::string& text, TextEncoding encoding) override;
    void SetPopupProgress(int percent) override;
    void RefreshPopup() override;
    bool PopupStopRequested() override;
    void MarkPopupStopRequested() override;
    void StopBusyAnimation() override;
    bool AskStop() override;
    void ShowUpgradeFailed() override;
    void ShowConfigReadFailed() override;
    void PostConfigDownloaded() override;
    void PostPackagesDownloaded() override;
    void PostLaunchDone() override;
    void SetStop() override;
    bool QueuePackages() override;
    void TargetPackages() override;
    void StartWorker() override;
    void DeleteDownloadedPackages() override;
    bool InstallAllPackages() override;
    void WriteShortcuts() override;
    void StartClient() override;
    void Trace(const std::string& line) override;

    HWND m_hCtrlWnd;
    UpdateWorkflow m_flow;
    std::unique_ptr<CProgressPopupDlg> m_pProgressDlg;
    std::unique_ptr<CProgressPopupDlg> m_retiredPopup;  // closed, deleted by WM_RELEASE_POPUP
    std::string m_strInstallDir;   // ANSI: drive of Windows + "Program Files\Velmora바둑"
    std::string m_strDownloadDir;  // m_strInstallDir + "\Temp", then with "\"
    std::vector<std::string> m_arrPackages;
    std::string m_strLocalFile;
    std::string m_strStatus;
    // Shared with the worker, which may outlive the dialog: the dialog abandons it on leaving.
    std::shared_ptr<CHttpDownloader> m_downloader;
    std::shared_ptr<WindowStatusSink> m_sink;
    CAnimateCtrl m_animate;
    CPercentProgressCtrl m_progress;
    CGifPictureCtrl m_picture;
    int m_nHandlers = 0;          // handlers of this dialog on the stack
    int m_nPopupStops = 0;        // WM_POPUP_STOP handlers on the stack
    bool m_bDisposePending = false;
};

}  // namespace tavrin
