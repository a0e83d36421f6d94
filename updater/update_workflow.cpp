#include "updater/update_workflow.h"

#include "download/status_codes.h"
#include "resources/player_texts.h"
#include "updater/updater_traces.h"

namespace tavrin {

void UpdateWorkflow::Started() {
    m_bConfigPhase = true;
    m_bThread = true;
    m_state = UpdaterState::ConfigDownload;
}

void UpdateWorkflow::FolderFailed(const std::string& folder) {
    m_ui.StopDialogAnimation();
    m_ui.ShowFailure(Failure::Folder, folder, TextEncoding::Utf8);
    EndDialog();
}

void UpdateWorkflow::EndDialog() {
    m_ui.EndDialog();
    if (m_state != UpdaterState::Stopping) m_state = UpdaterState::Ended;
}

void UpdateWorkflow::Close() {
    m_state = UpdaterState::Closed;
    m_ui.PostLaunchDone();
}

void UpdateWorkflow::OnDownloadStatus(int code, int percent, const std::string& text) {
    // After the final close the control is deleting the dialog: a stopped worker that still
    // reports is not heard any more.
    if (m_state == UpdaterState::Closed) {
        m_ui.Trace(kTraceStatusDropped);
        return;
    }
    if (m_bConfigPhase)
        OnConfigStatus(code, text);
    else
        OnPackageStatus(code, percent, text);
}

// The batch failed: its worker has ended, and so does the updater.
void UpdateWorkflow::EndAfterFailedBatch() {
    m_bThread = false;
    EndDialog();
}

// A download failed: the player is told why, unless a stop of theirs already ended it.
void UpdateWorkflow::FailBatch(int code, const std::string& text) {
    if (m_state != UpdaterState::Stopping)
        m_ui.ShowFailure(code == STATUS_FILE_ERROR ? Failure::File : Failure::Network, text,
                         TextEncoding::Ansi);
    EndAfterFailedBatch();
}

// The batch is in: its last status at 100%, and nothing left to stop.
void UpdateWorkflow::ShowBatchComplete(const std::string& text) {
    m_ui.SetDialogStatus(text);
    m_ui.SetDialogProgress(100);
    m_ui.DisableStopButton();
}

void UpdateWorkflow::OnConfigStatus(int code, const std::string& text) {
    switch (code) {
    case STATUS_NET_ERROR:
    case STATUS_FILE_ERROR:
        m_ui.StopDialogAnimation();
        FailBatch(code, text);
        return;
    case STATUS_USER_STOP:
        m_bThread = false;
        break;
    case STATUS_DOWNLOAD_SIZE:
        m_ui.TraceEachRead(kTraceSizeStatus);
        break;
    case STATUS_DOWNLOAD_START:
        m_ui.Trace(kTraceStartStatus);
        m_ui.Trace(kTraceStartConfig);
        m_ui.Trace(kTraceStartDone);
        break;
    case STATUS_DOWNLOAD_END:
        // The configuration file is in: the dialog hides, the progress popup takes over.
        m_ui.StopDialogAnimation();
        m_ui.RefreshDialog();
        m_ui.EndDialog();
        break;
    case STATUS_DOWNLOAD_COMPLETE:
        ShowBatchComplete(text);
        m_bConfigPhase = false;
        if (m_state != UpdaterState::Stopping) m_state = UpdaterState::PackageDownload;
        m_ui.PostConfigDownloaded();
        break;
    case STATUS_DOWNLOAD_ERROR_CLOSE:
        // Nothing before it said why (a worker that failed inside): the player is told here.
        if (m_bThread && m_state != UpdaterState::Stopping) {
            m_ui.StopDialogAnimation();
            m_ui.ShowUpgradeFailed();
            EndDialog();
        }
        m_bThread = false;
        return;
    case STATUS_URL_INVALID:
        m_ui.StopDialogAnimation();
        m_ui.ShowUpgradeFailed();
        EndDialog();
        m_bThread = false;
        return;
    case STATUS_CLIENT_RUNNING:
        // The worker skipped its batch and has ended.
        EndAfterFailedBatch();
        return;
    default:
        break;
    }
    m_ui.RefreshDialog();
}

void UpdateWorkflow::OnPackageStatus(int code, int percent, const std::string& text) {
    const bool popup = m_ui.HasPopup();  // gone after the user's final close
    switch (code) {
    case STATUS_NET_ERROR:
    case STATUS_FILE_ERROR:
        if (popup) {
            m_ui.StopPopupAnimation();
            m_ui.SetPopupStatus(text, TextEncoding::Ansi);
            m_ui.SetPopupProgress(0);
        }
        FailBatch(code, text);
        return;
    case STATUS_DOWNLOAD_ERROR_CLOSE:
        OnPackageBatchClosed(popup, text);
        return;
    case STATUS_URL_INVALID:
        if (popup) m_ui.StopPopupAnimation();
        m_ui.ShowUpgradeFailed();
        EndDialog();
        if (m_ui.HasPopup()) m_ui.SetPopupStatus(text, TextEncoding::Ansi);
        m_bThread = false;
        return;
    case STATUS_CLIENT_RUNNING:
        // The worker skipped its batch and has ended.
        EndAfterFailedBatch();
        return;
    default:
        OnPackageProgress(popup, code, percent, text);
        m_ui.RefreshDialog();
        return;
    }
}

// The statuses of a batch that goes on (or was stopped by the player).
void UpdateWorkflow::OnPackageProgress(bool popup, int code, int percent, const std::string& text) {
    switch (code) {
    case STATUS_USER_STOP:
        if (popup) {
            m_ui.StopPopupAnimation();
            m_ui.SetPopupStatus(kUpgradeStopped, TextEncoding::Utf8);
            m_ui.SetPopupProgress(0);
        }
        m_bThread = false;
        break;
    case STATUS_DOWNLOAD_SIZE:
        // One for every read: kept cheap, so the download runs at the engine's speed.
        m_ui.TraceEachRead(kTraceSizeStatus);
        if (popup) m_ui.ShowPopupProgress(percent, text);
        break;
    case STATUS_DOWNLOAD_START:
        m_ui.Trace(kTraceStartStatus);
        m_ui.Trace(kTraceStartPackage);
        if (popup) m_ui.SetPopupProgress(0);
        m_ui.Trace(kTraceStartDone);
        break;
    case STATUS_DOWNLOAD_END:
        if (popup) {
            m_ui.SetPopupStatus(text, TextEncoding::Ansi);
            m_ui.SetPopupProgress(100);
        }
        m_ui.RefreshDialog();
        m_ui.EndDialog();
        break;
    case STATUS_DOWNLOAD_COMPLETE:
        ShowBatchComplete(text);
        if (m_state != UpdaterState::Stopping) m_state = UpdaterState::Finishing;
        m_ui.PostPackagesDownloaded();
        break;
    default:
        break;
    }
}

// The batch's last word. A failure reported before it already said why; after a stop the
// player asked for, the batch's end needs no message either.
void UpdateWorkflow::OnPackageBatchClosed(bool popup, const std::string& text) {
    if (popup) {
        m_ui.StopPopupAnimation();
        m_ui.SetPopupStatus(text, TextEncoding::Ansi);
    }
    const bool toldAlready = !m_bThread;
    m_bThread = false;
    if (!toldAlready && popup && !m_ui.PopupStopRequested()) {
        m_ui.ShowUpgradeFailed();
        EndDialog();
    }
}

void UpdateWorkflow::OnConfigDownloaded() {
    if (m_state == UpdaterState::Closed) return;
    m_ui.StopBusyAnimation();
    if (!m_ui.QueuePackages()) {
        // Going on with no packages would "finish" an installation that installed nothing and
        // start a client that is not there: the updater ends here, as for a failed download.
        m_ui.ShowConfigReadFailed();
        if (m_state != UpdaterState::Closed) EndDialog();
        m_bThread = false;
        return;
    }
    m_ui.TargetPackages();
    m_ui.CreatePopup();
    m_ui.StartWorker();
    m_bThread = true;
}

void UpdateWorkflow::OnStopButton() {
    if (m_state == UpdaterState::Closed) return;
    if (m_bStopConfirmed) {
        m_ui.EndDialog();
        Close();
        return;
    }
    if (!m_ui.AskStop()) return;
    // The download may have finished, and the control been told, while the question waited.
    if (m_state == UpdaterState::Closed) return;
    if (m_bThread) m_ui.SetStop();
    m_ui.RelabelStopButton();
    m_bStopConfirmed = true;
    m_state = UpdaterState::Stopping;
}

void UpdateWorkflow::OnPopupStop() {
    if (m_state == UpdaterState::Closed || !m_ui.HasPopup()) return;
    if (!m_ui.PopupStopRequested()) m_ui.StopBusyAnimation();
    if (m_ui.PopupStopRequested()) {
        m_ui.DestroyPopup();
        m_ui.EndDialog();
        m_ui.DeleteDownloadedPackages();
        Close();
        return;
    }
    if (!m_ui.AskStop()) return;
    // An answer given after the popup went away changes nothing.
    if (m_state == UpdaterState::Closed || !m_ui.HasPopup()) return;
    if (m_bThread) m_ui.SetStop();
    m_ui.MarkPopupStopRequested();
    m_state = UpdaterState::Stopping;
    // Told at once: a worker waiting on a silent server reports its stop only when the wait
    // ends.
    m_ui.StopPopupAnimation();
    m_ui.SetPopupStatus(kUpgradeStopped, TextEncoding::Utf8);
    m_ui.SetPopupProgress(0);
}

// A finishing step that failed: the dialog hides, the page stays open and the control is not
// told.
void UpdateWorkflow::EndFinishing() {
    m_ui.EndDialog();
    m_state = UpdaterState::Ended;
}

// The message of a failed installation, with the path that explains it.
void UpdateWorkflow::ShowInstallFailure(const InstallResult& result) {
    // A folder left half old, half new must be named: the player has to reinstall.
    if (!result.notRestored.empty()) {
        std::string files;
        for (const std::string& file : result.notRestored)
            files += (files.empty() ? "" : "\r\n") + file;
        m_ui.ShowFailure(Failure::Restore, files, TextEncoding::Utf8);
    } else if (!result.blocked.empty()) {
        m_ui.ShowFailure(Failure::Folder, result.blocked, TextEncoding::Utf8);
    } else if (!result.missingClient.empty()) {
        m_ui.ShowFailure(Failure::Client, result.missingClient, TextEncoding::Utf8);
    } else {
        m_ui.ShowUpgradeFailed();
    }
}

void UpdateWorkflow::OnPackagesDownloaded() {
    if (m_state == UpdaterState::Closed) return;
    m_state = UpdaterState::Finishing;
    if (m_ui.HasPopup()) m_ui.DestroyPopup();
    // A package that is not the signed one ends the update before anything is installed.
    if (!m_ui.VerifyPackages()) {
        m_ui.ShowPackageRefused();
        EndFinishing();
        return;
    }
    const InstallResult installed = m_ui.InstallAllPackages();
    if (!installed.installed) {
        ShowInstallFailure(installed);
        EndFinishing();
        return;
    }
    m_ui.WriteShortcuts();
    m_bThread = false;
    // Only a client that runs ends the page; otherwise the player reads why and the page stays.
    std::string failedClient;
    if (!m_ui.StartClient(failedClient)) {
        m_ui.ShowFailure(Failure::Client, failedClient, TextEncoding::Utf8);
        EndFinishing();
        return;
    }
    Close();
}

}  // namespace tavrin
