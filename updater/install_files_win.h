// The installation's file operations on Windows: the updater's UTF-8 paths through the wide
// calls, so the Korean install folder works whatever the ANSI code page.
#pragma once

#include "updater/package_install.h"

namespace tavrin {

class WinInstallFiles : public InstallFiles {
public:
    PathKind Kind(const std::string& path) override;
    bool Move(const std::string& from, const std::string& to) override;
    bool Remove(const std::string& path) override;
};

}  // namespace tavrin
