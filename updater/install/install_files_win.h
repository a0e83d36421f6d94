// The installation's file operations on Windows: the updater's UTF-8 paths through the wide
// calls, so the Korean install folder works whatever the ANSI code page.
#pragma once

#include "updater/install/package_install.h"

namespace tavrin {

class WinInstallFiles : public InstallFiles {
public:
    WinInstallFiles();
    PathKind Kind(const std::string& path) override;
    bool Move(const std::string& from, const std::string& to) override;
    bool Remove(const std::string& path) override;
    bool Append(const std::string& path, const std::string& text) override;
    bool ReadAll(const std::string& path, size_t maxBytes, std::string* content) override;
    bool Digest(const std::string& path, FileDigest* digest) override;

private:
    // Test builds: the process ends at this step, as a browser killed there would.
    void Step();
    long m_crashAt = -1;
    long m_step = 0;
};

}  // namespace tavrin
