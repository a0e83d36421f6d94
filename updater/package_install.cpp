#include "updater/package_install.h"

#include <algorithm>
#include <set>

#include "updater/config_reader.h"

namespace tavrin {
namespace {

struct Placement {
    std::string source;  // the downloaded package
    std::string target;  // the installed file
    std::string staged() const { return target + kStagedSuffix; }
    std::string backup() const { return target + kBackupSuffix; }
    bool hadOld = false;  // a file stood at target before
};

// Each package once, with its paths; false when a name would leave the folders.
bool PlanPlacements(const std::vector<std::string>& packages, const std::string& downloadDir,
                    const std::string& installDir, std::vector<Placement>* plan) {
    std::set<std::string> seen;
    for (const std::string& name : packages) {
        if (!IsSafePackageName(name)) return false;
        if (!seen.insert(name).second) continue;
        plan->push_back({downloadDir + name, installDir + "\\" + StripPackageExtension(name)});
    }
    return true;
}

void RemoveStaged(const std::vector<Placement>& plan, InstallFiles& files) {
    for (const Placement& p : plan) files.Remove(p.staged());
}

// Decodes every package beside its target; on a failure nothing staged is left.
bool StageAll(const std::vector<Placement>& plan, const DecompressFn& decompress,
              InstallFiles& files) {
    for (const Placement& p : plan) {
        if (!files.Remove(p.staged()) || decompress(p.source, p.staged()) == 0) {
            RemoveStaged(plan, files);
            return false;
        }
    }
    return true;
}

// Puts one replaced placement back as it was; false when that did not work.
bool PutBack(const Placement& p, InstallFiles& files) {
    return p.hadOld ? files.Move(p.backup(), p.target) : files.Remove(p.target);
}

// Puts the first count placements back, last first; the targets left otherwise go to
// notRestored.
void RollBack(const std::vector<Placement>& plan, size_t count, InstallFiles& files,
              std::vector<std::string>* notRestored) {
    for (size_t i = count; i-- > 0;)
        if (!PutBack(plan[i], files)) notRestored->push_back(plan[i].target);
}

// Moves each old file aside and the staged one in; false on a failure, with everything put
// back that could be and the rest in notRestored (list order).
bool CommitAll(std::vector<Placement>& plan, InstallFiles& files,
               std::vector<std::string>* notRestored) {
    for (size_t i = 0; i < plan.size(); ++i) {
        Placement& p = plan[i];
        p.hadOld = files.Exists(p.target);
        const bool asideOk = !p.hadOld || (files.Remove(p.backup()) && files.Move(p.target, p.backup()));
        if (asideOk && files.Move(p.staged(), p.target)) continue;
        // This one: its old file back where it was moved from.
        if (asideOk && p.hadOld && !PutBack(p, files)) notRestored->push_back(p.target);
        RollBack(plan, i, files, notRestored);
        std::reverse(notRestored->begin(), notRestored->end());
        return false;
    }
    return true;
}

}  // namespace

InstallResult InstallAllPackages(const std::vector<std::string>& packages,
                                 const std::string& downloadDir, const std::string& installDir,
                                 const DecompressFn& decompress, InstallFiles& files) {
    InstallResult result;
    std::vector<Placement> plan;
    if (!PlanPlacements(packages, downloadDir, installDir, &plan)) return result;
    if (!StageAll(plan, decompress, files)) return result;
    if (!CommitAll(plan, files, &result.notRestored)) {
        RemoveStaged(plan, files);
        return result;
    }
    // The whole set is in place: the old files can go (one in use stays, harmless).
    for (const Placement& p : plan)
        if (p.hadOld) files.Remove(p.backup());
    result.installed = true;
    return result;
}

std::string InternetShortcutContent(const std::string& homeUrl, const std::string& installDir) {
    return "[InternetShortcut]\r\nURL=" + homeUrl + "\r\nIconIndex=0\r\nIconFile=" + installDir +
           "\\Orbisan.ICO";
}

}  // namespace tavrin
