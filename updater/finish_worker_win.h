// The finishing step as the update dialog drives it: the check, the room and the installation
// and the shortcuts on a worker of their own, so that the browser's thread only shows and asks;
// then the client's start, quick, back on the dialog's thread. The worker starts with the
// package batch and decodes each package as it arrives, so that when the last one is in
// little more than the replacement is left.
//
// The worker holds its job by shared ownership and the module by its own reference (see
// win/module_lifetime.h), and reports by messages sent to the dialog, so a dialog that is gone
// hears nothing and the dialog never waits for it. The dialog going only asks it to stop:
// before the first replacement the installation takes back what it did, after it the set
// completes; either way the worker then ends by itself.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "updater/install/installation_win.h"
#include "updater/package_arrivals.h"

namespace tavrin {

struct FinishJob;

class WinFinishing : public Installation {
public:
    // The dialog's configuration, package list and folders, copied when the worker starts.
    WinFinishing(const UpdateConfig& config, const std::vector<std::string>& packages,
                 const std::wstring& installDir, const std::wstring& downloadDir);
    ~WinFinishing() override;
    WinFinishing(const WinFinishing&) = delete;
    WinFinishing& operator=(const WinFinishing&) = delete;

    // The window that hears the worker and shows its questions.
    void SetOwner(HWND owner) { m_owner = owner; }
    // The install folder and its Temp for this updater alone, until it and its worker have
    // ended: false when another installation works there.
    bool ClaimFolder();
    // What the checks of this visit found, for the check on arrival.
    std::shared_ptr<CheckedPackages> Checked() const { return m_checked; }
    // A worker still running is asked to stop and hears nothing more from the dialog.
    void Abandon();
    // The package batch starts: the worker starts with it and decodes each package told to
    // Arrivals() while the others come; StartFinishing then has it finish. False when no thread
    // could start (StartFinishing then starts one).
    bool StartStaging();
    std::shared_ptr<PackageArrivals> Arrivals() const { return m_arrivals; }

    bool StartFinishing() override;
    void StopFinishing() override;
    bool StartClient(std::string& failedClient) override;

private:
    bool StartWorker(std::shared_ptr<PackageArrivals> arrivals);

    const UpdateConfig& m_config;
    const std::vector<std::string>& m_packages;
    const std::wstring& m_installDir;
    const std::wstring& m_downloadDir;  // with its "\" by the time the packages are in
    HWND m_owner = nullptr;
    std::shared_ptr<InstallLock> m_lock;
    std::shared_ptr<CheckedPackages> m_checked = std::make_shared<CheckedPackages>();
    std::shared_ptr<PackageArrivals> m_arrivals = std::make_shared<PackageArrivals>();
    std::shared_ptr<FinishJob> m_job;
};

}  // namespace tavrin
