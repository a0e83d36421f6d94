// The all-or-nothing installation over a folder in memory (order, staging, the rollback of a
// failed set, refused names) and the .url bytes.
#include "updater/package_install.h"

#include "updater/install_journal.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace tavrin {
namespace {

using Call = std::pair<std::string, std::string>;

// The install folder in memory: path to content.
struct MemoryFiles : InstallFiles {
    std::map<std::string, std::string> files;
    std::string failMoveFrom;  // a staged file that cannot be put in place
    std::set<std::string> failMovesFrom;  // files that cannot be moved
    std::set<std::string> failRemoves;    // files that cannot be removed
    std::set<std::string> folders;        // paths where a folder stands
    PathKind Kind(const std::string& path) override {
        if (folders.count(path)) return PathKind::kOther;
        return files.count(path) ? PathKind::kFile : PathKind::kNone;
    }
    bool Move(const std::string& from, const std::string& to) override {
        if (from == failMoveFrom || failMovesFrom.count(from) || !files.count(from)) return false;
        files[to] = files[from];
        files.erase(from);
        return true;
    }
    bool Remove(const std::string& path) override {
        if (failRemoves.count(path) && files.count(path)) return false;  // gone counts as removed
        files.erase(path);
        return true;
    }
    bool Append(const std::string& path, const std::string& text) override {
        files[path] += text;
        return true;
    }
    bool ReadAll(const std::string& path, size_t maxBytes, std::string* content) override {
        if (!files.count(path) || files[path].size() > maxBytes) return false;
        *content = files[path];
        return true;
    }
};

// Prynn's stand-in: decodes into the memory folder, failing at call failAt.
struct Recorder {
    explicit Recorder(MemoryFiles* f) : folder(f) {}
    MemoryFiles* folder;
    std::vector<Call> calls;
    size_t failAt = static_cast<size_t>(-1);
    DecompressFn fn() {
        return [this](const std::string& s, const std::string& t) {
            calls.emplace_back(s, t);
            if (calls.size() - 1 == failAt) return 0;
            folder->files[t] = "new " + s;
            return 1;
        };
    }
};

const std::string kDownload = "C:\\Program Files\\Velmora\xb9\xd9\xb5\xcf\\Temp\\";
const std::string kInstall = "C:\\Program Files\\Velmora\xb9\xd9\xb5\xcf";

const uint64_t kSerial = 42;

std::string Target(const std::string& name) { return kInstall + "\\" + name; }

// An earlier installation: a, b and c, plus a file no package names.
MemoryFiles OldInstallation() {
    MemoryFiles folder;
    for (const char* name : {"a", "b", "c", "keep.txt"}) folder.files[Target(name)] = std::string("old ") + name;
    return folder;
}

const std::vector<std::string> kFour = {"a.lzf", "b.lzf", "c.lzf", "d.lzf"};

// The client the sets below must install.
const std::string kClient = "a";

TEST(InstallAllPackages, DecodesEveryPackageBesideItsTargetThenReplacesThemAll) {
    MemoryFiles folder = OldInstallation();
    Recorder r(&folder);
    const InstallResult result = InstallAllPackages({"a.lzf", "b.lzf", "d.lzf", "a.lzf"}, kDownload,
                                                    kInstall, kClient, kSerial, r.fn(), folder);
    EXPECT_TRUE(result.installed);
    EXPECT_TRUE(result.backupsLeft.empty());
    const std::vector<Call> expected = {
        {kDownload + "a.lzf", Target("a") + kStagedSuffix},
        {kDownload + "b.lzf", Target("b") + kStagedSuffix},
        {kDownload + "d.lzf", Target("d") + kStagedSuffix},  // a listed twice: once
    };
    EXPECT_EQ(expected, r.calls);
    const std::map<std::string, std::string> after = {
        {Target("a"), "new " + kDownload + "a.lzf"}, {Target("b"), "new " + kDownload + "b.lzf"},
        {Target("c"), "old c"}, {Target("d"), "new " + kDownload + "d.lzf"},
        {Target("keep.txt"), "old keep.txt"}};
    EXPECT_EQ(after, folder.files) << "nothing staged or set aside is left";

    // An old file still in use cannot go: the installation stands, and the file is named.
    MemoryFiles busy = OldInstallation();
    busy.failRemoves = {Target("b") + kBackupSuffix};
    Recorder again(&busy);
    const InstallResult kept =
        InstallAllPackages({"a.lzf", "b.lzf"}, kDownload, kInstall, kClient, kSerial, again.fn(), busy);
    EXPECT_TRUE(kept.installed);
    EXPECT_EQ(std::vector<std::string>{Target("b") + kBackupSuffix}, kept.backupsLeft);
}

// A set that would not leave the client in place, or that meets a folder where a file goes,
// changes nothing: moving the folder aside would "succeed" and leave it behind for good.
TEST(InstallAllPackages, RefusedBeforeAnythingIsDecoded) {
    const struct {
        const char* what;
        std::vector<std::string> packages;
        std::set<std::string> folders;
        std::string blocked;
        std::string missingClient;
    } rows[] = {
        {"no package at all", {}, {}, "", Target("a")},
        {"no client among them", {"b.lzf", "c.lzf"}, {}, "", Target("a")},
        {"a folder where the client goes", kFour, {Target("a")}, Target("a"), ""},
        {"a folder where a later file goes", kFour, {Target("d")}, Target("d"), ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        MemoryFiles folder = OldInstallation();
        folder.folders = row.folders;
        Recorder r(&folder);
        const InstallResult result =
            InstallAllPackages(row.packages, kDownload, kInstall, kClient, kSerial, r.fn(), folder);
        EXPECT_FALSE(result.installed);
        EXPECT_EQ(row.blocked, result.blocked);
        EXPECT_EQ(row.missingClient, result.missingClient);
        EXPECT_TRUE(r.calls.empty());
        EXPECT_EQ(OldInstallation().files, folder.files);
    }
    MemoryFiles folder = OldInstallation();
    Recorder r(&folder);
    EXPECT_TRUE(InstallAllPackages({"A.lzf"}, kDownload, kInstall, kClient, kSerial, r.fn(), folder).installed)
        << "Windows finds the client whatever the case of its name";
}

// A failure puts the earlier installation back. A rollback step that fails (an old file that
// cannot be moved back, a new one that cannot be removed) leaves its target as it stands, and
// the result names exactly those targets.
TEST(InstallAllPackages, AFailureLeavesTheEarlierInstallationAsItWas) {
    const size_t kNoFailure = static_cast<size_t>(-1);
    // d is new and goes in before c fails: the rollback moves c, b and a back and removes d.
    const std::vector<std::string> newBeforeFailure = {"a.lzf", "d.lzf", "b.lzf", "c.lzf"};
    const auto old = [](const char* name) { return Target(name) + kBackupSuffix; };
    struct Row {
        const char* what;
        size_t failDecodeAt;
        std::string failReplacing;
        size_t decoded;
        std::vector<std::string> packages = kFour;
        std::set<std::string> failMovesFrom = {};
        std::set<std::string> failRemoves = {};
        std::vector<std::string> notRestored = {};
    } rows[] = {
        {"the third package does not decode", 2, "", 3},
        {"the first does not decode", 0, "", 1},
        {"the third file cannot be replaced", kNoFailure, Target("c") + kStagedSuffix, 4},
        {"the third old file cannot be set aside", kNoFailure, "", 4, kFour, {Target("c")}},
        {"the new fourth file cannot be put in", kNoFailure, Target("d") + kStagedSuffix, 4},
        {"a new file put in before the failure", kNoFailure, Target("c") + kStagedSuffix, 4,
         newBeforeFailure},
        {"the failing file's old one cannot go back", kNoFailure, Target("c") + kStagedSuffix, 4,
         newBeforeFailure, {old("c")}, {}, {Target("c")}},
        {"an old file replaced before cannot go back", kNoFailure, Target("c") + kStagedSuffix, 4,
         newBeforeFailure, {old("b")}, {}, {Target("b")}},
        {"a new file cannot be removed", kNoFailure, Target("c") + kStagedSuffix, 4,
         newBeforeFailure, {}, {Target("d")}, {Target("d")}},
        {"the first old file cannot go back", kNoFailure, Target("c") + kStagedSuffix, 4,
         newBeforeFailure, {old("a")}, {}, {Target("a")}},
        {"no step of the rollback works", kNoFailure, Target("c") + kStagedSuffix, 4,
         newBeforeFailure, {old("a"), old("b"), old("c")}, {Target("d")},
         {Target("a"), Target("d"), Target("b"), Target("c")}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MemoryFiles folder = OldInstallation();
        folder.failMoveFrom = row.failReplacing;
        folder.failMovesFrom = row.failMovesFrom;
        folder.failRemoves = row.failRemoves;
        Recorder r(&folder);
        r.failAt = row.failDecodeAt;
        const InstallResult result =
            InstallAllPackages(row.packages, kDownload, kInstall, kClient, kSerial, r.fn(), folder);
        EXPECT_FALSE(result.installed);
        EXPECT_EQ(row.decoded, r.calls.size()) << "nothing is decoded after a failure";
        EXPECT_EQ(row.notRestored, result.notRestored);
        // What a stuck step leaves: the old file still aside, the new one (if it went in) in
        // its place.
        std::map<std::string, std::string> expected = OldInstallation().files;
        for (const std::string& target : row.notRestored) {
            if (expected.count(target)) expected[target + kBackupSuffix] = expected[target];
            expected.erase(target);
            if (target + kStagedSuffix != row.failReplacing) {
                const std::string name = target.substr(kInstall.size() + 1);
                expected[target] = "new " + kDownload + name + ".lzf";
            }
        }
        // The journal stays with what could not be put back, and the next control, once the
        // files can be moved again, gives the old set back.
        const std::string journal = Target(kJournalName);
        EXPECT_EQ(!row.notRestored.empty(), folder.files.count(journal) == 1);
        if (folder.files.count(journal)) expected[journal] = folder.files[journal];
        EXPECT_EQ(expected, folder.files) << "every other old file as it was, nothing left over";
        folder.failMovesFrom.clear();
        folder.failRemoves.clear();
        EXPECT_EQ(row.notRestored.empty() ? Recovery::kNothing : Recovery::kUndone,
                  RecoverInstallation(kInstall, folder).outcome);
        EXPECT_EQ(OldInstallation().files, folder.files);
    }
}

// The browser ends at any step of an installation of seven packages over four old files
// (every move, removal, journal write and decode, a journal write torn halfway). The next
// control finds the journal and leaves exactly the old set or exactly the new one, with nothing
// beside them; from the moment the journal says every new file is there, the new one.
TEST(InstallAllPackages, ACrashAtAnyStepLeavesTheOldSetOrTheNewOneAfterRecovery) {
    struct Crash {};
    struct CrashingFiles : MemoryFiles {
        size_t step = 0, crashAt = 0;
        void Step() {
            if (step++ == crashAt) throw Crash();
        }
        bool Move(const std::string& from, const std::string& to) override {
            Step();
            return MemoryFiles::Move(from, to);
        }
        bool Remove(const std::string& path) override {
            Step();
            return MemoryFiles::Remove(path);
        }
        bool Append(const std::string& path, const std::string& text) override {
            if (step == crashAt) files[path] += text.substr(0, text.size() / 2);
            Step();
            return MemoryFiles::Append(path, text);
        }
    };
    const std::vector<std::string> seven = {"a.lzf", "b.lzf", "c.lzf", "d.lzf",
                                            "e.lzf", "f.lzf", "keep.txt.lzf"};
    std::map<std::string, std::string> newSet = OldInstallation().files;
    for (const std::string& package : seven) {
        const std::string name = package.substr(0, package.size() - 4);
        newSet[Target(name)] = "new " + kDownload + package;
    }
    bool finished = false;
    size_t sawOld = 0, sawNew = 0;
    for (size_t crashAt = 0; !finished; ++crashAt) {
        SCOPED_TRACE("crash at step " + std::to_string(crashAt));
        CrashingFiles folder;
        folder.files = OldInstallation().files;
        folder.crashAt = crashAt;
        Recorder r(&folder);
        const DecompressFn decode = [&](const std::string& source, const std::string& target) {
            folder.Step();
            return r.fn()(source, target);
        };
        try {
            finished = InstallAllPackages(seven, kDownload, kInstall, kClient, kSerial, decode,
                                          folder).installed;
        } catch (const Crash&) {
        }
        folder.crashAt = SIZE_MAX;
        const Recovery recovery = RecoverInstallation(kInstall, folder);
        EXPECT_TRUE(recovery.left.empty());
        if (folder.files == newSet) {
            ++sawNew;
            EXPECT_TRUE(finished || recovery.outcome == Recovery::kCompleted);
            if (recovery.outcome == Recovery::kCompleted) {
                EXPECT_EQ(kSerial, recovery.serial);
            }
        } else {
            ++sawOld;
            EXPECT_EQ(OldInstallation().files, folder.files);
            EXPECT_NE(Recovery::kCompleted, recovery.outcome);
        }
    }
    EXPECT_GT(sawOld, 7u);
    EXPECT_GT(sawNew, 14u) << "every step of the replacement itself is completed";
}

// A journal read back from the disk is trusted no further than its own shape.
TEST(InstallJournal, OnlyAWholeWellFormedHeadIsRead) {
    const std::string head = JournalText(7, {{"Orbisan.exe", true}, {"new.dll", false}});
    Journal journal;
    ASSERT_TRUE(ParseJournal(head, &journal));
    EXPECT_EQ(Journal::kStaging, journal.phase);
    EXPECT_EQ(7u, journal.serial);
    ASSERT_EQ(2u, journal.entries.size());
    EXPECT_TRUE(journal.entries[0].hadOld);
    EXPECT_FALSE(journal.entries[1].hadOld);
    const struct {
        std::string text;
        bool read;
        Journal::Phase phase;
    } rows[] = {
        {head + "commit\r\n", true, Journal::kCommitting},
        {head + "comm", true, Journal::kStaging},  // cut short: not written
        {head + "commit\r\ndone\r\n", true, Journal::kDone},
        {head + "commit\r\nundo\r\n", true, Journal::kUndoing},
        {head + "done\r\n", false, Journal::kStaging},  // no commit before it
        {head + "commit\r\ncommit\r\n", false, Journal::kStaging},
        {head.substr(0, head.size() - 3), false, Journal::kStaging},
        {JournalText(7, {{"..\\..\\Windows\\win.ini", true}}), false, Journal::kStaging},
        {JournalText(7, {{"C:x", true}}), false, Journal::kStaging},
        {"tavrin-journal 2\r\n" + head.substr(18), false, Journal::kStaging},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.read, ParseJournal(row.text, &journal));
        if (row.read) {
            EXPECT_EQ(row.phase, journal.phase);
        }
    }
}

TEST(InstallAllPackages, NameLeavingTheFoldersNeverReachesAPath) {
    const char* names[] = {"..\\..\\Windows\\evil.dll.lzf", "../x.lzf", "C:x.lzf", "..",
                           "a\tb.lzf"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        MemoryFiles folder = OldInstallation();
        Recorder r(&folder);
        EXPECT_FALSE(InstallAllPackages({"a.lzf", name, "later.lzf"}, kDownload, kInstall,
                                        kClient, kSerial, r.fn(), folder)
                         .installed);
        EXPECT_TRUE(r.calls.empty()) << "refused before anything is decoded";
        EXPECT_EQ(OldInstallation().files, folder.files);
    }
}

TEST(InternetShortcut, ExactBytesWithoutFinalLineBreak) {
    const std::string bytes = InternetShortcutContent("http://127.0.0.1:18731/", kInstall);
    EXPECT_EQ("[InternetShortcut]\r\nURL=http://127.0.0.1:18731/\r\nIconIndex=0\r\nIconFile=" +
                  kInstall + "\\Orbisan.ICO",
              bytes);
    EXPECT_EQ(std::string::npos, bytes.find('\0'));
}

}  // namespace
}  // namespace tavrin
