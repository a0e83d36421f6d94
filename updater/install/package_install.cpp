#include "updater/install/package_install.h"

#include <set>

#include "updater/install/install_journal.h"
#include "updater/install/install_recovery.h"
#include "updater/package_names.h"

namespace tavrin {
namespace {

struct Placement {
    std::string source;  // the downloaded package
    std::string name;    // the installed file's name
    std::string target;  // the installed file
    std::string package;  // its name in the signed configuration
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
        plan->push_back({downloadDir + name, installed, installDir + "\\" + installed, name});
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

bool StopAsked(const InstallOptions& options) {
    return options.stopRequested && options.stopRequested();
}

// Decodes every package beside its target and measures what it decoded to; false at the first
// that fails (the journal, still at staging, then takes back what was decoded).
bool StageAll(const std::vector<Placement>& plan, const DecompressFn& decompress,
              InstallFiles& files, const InstallOptions& options, Journal* journal,
              InstallResult* result) {
    for (size_t i = 0; i < plan.size(); ++i) {
        const Placement& p = plan[i];
        if ((result->stopped = StopAsked(options))) return false;
        if (options.staging) options.staging(p.package);
        if (!files.Remove(p.staged(), IfMissing::kDone) || decompress(p.source, p.staged()) == 0 ||
            !files.Digest(p.staged(), &journal->entries[i].newFile))
            return false;
    }
    return true;
}

// Moves each old file aside (a plain rename: nothing stands at the backup's name) and the
// staged one into its place; the index of the placement that failed, or plan.size().
size_t CommitAll(const std::vector<Placement>& plan, InstallFiles& files) {
    for (size_t i = 0; i < plan.size(); ++i) {
        const Placement& p = plan[i];
        if ((p.hadOld && !files.Replace(p.target, p.backup())) || !files.Replace(p.staged(), p.target))
            return i;
    }
    return plan.size();
}

// Whether an earlier installation left its journal (or what belongs to it) in the folder.
bool JournalLeft(const std::string& installDir, InstallFiles& files) {
    for (const std::string& path : {JournalPath(installDir), NextJournalPath(installDir),
                                    JournalConfigPath(installDir)})
        if (files.Kind(path) != PathKind::kNone) return true;
    return false;
}

// The signed configuration, then the journal's head: written whole under the journal's next
// name and renamed, so that a journal is never found with half a head. What stands at each
// target now is what a crash must be able to give back.
bool BeginJournal(const std::string& installDir, const Journal& journal,
                  const std::string& signedConfig, InstallFiles& files) {
    const std::string config = JournalConfigPath(installDir);
    const std::string next = NextJournalPath(installDir);
    if ((signedConfig.empty() || files.Append(config, signedConfig)) &&
        files.Append(next, JournalHead(journal.serial, journal.entries)) &&
        files.Replace(next, JournalPath(installDir)))
        return true;
    files.Remove(next, IfMissing::kDone);
    files.Remove(config, IfMissing::kDone);
    return false;
}

// The targets a replacement that failed at index may have changed, for a journal whose undo
// could not be written: the next control goes on from the journal.
std::vector<std::string> TouchedTargets(const std::vector<Placement>& plan, size_t failed) {
    std::vector<std::string> targets;
    for (size_t i = 0; i <= failed && i < plan.size(); ++i) targets.push_back(plan[i].target);
    return targets;
}

}  // namespace

InstallResult InstallAllPackages(const std::vector<std::string>& packages,
                                 const std::string& downloadDir, const std::string& installDir,
                                 const std::string& client, uint64_t serial,
                                 const DecompressFn& decompress, InstallFiles& files,
                                 const InstallOptions& options) {
    InstallResult result;
    std::vector<Placement> plan;
    if (!PlanPlacements(packages, downloadDir, installDir, &plan)) return result;
    if (!CheckTargets(plan, installDir, client, files, &result)) return result;
    if ((result.journalFound = JournalLeft(installDir, files))) return result;
    Journal journal;
    journal.serial = serial;
    for (Placement& p : plan) {
        p.hadOld = files.Kind(p.target) == PathKind::kFile;
        journal.entries.push_back({p.name, p.hadOld, {}});
    }
    // Refused before anything changes: a journal its reader would not take is no record.
    if ((result.journalTooLarge = LargestJournal(serial, journal.entries) > kMaxJournalSize))
        return result;
    if (!BeginJournal(installDir, journal, options.signedConfig, files)) return result;
    const RecoveryHooks hooks = {nullptr, options.recordSerial};
    const std::string journalPath = JournalPath(installDir);
    // Nothing is replaced before the journal holds every new file's measure and says so.
    const bool staged = StageAll(plan, decompress, files, options, &journal, &result);
    // The client's question may wait long for its answer: a stop given meanwhile still counts.
    if (staged && !(result.stopped = StopAsked(options)))
        result.clientRunning = options.beforeReplacing && !options.beforeReplacing();
    if (staged && !result.stopped && !result.clientRunning) result.stopped = StopAsked(options);
    if (!staged || result.stopped || result.clientRunning ||
        !files.Append(journalPath, JournalDigests(journal.entries) +
                                       JournalMark(Journal::kCommitting))) {
        CarryOnJournal(installDir, journal, files, hooks, true);
        return result;
    }
    journal.phase = Journal::kCommitting;
    journal.digests = journal.entries.size();
    const size_t failed = CommitAll(plan, files);
    if (failed < plan.size()) {
        // The undo is written before the first file goes back.
        if (!files.Append(journalPath, JournalMark(Journal::kUndoing))) {
            result.notRestored = TouchedTargets(plan, failed);
            return result;
        }
        journal.phase = Journal::kUndoing;
        result.notRestored = CarryOnJournal(installDir, journal, files, hooks, true).notWhole;
        return result;
    }
    result.installed = true;
    // "done" is written before the first old file goes. Without it the set stands all the same,
    // and the next control, finding every target new, completes and tidies.
    if (!files.Append(journalPath, JournalMark(Journal::kDone))) {
        if (options.recordSerial) options.recordSerial(serial);
        result.backupsLeft.push_back(journalPath);
        return result;
    }
    journal.phase = Journal::kDone;
    const Recovery tidied = CarryOnJournal(installDir, journal, files, hooks, true);
    result.backupsLeft = tidied.leftBeside;
    return result;
}

std::string InternetShortcutContent(const std::string& homeUrl, const std::string& installDir) {
    return "[InternetShortcut]\r\nURL=" + homeUrl + "\r\nIconIndex=0\r\nIconFile=" + installDir +
           "\\Orbisan.ICO";
}

}  // namespace tavrin
