// The installation's file operations on Windows: the shared ones (system/files_win.h), each a
// step a test build can end the process at, and a package's digest.
#pragma once

#include "system/files_win.h"
#include "updater/install/package_install.h"

namespace tavrin {

class WinInstallFiles : public InstallFiles {
public:
    WinInstallFiles();
    PathKind Kind(const std::string& path) override;
    bool Replace(const std::string& from, const std::string& to) override;
    bool Remove(const std::string& path, IfMissing ifMissing) override;
    bool Append(const std::string& path, const std::string& text) override;
    bool ReadAll(const std::string& path, size_t maxBytes, std::string* content) override;
    bool Digest(const std::string& path, FileDigest* digest) override;

private:
    // Test builds: the process ends at this step, as a browser killed there would.
    void Step();
    WinFiles m_files;
    long m_crashAt = -1;
    long m_step = 0;
};

}  // namespace tavrin
