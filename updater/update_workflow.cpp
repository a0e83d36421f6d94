#include "updater/update_workflow.h"

#include "download/status_codes.h"
#include "resources/player_texts.h"
#include "updater/updater_traces.h"

namespace tavrin {

UpdateWorkflow::Event UpdateWorkflow::EventOf(int code) {
    static const struct {
        int code;
        Event event;
    } kTable[] = {
        {STATUS_NET_ERROR, Event::Failed},
        {STATUS_FILE_ERROR, Event::Failed},
        {STATUS_USER_STOP, Event::Stopped},
        {STATUS_DOWNLOAD_SIZE, Event::Read},
        {STATUS_DOWNLOAD_START, Event::FileStarted},
        {STATUS_DOWNLOAD_END, Event::FileEnded},
        {STATUS_DOWNLOAD_COMPLETE, Event::Complete},
        {STATUS_DOWNLOAD_ERROR_CLOSE, Event::Closed},
        {STATUS_URL_INVALID, Event::Invalid},
        {STATUS_CLIENT_RUNNING, Event::ClientRunning},
        {STATUS_DOWNLOAD_RETRY, Event::Retrying},
    };
    for (const auto& row : kTable)
        if (row.code == code) return row.event;
    return Event::Other;
}

bool UpdateWorkflow::Downloading() const {
    return m_state == UpdaterState::ConfigDownload || m_state == UpdaterState::PackageDownload;
}

// The installation begins with the package batch: it decodes each package as it arrives.
bool UpdateWorkflow::InstallationBegun() const {
    return m_state == UpdaterState::PackageDownload || m_state == UpdaterState::PackagesIn ||
           m_state == UpdaterState::Finishing;
}

bool UpdateWorkflow::WorkerRunning() const {
    return Downloading() || m_state == UpdaterState::Stopping;
}

void UpdateWorkflow::Start() {
    if (m_state != UpdaterState::Preparing) return;
    m_state = UpdaterState::ConfigDownload;
    if (!m_parts.batch.StartConfiguration()) WorkerNotStarted();
}

// A batch whose worker never started would never report: the player is told now.
void UpdateWorkflow::WorkerNotStarted() {
    m_parts.trace.Trace(kTraceNoWorker);
    m_parts.view.StopAnimation(Where());
    m_parts.windows.ClosePopup();
    m_parts.player.Tell(Failure::Upgrade, std::string());
    if (m_state != UpdaterState::Closed) HideAndEnd();
}

void UpdateWorkflow::FolderFailed(const std::string& folder) {
    m_parts.view.StopAnimation(Surface::Dialog);
    m_parts.player.Tell(Failure::Folder, folder);
    HideAndEnd();
}

// The dialog hides, and the popup with it. After a confirmed stop the state and the popup stay,
// so that the popup's "닫  기" still closes.
void UpdateWorkflow::HideAndEnd() {
    m_parts.windows.HideDialog();
    if (m_state == UpdaterState::Stopping) return;
    if (InstallationBegun()) m_parts.installation.StopFinishing();
    m_parts.windows.ClosePopup();
    m_state = UpdaterState::Ended;
}

void UpdateWorkflow::Close() {
    m_state = UpdaterState::Closed;
    m_parts.windows.TellControlDone();
}

void UpdateWorkflow::OnDownloadStatus(int code, int percent, const std::string& text) {
    // After the final close the control is deleting the dialog: a stopped worker that still
    // reports is not heard any more.
    if (m_state == UpdaterState::Closed) {
        m_parts.trace.Trace(kTraceStatusDropped);
        return;
    }
    const Event event = EventOf(code);
    // A package batch that ends without its packages takes back what was decoded as they came,
    // before the player reads why.
    const bool batchEnds = event == Event::Failed || event == Event::Closed ||
                           event == Event::Invalid || event == Event::ClientRunning;
    if (batchEnds && m_state == UpdaterState::PackageDownload)
        m_parts.installation.StopFinishing();
    switch (event) {
    case Event::Failed: OnFailed(code, text); return;
    case Event::Closed: OnBatchClosed(text); return;
    case Event::Invalid: OnInvalid(text); return;
    case Event::ClientRunning: HideAndEnd(); return;  // the worker skipped its batch
    case Event::Stopped: ShowStopped(Where()); break;
    case Event::Read:
        // One for every read: kept cheap, so the download runs at the engine's speed.
        m_parts.trace.TraceEachRead(kTraceSizeStatus);
        if (Where() == Surface::Popup) OnPackageRead(percent, text);
        break;
    case Event::FileStarted: OnFileStarted(); break;
    case Event::FileEnded: OnFileEnded(text); break;
    case Event::Complete: OnComplete(text); break;
    case Event::Retrying: m_parts.view.SetStatus(Where(), text, TextEncoding::Ansi); break;
    case Event::Other: break;
    }
    m_parts.view.RefreshDialog();
}

// A download failed: the player is told why, unless a stop of theirs already ended it. The
// worker has ended, and so does the updater.
void UpdateWorkflow::OnFailed(int code, const std::string& text) {
    const Surface where = Where();
    m_parts.view.StopAnimation(where);
    m_parts.view.SetStatus(where, text, TextEncoding::Ansi);
    m_parts.view.SetProgress(where, 0);
    if (Downloading())
        m_parts.player.Tell(code == STATUS_FILE_ERROR ? Failure::File : Failure::Network, text);
    HideAndEnd();
}

// The batch's last word. A failure reported before it already said why; after a stop the
// player asked for, the batch's end needs no message either.
void UpdateWorkflow::OnBatchClosed(const std::string& text) {
    const Surface where = Where();
    m_parts.view.StopAnimation(where);
    m_parts.view.SetStatus(where, text, TextEncoding::Ansi);
    if (!Downloading()) return;
    m_parts.player.Tell(Failure::Upgrade, std::string());
    HideAndEnd();
}

void UpdateWorkflow::OnInvalid(const std::string& text) {
    const Surface where = Where();
    m_parts.view.StopAnimation(where);
    if (Downloading()) m_parts.player.Tell(Failure::Upgrade, std::string());
    HideAndEnd();
    m_parts.view.SetStatus(where, text, TextEncoding::Ansi);
}

// The popup's bar is the whole batch's: packages travelling side by side start, end and
// start again in any order, and none of that moves the bar back. Its line names the package
// that last made progress.
void UpdateWorkflow::OnPackageRead(int percent, const std::string& text) {
    if (percent > m_packagePercent) m_packagePercent = percent;
    m_parts.view.ShowReadProgress(m_packagePercent, text);
}

void UpdateWorkflow::OnFileStarted() {
    m_parts.trace.Trace(kTraceStartStatus);
    m_parts.trace.Trace(m_state == UpdaterState::ConfigDownload ? kTraceStartConfig
                                                                : kTraceStartPackage);
    if (Where() == Surface::Dialog) m_parts.view.SetProgress(Surface::Dialog, 0);
    m_parts.trace.Trace(kTraceStartDone);
}

// A file is in. The dialog hides at the first: the progress popup takes over from the
// configuration file on, so the dialog only stops its animation; the popup names each package
// that comes in.
void UpdateWorkflow::OnFileEnded(const std::string& text) {
    if (Where() == Surface::Popup) m_parts.view.SetStatus(Surface::Popup, text, TextEncoding::Ansi);
    m_parts.view.StopAnimation(Surface::Dialog);
    m_parts.view.RefreshDialog();
    m_parts.windows.HideDialog();
}

// The batch is in: its last status at 100%, nothing left to stop, and the next step posted.
// After a confirmed stop nothing further starts.
void UpdateWorkflow::OnComplete(const std::string& text) {
    m_parts.view.SetStatus(Surface::Dialog, text, TextEncoding::Ansi);
    m_parts.view.SetProgress(Surface::Dialog, 100);
    m_parts.view.SetStopButton(Surface::Dialog, StopButton::Disabled);
    if (m_state == UpdaterState::ConfigDownload) {
        m_state = UpdaterState::ConfigIn;
        m_parts.windows.Post(NextStep::ReadConfiguration);
    } else if (m_state == UpdaterState::PackageDownload) {
        m_state = UpdaterState::PackagesIn;
        m_parts.windows.Post(NextStep::Finish);
    }
}

void UpdateWorkflow::OnConfigDownloaded() {
    if (m_state != UpdaterState::ConfigIn) return;
    m_parts.batch.StopBusyAnimation();
    if (!m_parts.batch.QueuePackages()) {
        // Going on with no packages would "finish" an installation that installed nothing and
        // start a client that is not there: the updater ends here, as for a failed download.
        m_parts.player.Tell(Failure::Configuration, std::string());
        if (m_state != UpdaterState::Closed) HideAndEnd();
        return;
    }
    // Room for every package before the first byte: a disk that fills halfway helps no one.
    std::string needed;
    if (!m_parts.batch.EnoughSpaceToDownload(needed)) {
        m_parts.player.Tell(Failure::Space, needed);
        if (m_state != UpdaterState::Closed) HideAndEnd();
        return;
    }
    m_parts.windows.OpenPopup();
    m_packagePercent = 0;
    m_state = UpdaterState::PackageDownload;
    if (!m_parts.batch.StartPackages()) WorkerNotStarted();
}

void UpdateWorkflow::ShowStopped(Surface where) {
    m_parts.view.StopAnimation(where);
    m_parts.view.SetStatus(where, kUpgradeStopped, TextEncoding::Utf8);
    m_parts.view.SetProgress(where, 0);
}

// Told at once: a worker waiting on a silent server reports its stop only when the wait ends.
void UpdateWorkflow::ConfirmStop(Surface where) {
    if (Downloading()) m_parts.batch.Stop();
    if (InstallationBegun()) m_parts.installation.StopFinishing();
    m_parts.view.SetStopButton(where, StopButton::Close);
    m_state = UpdaterState::Stopping;
    ShowStopped(where);
    if (where == Surface::Dialog) m_parts.view.RefreshDialog();
}

void UpdateWorkflow::OnStopButton() {
    if (m_state == UpdaterState::Closed) return;
    if (m_state == UpdaterState::Stopping) {
        m_parts.windows.HideDialog();
        Close();
        return;
    }
    if (!m_parts.player.AskStop()) return;
    // The download may have finished, and the control been told, while the question waited.
    if (m_state == UpdaterState::Closed) return;
    ConfirmStop(Surface::Dialog);
}

void UpdateWorkflow::OnPopupStop() {
    if (m_state == UpdaterState::Closed || !m_parts.windows.HasPopup()) return;
    if (m_state == UpdaterState::Stopping) {
        m_parts.windows.ClosePopup();
        m_parts.windows.HideDialog();
        m_parts.batch.DiscardPackages();
        Close();
        return;
    }
    // Stopped before the question, and not started again on No.
    m_parts.batch.StopBusyAnimation();
    if (!m_parts.player.AskStop()) return;
    // An answer given after the popup went away changes nothing.
    if (m_state == UpdaterState::Closed || !m_parts.windows.HasPopup()) return;
    ConfirmStop(Surface::Popup);
}

// A finishing step that failed: the dialog hides, the page stays open and the control is not
// told.
void UpdateWorkflow::EndFinishing() {
    m_parts.windows.HideDialog();
    m_state = UpdaterState::Ended;
}

// The message of a failed installation, with the path that explains it.
void UpdateWorkflow::TellInstallFailure(const InstallResult& result) {
    // A folder left half old, half new must be named: the player has to reinstall.
    if (!result.notRestored.empty()) {
        std::string files;
        for (const std::string& file : result.notRestored)
            files += (files.empty() ? "" : "\r\n") + file;
        m_parts.player.Tell(Failure::Restore, files);
    } else if (!result.blocked.empty()) {
        m_parts.player.Tell(Failure::Folder, result.blocked);
    } else if (!result.missingClient.empty()) {
        m_parts.player.Tell(Failure::Client, result.missingClient);
    } else {
        m_parts.player.Tell(Failure::Upgrade, std::string());
    }
}

// The popup stays through the installation: it shows what is being installed, and its button
// stops it.
void UpdateWorkflow::OnPackagesDownloaded() {
    if (m_state != UpdaterState::PackagesIn) return;
    m_state = UpdaterState::Finishing;
    m_parts.view.SetProgress(Surface::Popup, 0);
    if (!m_parts.installation.StartFinishing()) WorkerNotStarted();
}

void UpdateWorkflow::OnInstallProgress(int percent, const std::string& package) {
    if (m_state != UpdaterState::Finishing) return;
    m_parts.view.SetStatus(Surface::Popup, package + kInstallingTail, TextEncoding::Utf8);
    m_parts.view.SetProgress(Surface::Popup, percent);
}

void UpdateWorkflow::OnFinished(const FinishOutcome& outcome) {
    if (m_state == UpdaterState::Stopping) {
        FinishStopped(outcome);
        return;
    }
    if (m_state != UpdaterState::Finishing) return;
    m_parts.windows.ClosePopup();
    switch (outcome.step) {
    case FinishOutcome::kRefused:
        // A package that is not the signed one ends the update before anything is installed.
        m_parts.player.Tell(outcome.detail.empty() ? Failure::Upgrade : Failure::Package,
                            outcome.detail);
        break;
    case FinishOutcome::kNoSpace:
        // Nothing in the install folder changed: the whole set did not fit.
        m_parts.player.Tell(Failure::Space, outcome.detail);
        break;
    case FinishOutcome::kStopped: break;
    case FinishOutcome::kInstalled:
        if (outcome.install.installed) {
            FinishInstalled();
            return;
        }
        TellInstallFailure(outcome.install);
        break;
    }
    EndFinishing();
}

void UpdateWorkflow::FinishInstalled() {
    // Only a client that runs ends the page; otherwise the player reads why and the page stays.
    std::string failedClient;
    if (!m_parts.installation.StartClient(failedClient)) {
        m_parts.player.Tell(Failure::Client, failedClient);
        EndFinishing();
        return;
    }
    Close();
}

// The player stopped the installation: a set that was already being replaced completed (with
// its shortcuts), but no client starts; a folder left half old is still named. The popup keeps
// its "닫  기".
void UpdateWorkflow::FinishStopped(const FinishOutcome& outcome) {
    if (outcome.step == FinishOutcome::kInstalled && !outcome.install.installed &&
        !outcome.install.notRestored.empty())
        TellInstallFailure(outcome.install);
}

FinishOutcome RunFinishing(InstallSteps& steps, const std::function<bool()>& stopRequested) {
    FinishOutcome outcome;
    const auto stopped = [&] { return stopRequested && stopRequested(); };
    if (stopped()) {
        outcome.step = FinishOutcome::kStopped;
    } else if (!steps.VerifyPackages(outcome.detail)) {
        outcome.step = FinishOutcome::kRefused;
    } else if (stopped()) {
        outcome.step = FinishOutcome::kStopped;
    } else if (!steps.EnoughSpaceToInstall(outcome.detail)) {
        outcome.step = FinishOutcome::kNoSpace;
    } else if (stopped()) {
        outcome.step = FinishOutcome::kStopped;
    } else {
        outcome.install = steps.InstallAllPackages();
        if (outcome.install.stopped) outcome.step = FinishOutcome::kStopped;
        // A set that stands gets its shortcuts, whatever a stop says now.
        if (outcome.install.installed) steps.WriteShortcuts();
    }
    return outcome;
}

}  // namespace tavrin
