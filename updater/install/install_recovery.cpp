#include "updater/install/install_recovery.h"

#include "libs/prynn/file_transform.h"
#include "updater/signed_config.h"

namespace tavrin {
namespace {

struct Paths {
    std::string target, staged, backup;
};

Paths PathsOf(const std::string& installDir, const JournalEntry& entry) {
    const std::string target = installDir + "\\" + entry.name;
    return {target, target + kStagedSuffix, target + kBackupSuffix};
}

// What a file is, told by its content: the entry's new file, something else (the old file where
// one stood), nothing, or unknown (a file that cannot be read now, held by another program).
enum class Content { kMissing, kNew, kOther, kUnknown };

// Carries a journal from its phase to its end. The orderings it relies on:
// - a decision ("complete", "undo") is on the disk before the first file moves for it, and
//   "done"/"undone" before the first file beside the set is removed: a run ended anywhere is
//   taken up by the next from the same decision, never the opposite one;
// - a target is replaced only while its old file is kept elsewhere (set aside before, or
//   still aside), so a replace that first deletes its target loses nothing;
// - the serial is recorded before the signed configuration and the journal go, the journal
//   last of all.
class JournalRun {
public:
    JournalRun(const std::string& installDir, Journal& journal, InstallFiles& files,
               const RecoveryHooks& hooks, bool serialKnown)
        : m_dir(installDir), m_journal(journal), m_files(files), m_hooks(hooks),
          m_serialKnown(serialKnown) {
        m_result.serial = journal.serial;
    }

    Recovery Run() {
        for (;;) {
            switch (m_journal.phase) {
            case Journal::kStaging:  // nothing was replaced: the new files decoded so far go
                TidyStaged();
                return Finish(Recovery::kUndone);
            case Journal::kCommitting:
                if (!Decide()) return Stuck();
                break;
            case Journal::kCompleting:
                Complete();
                if (!m_result.notWhole.empty()) return Stuck();
                if (!Mark(Journal::kDone)) return Whole(Recovery::kCompleted);
                break;
            case Journal::kDone:
                TidyBackups();
                TidyStaged();
                if (!m_result.notWhole.empty()) return Stuck();
                if (!RecordSerial()) return Whole(Recovery::kCompleted);
                return Finish(Recovery::kCompleted);
            case Journal::kUndoing:
                Undo();
                TidyStaged();  // the decision is written: no new file is needed any more
                if (!m_result.notWhole.empty()) return Stuck();
                if (!Mark(Journal::kUndone)) return Whole(Recovery::kUndone);
                break;
            case Journal::kUndone:
                TidyStaged();
                return Finish(Recovery::kUndone);
            }
        }
    }

private:
    Content Of(const std::string& path, const JournalEntry& entry) {
        const PathKind kind = m_files.Kind(path);
        if (kind == PathKind::kNone) return Content::kMissing;
        FileDigest digest;
        if (kind != PathKind::kFile || !m_files.Digest(path, &digest)) return Content::kUnknown;
        return digest == entry.newFile ? Content::kNew : Content::kOther;
    }

    bool Mark(Journal::Phase phase) {
        if (!m_files.Append(JournalPath(m_dir), JournalMark(phase))) return false;
        m_journal.phase = phase;
        return true;
    }

    // Only a journal that measured every new file before the first replacement gets here.
    // Complete when every new file is still to be had (in its place or beside it); otherwise
    // undo, when every old file is (in its place or aside). A file that cannot be read leaves
    // the decision to a later run.
    bool Decide() {
        bool allNew = true, allOld = true;
        for (const JournalEntry& entry : m_journal.entries) {
            const Paths p = PathsOf(m_dir, entry);
            const Content target = Of(p.target, entry);
            if (target == Content::kUnknown) return false;
            if (entry.hadOld && target == Content::kMissing &&
                m_files.Kind(p.backup) != PathKind::kFile)
                allOld = false;
            if (target == Content::kNew) continue;
            const Content staged = Of(p.staged, entry);
            if (staged == Content::kUnknown) return false;
            allNew = allNew && staged == Content::kNew;
        }
        if (!allNew && !allOld) return false;
        return Mark(allNew ? Journal::kCompleting : Journal::kUndoing);
    }

