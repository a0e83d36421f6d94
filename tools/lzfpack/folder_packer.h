// The packer's folder mode: every file of a folder becomes a package, and orbisan3.cfg lists
// the packages for the updater.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "libs/prynn/file_system.h"
#include "tools/lzfpack/signed_publish.h"

namespace lzfpack {

struct FolderEntry {
    std::string name;
    bool isFile = false;
};

class FolderLister {
public:
    virtual ~FolderLister() = default;
    // The entries of folder, without "." and ".."; false when it cannot be read.
    virtual bool List(const std::string& folder, std::vector<FolderEntry>* entries) = 0;
};

// The platform's lister (folder_list_posix.cpp, folder_list_win.cpp).
class SystemFolderLister : public FolderLister {
public:
    bool List(const std::string& folder, std::vector<FolderEntry>* entries) override;
};

// The text of orbisan3.cfg: one package per line, CR LF ended, in the given order, without
// the fixed packages the updater adds itself.
std::string ConfigText(const std::vector<std::string>& packages);

// Packs folder into outputFolder and writes the configuration there, signed when signing is
// given. Refuses before writing anything when a name cannot be listed, or, when signing, a
// fixed package is missing. Progress goes to log, faults to err.
bool PackFolder(prynn::FileSystem& files, FolderLister& lister, const std::string& folder,
                const std::string& outputFolder, const Signing* signing, std::ostream& log,
                std::ostream& err);

}  // namespace lzfpack
