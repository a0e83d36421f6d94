#include "updater/install/package_install.h"

#include <set>

#include "updater/install/install_journal.h"
#include "updater/install/install_recovery.h"
#include "updater/package_names.h"

namespace tavrin {

struct PackageStaging::Placement {
    std::string source;  // the downloaded package
    std::string name;    // the installed file's name
    std::string target;  // the installed file
    std::string package;  // its name in the signed configuration
    std::string staged() const { return target + kStagedSuffix; }
    std::string backup() const { return target + kBackupSuffix; }
    bool hadOld = false;  // a file stood at target before
};

namespace {

using Placement = PackageStaging::Placement;


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

PackageStaging::PackageStaging(const std::vector<std::string>& packages,
                               const std::string& downloadDir, const std::string& installDir,
                               const std::string& client, uint64_t serial,
                               const DecompressFn& decompress, InstallFiles& files,
                               InstallOptions options)
    : m_packages(packages),
      m_downloadDir(downloadDir),
      m_installDir(installDir),
      m_client(client),
      m_serial(serial),
      m_decompress(decompress),
      m_files(files),
      m_options(std::move(options)) {}

PackageStaging::~PackageStaging() = default;

bool PackageStaging::Begin(InstallResult* result) {
    if (m_journal) return false;  // begun once
    std::vector<Placement> plan;
    if (!PlanPlacements(m_packages, m_downloadDir, m_installDir, &plan)) return false;
    if (!CheckTargets(plan, m_installDir, m_client, m_files, result)) return false;
    if ((result->journalFound = JournalLeft(m_installDir, m_files))) return false;
    auto journal = std::make_unique<Journal>();
    journal->serial = m_serial;
    for (Placement& p : plan) {
        p.hadOld = m_files.Kind(p.target) == PathKind::kFile;
        journal->entries.push_back({p.name, p.hadOld, {}});
    }
    // Refused before anything changes: a journal its reader would not take is no record.
    if ((result->journalTooLarge = LargestJournal(m_serial, journal->entries) > kMaxJournalSize))
        return false;
    if (!BeginJournal(m_installDir, *journal, m_options.signedConfig, m_files)) return false;
    m_plan = std::move(plan);
    m_staged.assign(m_plan.size(), false);
    m_journal = std::move(journal);
    return true;
}

// Decodes one package beside its target and measures what it decoded to. What an earlier try
// left staged goes first, so that nothing half-decoded is ever measured.
bool PackageStaging::StageOne(size_t index) {
    const Placement& p = m_plan[index];
    if (m_staged[index]) return true;
    m_staged[index] = m_files.Remove(p.staged(), IfMissing::kDone) &&
                      m_decompress(p.source, p.staged()) != 0 &&
                      m_files.Digest(p.staged(), &m_journal->entries[index].newFile);
    return m_staged[index];
}

bool PackageStaging::Stage(const std::string& package) {
    if (!m_journal) return false;
    for (size_t i = 0; i < m_plan.size(); ++i)
        if (m_plan[i].package == package) return StageOne(i);
    return false;
}

// Every package in list order, shown to the player, and decoded unless it already is; false at
// the first that fails or a stop (the journal, still at staging, then takes back what was
// decoded).
bool PackageStaging::StageRest(InstallResult* result) {
    for (size_t i = 0; i < m_plan.size(); ++i) {
        if ((result->stopped = StopAsked(m_options))) return false;
        if (m_options.staging) m_options.staging(m_plan[i].package);
        if (!StageOne(i)) return false;
    }
    return true;
}

void PackageStaging::Abandon() {
    if (!m_journal) return;
    CarryOnJournal(m_installDir, *m_journal, m_files, {nullptr, m_options.recordSerial}, true);
    m_journal.reset();
}

InstallResult PackageStaging::Complete() {
    if (!m_journal) return InstallResult();
    const InstallResult result = CompleteBegun();
    m_journal.reset();  // done with: nothing left to take back
    return result;
}

InstallResult PackageStaging::CompleteBegun() {
    InstallResult result;
    Journal& journal = *m_journal;
    const std::vector<Placement>& plan = m_plan;
    InstallFiles& files = m_files;
    const RecoveryHooks hooks = {nullptr, m_options.recordSerial};
    const std::string journalPath = JournalPath(m_installDir);
    // Nothing is replaced before the journal holds every new file's measure and says so.
    const bool staged = StageRest(&result);
    // The client's question may wait long for its answer: a stop given meanwhile still counts.
    if (staged && !(result.stopped = StopAsked(m_options)))
        result.clientRunning = m_options.beforeReplacing && !m_options.beforeReplacing();
    if (staged && !result.stopped && !result.clientRunning) result.stopped = StopAsked(m_options);
    if (!staged || result.stopped || result.clientRunning ||
        !files.Append(journalPath, JournalDigests(journal.entries) +
                                       JournalMark(Journal::kCommitting))) {
        CarryOnJournal(m_installDir, journal, files, hooks, true);
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
        result.notRestored = CarryOnJournal(m_installDir, journal, files, hooks, true).notWhole;
        return result;
    }
    result.installed = true;
    // "done" is written before the first old file goes. Without it the set stands all the same,
    // and the next control, finding every target new, completes and tidies.
    if (!files.Append(journalPath, JournalMark(Journal::kDone))) {
        if (m_options.recordSerial) m_options.recordSerial(m_serial);
        result.backupsLeft.push_back(journalPath);
        return result;
    }
    journal.phase = Journal::kDone;
    const Recovery tidied = CarryOnJournal(m_installDir, journal, files, hooks, true);
    result.backupsLeft = tidied.leftBeside;
    return result;
}

InstallResult InstallAllPackages(const std::vector<std::string>& packages,
                                 const std::string& downloadDir, const std::string& installDir,
                                 const std::string& client, uint64_t serial,
                                 const DecompressFn& decompress, InstallFiles& files,
                                 const InstallOptions& options) {
    PackageStaging staging(packages, downloadDir, installDir, client, serial, decompress, files,
                           options);
    InstallResult result;
    if (!staging.Begin(&result)) return result;
    return staging.Complete();
}

std::string InternetShortcutContent(const std::string& homeUrl, const std::string& installDir) {
    return "[InternetShortcut]\r\nURL=" + homeUrl + "\r\nIconIndex=0\r\nIconFile=" + installDir +
           "\\Orbisan.ICO";
}

}  // namespace tavrin
