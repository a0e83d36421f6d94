// The installation's file operations on Windows, on ANSI paths as the updater keeps them.
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
