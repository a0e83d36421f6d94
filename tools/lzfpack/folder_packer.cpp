#include "tools/lzfpack/folder_packer.h"

#include <algorithm>

#include "libs/prynn/file_transform.h"
#include "tools/lzfpack/package_name.h"

namespace lzfpack {
namespace {

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string StripSuffix(const std::string& package) {
    return package.substr(0, package.size() - std::string(kPackageSuffix).size());
}

// The files to pack, in byte order of their names (the order the updater installs them in);
// what is skipped is said on log.
std::vector<std::string> FilesToPack(const std::vector<FolderEntry>& entries, std::ostream& log) {
    std::vector<std::string> names;
    for (const FolderEntry& entry : entries) {
        if (!entry.isFile) {
            log << "skipped " << entry.name << ": not a file\n";
        } else if (EndsWith(entry.name, kPackageSuffix) || entry.name == kConfigName) {
            // Outputs of an earlier run into the same folder.
            log << "skipped " << entry.name << ": a package or the configuration\n";
        } else {
            names.push_back(entry.name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

std::string ConfigText(const std::vector<std::string>& packages) {
    std::string text;
    for (const std::string& name : packages) {
        if (IsFixedPackage(name)) continue;
        text += name;
        text += "\r\n";
    }
    return text;
}

bool PackFolder(prynn::FileSystem& files, FolderLister& lister, const std::string& folder,
                const std::string& outputFolder, const Signing* signing, std::ostream& log,
                std::ostream& err) {
    std::vector<FolderEntry> entries;
    if (!lister.List(folder, &entries)) {
        err << "lzfpack: cannot read the folder " << folder << "\n";
        return false;
    }
    const std::vector<std::string> names = FilesToPack(entries, log);

    bool listable = true;
    for (const std::string& name : names) {
        std::string why;
        if (!IsListablePackageName(name + kPackageSuffix, &why)) {
            err << "lzfpack: cannot publish " << name << ": " << why << "\n";
            listable = false;
        }
    }
    if (signing) {
        for (const char* fixed : kFixedPackages) {
            const std::string file = StripSuffix(fixed);
            if (std::find(names.begin(), names.end(), file) != names.end()) continue;
            err << "lzfpack: cannot sign: the folder lacks " << file
                << ", which the updater requires in every release\n";
            listable = false;
        }
    }
    if (!listable) {
        err << "lzfpack: nothing written; rename those files\n";
        return false;
    }

    std::vector<std::string> packages;
    for (const std::string& name : names) {
        const std::string package = name + kPackageSuffix;
        const std::string target = JoinPath(outputFolder, package);
        const prynn::FileResult result = prynn::EncodeFile(files, JoinPath(folder, name), target);
        if (!result.ok()) {
            err << "lzfpack: " << name << " -> " << target << ": " << result.Describe() << "\n";
            return false;
        }
        log << "packed " << target << (IsFixedPackage(package) ? " (always installed)" : "")
            << "\n";
        packages.push_back(package);
    }

    const std::string text =
        signing ? SignedConfigText(files, outputFolder, packages, *signing, err) : ConfigText(packages);
    if (text.empty() && signing) return false;
    const std::string configPath = JoinPath(outputFolder, kConfigName);
    const prynn::FileResult result = prynn::WriteFileAtomically(
        files, configPath, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    if (!result.ok()) {
        err << "lzfpack: " << configPath << ": " << result.Describe() << "\n";
        return false;
    }
    const size_t listed = static_cast<size_t>(std::count_if(
        packages.begin(), packages.end(), [](const std::string& p) { return !IsFixedPackage(p); }));
    log << "wrote " << configPath << " listing " << listed << " package(s)\n";
    if (signing) {
        log << "signed it with serial " << signing->serial << "\n";
        return true;
    }
    for (const char* fixed : kFixedPackages) {
        if (std::find(packages.begin(), packages.end(), fixed) == packages.end())
            log << "note: the updater always downloads " << fixed << ", which this folder lacks\n";
    }
    return true;
}

}  // namespace lzfpack
