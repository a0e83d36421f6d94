#include "updater/finish_worker_win.h"

#include <atomic>
#include <map>

#include "libs/wexlog/wexlog.h"
#include "resources/window_messages.h"
#include "updater/update_worker_win.h"
#include "updater/update_workflow.h"
#include "win/module_lifetime.h"

namespace tavrin {

struct FinishJob {
    FinishingSetup setup;
    // Set when the worker started with the package batch: the packages as they arrive.
    std::shared_ptr<PackageArrivals> arrivals;
    std::atomic<HWND> owner{nullptr};
    std::atomic<bool> stop{false};
};

namespace {

// How far the set has come when a package starts decoding: the signed sizes of the packages
// before it over those of all.
class InstallProgress {
public:
    explicit InstallProgress(const FinishingSetup& setup) {
        for (const std::string& name : setup.packages)
            if (const SignedPackage* listed = setup.config.Find(name)) m_sizes[name] = listed->size;
        for (const auto& size : m_sizes) m_total += size.second;
    }
    int Starting(const std::string& package) {
        const int percent = m_total ? static_cast<int>(m_done * 100 / m_total) : 0;
        const auto size = m_sizes.find(package);
        if (size != m_sizes.end()) m_done += size->second;
        return percent;
    }

private:
    std::map<std::string, uint64_t> m_sizes;
    uint64_t m_total = 0;
    uint64_t m_done = 0;
};

// Sent, not posted: what lParam points to lives on this thread's stack. A window that is gone
// (or a dialog that let go) gets nothing.
void Tell(FinishJob& job, UINT message, WPARAM wParam, const void* what) {
    if (HWND owner = job.owner.load())
        ::SendMessageW(owner, message, wParam, reinterpret_cast<LPARAM>(what));
}

// While the packages come, each is decoded as it arrives; true once all are in, false when the
// batch ended without them.
bool StageWhileArriving(PackageArrivals& arrivals, WinInstallation& steps) {
    const bool begun = steps.BeginStaging();
    for (std::string package;;) {
        switch (arrivals.Wait(&package)) {
        case PackageArrivals::Next::kPackage:
            if (begun) steps.StageArrived(package);
            break;
        case PackageArrivals::Next::kAllIn: return true;
        case PackageArrivals::Next::kStopped: return false;
        }
    }
}

FinishOutcome Finish(FinishJob& job) {
    InstallProgress progress(job.setup);
    FinishingHooks hooks;
    hooks.stopRequested = [&job] { return job.stop.load(); };
    hooks.staging = [&job, &progress](const std::string& package) {
        Tell(job, WM_INSTALL_PROGRESS, static_cast<WPARAM>(progress.Starting(package)),
             package.c_str());
    };
    // Nothing is replaced under a client started since the downloads began; a dialog that is
    // gone answers No.
    hooks.beforeReplacing = [&job] { return EndRunningClientFrom(job.owner.load()); };
    WinInstallation steps(job.setup, hooks);
    if (job.arrivals && !StageWhileArriving(*job.arrivals, steps)) {
        FinishOutcome stopped;  // what was decoded goes with steps
        stopped.step = FinishOutcome::kStopped;
        return stopped;
    }
    return RunFinishing(steps, hooks.stopRequested);
}

unsigned FinishThreadProc(void* param) {
    using Held = std::shared_ptr<FinishJob>;
    const std::unique_ptr<Held> held(static_cast<Held*>(param));
    FinishJob& job = **held;
    FinishOutcome outcome;  // should the step throw: a failed installation, told as such
    try {
        outcome = Finish(job);
    } catch (...) {
        WexlogTrace("%s", "CDownLoadDlg - the finishing step failed unexpectedly");
    }
    // A batch that comes in after this is told that nothing will finish it.
    if (job.arrivals) job.arrivals->Close();
    Tell(job, WM_INSTALL_FINISHED, 0, &outcome);
    return 0;
}

}  // namespace

WinFinishing::WinFinishing(const UpdateConfig& config, const std::vector<std::string>& packages,
                           const std::wstring& installDir, const std::wstring& downloadDir)
    : m_config(config),
      m_packages(packages),
      m_installDir(installDir),
      m_downloadDir(downloadDir) {}

WinFinishing::~WinFinishing() { Abandon(); }

void WinFinishing::Abandon() {
    m_arrivals->Stop();
    if (!m_job) return;
    m_job->owner.store(nullptr);
    m_job->stop.store(true);
}

bool WinFinishing::ClaimFolder() {
    if (!m_lock || !m_lock->Held()) m_lock = std::make_shared<InstallLock>(0);
    return m_lock->Held();
}

bool WinFinishing::StartWorker(std::shared_ptr<PackageArrivals> arrivals) {
    auto job = std::make_shared<FinishJob>();
    job->setup = {m_config, m_packages, m_installDir, m_downloadDir, m_lock, m_checked};
    job->arrivals = std::move(arrivals);
    job->owner.store(m_owner);
    auto* param = new std::shared_ptr<FinishJob>(job);
    if (!win::BeginModuleThread(&FinishThreadProc, param)) {
        delete param;
        return false;
    }
    m_job = std::move(job);
    return true;
}

bool WinFinishing::StartStaging() {
    return !m_job && StartWorker(m_arrivals);
}

bool WinFinishing::StartFinishing() {
    // A worker that started with the batch finishes from what it decoded meanwhile.
    if (m_job) return m_job->arrivals && m_arrivals->AllIn();
    return StartWorker(nullptr);
}

void WinFinishing::StopFinishing() {
    m_arrivals->Stop();
    if (m_job) m_job->stop.store(true);
}

bool WinFinishing::StartClient(std::string& failedClient) {
    return StartInstalledClient(m_installDir, failedClient);
}

}  // namespace tavrin
