// The installation's journal: a small file in the install folder, written before anything there
// changes and removed only when the whole new set is in place and the old files are gone. A
// control that finds one after a crash finishes or undoes what it names before anything else.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "updater/package_install.h"

namespace tavrin {

// Ends in ".tavrin-journal", so no package can be named like it.
constexpr const char* kJournalName = "install.tavrin-journal";
constexpr size_t kMaxJournalSize = 64 * 1024;

struct JournalEntry {
    std::string name;     // the installed file's name in the install folder
    bool hadOld = false;  // a file stood there before
};

struct Journal {
    enum Phase {
        kStaging,     // new files are being decoded beside their targets; nothing replaced
        kCommitting,  // every new file was decoded: targets are being replaced
        kDone,        // the whole new set is in place: only old files remain to go
        kUndoing,     // a replacement failed: the old files are being put back
    };
    Phase phase = kStaging;
    uint64_t serial = 0;  // of the release being installed
    std::vector<JournalEntry> entries;
};

// The journal's first lines (phase kStaging), and the line that moves it on to `phase`.
std::string JournalText(uint64_t serial, const std::vector<JournalEntry>& entries);
std::string JournalMark(Journal::Phase phase);
// False for anything but a whole, well-formed journal head (a crash while it was first written
// leaves none: nothing had changed yet).
bool ParseJournal(const std::string& text, Journal* journal);

struct Recovery {
    enum Outcome {
        kNothing,    // no journal
        kUndone,     // the old set stands again
        kCompleted,  // the new set stands (serial: the release it installed)
        kStuck,      // some files could not be moved or removed; the journal stays for next time
    };
    Outcome outcome = kNothing;
    uint64_t serial = 0;
    std::vector<std::string> left;  // what could not be put right
};

// Finishes or undoes the installation the journal in installDir names. The rule, safe at every
// point a crash can stop an installation:
// - staging: nothing was replaced; the new files decoded so far go;
// - committing: when every target's new file is still there (decoded beside it, or already in
//   its place with its old file kept aside), the replacement is completed; otherwise each
//   replaced target gets its old file back and new ones go (the old files are all still aside
//   in this phase);
// - done: the old files kept aside go;
// - undoing: as committing without its new files, the old set is put back.
// Every staged and kept-aside file the journal names is gone afterwards, and so is the journal.
Recovery RecoverInstallation(const std::string& installDir, InstallFiles& files);

}  // namespace tavrin
