// The updater's finishing step on Windows: the downloaded packages checked against the signed
// configuration, room for what they decode to, the all-or-nothing installation through
// Prynn.dll, the shortcuts and the client's start.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "updater/install/install_folder_win.h"
#include "updater/signed_config.h"
#include "updater/updater_roles.h"

namespace tavrin {

class WinInstallation : public Installation {
public:
    // The dialog's configuration, package list and folders, read when each step runs.
    WinInstallation(const UpdateConfig& config, const std::vector<std::string>& packages,
                    const std::wstring& installDir, const std::wstring& downloadDir);

    // The install folder and its Temp for this updater alone, until it ends: false when another
    // installation works there (this one then leaves the folder alone). Any thread.
    bool ClaimFolder();
    // Asked right before the first file is replaced: false when a client runs (and was not
    // ended). Null asks nothing.
    void SetBeforeReplacing(std::function<bool()> check) { m_beforeReplacing = std::move(check); }

    bool VerifyPackages(std::string& refused) override;
    bool EnoughSpaceToInstall(std::string& needed) override;
    InstallResult InstallAllPackages() override;
    void WriteShortcuts() override;
    bool StartClient(std::string& failedClient) override;

private:
    void WriteInternetShortcuts();
    bool FinishEarlierInstallation();
    std::string SignedConfigBytes() const;
    static void Trace(const std::string& line);

    const UpdateConfig& m_config;
    const std::vector<std::string>& m_packages;
    const std::wstring& m_installFolder;
    // The folder the packages are in, and the prefix that names a file there (UTF-8, "\").
    std::string DownloadPrefix() const;
    const std::wstring& m_downloadFolder;
    uint64_t m_decodedTotal = 0;  // what the checked packages decode to
    std::unique_ptr<InstallLock> m_lock;
    std::function<bool()> m_beforeReplacing;
};

}  // namespace tavrin
