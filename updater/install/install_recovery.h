// Finishing or undoing the installation a journal names: after a crash, at the next control's
// start, and by the installation itself once its decision is written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "updater/install/install_journal.h"
#include "updater/install/package_install.h"

namespace tavrin {

struct RecoveryHooks {
    // True when signedConfig (kept beside the journal) is signed by the update key and names
    // serial. A serial nothing proves is never recorded.
    std::function<bool(const std::string& signedConfig, uint64_t serial)> proves;
    // Records serial as the installed release's; false when it may not be written.
    std::function<bool(uint64_t serial)> recordSerial;
};

struct Recovery {
    enum Outcome {
        kNothing,     // no journal
        kUndone,      // the old set stands whole
        kCompleted,   // the new set stands whole (serial: the release it installed)
        kStuck,       // no whole set yet (a file could not be moved, read or written): the
                      // journal stays and the next control goes on from its last decision
        kUnreadable,  // a journal no reader takes: it and everything beside it are kept
        kBusy,        // another installation works in the folder
    };
    Outcome outcome = kNothing;
    uint64_t serial = 0;
    std::vector<std::string> notWhole;    // targets not yet put right, in list order
    // Staged, set-aside or temporary files (or the journal) that could not be removed: still
    // named in the journal, so that a later control removes them. The set stands.
    std::vector<std::string> leftBeside;
};

// Only a whole set is started: no journal, or one whose set stands (files left beside it
// included, they are the journal's to remove later).
bool LaunchAfter(const Recovery& recovery);

// Brings the installation the journal in installDir names to one whole set, from its last
// written decision; decides (by the content of each file, never by a file's absence alone) only
// where none is written. Any number of times, interrupted anywhere, it reaches the same set.
Recovery RecoverInstallation(const std::string& installDir, InstallFiles& files,
                             const RecoveryHooks& hooks = {});

// For the installation itself: carries journal (as written so far) on from its phase. With
// serialKnown the serial is the one the installation verified and needs no proof.
Recovery CarryOnJournal(const std::string& installDir, Journal& journal, InstallFiles& files,
                        const RecoveryHooks& hooks, bool serialKnown);

// The paths of the journal, of its next version while it is rewritten, and of the signed
// configuration kept beside it.
std::string JournalPath(const std::string& installDir);
std::string NextJournalPath(const std::string& installDir);
std::string JournalConfigPath(const std::string& installDir);

}  // namespace tavrin