    void Complete() {
        for (const JournalEntry& entry : m_journal.entries) {
            const Paths p = PathsOf(m_dir, entry);
            const Content target = Of(p.target, entry);
            if (target == Content::kNew) continue;
            if (target == Content::kUnknown || Of(p.staged, entry) != Content::kNew) {
                m_result.notWhole.push_back(p.target);
                continue;
            }
            // The old file goes aside by a plain rename before the new one takes its place.
            const bool aside = target != Content::kOther || !entry.hadOld ||
                               m_files.Kind(p.backup) != PathKind::kNone ||
                               m_files.Replace(p.target, p.backup);
            if (!aside || !m_files.Replace(p.staged, p.target)) m_result.notWhole.push_back(p.target);
        }
    }

    void Undo() {
        for (const JournalEntry& entry : m_journal.entries) {
            const Paths p = PathsOf(m_dir, entry);
            bool restored = true;
            if (entry.hadOld && m_files.Kind(p.backup) == PathKind::kFile)
                // Replaces the new file; the old one stays aside until the rename is done.
                restored = m_files.Replace(p.backup, p.target);
            else if (entry.hadOld)
                restored = m_files.Kind(p.target) == PathKind::kFile;
            else if (m_files.Kind(p.target) != PathKind::kNone)
                restored = m_files.Remove(p.target, IfMissing::kDone);
            if (!restored) m_result.notWhole.push_back(p.target);
        }
    }

    void RemoveBeside(const std::string& path) {
        if (m_files.Kind(path) != PathKind::kNone && !m_files.Remove(path, IfMissing::kDone))
            m_result.leftBeside.push_back(path);
    }

    // The staged files and what Prynn may have left while decoding them.
    void TidyStaged() {
        for (const JournalEntry& entry : m_journal.entries) {
            const std::string staged = PathsOf(m_dir, entry).staged;
            RemoveBeside(staged);
            for (int n = 0; n < prynn::kTemporaryNameTries; ++n)
                RemoveBeside(prynn::TemporaryName(staged, n));
        }
    }

    // An old file goes only once its target is seen to hold the new one.
    void TidyBackups() {
        for (const JournalEntry& entry : m_journal.entries) {
            const Paths p = PathsOf(m_dir, entry);
            if (m_files.Kind(p.backup) == PathKind::kNone) continue;
            if (Of(p.target, entry) == Content::kNew)
                RemoveBeside(p.backup);
            else
                m_result.notWhole.push_back(p.target);
        }
    }

    // The serial of the set now standing, when the installation verified it or the signed
    // configuration beside the journal proves it; otherwise it is left as it is. False when a
    // proven serial could not be written: the journal stays, so that a later run writes it.
    bool RecordSerial() {
        if (!m_hooks.recordSerial || m_journal.serial == 0) return true;
        std::string config;
        const bool proven =
            m_serialKnown ||
            (m_hooks.proves &&
             m_files.ReadAll(JournalConfigPath(m_dir), kMaxConfigSize, &config) &&
             m_hooks.proves(config, m_journal.serial));
        if (!proven || m_hooks.recordSerial(m_journal.serial)) return true;
        m_result.leftBeside.push_back(JournalPath(m_dir));
        return false;
    }

    // The set stands: the configuration kept for it goes, then the journal, unless something
    // it names is still beside the set.
    Recovery Finish(Recovery::Outcome outcome) {
        if (m_result.leftBeside.empty()) RemoveBeside(JournalConfigPath(m_dir));
        if (m_result.leftBeside.empty()) RemoveBeside(JournalPath(m_dir));
        return Whole(outcome);
    }

