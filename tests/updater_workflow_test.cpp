// The update dialog's reactions, driven through a recording fake of its window operations.
#include "updater/update_workflow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "download/status_codes.h"

namespace tavrin {
namespace {

class FakeUi : public UpdaterUi {
public:
    std::vector<std::string> calls;
    bool popup = false;
    bool popupStop = false;
    bool answerYes = false;
    bool queueOk = true;
    bool installOk = true;
    std::vector<std::string> notRestored;  // after a failed installation
    std::string blocked, missingClient;    // refusals that changed nothing
    bool packagesOk = true;
    bool clientStarts = true;
    std::function<void()> duringQuestion;  // what the message loop runs while the box waits

    void EndDialog() override { calls.push_back("EndDialog"); }
    void SetDialogStatus(const std::string& t) override { calls.push_back("DialogStatus " + t); }
    void SetDialogProgress(int p) override { calls.push_back("DialogProgress " + std::to_string(p)); }
    void RefreshDialog() override { calls.push_back("RefreshDialog"); }
    void StopDialogAnimation() override { calls.push_back("StopDialogAnimation"); }
    void DisableStopButton() override { calls.push_back("DisableStopButton"); }
    void RelabelStopButton() override { calls.push_back("RelabelStopButton"); }
    bool HasPopup() override { return popup; }
    void CreatePopup() override { popup = true; calls.push_back("CreatePopup"); }
    void DestroyPopup() override { popup = false; calls.push_back("DestroyPopup"); }
    void StopPopupAnimation() override { calls.push_back("StopPopupAnimation"); }
    void SetPopupStatus(const std::string& t, TextEncoding e) override {
        calls.push_back(std::string("PopupStatus ") + (e == TextEncoding::Utf8 ? "utf8 " : "") + t);
    }
    void SetPopupProgress(int p) override { calls.push_back("PopupProgress " + std::to_string(p)); }
    void ShowPopupProgress(int p, const std::string& t) override {
        calls.push_back("PopupReadProgress " + std::to_string(p) + " " + t);
    }
    bool PopupStopRequested() override { return popupStop; }
    void MarkPopupStopRequested() override { popupStop = true; calls.push_back("MarkPopupStop"); }
    void StopBusyAnimation() override { calls.push_back("StopBusyAnimation"); }
    bool AskStop() override {
        calls.push_back("AskStop");
        if (duringQuestion) duringQuestion();
        return answerYes;
    }
    void ShowUpgradeFailed() override { calls.push_back("ShowUpgradeFailed"); }
    void ShowConfigReadFailed() override { calls.push_back("ShowConfigReadFailed"); }
    void ShowFailure(Failure what, const std::string& detail, TextEncoding encoding) override {
        const char* names[] = {"network", "file", "folder", "restore", "client"};
        calls.push_back(std::string("ShowFailure ") + names[static_cast<int>(what)] +
                        (encoding == TextEncoding::Ansi ? " (ANSI) " : " (UTF-8) ") + detail);
    }
    void PostConfigDownloaded() override { calls.push_back("PostConfigDownloaded"); }
    void PostPackagesDownloaded() override { calls.push_back("PostPackagesDownloaded"); }
    void PostLaunchDone() override { calls.push_back("PostLaunchDone"); }
    void SetStop() override { calls.push_back("SetStop"); }
    bool QueuePackages() override { calls.push_back("QueuePackages"); return queueOk; }
    void TargetPackages() override { calls.push_back("TargetPackages"); }
    void StartWorker() override { calls.push_back("StartWorker"); }
    void DeleteDownloadedPackages() override { calls.push_back("DeletePackages"); }
    bool VerifyPackages() override { calls.push_back("Verify"); return packagesOk; }
    void ShowPackageRefused() override { calls.push_back("ShowPackageRefused"); }
    InstallResult InstallAllPackages() override {
        calls.push_back("Install");
        InstallResult result;
        result.installed = installOk;
        result.notRestored = notRestored;
        result.blocked = blocked;
        result.missingClient = missingClient;
        return result;
    }
    void WriteShortcuts() override { calls.push_back("WriteShortcuts"); }
    bool StartClient(std::string& failedClient) override {
        calls.push_back("StartClient");
        if (!clientStarts) failedClient = "C:\\Game\\Orbisan.exe";
        return clientStarts;
    }
    void Trace(const std::string&) override {}
    void TraceEachRead(const std::string&) override {}
};

using Calls = std::vector<std::string>;

// A workflow in the configuration phase, as OnInitDialog leaves it.
struct ConfigPhase : ::testing::Test {
    FakeUi ui;
    UpdateWorkflow flow{ui};
    void SetUp() override { flow.Started(); }
};

// Takes a new workflow to the package phase: configuration read, popup shown, second worker
// running; what the UI saw on the way is forgotten.
void IntoPackagePhase(UpdateWorkflow& flow, FakeUi& ui) {
    flow.Started();
    flow.OnDownloadStatus(STATUS_DOWNLOAD_COMPLETE, 0, "Download Files Complete!");
    flow.OnConfigDownloaded();
    ui.calls.clear();
}

struct PackagePhase : ::testing::Test {
    FakeUi ui;
    UpdateWorkflow flow{ui};
    void SetUp() override { IntoPackagePhase(flow, ui); }
};

struct Row {
    int code;
    int percent;
    Calls expected;
    UpdaterState state;
    bool workerRunning;
};

TEST_F(ConfigPhase, EveryStatusCode) {
    const std::string t = "orbisan3.cfg - x";
    const Row rows[] = {
        {STATUS_NET_ERROR, 0, {"StopDialogAnimation", "ShowFailure network (ANSI) " + t, "EndDialog"},
         UpdaterState::Ended, false},
        {STATUS_FILE_ERROR, 0, {"StopDialogAnimation", "ShowFailure file (ANSI) " + t, "EndDialog"},
         UpdaterState::Ended, false},
        {STATUS_USER_STOP, 0, {"RefreshDialog"}, UpdaterState::ConfigDownload, false},
        {STATUS_DOWNLOAD_SIZE, 40, {"RefreshDialog"}, UpdaterState::ConfigDownload, true},
        {STATUS_DOWNLOAD_START, 0, {"RefreshDialog"}, UpdaterState::ConfigDownload, true},
        {STATUS_DOWNLOAD_END, 0,
         {"StopDialogAnimation", "RefreshDialog", "EndDialog", "RefreshDialog"},
         UpdaterState::ConfigDownload, true},
        {STATUS_DOWNLOAD_COMPLETE, 0,
         {"DialogStatus " + t, "DialogProgress 100", "DisableStopButton", "PostConfigDownloaded",
          "RefreshDialog"},
         UpdaterState::PackageDownload, true},
        // Alone, it is the last word of a worker that failed inside: the one message.
        {STATUS_DOWNLOAD_ERROR_CLOSE, 0, {"StopDialogAnimation", "ShowUpgradeFailed", "EndDialog"},
         UpdaterState::Ended, false},
        {STATUS_URL_INVALID, 0, {"StopDialogAnimation", "ShowUpgradeFailed", "EndDialog"},
         UpdaterState::Ended, false},
        {STATUS_CLIENT_RUNNING, 0, {"EndDialog"}, UpdaterState::Ended, false},
        {0, 0, {"RefreshDialog"}, UpdaterState::ConfigDownload, true},
        {11, 0, {"RefreshDialog"}, UpdaterState::ConfigDownload, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("code " + std::to_string(row.code));
        FakeUi fresh;
        UpdateWorkflow f(fresh);
        f.Started();
        f.OnDownloadStatus(row.code, row.percent, t);
        EXPECT_EQ(row.expected, fresh.calls);
        EXPECT_EQ(row.state, f.State());
        EXPECT_EQ(row.workerRunning, f.WorkerRunning());
        EXPECT_EQ(row.code != STATUS_DOWNLOAD_COMPLETE, f.ConfigPhase());
    }
}

TEST_F(PackagePhase, EveryStatusCodeWithThePopupShown) {
    const std::string t = "Vossel.dll.lzf - y";
    const Row rows[] = {
        {STATUS_NET_ERROR, 0,
         {"StopPopupAnimation", "PopupStatus " + t, "PopupProgress 0",
          "ShowFailure network (ANSI) " + t, "EndDialog"},
         UpdaterState::Ended, false},
        {STATUS_FILE_ERROR, 0,
         {"StopPopupAnimation", "PopupStatus " + t, "PopupProgress 0", "ShowFailure file (ANSI) " + t,
          "EndDialog"},
         UpdaterState::Ended, false},
        {STATUS_USER_STOP, 0,
         {"StopPopupAnimation", "PopupStatus utf8 업그레이드가 중지되었습니다.",
          "PopupProgress 0", "RefreshDialog"},
         UpdaterState::PackageDownload, false},
        {STATUS_DOWNLOAD_SIZE, 37, {"PopupReadProgress 37 " + t, "RefreshDialog"},
         UpdaterState::PackageDownload, true},
        {STATUS_DOWNLOAD_START, 0, {"PopupProgress 0", "RefreshDialog"},
         UpdaterState::PackageDownload, true},
        {STATUS_DOWNLOAD_END, 0,
         {"PopupStatus " + t, "PopupProgress 100", "RefreshDialog", "EndDialog",
          "RefreshDialog"},
         UpdaterState::PackageDownload, true},
        {STATUS_DOWNLOAD_COMPLETE, 0,
         {"DialogStatus " + t, "DialogProgress 100", "DisableStopButton",
          "PostPackagesDownloaded", "RefreshDialog"},
         UpdaterState::Finishing, true},
        {STATUS_DOWNLOAD_ERROR_CLOSE, 0,
         {"StopPopupAnimation", "PopupStatus " + t, "ShowUpgradeFailed", "EndDialog"},
         UpdaterState::Ended, false},
        {STATUS_URL_INVALID, 0,
         {"StopPopupAnimation", "ShowUpgradeFailed", "EndDialog", "PopupStatus " + t},
         UpdaterState::Ended, false},
        {STATUS_CLIENT_RUNNING, 0, {"EndDialog"}, UpdaterState::Ended, false},
        {12, 0, {"RefreshDialog"}, UpdaterState::PackageDownload, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("code " + std::to_string(row.code));
        FakeUi fresh;
        UpdateWorkflow f(fresh);
        IntoPackagePhase(f, fresh);
        f.OnDownloadStatus(row.code, row.percent, t);
        EXPECT_EQ(row.expected, fresh.calls);
        EXPECT_EQ(row.state, f.State());
        EXPECT_EQ(row.workerRunning, f.WorkerRunning());
    }
}

// Every failed download is followed by the batch's end: the player reads one message.
TEST(UpdaterStates, AFailedBatchEndsWithOneMessageInEitherPhase) {
    for (bool packagePhase : {false, true}) {
        for (int code : {STATUS_URL_INVALID, STATUS_NET_ERROR, STATUS_FILE_ERROR}) {
            SCOPED_TRACE(std::to_string(code) + (packagePhase ? " packages" : " configuration"));
            FakeUi ui;
            UpdateWorkflow flow(ui);
            if (packagePhase)
                IntoPackagePhase(flow, ui);
            else
                flow.Started();
            flow.OnDownloadStatus(code, 0, "a.lzf - x");
            flow.OnDownloadStatus(STATUS_DOWNLOAD_ERROR_CLOSE, 0, "Download Error Close!");
            const auto messages = std::count_if(ui.calls.begin(), ui.calls.end(), [](const std::string& c) {
                return c == "ShowUpgradeFailed" || c.rfind("ShowFailure", 0) == 0;
            });
            EXPECT_EQ(1, messages);
        }
    }
}

TEST_F(PackagePhase, ErrorCloseAfterAStopAskedInThePopupShowsNoMessage) {
    ui.answerYes = true;
    flow.OnPopupStop();
    ui.calls.clear();
    flow.OnDownloadStatus(STATUS_USER_STOP, 0, "User Stop!");
    flow.OnDownloadStatus(STATUS_DOWNLOAD_ERROR_CLOSE, 0, "Download Error Close!");
    EXPECT_EQ((Calls{"StopPopupAnimation", "PopupStatus utf8 업그레이드가 중지되었습니다.",
                     "PopupProgress 0", "RefreshDialog", "StopPopupAnimation",
                     "PopupStatus Download Error Close!"}),
              ui.calls);
    EXPECT_EQ(UpdaterState::Stopping, flow.State());
}

TEST_F(PackagePhase, WithoutThePopupOnlyTheDialogIsTouched) {
    ui.popup = false;  // the user's final close destroyed it
    const int codes[] = {STATUS_NET_ERROR, STATUS_USER_STOP, STATUS_DOWNLOAD_SIZE,
                         STATUS_DOWNLOAD_START, STATUS_DOWNLOAD_END, STATUS_DOWNLOAD_ERROR_CLOSE,
                         STATUS_URL_INVALID};
    for (int code : codes) {
        SCOPED_TRACE(code);
        ui.calls.clear();
        flow.OnDownloadStatus(code, 50, "x");
        for (const std::string& call : ui.calls) EXPECT_EQ(std::string::npos, call.find("Popup"));
    }
}

TEST_F(ConfigPhase, ConfigurationReadQueuesPackagesAndStartsTheSecondWorker) {
    flow.OnDownloadStatus(STATUS_DOWNLOAD_COMPLETE, 0, "Download Files Complete!");
    ui.calls.clear();
    flow.OnConfigDownloaded();
    EXPECT_EQ((Calls{"StopBusyAnimation", "QueuePackages", "TargetPackages", "CreatePopup",
                     "StartWorker"}),
              ui.calls);
    EXPECT_TRUE(flow.WorkerRunning());
    EXPECT_EQ(UpdaterState::PackageDownload, flow.State());
}

TEST_F(ConfigPhase, UnreadableConfigurationEndsInsteadOfInstallingNothing) {
    flow.OnDownloadStatus(STATUS_DOWNLOAD_COMPLETE, 0, "");
    ui.queueOk = false;
    ui.calls.clear();
    flow.OnConfigDownloaded();
    EXPECT_EQ((Calls{"StopBusyAnimation", "QueuePackages", "ShowConfigReadFailed", "EndDialog"}),
              ui.calls);
    EXPECT_EQ(UpdaterState::Ended, flow.State());
    EXPECT_FALSE(flow.WorkerRunning());
}

TEST_F(ConfigPhase, DialogStopButtonNoThenYesThenClose) {
    ui.answerYes = false;
    flow.OnStopButton();
    EXPECT_EQ(Calls{"AskStop"}, ui.calls);
    EXPECT_FALSE(flow.StopConfirmed());

    ui.answerYes = true;
    ui.calls.clear();
    flow.OnStopButton();
    EXPECT_EQ((Calls{"AskStop", "SetStop", "RelabelStopButton"}), ui.calls);
    EXPECT_EQ(UpdaterState::Stopping, flow.State());

    ui.calls.clear();
    flow.OnStopButton();  // the button reads "닫  기" now
    EXPECT_EQ((Calls{"EndDialog", "PostLaunchDone"}), ui.calls);
    EXPECT_EQ(UpdaterState::Closed, flow.State());

    ui.calls.clear();
    flow.OnDownloadStatus(STATUS_USER_STOP, 0, "User Stop!");
    flow.OnDownloadStatus(STATUS_DOWNLOAD_ERROR_CLOSE, 0, "Download Error Close!");
    flow.OnStopButton();
    EXPECT_TRUE(ui.calls.empty()) << "a closed dialog hears nothing more";
}

TEST_F(ConfigPhase, StopConfirmedAfterTheWorkerEndedDoesNotTouchTheDownloader) {
    flow.OnDownloadStatus(STATUS_NET_ERROR, 0, "x");
    ui.answerYes = true;
    ui.calls.clear();
    flow.OnStopButton();
    EXPECT_EQ((Calls{"AskStop", "RelabelStopButton"}), ui.calls);
}

TEST_F(PackagePhase, PopupStopStopsTheAnimationEvenWhenTheAnswerIsNo) {
    ui.answerYes = false;
    flow.OnPopupStop();
    EXPECT_EQ((Calls{"StopBusyAnimation", "AskStop"}), ui.calls);
    EXPECT_FALSE(ui.popupStop);

    ui.answerYes = true;
    ui.calls.clear();
    flow.OnPopupStop();
    // The player reads at once that it has stopped, whenever the worker gets to say so.
    EXPECT_EQ((Calls{"StopBusyAnimation", "AskStop", "SetStop", "MarkPopupStop",
                     "StopPopupAnimation", "PopupStatus utf8 업그레이드가 중지되었습니다.",
                     "PopupProgress 0"}),
              ui.calls);

    ui.calls.clear();
    flow.OnPopupStop();  // "닫  기"
    EXPECT_EQ((Calls{"DestroyPopup", "EndDialog", "DeletePackages", "PostLaunchDone"}), ui.calls);
    EXPECT_EQ(UpdaterState::Closed, flow.State());
}

TEST_F(PackagePhase, AnswerGivenAfterTheDownloadFinishedChangesNothing) {
    ui.answerYes = true;
    // While the question waits, the batch completes and the finishing step runs.
    ui.duringQuestion = [this] {
        flow.OnDownloadStatus(STATUS_DOWNLOAD_COMPLETE, 0, "Download Files Complete!");
        flow.OnPackagesDownloaded();
    };
    flow.OnPopupStop();
    EXPECT_EQ(UpdaterState::Closed, flow.State());
    EXPECT_EQ(0, std::count(ui.calls.begin(), ui.calls.end(), "SetStop"));
    EXPECT_EQ(0, std::count(ui.calls.begin(), ui.calls.end(), "MarkPopupStop"));
    EXPECT_EQ(1, std::count(ui.calls.begin(), ui.calls.end(), "StartClient"));
}

TEST_F(PackagePhase, AnswerInTheUpdateDialogAfterTheDownloadFinishedChangesNothing) {
    ui.answerYes = true;
    ui.duringQuestion = [this] {
        flow.OnDownloadStatus(STATUS_DOWNLOAD_COMPLETE, 0, "Download Files Complete!");
        flow.OnPackagesDownloaded();
    };
    ui.calls.clear();
    flow.OnStopButton();
    EXPECT_EQ(UpdaterState::Closed, flow.State());
    EXPECT_EQ("AskStop", ui.calls.front());
    EXPECT_EQ("PostLaunchDone", ui.calls.back()) << "nothing after the finishing step";
    EXPECT_EQ(0, std::count(ui.calls.begin(), ui.calls.end(), "RelabelStopButton"));
}

TEST_F(PackagePhase, FinishingInstallsWritesShortcutsStartsTheClientThenTellsTheControl) {
    flow.OnDownloadStatus(STATUS_DOWNLOAD_COMPLETE, 0, "Download Files Complete!");
    ui.calls.clear();
    flow.OnPackagesDownloaded();
    EXPECT_EQ((Calls{"DestroyPopup", "Verify", "Install", "WriteShortcuts", "StartClient",
                     "PostLaunchDone"}),
              ui.calls);
    EXPECT_EQ(UpdaterState::Closed, flow.State());
    EXPECT_FALSE(flow.WorkerRunning());
}

// A finishing step that fails says why and hides the dialog; the control is not told, so the
// page stays open.
TEST_F(PackagePhase, FailedInstallationEndsWithoutLaunch) {
    const struct {
        const char* what;
        bool installOk;
        std::vector<std::string> notRestored;
        bool clientStarts;
        Calls expected;
        std::string blocked = "";
        std::string missingClient = "";
    } rows[] = {
        {"the old installation stands whole", false, {}, true,
         {"DestroyPopup", "Verify", "Install", "ShowUpgradeFailed", "EndDialog"}},
        {"old files could not be put back", false, {"C:\\V\\a.dll", "C:\\V\\b.dll"}, true,
         {"DestroyPopup", "Verify", "Install", "ShowFailure restore (UTF-8) C:\\V\\a.dll\r\nC:\\V\\b.dll",
          "EndDialog"}},
        {"the installed client does not start", true, {}, false,
         {"DestroyPopup", "Verify", "Install", "WriteShortcuts", "StartClient",
          "ShowFailure client (UTF-8) C:\\Game\\Orbisan.exe", "EndDialog"}},
        {"a folder where a file goes", false, {}, true,
         {"DestroyPopup", "Verify", "Install", "ShowFailure folder (UTF-8) C:\\V\\a.dll", "EndDialog"},
         "C:\\V\\a.dll"},
        {"a release without the client", false, {}, true,
         {"DestroyPopup", "Verify", "Install", "ShowFailure client (UTF-8) C:\\V\\Orbisan.exe",
          "EndDialog"},
         "", "C:\\V\\Orbisan.exe"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeUi fresh;
        UpdateWorkflow f(fresh);
        IntoPackagePhase(f, fresh);
        fresh.installOk = row.installOk;
        fresh.notRestored = row.notRestored;
        fresh.clientStarts = row.clientStarts;
        fresh.blocked = row.blocked;
        fresh.missingClient = row.missingClient;
        f.OnPackagesDownloaded();
        EXPECT_EQ(row.expected, fresh.calls);
        EXPECT_EQ(UpdaterState::Ended, f.State());
    }
}

TEST_F(PackagePhase, APackageThatIsNotTheSignedOneEndsBeforeAnythingIsInstalled) {
    ui.packagesOk = false;
    flow.OnPackagesDownloaded();
    EXPECT_EQ((Calls{"DestroyPopup", "Verify", "ShowPackageRefused", "EndDialog"}), ui.calls);
    EXPECT_EQ(UpdaterState::Ended, flow.State());
}

TEST(UpdaterStates, AFolderThatCannotBeMadeIsNamedAndEndsTheUpdater) {
    FakeUi ui;
    UpdateWorkflow flow(ui);
    flow.FolderFailed("C:\\Program Files\\Temp");
    EXPECT_EQ((Calls{"StopDialogAnimation", "ShowFailure folder (UTF-8) C:\\Program Files\\Temp",
                     "EndDialog"}),
              ui.calls);
    EXPECT_EQ(UpdaterState::Ended, flow.State());
}

// A failure that arrives after the player confirmed a stop needs no message of its own.
TEST_F(PackagePhase, AFailureAfterAConfirmedStopShowsNoMessage) {
    for (int code : {STATUS_NET_ERROR, STATUS_FILE_ERROR}) {
        FakeUi fresh;
        UpdateWorkflow f(fresh);
        IntoPackagePhase(f, fresh);
        fresh.answerYes = true;
        f.OnPopupStop();
        f.OnDownloadStatus(code, 0, "x");
        for (const std::string& call : fresh.calls)
            EXPECT_EQ(std::string::npos, call.find("ShowFailure")) << code;
    }
}

}  // namespace
}  // namespace tavrin
