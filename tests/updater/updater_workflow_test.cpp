// The update dialog's reactions, judged by what they leave: what the player sees and was told,
// what was posted and started, and the updater's state.
#include "updater/update_workflow.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "download/status_codes.h"
#include "resources/player_texts.h"
#include "updater/disk_space.h"
#include "updater/package_arrivals.h"

namespace tavrin {
namespace {

const std::string kStopped = kUpgradeStopped;

// The dialog or the popup, as the player sees it.
struct Window {
    bool shown = false;
    std::string text;     // what the status line shows
    std::string pending;  // the dialog's text before its refresh
    bool ownText = false;  // the text is one of the updater's (UTF-8), not the engine's
    int bar = 0;
    bool clip = true;
    std::string button = "중  지";
};

// Every part of the updater at once, keeping only the outcome of what it was asked.
class FakeParts : public UpdateView,
                  public UpdaterWindows,
                  public PlayerDialogue,
                  public DownloadBatch,
                  public Installation,
                  public InstallSteps,
                  public UpdateTrace {
public:
    Window dialog, popup;
    std::vector<std::string> told;  // "network t", "upgrade", ...
    std::vector<bool> toldWithInstallStopped;  // for each: the installation was stopped before
    std::vector<NextStep> posted;
    int questions = 0;
    bool controlTold = false, stopSent = false, discarded = false, busyClip = true;
    bool popupOpenedBeforeWorker = false, workerStarted = false;
    bool finisherStarted = false, installStopSent = false;
    std::vector<std::string> finished;  // the finishing steps that ran
    // What the parts answer.
    bool answerYes = false, queueOk = true, clientStarts = true;
    bool workerStarts = true;  // false: no thread could be started
    bool finisherStarts = true;
    std::string refusedPackage;
    bool packagesBroken = false;  // signed, but not packages
    std::string downloadShort, installShort;  // the space needed, when too little is free
    InstallResult install;
    std::function<void()> duringQuestion;  // what the message loop runs while the box waits

    FakeParts() {
        dialog.shown = true;
        install.installed = true;
    }
    Window& At(Surface where) { return where == Surface::Dialog ? dialog : popup; }

    void SetStatus(Surface where, const std::string& text, TextEncoding encoding) override {
        Window& w = At(where);
        if (where == Surface::Popup && !w.shown) return;
        (where == Surface::Dialog ? w.pending : w.text) = text;
        w.ownText = encoding == TextEncoding::Utf8;
    }
    void SetProgress(Surface where, int percent) override {
        if (where == Surface::Dialog || popup.shown) At(where).bar = percent;
    }
    void ShowReadProgress(int percent, const std::string& text) override {
        SetProgress(Surface::Popup, percent);
        SetStatus(Surface::Popup, text, TextEncoding::Ansi);
    }
    void StopAnimation(Surface where) override { At(where).clip = false; }
    void SetStopButton(Surface where, StopButton state) override {
        At(where).button = state == StopButton::Disabled ? "disabled" : "닫  기";
    }
    void RefreshDialog() override { dialog.text = dialog.pending; }

    void HideDialog() override { dialog.shown = false; }
    bool HasPopup() override { return popup.shown; }
    void OpenPopup() override { popup = Window{}; popup.shown = true; }
    void ClosePopup() override { popup.shown = false; }
    void Post(NextStep step) override { posted.push_back(step); }
    void TellControlDone() override { controlTold = true; }

    bool AskStop() override {
        ++questions;
        if (duringQuestion) duringQuestion();
        return answerYes;
    }
    void Tell(Failure what, const std::string& detail) override {
        const char* names[] = {"upgrade", "network", "file", "folder", "restore", "client",
                               "configuration", "package", "space"};
        told.push_back(names[static_cast<int>(what)] + (detail.empty() ? "" : " " + detail));
        toldWithInstallStopped.push_back(installStopSent);
    }

    bool QueuePackages() override { return queueOk; }
    bool EnoughSpaceToDownload(std::string& needed) override {
        needed = downloadShort;
        return downloadShort.empty();
    }
    bool StartConfiguration() override { return workerStarts; }
    bool StartPackages() override {
        workerStarted = workerStarts;
        popupOpenedBeforeWorker = popup.shown;
        return workerStarts;
    }
    void Stop() override { stopSent = true; }
    void DiscardPackages() override { discarded = true; }
    void StopBusyAnimation() override { busyClip = false; }

    bool StartFinishing() override {
        finisherStarted = finisherStarts;
        return finisherStarts;
    }
    void StopFinishing() override { installStopSent = true; }
    bool VerifyPackages(std::string& refused) override {
        finished.push_back("verify");
        refused = refusedPackage;
        return refusedPackage.empty() && !packagesBroken;
    }
    bool EnoughSpaceToInstall(std::string& needed) override {
        finished.push_back("space");
        needed = installShort;
        return installShort.empty();
    }
    InstallResult InstallAllPackages() override {
        finished.push_back("install");
        return install;
    }
    void WriteShortcuts() override { finished.push_back("shortcuts"); }
    bool StartClient(std::string& failedClient) override {
        finished.push_back("client");
        if (!clientStarts) failedClient = "C:\\Game\\Orbisan.exe";
        return clientStarts;
    }
    void Trace(const std::string&) override {}
    void TraceEachRead(const std::string&) override {}
};

struct Updater {
    FakeParts parts;
    UpdateWorkflow flow{UpdaterParts{parts, parts, parts, parts, parts, parts}};