    Recovery Whole(Recovery::Outcome outcome) {
        m_result.outcome = outcome;
        return m_result;
    }

    Recovery Stuck() { return Whole(Recovery::kStuck); }

    const std::string& m_dir;
    Journal& m_journal;
    InstallFiles& m_files;
    const RecoveryHooks& m_hooks;
    const bool m_serialKnown;
    Recovery m_result;
};

// A journal left without its newer version, or a new journal whose head was never complete
// (nothing had changed then), goes with the configuration kept for it.
bool RemoveStray(const std::string& path, InstallFiles& files, Recovery* result) {
    if (files.Kind(path) == PathKind::kNone || files.Remove(path, IfMissing::kDone)) return true;
    result->leftBeside.push_back(path);
    return false;
}

// A journal text with no line cut short.
bool ReadWholeJournal(const std::string& path, InstallFiles& files, Journal* journal,
                      std::string* text) {
    return files.ReadAll(path, kMaxJournalSize, text) && ParseJournal(*text, journal);
}

// The journal replaced by text in one step where renames are atomic; where they are not, the
// journal may be gone for a moment and the next version, whole by then, is taken up instead.
bool RewriteJournal(const std::string& installDir, const std::string& text, InstallFiles& files) {
    const std::string next = NextJournalPath(installDir);
    return files.Remove(next, IfMissing::kDone) && files.Append(next, text) &&
           files.Replace(next, JournalPath(installDir));
}

}  // namespace

bool LaunchAfter(const Recovery& recovery) {
    return recovery.outcome == Recovery::kNothing || recovery.outcome == Recovery::kCompleted ||
           recovery.outcome == Recovery::kUndone;
}

std::string JournalPath(const std::string& installDir) { return installDir + "\\" + kJournalName; }
std::string NextJournalPath(const std::string& installDir) {
    return JournalPath(installDir) + kStagedSuffix;
}
std::string JournalConfigPath(const std::string& installDir) {
    return installDir + "\\" + kJournalConfigName;
}

Recovery CarryOnJournal(const std::string& installDir, Journal& journal, InstallFiles& files,
                        const RecoveryHooks& hooks, bool serialKnown) {
    return JournalRun(installDir, journal, files, hooks, serialKnown).Run();
}

Recovery RecoverInstallation(const std::string& installDir, InstallFiles& files,
                             const RecoveryHooks& hooks) {
    Recovery result;
    const std::string path = JournalPath(installDir);
    const std::string next = NextJournalPath(installDir);
    Journal journal;
    std::string text;
    if (files.Kind(path) == PathKind::kNone) {
        // Only a whole next version stands for the journal; anything else never counted.
        const bool taken = files.Kind(next) == PathKind::kFile &&
                           ReadWholeJournal(next, files, &journal, &text) &&
                           journal.wholeBytes == text.size();
        if (!taken) {
            RemoveStray(next, files, &result) &&
                RemoveStray(JournalConfigPath(installDir), files, &result);
            return result;
        }
        if (!files.Replace(next, path)) {
            result.outcome = Recovery::kStuck;
            return result;
        }
    } else if (!RemoveStray(next, files, &result)) {
        // The journal stands, so its next version never replaced it; while that one stays, a
        // later run could take it for the journal.
        result.outcome = Recovery::kStuck;
        return result;
    }
    // Anything the reader does not take is kept with all beside it: nothing goes on a guess.
    if (files.Kind(path) != PathKind::kFile || !ReadWholeJournal(path, files, &journal, &text)) {
        result.outcome = Recovery::kUnreadable;
        return result;
    }
    // A line cut short would run into the next mark: the journal is written again without it.
    if (journal.wholeBytes != text.size() &&
        !RewriteJournal(installDir, text.substr(0, journal.wholeBytes), files)) {
        result.outcome = Recovery::kStuck;
        return result;
    }
    return CarryOnJournal(installDir, journal, files, hooks, false);
}

}  // namespace tavrin
