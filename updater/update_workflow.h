// The update dialog's reactions, free of windows: the status of the download engine in both
// phases, the configuration step, both stop buttons and the finishing step, over the window
// operations the dialog supplies. What the user sees happens only through UpdaterUi.
#pragma once

#include <string>

#include "updater/package_install.h"

namespace tavrin {

// Status texts come from the download engine in the ANSI code page; the updater's own texts
// and its paths are UTF-8.
enum class TextEncoding { Ansi, Utf8 };

// What ended an update with a message of its own.
enum class Failure {
    Network,  // a download failed on the way (server, connection, certificate, redirect)
    File,     // a download could not be stored
    Folder,   // the installation or download folder cannot be made
    Restore,  // a failed installation could not put every old file back
    Client,   // the installed client could not be started
};

enum class UpdaterState {
    Preparing,        // the dialog is being created
    ConfigDownload,   // the configuration file is coming; the dialog shows
    PackageDownload,  // the packages are coming; the progress popup shows
    Stopping,         // a stop was confirmed: a button reads "닫  기"
    Finishing,        // installing, shortcuts, launch
    Ended,            // hidden without telling the control
    Closed,           // WM_LAUNCH_DONE posted: the control deletes the dialog
};

// Window and platform operations of the update dialog.
class UpdaterUi {
public:
    virtual ~UpdaterUi() = default;

    // The dialog itself.
    virtual void EndDialog() = 0;  // hides it; the control deletes it later
    virtual void SetDialogStatus(const std::string& text) = 0;  // ANSI text, not yet shown
    virtual void SetDialogProgress(int percent) = 0;
    virtual void RefreshDialog() = 0;  // shows the status text
    virtual void StopDialogAnimation() = 0;
    virtual void DisableStopButton() = 0;
    virtual void RelabelStopButton() = 0;  // "닫  기"

    // The progress popup of the package phase.
    virtual bool HasPopup() = 0;
    virtual void CreatePopup() = 0;  // shown, and the worker's busy animation from now on
    virtual void DestroyPopup() = 0;
    virtual void StopPopupAnimation() = 0;
    virtual void SetPopupStatus(const std::string& text, TextEncoding encoding) = 0;  // shown
    virtual void SetPopupProgress(int percent) = 0;
    // A read's progress: the bar and the engine's ANSI text, shown about 20 times a second at
    // most (the rest when the next is due or the dialog's clock ticks), never painted at once.
    virtual void ShowPopupProgress(int percent, const std::string& text) = 0;
    virtual bool PopupStopRequested() = 0;
    virtual void MarkPopupStopRequested() = 0;  // its button reads "닫  기"

    // The animation the next worker starts (g_pBusyAnimate): stopped and forgotten.
    virtual void StopBusyAnimation() = 0;

    // Questions and messages (caption "Velmora Orbisan").
    virtual bool AskStop() = 0;  // true on Yes
    virtual void ShowUpgradeFailed() = 0;
    virtual void ShowConfigReadFailed() = 0;
    // detail: the engine's status text (ANSI), or the folder, the client or the files not
    // restored, one a line (UTF-8); may be empty.
    virtual void ShowFailure(Failure what, const std::string& detail, TextEncoding encoding) = 0;

    // Posted messages.
    virtual void PostConfigDownloaded() = 0;
    virtual void PostPackagesDownloaded() = 0;
    virtual void PostLaunchDone() = 0;

    // The downloader and its worker.
    virtual void SetStop() = 0;
    // Reads the package list and queues its URLs; false when the list cannot be read.
    virtual bool QueuePackages() = 0;
    // SetTarget for the package batch (agent "Tavrin", download folder with its "\").
    virtual void TargetPackages() = 0;
    virtual void StartWorker() = 0;
    virtual void DeleteDownloadedPackages() = 0;  // "*.lzf" of the download folder

    // Finishing. Every package is checked against the signed configuration before any of
    // them is installed.
    virtual bool VerifyPackages() = 0;
    virtual void ShowPackageRefused() = 0;  // names the package
    virtual InstallResult InstallAllPackages() = 0;
    virtual void WriteShortcuts() = 0;  // the desktop link and both .url files
    // Starts the client with no parameters; false, with the path it tried in failedClient
    // (UTF-8), when it did not start.
    virtual bool StartClient(std::string& failedClient) = 0;

    virtual void Trace(const std::string& line) = 0;
    // A line for every read: written only while tracing at that level is on.
    virtual void TraceEachRead(const std::string& line) = 0;
};

class UpdateWorkflow {
public:
    explicit UpdateWorkflow(UpdaterUi& ui) : m_ui(ui) {}

    // OnInitDialog's outcome: the configuration worker runs, or a folder could not be made
    // (a message names it, in UTF-8, and the updater ends).
    void Started();
    void FolderFailed(const std::string& folder);

    void OnDownloadStatus(int code, int percent, const std::string& text);
    void OnConfigDownloaded();
    void OnStopButton();
    void OnPopupStop();
    void OnPackagesDownloaded();

    UpdaterState State() const { return m_state; }
    bool ConfigPhase() const { return m_bConfigPhase; }
    bool WorkerRunning() const { return m_bThread; }
    bool StopConfirmed() const { return m_bStopConfirmed; }

private:
    void EndDialog();
    void EndFinishing();
    void ShowInstallFailure(const InstallResult& result);
    void Close();
    void OnConfigStatus(int code, const std::string& text);
    void OnPackageStatus(int code, int percent, const std::string& text);
    void OnPackageProgress(bool popup, int code, int percent, const std::string& text);
    void OnPackageBatchClosed(bool popup, const std::string& text);
    // What both phases do with a status, so the two cannot drift apart.
    void EndAfterFailedBatch();
    void FailBatch(int code, const std::string& text);
    void ShowBatchComplete(const std::string& text);

    UpdaterUi& m_ui;
    UpdaterState m_state = UpdaterState::Preparing;
    bool m_bConfigPhase = false;
    bool m_bStopConfirmed = false;
    bool m_bThread = false;  // a worker was started and has not reported failure or stop
};

}  // namespace tavrin