    void Status(int code, const std::string& text = "x", int percent = 0) {
        flow.OnDownloadStatus(code, percent, text);
    }
    // The configuration's worker, as OnInitDialog leaves it.
    Updater& InConfigPhase() {
        flow.Start();
        return *this;
    }
    // The configuration in and read: the popup shows and the packages' worker runs.
    Updater& InPackagePhase() {
        flow.Start();
        Status(STATUS_DOWNLOAD_START, "orbisan3.cfg - Downloading...");
        Status(STATUS_DOWNLOAD_END, "orbisan3.cfg - Download End!");
        Status(STATUS_DOWNLOAD_COMPLETE, "Download Files Complete!");
        flow.OnConfigDownloaded();
        parts.posted.clear();
        return *this;
    }
    // Every package in: the finishing step is posted.
    Updater& AllPackagesIn() {
        InPackagePhase();
        Status(STATUS_DOWNLOAD_COMPLETE, "Download Files Complete!");
        return *this;
    }
    // What the finishing worker does once started, and its report.
    void FinishOnWorker() {
        flow.OnFinished(RunFinishing(parts, [this] { return parts.installStopSent; }));
    }
};

using Told = std::vector<std::string>;
using Posted = std::vector<NextStep>;

// One status in one phase, and what it leaves where that phase's statuses show.
struct StatusRow {
    int code;
    int percent;
    Told told;
    bool dialogShown;
    std::string text;  // the status line of the dialog (configuration) or the popup (packages)
    int bar;
    UpdaterState state;
    Posted posted;
    bool popupShown = false;  // only while the update goes on: a failure leaves no window
};

void CheckRows(bool packagePhase, const std::vector<StatusRow>& rows, const std::string& t) {
    for (const StatusRow& row : rows) {
        SCOPED_TRACE("code " + std::to_string(row.code));
        Updater u;
        packagePhase ? u.InPackagePhase() : u.InConfigPhase();
        u.Status(row.code, t, row.percent);
        const Window& shows = packagePhase ? u.parts.popup : u.parts.dialog;
        EXPECT_EQ(row.told, u.parts.told);
        EXPECT_EQ(row.dialogShown, u.parts.dialog.shown);
        EXPECT_EQ(row.text, shows.text);
        EXPECT_EQ(row.bar, shows.bar);
        EXPECT_EQ(row.state, u.flow.State());
        EXPECT_EQ(row.posted, u.parts.posted);
        EXPECT_EQ(row.popupShown, u.parts.popup.shown);
        EXPECT_FALSE(u.parts.controlTold) << "a status alone never closes the page";
    }
}

TEST(UpdaterStatus, ConfigurationPhase) {
    const std::string t = "orbisan3.cfg - x";
    using S = UpdaterState;
    CheckRows(false,
              {
                  {STATUS_NET_ERROR, 0, {"network " + t}, false, "", 0, S::Ended, {}},
                  {STATUS_FILE_ERROR, 0, {"file " + t}, false, "", 0, S::Ended, {}},
                  {STATUS_USER_STOP, 0, {}, true, kStopped, 0, S::ConfigDownload, {}},
                  {STATUS_DOWNLOAD_SIZE, 40, {}, true, "", 0, S::ConfigDownload, {}},
                  {STATUS_DOWNLOAD_START, 0, {}, true, "", 0, S::ConfigDownload, {}},
                  // The configuration file is in: the dialog stops its clip and gives way to
                  // the popup, its status line and bar as they were.
                  {STATUS_DOWNLOAD_END, 0, {}, false, "", 0, S::ConfigDownload, {}},
                  {STATUS_DOWNLOAD_COMPLETE, 0, {}, true, t, 100, S::ConfigIn,
                   {NextStep::ReadConfiguration}},
                  // Alone, it is the last word of a worker that failed inside: the one message.
                  {STATUS_DOWNLOAD_ERROR_CLOSE, 0, {"upgrade"}, false, "", 0, S::Ended, {}},
                  {STATUS_URL_INVALID, 0, {"upgrade"}, false, "", 0, S::Ended, {}},
                  {STATUS_CLIENT_RUNNING, 0, {}, false, "", 0, S::Ended, {}},
                  // Tried again after a lost connection: said, and nothing else changes.
                  {STATUS_DOWNLOAD_RETRY, 0, {}, true, t, 0, S::ConfigDownload, {}},
                  {0, 0, {}, true, "", 0, S::ConfigDownload, {}},
                  {12, 0, {}, true, "", 0, S::ConfigDownload, {}},
              },
              t);
}

TEST(UpdaterStatus, PackagePhase) {
    const std::string t = "Vossel.dll.lzf - y";
    using S = UpdaterState;
    CheckRows(true,
              {
                  // Each failure closes the popup, which showed why until the message.
                  {STATUS_NET_ERROR, 0, {"network " + t}, false, t, 0, S::Ended, {}},
                  {STATUS_FILE_ERROR, 0, {"file " + t}, false, t, 0, S::Ended, {}},
                  {STATUS_USER_STOP, 0, {}, false, kStopped, 0, S::PackageDownload, {}, true},
                  {STATUS_DOWNLOAD_SIZE, 37, {}, false, t, 37, S::PackageDownload, {}, true},
                  {STATUS_DOWNLOAD_START, 0, {}, false, "", 0, S::PackageDownload, {}, true},
                  // The bar is the batch's: a package's end names it and leaves the bar.
                  {STATUS_DOWNLOAD_END, 0, {}, false, t, 0, S::PackageDownload, {}, true},
                  {STATUS_DOWNLOAD_COMPLETE, 0, {}, false, "", 0, S::PackagesIn,
                   {NextStep::Finish}, true},
                  {STATUS_DOWNLOAD_ERROR_CLOSE, 0, {"upgrade"}, false, t, 0, S::Ended, {}},
                  {STATUS_URL_INVALID, 0, {"upgrade"}, false, "", 0, S::Ended, {}},
                  {STATUS_CLIENT_RUNNING, 0, {}, false, "", 0, S::Ended, {}},
                  {STATUS_DOWNLOAD_RETRY, 0, {}, false, t, 0, S::PackageDownload, {}, true},
                  {12, 0, {}, false, "", 0, S::PackageDownload, {}, true},
              },
              t);
}

// Packages side by side: the bar shows the batch's furthest percentage whatever order the
// files start, end, are read or start again in; the line names the package last heard of.
TEST(UpdaterStatus, SideBySideTheBarNeverGoesBackAndTheLineNamesTheLastPackage) {
    const struct Row {
        int code;
        int percent;
        std::string text;
        int bar;
        std::string line;
    } rows[] = {
        {STATUS_DOWNLOAD_START, 0, "a.lzf - Downloading...", 0, ""},
        {STATUS_DOWNLOAD_SIZE, 10, "a.lzf - Read 4095 bytes", 10, "a.lzf - Read 4095 bytes"},
        {STATUS_DOWNLOAD_START, 0, "b.lzf - Downloading...", 10, "a.lzf - Read 4095 bytes"},
        {STATUS_DOWNLOAD_SIZE, 30, "b.lzf - Read 8190 bytes", 30, "b.lzf - Read 8190 bytes"},
        {STATUS_DOWNLOAD_END, 0, "b.lzf - Download End!", 30, "b.lzf - Download End!"},
        // a.lzf cut off and fetched whole again: the batch has fewer bytes for a moment.
        {STATUS_DOWNLOAD_RETRY, 0, "a.lzf - Retrying (1/3)...", 30, "a.lzf - Retrying (1/3)..."},
        {STATUS_DOWNLOAD_SIZE, 22, "a.lzf - Read 100 bytes", 30, "a.lzf - Read 100 bytes"},
        {STATUS_DOWNLOAD_START, 0, "c.lzf - Downloading...", 30, "a.lzf - Read 100 bytes"},
        {STATUS_DOWNLOAD_SIZE, 64, "c.lzf - Read 4095 bytes", 64, "c.lzf - Read 4095 bytes"},
        {STATUS_DOWNLOAD_SIZE, 100, "a.lzf - Read 9000 bytes", 100, "a.lzf - Read 9000 bytes"},
    };
    Updater u;
    u.InPackagePhase();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        u.Status(row.code, row.text, row.percent);
        EXPECT_EQ(row.bar, u.parts.popup.bar);
        EXPECT_EQ(row.line, u.parts.popup.text);
    }
}

// Every failed download is followed by the batch's end: the player reads one message.
TEST(UpdaterStatus, AFailedBatchEndsWithOneMessageInEitherPhase) {
    for (bool packagePhase : {false, true}) {
        for (int code : {STATUS_URL_INVALID, STATUS_NET_ERROR, STATUS_FILE_ERROR}) {
            SCOPED_TRACE(std::to_string(code) + (packagePhase ? " packages" : " configuration"));
            Updater u;
            packagePhase ? u.InPackagePhase() : u.InConfigPhase();
            u.Status(code, "a.lzf - x");
            u.Status(STATUS_DOWNLOAD_ERROR_CLOSE, "Download Error Close!");
            EXPECT_EQ(1u, u.parts.told.size());
            EXPECT_EQ(UpdaterState::Ended, u.flow.State());
            EXPECT_FALSE(u.parts.popup.shown);
            EXPECT_FALSE(u.parts.dialog.shown);
            EXPECT_EQ(std::vector<bool>{packagePhase}, u.parts.toldWithInstallStopped)
                << "what was decoded while the packages came is taken back before the message";
        }
    }
}

// The player confirmed a stop: whatever the worker reports afterwards needs no message, and
// nothing further starts, even a batch that completed in the meantime.
TEST(UpdaterStatus, AfterAConfirmedStopNothingIsToldAndNothingStarts) {
    const int codes[] = {STATUS_USER_STOP, STATUS_NET_ERROR, STATUS_FILE_ERROR,
                         STATUS_DOWNLOAD_ERROR_CLOSE, STATUS_URL_INVALID,
                         STATUS_DOWNLOAD_COMPLETE};
    for (bool packagePhase : {false, true}) {
        for (int code : codes) {
            SCOPED_TRACE(std::to_string(code) + (packagePhase ? " packages" : " configuration"));
            Updater u;
            u.parts.answerYes = true;
            if (packagePhase) {
                u.InPackagePhase();
                u.flow.OnPopupStop();
            } else {
                u.InConfigPhase();
                u.flow.OnStopButton();
            }
            u.Status(code, "a.lzf - x");
            u.Status(STATUS_DOWNLOAD_ERROR_CLOSE, "Download Error Close!");
            u.flow.OnConfigDownloaded();
            u.flow.OnPackagesDownloaded();
            EXPECT_TRUE(u.parts.told.empty());
            EXPECT_TRUE(u.parts.finished.empty());
            EXPECT_EQ(packagePhase, u.parts.workerStarted) << "no second worker after a stop";
            EXPECT_EQ(UpdaterState::Stopping, u.flow.State()) << "the button still closes";
            EXPECT_EQ(packagePhase, u.parts.popup.shown) << "the popup's button, in its phase";
            EXPECT_EQ(packagePhase, u.parts.installStopSent) << "nor any decoding";
        }
    }
}

TEST(UpdaterStatus, WithoutThePopupNoStatusReachesIt) {
    const int codes[] = {STATUS_NET_ERROR, STATUS_USER_STOP, STATUS_DOWNLOAD_SIZE,
                         STATUS_DOWNLOAD_START, STATUS_DOWNLOAD_END, STATUS_DOWNLOAD_ERROR_CLOSE,
                         STATUS_URL_INVALID};
    for (int code : codes) {
        SCOPED_TRACE(code);
        Updater u;
        u.InPackagePhase();
        u.parts.popup = Window{};  // it could not be made
        u.Status(code, "y", 50);
        EXPECT_EQ("", u.parts.popup.text);
        EXPECT_EQ(0, u.parts.popup.bar);
    }
}

TEST(UpdaterConfiguration, ReadingItOpensThePopupBeforeTheSecondWorkerStarts) {
    Updater u;
    u.InConfigPhase();
    u.Status(STATUS_DOWNLOAD_COMPLETE, "Download Files Complete!");
    u.flow.OnConfigDownloaded();
    EXPECT_FALSE(u.parts.busyClip) << "the configuration's clip stops";
    EXPECT_TRUE(u.parts.workerStarted);
    EXPECT_TRUE(u.parts.popupOpenedBeforeWorker) << "the worker plays the popup's clip";
    EXPECT_EQ(UpdaterState::PackageDownload, u.flow.State());
}

// A refused configuration, or a disk without room for its packages, ends the updater before
// any package is fetched.
TEST(UpdaterConfiguration, ARefusedOneOrTooLittleRoomEndsBeforeAnyPackage) {
    for (bool refused : {true, false}) {
        SCOPED_TRACE(refused ? "refused" : "too little room");
        Updater u;
        u.InConfigPhase();
        u.Status(STATUS_DOWNLOAD_COMPLETE, "");
        u.parts.queueOk = !refused;
        u.parts.downloadShort = "135 MB";
        u.flow.OnConfigDownloaded();
        EXPECT_EQ(Told{refused ? "configuration" : "space 135 MB"}, u.parts.told);
        EXPECT_FALSE(u.parts.workerStarted);
        EXPECT_FALSE(u.parts.popup.shown);
        EXPECT_FALSE(u.parts.dialog.shown);
        EXPECT_EQ(UpdaterState::Ended, u.flow.State());
    }
}

TEST(UpdaterStop, DialogButtonNoThenYesThenClose) {
    Updater u;
    u.InConfigPhase();
    u.flow.OnStopButton();
    EXPECT_EQ(1, u.parts.questions);
    EXPECT_FALSE(u.parts.stopSent) << "No leaves everything running";
    EXPECT_EQ(UpdaterState::ConfigDownload, u.flow.State());

    u.parts.answerYes = true;
    u.flow.OnStopButton();
    EXPECT_TRUE(u.parts.stopSent);
    EXPECT_EQ("닫  기", u.parts.dialog.button);
    EXPECT_EQ(kStopped, u.parts.dialog.text) << "told at once, before the worker says so";
    EXPECT_TRUE(u.parts.dialog.ownText);
    EXPECT_EQ(UpdaterState::Stopping, u.flow.State());

    u.flow.OnStopButton();  // "닫  기"
    EXPECT_EQ(2, u.parts.questions) << "the close asks nothing";
    EXPECT_FALSE(u.parts.dialog.shown);
    EXPECT_TRUE(u.parts.controlTold);
    EXPECT_EQ(UpdaterState::Closed, u.flow.State());

    // A closed updater hears nothing more.
    u.parts.controlTold = false;
    u.Status(STATUS_USER_STOP, "User Stop!");
    u.Status(STATUS_DOWNLOAD_ERROR_CLOSE, "Download Error Close!");
    u.flow.OnStopButton();
    u.flow.OnPopupStop();
    EXPECT_EQ(2, u.parts.questions);
    EXPECT_TRUE(u.parts.told.empty());
    EXPECT_FALSE(u.parts.controlTold);
}

TEST(UpdaterStop, ConfirmedAfterTheWorkerEndedDoesNotTouchTheDownloader) {
    Updater u;
    u.InConfigPhase();
    u.Status(STATUS_NET_ERROR, "x");
    u.parts.answerYes = true;
    u.flow.OnStopButton();
    EXPECT_FALSE(u.parts.stopSent);
    EXPECT_EQ("닫  기", u.parts.dialog.button);
}

TEST(UpdaterStop, PopupNoStopsTheClipThenYesThenCloseDeletesThePackages) {
    Updater u;
    u.InPackagePhase();
    u.flow.OnPopupStop();
    EXPECT_FALSE(u.parts.busyClip) << "stopped before the question, and not restarted on No";
    EXPECT_FALSE(u.parts.stopSent);
    EXPECT_EQ("중  지", u.parts.popup.button);

    u.parts.answerYes = true;
    u.flow.OnPopupStop();
    EXPECT_TRUE(u.parts.stopSent);
    EXPECT_EQ("닫  기", u.parts.popup.button);
    EXPECT_EQ(kStopped, u.parts.popup.text);
    EXPECT_TRUE(u.parts.popup.ownText);
    EXPECT_FALSE(u.parts.popup.clip);
    EXPECT_EQ(UpdaterState::Stopping, u.flow.State());

    u.flow.OnPopupStop();  // "닫  기"
    EXPECT_EQ(2, u.parts.questions);
    EXPECT_FALSE(u.parts.popup.shown);
    EXPECT_TRUE(u.parts.discarded);
    EXPECT_TRUE(u.parts.controlTold);
    EXPECT_EQ(UpdaterState::Closed, u.flow.State());
}

// While a question waits, its message loop runs: the batch completes and the finishing step
// runs. The answer given afterwards, in either window, changes nothing.
TEST(UpdaterStop, AnswerGivenAfterTheFinishingStepChangesNothing) {
    for (bool popup : {true, false}) {
        SCOPED_TRACE(popup ? "popup" : "dialog");
        Updater u;
        u.InPackagePhase();
        u.parts.answerYes = true;
        u.parts.duringQuestion = [&u] {
            u.Status(STATUS_DOWNLOAD_COMPLETE, "Download Files Complete!");
            u.flow.OnPackagesDownloaded();
            u.FinishOnWorker();
        };
        popup ? u.flow.OnPopupStop() : u.flow.OnStopButton();
        EXPECT_EQ(UpdaterState::Closed, u.flow.State());
        EXPECT_FALSE(u.parts.stopSent);
        EXPECT_EQ("중  지", u.parts.popup.button);
        EXPECT_NE("닫  기", u.parts.dialog.button);
        EXPECT_EQ((std::vector<std::string>{"verify", "space", "install", "shortcuts", "client"}),
                  u.parts.finished);
    }
}

TEST(UpdaterFinishing, InstallsWritesShortcutsStartsTheClientThenTellsTheControl) {
    Updater u;
    u.AllPackagesIn();
    u.flow.OnPackagesDownloaded();
    EXPECT_TRUE(u.parts.finished.empty()) << "nothing of it on the dialog's thread";
    EXPECT_TRUE(u.parts.finisherStarted);
    EXPECT_TRUE(u.parts.popup.shown) << "the popup shows the installation";
    u.FinishOnWorker();
    EXPECT_EQ((std::vector<std::string>{"verify", "space", "install", "shortcuts", "client"}),
              u.parts.finished);
    EXPECT_FALSE(u.parts.popup.shown);
    EXPECT_TRUE(u.parts.told.empty());
    EXPECT_TRUE(u.parts.controlTold);
    EXPECT_EQ(UpdaterState::Closed, u.flow.State());
    EXPECT_FALSE(u.parts.installStopSent) << "a set that stands is not taken back";

    u.parts.finished.clear();
    u.parts.finisherStarted = false;
    u.flow.OnPackagesDownloaded();  // a second post
    u.flow.OnFinished(FinishOutcome{});  // and a report with no worker behind it
    EXPECT_FALSE(u.parts.finisherStarted) << "the finishing step runs once";
    EXPECT_TRUE(u.parts.finished.empty());
}

// A finishing step that fails says why and hides the dialog; the control is not told, so the
// page stays open.
TEST(UpdaterFinishing, AFailedStepEndsWithoutLaunch) {
    const InstallResult kInstalled{true, {}, "", "", {}};
    const InstallResult kNotInstalled{false, {}, "", "", {}};
    const struct {
        const char* what;
        std::string refusedPackage;
        InstallResult install;
        bool clientStarts;
        Told told;
        std::vector<std::string> finished;
        std::string installShort = "";
        bool broken = false;
    } rows[] = {
        {"a package that is not the signed one", "Vossel.dll.lzf", kInstalled, true,
         {"package Vossel.dll.lzf"}, {"verify"}},
        {"a signed package whose blocks are broken", "", kInstalled, true, {"upgrade"},
         {"verify"}, "", true},
        {"too little room for what the packages decode to", "", kInstalled, true,
         {"space 2049 MB"}, {"verify", "space"}, "2049 MB"},
        {"the old installation stands whole", "", kNotInstalled, true, {"upgrade"},
         {"verify", "space", "install"}},
        {"old files could not be put back", "",
         {false, {"C:\\V\\a.dll", "C:\\V\\b.dll"}, "", "", {}}, true,
         {"restore C:\\V\\a.dll\r\nC:\\V\\b.dll"}, {"verify", "space", "install"}},
        {"a folder where a file goes", "", {false, {}, "C:\\V\\a.dll", "", {}}, true,
         {"folder C:\\V\\a.dll"}, {"verify", "space", "install"}},
        {"a release without the client", "", {false, {}, "", "C:\\V\\Orbisan.exe", {}}, true,
         {"client C:\\V\\Orbisan.exe"}, {"verify", "space", "install"}},
        {"the installed client does not start", "", kInstalled, false,
         {"client C:\\Game\\Orbisan.exe"}, {"verify", "space", "install", "shortcuts", "client"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Updater u;
        u.AllPackagesIn();
        u.parts.refusedPackage = row.refusedPackage;
        u.parts.install = row.install;
        u.parts.clientStarts = row.clientStarts;
        u.parts.installShort = row.installShort;
        u.parts.packagesBroken = row.broken;
        u.flow.OnPackagesDownloaded();
        u.FinishOnWorker();
        EXPECT_EQ(row.told, u.parts.told);
        EXPECT_EQ(row.finished, u.parts.finished);
        EXPECT_FALSE(u.parts.controlTold);
        EXPECT_FALSE(u.parts.dialog.shown);
        EXPECT_EQ(UpdaterState::Ended, u.flow.State());
    }
}

// While the worker installs, the popup shows which package and how far the set has come;
// after the worker's report, or a stop, its progress no longer shows.
TEST(UpdaterFinishing, ThePopupShowsWhatIsBeingInstalled) {
    Updater u;
    u.AllPackagesIn();
    u.flow.OnPackagesDownloaded();
    EXPECT_EQ(0, u.parts.popup.bar);
    u.flow.OnInstallProgress(40, "Vossel.dll.lzf");
    EXPECT_EQ("Vossel.dll.lzf - Installing...", u.parts.popup.text);
    EXPECT_TRUE(u.parts.popup.ownText);
    EXPECT_EQ(40, u.parts.popup.bar);
    u.parts.answerYes = true;
    u.flow.OnPopupStop();
    u.flow.OnInstallProgress(80, "Ketter.dll.lzf");
    EXPECT_EQ(kStopped, u.parts.popup.text);
    EXPECT_EQ(0, u.parts.popup.bar);
}

// A stop confirmed while the worker installs reaches it; what the player is left with depends
// on how far it had come. No client starts after a stop; "닫  기" then ends the updater.
TEST(UpdaterFinishing, AStopDuringTheInstallation) {
    const InstallResult kInstalled{true, {}, "", "", {}};
    InstallResult undone;
    undone.stopped = true;
    const InstallResult kNotRestored{false, {"C:\\V\\a.dll"}, "", "", {}};
    const struct {
        const char* what;
        bool yes;
        InstallResult install;
        Told told;
        std::vector<std::string> finished;
        UpdaterState state;
    } rows[] = {
        {"No: the installation goes on", false, kInstalled, {},
         {"verify", "space", "install", "shortcuts", "client"}, UpdaterState::Closed},
        {"Yes before the replacement: taken back", true, undone, {}, {"verify", "space", "install"},
         UpdaterState::Stopping},
        {"Yes once the replacement began: the set completes", true, kInstalled, {},
         {"verify", "space", "install", "shortcuts"}, UpdaterState::Stopping},
        {"Yes, and the old files could not all be put back", true, kNotRestored,
         {"restore C:\\V\\a.dll"}, {"verify", "space", "install"}, UpdaterState::Stopping},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Updater u;
        u.AllPackagesIn();
        u.flow.OnPackagesDownloaded();
        u.parts.answerYes = row.yes;
        u.flow.OnPopupStop();
        EXPECT_EQ(row.yes, u.parts.installStopSent);
        // The fake installation runs on as far as the row says, whatever the stop.
        u.parts.installStopSent = false;
        u.parts.install = row.install;
        u.FinishOnWorker();
        EXPECT_EQ(row.told, u.parts.told);
        EXPECT_EQ(row.finished, u.parts.finished);
        EXPECT_EQ(row.state, u.flow.State());
        EXPECT_FALSE(u.parts.stopSent) << "the downloads are over";
        if (!row.yes) continue;
        EXPECT_FALSE(u.parts.controlTold);
        EXPECT_TRUE(u.parts.popup.shown);
        EXPECT_EQ("닫  기", u.parts.popup.button);
        EXPECT_EQ(kStopped, u.parts.popup.text);
        u.flow.OnPopupStop();
        EXPECT_TRUE(u.parts.controlTold);
        EXPECT_EQ(UpdaterState::Closed, u.flow.State());
    }
}

// The worker looks for a stop before each step: a stop runs no step after it.
TEST(UpdaterFinishing, TheWorkerRunsNoStepAfterAStop) {
    const struct {
        size_t stopAfter;  // steps run before the stop is seen
        FinishOutcome::Step step;
        std::vector<std::string> finished;
    } rows[] = {
        {0, FinishOutcome::kStopped, {}},
        {1, FinishOutcome::kStopped, {"verify"}},
        {2, FinishOutcome::kStopped, {"verify", "space"}},
        // From the replacement on, only the set may say; one that stands gets its shortcuts.
        {3, FinishOutcome::kInstalled, {"verify", "space", "install", "shortcuts"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.stopAfter);
        FakeParts parts;
        const FinishOutcome outcome =
            RunFinishing(parts, [&] { return parts.finished.size() >= row.stopAfter; });
        EXPECT_EQ(row.step, outcome.step);
        EXPECT_EQ(row.finished, parts.finished);
    }
    FakeParts parts;
    parts.install.installed = false;
    parts.install.stopped = true;
    EXPECT_EQ(FinishOutcome::kStopped, RunFinishing(parts, nullptr).step)
        << "a stop the installation itself saw";
}

// A finishing worker that cannot start ends with the general message, page open.
TEST(UpdaterFinishing, AWorkerThatCannotStartIsTold) {
    Updater u;
    u.AllPackagesIn();
    u.parts.finisherStarts = false;
    u.flow.OnPackagesDownloaded();
    EXPECT_EQ(Told{"upgrade"}, u.parts.told);
    EXPECT_FALSE(u.parts.popup.shown);
    EXPECT_FALSE(u.parts.controlTold);
    EXPECT_EQ(UpdaterState::Ended, u.flow.State());
}

TEST(UpdaterFinishing, AFolderThatCannotBeMadeIsNamedAndEndsTheUpdater) {
    Updater u;
    u.flow.FolderFailed("C:\\Program Files\\Temp");
    EXPECT_EQ(Told{"folder C:\\Program Files\\Temp"}, u.parts.told);
    EXPECT_FALSE(u.parts.dialog.shown);
    EXPECT_FALSE(u.parts.dialog.clip);
    EXPECT_FALSE(u.parts.workerStarted);
    EXPECT_EQ(UpdaterState::Ended, u.flow.State());
}

// A worker that cannot start would leave the updater waiting for a report that never comes:
// in either phase the general message is told once and the updater ends, page open.
TEST(UpdaterStart, AWorkerThatCannotStartEndsWithTheGeneralMessage) {
    for (const bool packagePhase : {false, true}) {
        SCOPED_TRACE(packagePhase ? "package batch" : "configuration");
        Updater u;
        if (packagePhase) {
            u.flow.Start();
            u.Status(STATUS_DOWNLOAD_COMPLETE, "Download Files Complete!");
            u.parts.workerStarts = false;
            u.flow.OnConfigDownloaded();
        } else {
            u.parts.workerStarts = false;
            u.flow.Start();
        }
        EXPECT_EQ(Told{"upgrade"}, u.parts.told);
        EXPECT_FALSE(u.parts.dialog.shown);
        EXPECT_FALSE(u.parts.popup.shown);
        EXPECT_FALSE(u.flow.WorkerRunning());
        EXPECT_FALSE(u.parts.controlTold);
        EXPECT_EQ(UpdaterState::Ended, u.flow.State());
    }
}

// Begun once only: a second start, or one after the player stopped, starts no worker.
TEST(UpdaterStart, OnlyAPreparingUpdaterStarts) {
    Updater u;
    u.flow.FolderFailed("C:\\x");
    u.parts.workerStarts = false;  // a start now would tell
    u.flow.Start();
    EXPECT_EQ(Told{"folder C:\\x"}, u.parts.told);
    EXPECT_EQ(UpdaterState::Ended, u.flow.State());
}

// The player is never told less than is needed, and a sum of huge signed sizes cannot wrap
// round to a small one.
// The lanes hand each package to the finishing worker as it arrives: what came before the
// worker waits is kept, every arrival is taken before "all in", a stop wins over what is
// queued, and a batch that comes in after the worker stopped listening is told so.
TEST(PackageArrivals, EachArrivalReachesTheWorkerAndAStopWins) {
    using Next = PackageArrivals::Next;
    const struct {
        const char* what;
        bool stopped;     // a stop before the worker waits, with all three queued
        bool leavesAt3;   // the worker stops listening after three packages
        std::vector<std::string> taken;
        Next last;
    } rows[] = {
        {"all in after three", false, false, {"a.lzf", "b.lzf", "c.lzf"}, Next::kAllIn},
        {"stopped with three queued", true, false, {}, Next::kStopped},
        {"the worker left", false, true, {"a.lzf", "b.lzf", "c.lzf"}, Next::kPackage},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        PackageArrivals arrivals;
        arrivals.Arrived("a.lzf");  // before the worker waits
        if (row.stopped) {
            arrivals.Arrived("b.lzf");
            arrivals.Arrived("c.lzf");
            arrivals.Stop();
        }
        std::vector<std::string> taken;
        Next last = Next::kPackage;
        std::thread worker([&] {
            std::string package;
            while ((last = arrivals.Wait(&package)) == Next::kPackage) {
                taken.push_back(package);
                if (row.leavesAt3 && taken.size() == 3) break;
            }
            arrivals.Close();
        });
        if (!row.stopped) {
            arrivals.Arrived("b.lzf");
            arrivals.Arrived("c.lzf");
        }
        if (row.leavesAt3) worker.join();
        // "All in" reaches only a worker that still listens.
        EXPECT_EQ(!row.stopped && !row.leavesAt3, arrivals.AllIn());
        if (worker.joinable()) worker.join();
        EXPECT_EQ(row.taken, taken);
        EXPECT_EQ(row.last, last);
        EXPECT_FALSE(arrivals.AllIn()) << "nobody listens any more";
    }
}

TEST(UpdaterSpace, NeededSpaceIsRoundedUpAndNeverWraps) {
    EXPECT_EQ("1 MB", MegabytesText(1));
    EXPECT_EQ("1 MB", MegabytesText(1 << 20));
    EXPECT_EQ("2 MB", MegabytesText((1 << 20) + 1));
    EXPECT_EQ(kSpaceMargin + 5, SpaceNeeded(5));
    const uint64_t most = ~uint64_t{0};
    EXPECT_EQ(most, AddSizes(most - 1, 2));
    EXPECT_EQ(most, SpaceNeeded(most - 1));
}

}  // namespace
}  // namespace tavrin
