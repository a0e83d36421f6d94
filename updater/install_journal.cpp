#include "updater/install_journal.h"

#include "updater/package_names.h"
#include "updater/signed_config.h"

namespace tavrin {
namespace {

constexpr const char* kHead = "tavrin-journal 1";

struct Paths {
    std::string target, staged, backup;
};

Paths PathsOf(const std::string& installDir, const JournalEntry& entry) {
    const std::string target = installDir + "\\" + entry.name;
    return {target, target + kStagedSuffix, target + kBackupSuffix};
}

// The entry's new file can still be had: decoded beside the target, or already in its place
// with the old file (if any) kept aside.
bool NewFileThere(const Paths& p, const JournalEntry& entry, InstallFiles& files) {
    if (files.Kind(p.staged) == PathKind::kFile) return true;
    return entry.hadOld ? files.Kind(p.backup) == PathKind::kFile
                        : files.Kind(p.target) == PathKind::kFile;
}

void Note(bool ok, const std::string& path, Recovery* result) {
    if (!ok) result->left.push_back(path);
}

void Complete(const std::string& installDir, const Journal& journal, InstallFiles& files,
              Recovery* result) {
    for (const JournalEntry& entry : journal.entries) {
        const Paths p = PathsOf(installDir, entry);
        if (files.Kind(p.staged) != PathKind::kFile) continue;  // already in place
        // The old file, if it is still where it was, goes aside first, as the updater does.
        if (entry.hadOld && files.Kind(p.target) == PathKind::kFile &&
            files.Kind(p.backup) == PathKind::kNone && !files.Move(p.target, p.backup)) {
            Note(false, p.target, result);
            continue;
        }
        Note(files.Move(p.staged, p.target), p.target, result);
    }
}

void Undo(const std::string& installDir, const Journal& journal, InstallFiles& files,
          Recovery* result) {
    for (const JournalEntry& entry : journal.entries) {
        const Paths p = PathsOf(installDir, entry);
        if (entry.hadOld && files.Kind(p.backup) == PathKind::kFile)
            Note(files.Move(p.backup, p.target), p.target, result);
        else if (!entry.hadOld && files.Kind(p.staged) != PathKind::kFile)
            Note(files.Remove(p.target), p.target, result);  // a new file already in place
    }
}

// What is left beside the targets goes; the journal goes last, once nothing it names remains.
void Tidy(const std::string& installDir, const Journal& journal, InstallFiles& files,
          Recovery* result) {
    for (const JournalEntry& entry : journal.entries) {
        const Paths p = PathsOf(installDir, entry);
        Note(files.Remove(p.staged), p.staged, result);
        Note(files.Remove(p.backup), p.backup, result);
    }
}

}  // namespace

std::string JournalText(uint64_t serial, const std::vector<JournalEntry>& entries) {
    std::string text = std::string(kHead) + "\r\nserial " + std::to_string(serial) + "\r\n";
    for (const JournalEntry& entry : entries)
        text += (entry.hadOld ? "old " : "new ") + entry.name + "\r\n";
    return text + "staged\r\n";
}

std::string JournalMark(Journal::Phase phase) {
    switch (phase) {
    case Journal::kCommitting: return "commit\r\n";
    case Journal::kDone: return "done\r\n";
    case Journal::kUndoing: return "undo\r\n";
    default: return "";
    }
}

// One line of the journal into journal; false when it does not belong where it stands.
bool TakeLine(const std::string& line, size_t index, bool* staged, Journal* journal) {
    if (index == 0) return line == kHead;
    if (index == 1) return line.rfind("serial ", 0) == 0 && ParseDecimal(line.substr(7), &journal->serial);
    if (!*staged && (line.rfind("old ", 0) == 0 || line.rfind("new ", 0) == 0)) {
        // Read back from the disk: only a plain name inside the folder is taken.
        const std::string name = line.substr(4);
        journal->entries.push_back({name, line[0] == 'o'});
        return IsSafePackageName(name);
    }
    if (!*staged) return *staged = line == "staged";
    if (line == "commit" && journal->phase == Journal::kStaging) {
        journal->phase = Journal::kCommitting;
        return true;
    }
    if ((line == "done" || line == "undo") && journal->phase == Journal::kCommitting) {
        journal->phase = line == "done" ? Journal::kDone : Journal::kUndoing;
        return true;
    }
    return false;
}

bool ParseJournal(const std::string& text, Journal* journal) {
    *journal = Journal();
    bool staged = false;
    size_t index = 0;
    for (size_t start = 0; start < text.size(); ++index) {
        const size_t end = text.find("\r\n", start);
        // A last mark cut short by a crash was not written: the phase before it holds.
        if (end == std::string::npos) return staged;
        if (!TakeLine(text.substr(start, end - start), index, &staged, journal)) return false;
        start = end + 2;
    }
    return staged;
}

Recovery RecoverInstallation(const std::string& installDir, InstallFiles& files) {
    Recovery result;
    const std::string journalPath = installDir + "\\" + kJournalName;
    std::string text;
    if (files.Kind(journalPath) == PathKind::kNone) return result;
    Journal journal;
    // Unreadable or cut short in its head: nothing had changed when it was written.
    const bool readable = files.ReadAll(journalPath, kMaxJournalSize, &text) &&
                          ParseJournal(text, &journal);
    result.serial = journal.serial;
    result.outcome = Recovery::kUndone;
    if (readable && journal.phase == Journal::kCommitting) {
        bool complete = true;
        for (const JournalEntry& entry : journal.entries)
            complete = complete && NewFileThere(PathsOf(installDir, entry), entry, files);
        complete ? Complete(installDir, journal, files, &result)
                 : Undo(installDir, journal, files, &result);
        if (complete) result.outcome = Recovery::kCompleted;
    } else if (readable && journal.phase == Journal::kUndoing) {
        Undo(installDir, journal, files, &result);
    } else if (readable && journal.phase == Journal::kDone) {
        result.outcome = Recovery::kCompleted;
    }
    if (readable) Tidy(installDir, journal, files, &result);
    if (!result.left.empty()) {
        result.outcome = Recovery::kStuck;
        return result;
    }
    if (!files.Remove(journalPath)) {
        result.left.push_back(journalPath);
        result.outcome = Recovery::kStuck;
    }
    return result;
}

}  // namespace tavrin
