// The updater's finishing step on Windows: on the finishing worker, the downloaded packages
// checked against the signed configuration (each read again only when its file changed since
// it was checked), room for what they decode to, the all-or-nothing installation through
// Prynn.dll and the shortcuts; afterwards, on the dialog's thread, the client's start.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "updater/install/install_files_win.h"
#include "updater/install/install_folder_win.h"
#include "updater/install/package_check.h"
#include "updater/signed_config.h"
#include "updater/updater_roles.h"

namespace tavrin {

// What the finishing worker works from: its own copies, so that it needs nothing of the
// dialog, which may go while it runs.
struct FinishingSetup {
    UpdateConfig config;
    std::vector<std::string> packages;
    std::wstring installDir;
    std::wstring downloadDir;
    // Held from before the downloads until the updater and its worker have both ended.
    std::shared_ptr<InstallLock> lock;
    std::shared_ptr<CheckedPackages> checked;
};

// The worker's hooks: a stop, the package being decoded, and the running-client check right
// before the first replacement (false when a client runs and was not ended). Null ones are
// not asked.
struct FinishingHooks {
    std::function<bool()> stopRequested;
    std::function<void(const std::string& package)> staging;
    std::function<bool()> beforeReplacing;
};

class WinInstallation : public InstallSteps {
public:
    WinInstallation(const FinishingSetup& setup, FinishingHooks hooks);
    // A staging begun and never completed takes back what it decoded.
    ~WinInstallation() override;
    WinInstallation(const WinInstallation&) = delete;
    WinInstallation& operator=(const WinInstallation&) = delete;

    // While the packages still come: the checks and the journal, so that each package can be
    // decoded as it arrives. False when the installation cannot begin now; the end then
    // installs from the start and tells why, as it would have.
    bool BeginStaging();
    // A package whole and checked on arrival: decoded beside its target when it is the signed
    // package and the disk has room for it beside every package still to come; otherwise it
    // waits for the end.
    void StageArrived(const std::string& package);

    bool VerifyPackages(std::string& refused) override;
    bool EnoughSpaceToInstall(std::string& needed) override;
    // Completes the staging begun, or installs from the start.
    InstallResult InstallAllPackages() override;
    void WriteShortcuts() override;

private:
    bool ReadyToInstall(InstallResult* refused);
    bool FinishEarlierInstallation();
    std::string SignedConfigBytes() const;
    InstallOptions Options() const;
    uint64_t StillToCome() const;

    // The prefix that names a file in the download folder (UTF-8, with its "\").
    std::string DownloadPrefix() const;
    const FinishingSetup& m_setup;
    FinishingHooks m_hooks;
    uint64_t m_decodedTotal = 0;  // what the checked packages decode to
    // The early staging: the packages arrived so far and what those decoded take.
    WinInstallFiles m_files;
    std::unique_ptr<PackageStaging> m_staging;
    std::set<std::string> m_arrived;
    uint64_t m_stagedDecoded = 0;
};

// The identity of the file at a UTF-8 path (FileIdentity); false when it cannot be had.
bool WinFileIdentity(const std::string& path, FileIdentity* identity);

// Starts the client in installDir with no parameters; false, with the path it tried in
// failedClient, when it did not start.
bool StartInstalledClient(const std::wstring& installDir, std::string& failedClient);

}  // namespace tavrin
