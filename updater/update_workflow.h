// The update dialog's reactions, free of windows: the status of the download engine in both
// phases, the configuration step, both stop buttons and the finishing step. What the player
// sees and what runs happens only through the updater's parts (updater_roles.h).
#pragma once

#include <functional>
#include <string>

#include "updater/updater_roles.h"

namespace tavrin {

enum class UpdaterState {
    Preparing,        // the dialog is being created
    ConfigDownload,   // the configuration's worker runs; the dialog shows
    ConfigIn,         // the configuration is in; its reading is posted
    PackageDownload,  // the packages' worker runs; the progress popup shows
    PackagesIn,       // every package is in; the finishing step is posted
    Finishing,        // checking, installing, shortcuts, launch
    Stopping,         // the player confirmed a stop: a button reads "닫  기"
    Ended,            // hidden without telling the control
    Closed,           // WM_LAUNCH_DONE posted: the control deletes the dialog
};

class UpdateWorkflow {
public:
    explicit UpdateWorkflow(const UpdaterParts& parts) : m_parts(parts) {}

    // Once the dialog is up: the configuration's worker starts, or a folder could not be made
    // (a message names it and the updater ends).
    void Start();
    void FolderFailed(const std::string& folder);

    void OnDownloadStatus(int code, int percent, const std::string& text);
    void OnConfigDownloaded();
    void OnStopButton();
    void OnPopupStop();
    void OnPackagesDownloaded();
    // From the finishing worker: the package being installed and how far the set has come;
    // then what it ended with.
    void OnInstallProgress(int percent, const std::string& package);
    void OnFinished(const FinishOutcome& outcome);

    UpdaterState State() const { return m_state; }
    // A worker may be running: one was started and has not reported its end. After a stop the
    // worker's end is not waited for, so it counts as running.
    bool WorkerRunning() const;

private:
    // What a status of the download engine means, the same in both phases.
    enum class Event { Failed, Stopped, Read, FileStarted, FileEnded, Complete, Closed, Invalid,
                       ClientRunning, Retrying, Other };
    static Event EventOf(int code);

    // Where the statuses show: the popup once the packages come.
    Surface Where() { return m_parts.windows.HasPopup() ? Surface::Popup : Surface::Dialog; }
    bool Downloading() const;
    bool InstallationBegun() const;
    void HideAndEnd();
    void Close();
    void ConfirmStop(Surface where);
    void ShowStopped(Surface where);

    void OnFailed(int code, const std::string& text);
    void OnPackageRead(int percent, const std::string& text);
    void OnFileStarted();
    void OnFileEnded(const std::string& text);
    void OnComplete(const std::string& text);
    void OnBatchClosed(const std::string& text);
    void OnInvalid(const std::string& text);

    void WorkerNotStarted();
    void EndFinishing();
    void TellInstallFailure(const InstallResult& result);
    void FinishStopped(const FinishOutcome& outcome);
    void FinishInstalled();

    UpdaterParts m_parts;
    UpdaterState m_state = UpdaterState::Preparing;
    int m_packagePercent = 0;  // the furthest the popup's bar has come in this batch
};

// What the finishing worker runs: the check, the room, then the installation, each only while
// no stop is asked for (stopRequested may be null); then the shortcuts of a set that stands.
FinishOutcome RunFinishing(InstallSteps& steps, const std::function<bool()>& stopRequested);

}  // namespace tavrin
