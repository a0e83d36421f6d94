#include "updater/package_install.h"

#include <algorithm>
#include <set>

#include "updater/install_journal.h"
#include "updater/package_names.h"

namespace tavrin {
namespace {

struct Placement {
    std::string source;  // the downloaded package
    std::string name;    // the installed file's name
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
        const std::string installed = StripPackageExtension(name);
        plan->push_back({downloadDir + name, installed, installDir + "\\" + installed});
    }
    return true;
}

// Refuses, before anything is decoded, a set that would not leave the client in place and a
// target where a folder (or anything but a plain file) stands: moving it aside would "succeed"
// and leave it behind for good. False with the path in result.
bool CheckTargets(const std::vector<Placement>& plan, const std::string& installDir,
                  const std::string& client, InstallFiles& files, InstallResult* result) {
    const std::string clientPath = installDir + "\\" + client;
    bool hasClient = false;
    for (const Placement& p : plan) {
        hasClient = hasClient || SameFileName(p.target, clientPath);
        if (files.Kind(p.target) == PathKind::kOther) {
            result->blocked = p.target;
            return false;
        }
    }
    if (!hasClient) result->missingClient = clientPath;
    return hasClient;
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

// The journal's head, written before the first file is decoded: what stands at each target
// now is what a crash must be able to give back.
bool BeginJournal(std::vector<Placement>& plan, const std::string& journal, uint64_t serial,
                  InstallFiles& files) {
    std::vector<JournalEntry> entries;
    for (Placement& p : plan) {
        p.hadOld = files.Kind(p.target) == PathKind::kFile;
        entries.push_back({p.name, p.hadOld});
    }
    if (files.Remove(journal) && files.Append(journal, JournalText(serial, entries))) return true;
    files.Remove(journal);
    return false;
}

}  // namespace

InstallResult InstallAllPackages(const std::vector<std::string>& packages,
                                 const std::string& downloadDir, const std::string& installDir,
                                 const std::string& client, uint64_t serial,
                                 const DecompressFn& decompress, InstallFiles& files) {
    InstallResult result;
    std::vector<Placement> plan;
    if (!PlanPlacements(packages, downloadDir, installDir, &plan)) return result;
    if (!CheckTargets(plan, installDir, client, files, &result)) return result;
    const std::string journal = installDir + "\\" + kJournalName;
    if (!BeginJournal(plan, journal, serial, files)) return result;
    // Nothing is replaced before the journal says that every new file is there.
    if (!StageAll(plan, decompress, files) ||
        !files.Append(journal, JournalMark(Journal::kCommitting))) {
        RemoveStaged(plan, files);
        files.Remove(journal);
        return result;
    }
    if (!CommitAll(plan, files, &result.notRestored)) {
        files.Append(journal, JournalMark(Journal::kUndoing));
        RemoveStaged(plan, files);
        // What could not be put back stays named in the journal: the next control tries again.
        if (result.notRestored.empty()) files.Remove(journal);
        return result;
    }
    result.installed = true;
    // The whole set is in place: the old files go; one still in use stays and is named.
    files.Append(journal, JournalMark(Journal::kDone));
    for (const Placement& p : plan)
        if (p.hadOld && !files.Remove(p.backup())) result.backupsLeft.push_back(p.backup());
    if (result.backupsLeft.empty()) files.Remove(journal);
    return result;
}

std::string InternetShortcutContent(const std::string& homeUrl, const std::string& installDir) {
    return "[InternetShortcut]\r\nURL=" + homeUrl + "\r\nIconIndex=0\r\nIconFile=" + installDir +
           "\\Orbisan.ICO";
}

}  // namespace tavrin
