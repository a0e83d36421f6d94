// The updater's parts as its workflow sees them: one small face for each role, so a reader
// finds what the workflow may ask of the windows, the player, the downloads and the
// installation in one place, and a test can stand in for any of them.
#pragma once

#include <string>

#include "updater/install/package_install.h"

namespace tavrin {

// Status texts come from the download engine in the ANSI code page; the updater's own texts
// and its paths are UTF-8.
enum class TextEncoding { Ansi, Utf8 };

// Where a status shows: the update dialog while the configuration comes, the progress popup
// while the packages come.
enum class Surface { Dialog, Popup };

enum class StopButton {
    Disabled,  // nothing is left to stop
    Close,     // a stop was confirmed: the button reads "닫  기"
};

// What ended an update, or refused one, with a message of its own.
enum class Failure {
    Upgrade,        // the general "automatic upgrade failed" message
    Network,        // a download failed on the way (server, connection, certificate, redirect)
    File,           // a download could not be stored
    Folder,         // the installation or download folder cannot be made
    Restore,        // a failed installation could not put every old file back
    Client,         // the installed client is missing or could not be started
    Configuration,  // the configuration was refused (the reason is the batch's to tell)
    Package,        // a package is not the signed one
    Space,          // the disk has too little room (the detail: how much is needed)
};

// What the dialog and the popup show. A popup that is not there shows nothing.
class UpdateView {
public:
    virtual ~UpdateView() = default;
    // The dialog's text waits for RefreshDialog; the popup's shows at once.
    virtual void SetStatus(Surface where, const std::string& text, TextEncoding encoding) = 0;
    virtual void SetProgress(Surface where, int percent) = 0;
    // A read's progress in the popup: shown about 20 times a second at most, the rest when the
    // next is due or the dialog's clock ticks.
    virtual void ShowReadProgress(int percent, const std::string& text) = 0;
    virtual void StopAnimation(Surface where) = 0;
    virtual void SetStopButton(Surface where, StopButton state) = 0;
    virtual void RefreshDialog() = 0;
};

// The steps the updater posts to itself, so that they run after the status that asked for them
// has returned to the worker.
enum class NextStep { ReadConfiguration, Finish };

// The updater's windows and messages.
class UpdaterWindows {
public:
    virtual ~UpdaterWindows() = default;
    virtual void HideDialog() = 0;  // the dialog ends; the control deletes it later
    virtual bool HasPopup() = 0;
    virtual void OpenPopup() = 0;  // shown, and the worker's busy animation from now on
    virtual void ClosePopup() = 0;
    virtual void Post(NextStep step) = 0;
    virtual void TellControlDone() = 0;  // WM_LAUNCH_DONE: the control deletes the dialog
};

// What the player is asked and told (caption "Velmora Orbisan").
class PlayerDialogue {
public:
    virtual ~PlayerDialogue() = default;
    virtual bool AskStop() = 0;  // true on Yes
    // detail: the engine's status text (ANSI code page) for Network and File; otherwise the
    // folder, the client, the package, the files not restored (one a line) or the space
    // needed, in UTF-8; may be empty.
    virtual void Tell(Failure what, const std::string& detail) = 0;
};

// The two download batches and their worker.
class DownloadBatch {
public:
    virtual ~DownloadBatch() = default;
    // Reads the signed configuration and queues its packages; false when it is refused.
    virtual bool QueuePackages() = 0;
    // False, with the space needed in `needed`, when the download folder's volume has too
    // little room for the queued packages.
    virtual bool EnoughSpaceToDownload(std::string& needed) = 0;
    // Each batch's worker; false when no thread could be started (nothing would ever report).
    virtual bool StartConfiguration() = 0;
    virtual bool StartPackages() = 0;  // the package batch's target, then its worker
    virtual void Stop() = 0;
    virtual void DiscardPackages() = 0;  // "*.lzf" of the download folder
    // The clip the worker plays while busy: stopped and forgotten.
    virtual void StopBusyAnimation() = 0;
};

// The finishing worker's steps, in this order, on that worker: every package is checked
// against the signed configuration before any is installed.
class InstallSteps {
public:
    virtual ~InstallSteps() = default;
    // False, with the package's name in refused, when one is not the signed one; false with
    // refused empty when a signed one cannot be a package (its blocks are broken).
    virtual bool VerifyPackages(std::string& refused) = 0;
    // After the check: false, with the space needed in `needed`, when the install folder's
    // volume has too little room for what the packages decode to.
    virtual bool EnoughSpaceToInstall(std::string& needed) = 0;
    virtual InstallResult InstallAllPackages() = 0;
    // Once the set stands: the desktop link and both .url files.
    virtual void WriteShortcuts() = 0;
};

// What the finishing worker found, reported to the dialog when it ends.
struct FinishOutcome {
    enum Step {
        kRefused,    // a package is not the signed one (detail: its name; empty: not a package)
        kNoSpace,    // too little room (detail: the space needed)
        kStopped,    // stopped before anything changed
        kInstalled,  // the installation ran: install says how it went
    };
    Step step = kInstalled;
    std::string detail;
    InstallResult install;
};

// The finishing step as the dialog's thread sees it: the worker that runs InstallSteps, then
// the client's start once it reported (quick, on the dialog's thread).
class Installation {
public:
    virtual ~Installation() = default;
    // The worker reports its progress (OnInstallProgress) and its end (OnFinished); false when
    // no thread could be started.
    virtual bool StartFinishing() = 0;
    // Before the first replacement the installation stops and takes back what it did; after
    // it, the set completes. Also asked when the package batch ends without all its packages:
    // what was decoded while they came is taken back.
    virtual void StopFinishing() = 0;
    // Starts the client with no parameters; false, with the path it tried in failedClient,
    // when it did not start.
    virtual bool StartClient(std::string& failedClient) = 0;
};

class UpdateTrace {
public:
    virtual ~UpdateTrace() = default;
    virtual void Trace(const std::string& line) = 0;
    // A line for every read: written only while tracing at that level is on.
    virtual void TraceEachRead(const std::string& line) = 0;
};

struct UpdaterParts {
    UpdateView& view;
    UpdaterWindows& windows;
    PlayerDialogue& player;
    DownloadBatch& batch;
    Installation& installation;
    UpdateTrace& trace;
};

}  // namespace tavrin
