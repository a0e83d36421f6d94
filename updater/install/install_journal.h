// The installation's journal: a small file in the install folder, written before anything there
// changes. It names every target, whether an old file stood there, and, before the first target
// is replaced, the size and SHA-256 of each new file; then each decision, before it is acted on.
// It goes only when the set it names stands whole and nothing of ours is left beside it.
//
//   tavrin-journal 2
//   serial N
//   old NAME | new NAME             one line per target: a file stood there before, or none
//   staged                          the head ends: new files are decoded beside their targets
//   digest I SIZE SHA256            the new file of target I, measured once it was decoded
//   commit                          every new file is there: targets are being replaced
//   complete | undo                 the decision: the new set goes in, or the old comes back
//   done | undone                   the set stands whole: only what is beside it is left
//
// A line cut short by a crash at its end was not written: the phase before it holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "updater/install/package_install.h"

namespace tavrin {

// End in ".tavrin-journal", which no installed name may (see signed_config.cpp).
constexpr const char* kJournalName = "install.tavrin-journal";
// The signed configuration of the release the journal installs, so that a recovery believes
// its serial only from what the update key signed.
constexpr const char* kJournalConfigName = "config.tavrin-journal";
// Held open by the installation at work (install_folder_win.h), gone when it ends.
constexpr const char* kInstallLockName = "install.tavrin-lock";
// The reader's limit; the writer refuses a set whose journal could outgrow it.
constexpr size_t kMaxJournalSize = 1024 * 1024;

struct JournalEntry {
    std::string name;     // the installed file's name in the install folder
    bool hadOld = false;  // a file stood there before
    FileDigest newFile;   // the decoded new file (known from the digest lines on)
};

struct Journal {
    enum Phase {
        kStaging,     // new files are being decoded beside their targets; nothing replaced
        kCommitting,  // every new file is measured: targets are being replaced
        kCompleting,  // decided: the new set goes in
        kUndoing,     // decided: the old set comes back
        kDone,        // the new set stands whole
        kUndone,      // the old set stands whole
    };
    Phase phase = kStaging;
    uint64_t serial = 0;  // of the release being installed
    std::vector<JournalEntry> entries;
    size_t digests = 0;      // entries whose new file is measured
    size_t wholeBytes = 0;   // how much of the text was read: a cut last line is not
};

// The head (phase kStaging), the digest lines of every entry, the line that moves it on to
// `phase`, and the most the journal of such a set can grow to.
std::string JournalHead(uint64_t serial, const std::vector<JournalEntry>& entries);
std::string JournalDigests(const std::vector<JournalEntry>& entries);
std::string JournalMark(Journal::Phase phase);
size_t LargestJournal(uint64_t serial, const std::vector<JournalEntry>& entries);
// False for anything but a whole, well-formed head followed by lines in their order.
bool ParseJournal(const std::string& text, Journal* journal);

}  // namespace tavrin
