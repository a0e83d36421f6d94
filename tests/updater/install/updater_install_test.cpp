// The all-or-nothing installation over a folder in memory (order, staging, the rollback of a
// failed set, refused names) and the .url bytes.
#include "updater/install/package_install.h"

#include "updater/install/install_journal.h"
#include "updater/install/install_recovery.h"
#include "trust/crypto.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace tavrin {
namespace {

using Call = std::pair<std::string, std::string>;

FileDigest DigestOf(const std::string& content) {
    std::unique_ptr<Sha256> hash = NewSha256();
    hash->Update(content.data(), content.size());
    return {content.size(), hash->FinishHex()};
}

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
    bool Replace(const std::string& from, const std::string& to) override {
        if (from == failMoveFrom || failMovesFrom.count(from) || !files.count(from)) return false;
        files[to] = files[from];
        files.erase(from);
        return true;
    }
    bool Remove(const std::string& path, IfMissing ifMissing) override {
        if (!files.count(path)) return ifMissing == IfMissing::kDone;
        if (failRemoves.count(path)) return false;
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
    bool Digest(const std::string& path, FileDigest* digest) override {
        if (!files.count(path)) return false;
        *digest = DigestOf(files[path]);
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
    std::vector<std::string> shown;  // what the player was shown as being installed
    InstallOptions options;
    options.staging = [&](const std::string& package) { shown.push_back(package); };
    const InstallResult result = InstallAllPackages({"a.lzf", "b.lzf", "d.lzf", "a.lzf"}, kDownload,
                                                    kInstall, kClient, kSerial, r.fn(), folder, options);
    EXPECT_TRUE(result.installed);
    EXPECT_EQ((std::vector<std::string>{"a.lzf", "b.lzf", "d.lzf"}), shown);
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
        bool Replace(const std::string& from, const std::string& to) override {
            Step();
            return MemoryFiles::Replace(from, to);
        }
        bool Remove(const std::string& path, IfMissing ifMissing) override {
            Step();
            return MemoryFiles::Remove(path, ifMissing);
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
        EXPECT_TRUE(recovery.notWhole.empty() && recovery.leftBeside.empty());
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

// Packages decoded as they arrive, in any order, give the set InstallAllPackages gives: the
// rest decoded at the end, every package shown in list order. A package that failed on arrival
// is tried again at the end; a staging dropped (the batch failed) or cut short (the browser
// ended) leaves the old set once the journal has had its say.
TEST(PackageStaging, PackagesDecodedAsTheyArriveInstallTheSameSet) {
    enum End { kComplete, kStopAtEnd, kAbandon, kBrowserEnded };
    const struct {
        const char* what;
        std::vector<std::string> arrivals;
        size_t failDecodeAt;  // among all decodes
        End end;
        std::vector<std::string> decodedAtEnd;
    } rows[] = {
        {"out of order, the rest at the end", {"d.lzf", "b.lzf"}, SIZE_MAX, kComplete,
         {"a.lzf", "c.lzf"}},
        {"all before the end, one twice", {"c.lzf", "a.lzf", "b.lzf", "d.lzf", "a.lzf"}, SIZE_MAX,
         kComplete, {}},
        {"a package held on arrival is decoded at the end", {"b.lzf", "d.lzf"}, 0, kComplete,
         {"a.lzf", "b.lzf", "c.lzf"}},
        {"a name outside the set decodes nothing", {"x.lzf", "../a.lzf"}, SIZE_MAX, kComplete,
         {"a.lzf", "b.lzf", "c.lzf", "d.lzf"}},
        {"stopped at the end", {"d.lzf", "b.lzf"}, SIZE_MAX, kStopAtEnd, {}},
        {"the batch failed", {"d.lzf", "b.lzf"}, SIZE_MAX, kAbandon, {}},
        {"the browser ended meanwhile", {"d.lzf", "b.lzf"}, SIZE_MAX, kBrowserEnded, {}},
    };
    MemoryFiles whole = OldInstallation();
    Recorder plain(&whole);
    ASSERT_TRUE(InstallAllPackages(kFour, kDownload, kInstall, kClient, kSerial, plain.fn(), whole)
                    .installed);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        MemoryFiles folder = OldInstallation();
        Recorder r(&folder);
        r.failAt = row.failDecodeAt;
        std::vector<std::string> shown;
        bool stop = false;
        InstallOptions options;
        options.staging = [&](const std::string& package) { shown.push_back(package); };
        options.stopRequested = [&] { return stop; };
        PackageStaging staging(kFour, kDownload, kInstall, kClient, kSerial, r.fn(), folder, options);
        EXPECT_FALSE(staging.Stage("a.lzf")) << "nothing before the journal";
        InstallResult result;
        ASSERT_TRUE(staging.Begin(&result));
        for (const std::string& package : row.arrivals) staging.Stage(package);
        EXPECT_TRUE(shown.empty()) << "the player sees the installation only at the end";
        const size_t early = r.calls.size();
        stop = row.end == kStopAtEnd;
        if (row.end == kAbandon) staging.Abandon();
        if (row.end == kComplete || row.end == kStopAtEnd) result = staging.Complete();
        std::vector<std::string> atEnd;
        for (size_t i = early; i < r.calls.size(); ++i)
            atEnd.push_back(r.calls[i].first.substr(kDownload.size()));
        EXPECT_EQ(row.decodedAtEnd, atEnd);
        if (row.end == kComplete) {
            EXPECT_TRUE(result.installed);
            EXPECT_EQ(kFour, shown);
            EXPECT_EQ(whole.files, folder.files) << "the same set, nothing beside it";
            continue;
        }
        EXPECT_FALSE(result.installed);
        EXPECT_EQ(row.end == kStopAtEnd, result.stopped);
        const Recovery recovery = RecoverInstallation(kInstall, folder);
        EXPECT_EQ(row.end == kBrowserEnded ? Recovery::kUndone : Recovery::kNothing,
                  recovery.outcome);
        EXPECT_EQ(OldInstallation().files, folder.files);
    }
}

// A journal read back from the disk is trusted no further than its own shape: each mark only
// after the one it follows, nothing replaced before every new file is measured.
TEST(InstallJournal, OnlyAWholeWellFormedJournalIsRead) {
    std::vector<JournalEntry> entries = {{"Orbisan.exe", true, {}}, {"new.dll", false, {}}};
    const std::string head = JournalHead(7, entries);
    entries[0].newFile = DigestOf("client");
    entries[1].newFile = DigestOf("");
    const std::string measured = head + JournalDigests(entries);
    Journal journal;
    ASSERT_TRUE(ParseJournal(measured, &journal));
    EXPECT_EQ(7u, journal.serial);
    ASSERT_EQ(2u, journal.entries.size());
    EXPECT_TRUE(journal.entries[0].hadOld && !journal.entries[1].hadOld);
    EXPECT_EQ(DigestOf("client"), journal.entries[0].newFile);
    const std::string one = head + JournalDigests({entries[0]});
    const struct {
        std::string text;
        bool read;
        Journal::Phase phase;
    } rows[] = {
        {head, true, Journal::kStaging},
        {measured + "commit\r\n", true, Journal::kCommitting},
        {measured + "comm", true, Journal::kStaging},  // cut short: not written
        {measured + "commit\r\ndone\r\n", true, Journal::kDone},
        {measured + "commit\r\ncomplete\r\ndone\r\n", true, Journal::kDone},
        {measured + "commit\r\nundo\r\nundone\r\n", true, Journal::kUndone},
        {measured + "commit\r\nundo\r\ndone\r\n", false, Journal::kStaging},
        {measured + "commit\r\ncomplete\r\nundo\r\n", false, Journal::kStaging},
        {measured + "done\r\n", false, Journal::kStaging},  // no commit before it
        {one + "commit\r\n", false, Journal::kStaging},      // a new file not measured
        {head + "digest 1 0 " + DigestOf("").sha256 + "\r\n", false, Journal::kStaging},
        {head + "digest 0 5 " + std::string(64, 'A') + "\r\n", false, Journal::kStaging},
        {measured + "commit\r\ncommit\r\n", false, Journal::kStaging},
        {head.substr(0, head.size() - 3), false, Journal::kStaging},
        {JournalHead(7, {{"..\\..\\Windows\\win.ini", true, {}}}), false, Journal::kStaging},
        {JournalHead(7, {{"C:x", true, {}}}), false, Journal::kStaging},
        {"tavrin-journal 1\r\n" + head.substr(18), false, Journal::kStaging},
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

// ---- Two faults, exhaustively: the browser ends, or one file operation fails once (as when a
// scanner holds a file), at any step k of an installation and its first recovery, and again at
// any later step j; a clean recovery follows. The folder is then exactly the old set or the new
// one, with nothing of ours beside it, and the control launches only from a whole set.

// Windows' view of the install folder: names compare ignoring case, a replaced file takes the
// name it was moved to. Every file operation is a step, counted across the installation and the
// recoveries after it; a replace where renames are not atomic (FAT32, many shares) is two: the
// target goes, then the file is renamed.
struct FaultyFolder : InstallFiles {
    struct Crash {};
    enum Fault { kNone, kCrash, kFailOnce };
    std::map<std::string, std::pair<std::string, std::string>> files;  // key: lower case
    Fault fault[2] = {kNone, kNone};
    size_t faultAt[2] = {0, 0};
    size_t step = 0;
    bool atomicReplace = true;

    static std::string Key(std::string path) {
        for (char& c : path)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return path;
    }
    Fault FaultHere() const {
        for (int i = 0; i < 2; ++i)
            if (fault[i] != kNone && faultAt[i] == step) return fault[i];
        return kNone;
    }
    // False when this step fails once; throws when the process ends here.
    bool Step() {
        const Fault here = FaultHere();
        ++step;
        if (here == kCrash) throw Crash();
        return here != kFailOnce;
    }
    bool Has(const std::string& path) const { return files.count(Key(path)) != 0; }
    PathKind Kind(const std::string& path) override {
        return Has(path) ? PathKind::kFile : PathKind::kNone;
    }
    bool Replace(const std::string& from, const std::string& to) override {
        if (!Step() || !Has(from)) return false;
        if (!atomicReplace && Has(to) && Key(from) != Key(to)) {
            files.erase(Key(to));
            if (!Step()) return false;
        }
        const std::string content = files[Key(from)].second;
        files.erase(Key(from));
        files[Key(to)] = {to, content};
        return true;
    }
    bool Remove(const std::string& path, IfMissing ifMissing) override {
        if (!Step()) return false;
        if (!Has(path)) return ifMissing == IfMissing::kDone;
        files.erase(Key(path));
        return true;
    }
    bool Append(const std::string& path, const std::string& text) override {
        auto& file = files[Key(path)];
        file.first = path;
        if (FaultHere() == kCrash) file.second += text.substr(0, text.size() / 2);  // torn
        if (!Step()) return false;
        file.second += text;
        return true;
    }
    bool ReadAll(const std::string& path, size_t maxBytes, std::string* content) override {
        if (!Has(path) || files[Key(path)].second.size() > maxBytes) return false;
        *content = files[Key(path)].second;
        return true;
    }
    // A read that a held file can refuse once.
    bool Digest(const std::string& path, FileDigest* digest) override {
        if (!Step() || !Has(path)) return false;
        *digest = DigestOf(files[Key(path)].second);
        return true;
    }
    // Name (lower case) to content.
    std::map<std::string, std::string> Contents() const {
        std::map<std::string, std::string> out;
        for (const auto& file : files) out[file.first] = file.second.second;
        return out;
    }
};

// The old installation: a, B (the release names it "b"), c and a file no package names.
FaultyFolder OldFolder() {
    FaultyFolder folder;
    for (const char* name : {"a", "B", "c", "keep.txt"})
        folder.files[FaultyFolder::Key(Target(name))] = {Target(name), std::string("old ") + name};
    return folder;
}

const std::vector<std::string> kSevenPackages = {"a.lzf", "b.lzf", "c.lzf", "d.lzf",
                                                 "e.lzf", "f.lzf", "g.lzf"};

// c is unchanged in the new release: its new file is the old one, byte for byte.
std::string NewContent(const std::string& package) {
    return package == "c.lzf" ? "old c" : "new " + package;
}

std::map<std::string, std::string> NewSetContents() {
    FaultyFolder folder = OldFolder();
    for (const std::string& package : kSevenPackages) {
        const std::string name = package.substr(0, package.size() - 4);
        folder.files[FaultyFolder::Key(Target(name))] = {Target(name), NewContent(package)};
    }
    return folder.Contents();
}

// The targets of both sets, without anything that stands beside them.
std::map<std::string, std::string> TargetsOnly(const std::map<std::string, std::string>& files) {
    std::map<std::string, std::string> out;
    const std::map<std::string, std::string> newSet = NewSetContents();
    for (const auto& file : files)
        if (newSet.count(file.first)) out.insert(file);
    return out;
}

// One visit and the next: an installation, then the next control's recovery (run only after a
// crash or when the installation left its journal).
struct TwoVisits {
    bool installed = false, installReturned = false, recovered = false;
    InstallResult install;
    Recovery first;
    std::map<std::string, std::string> afterInstall, afterFirst;
    uint64_t recordedSerial = 0;  // UpdateSerial

    // The serial's write is a step too; a recovery believes only the configuration kept for it.
    InstallOptions Options(FaultyFolder& folder) {
        InstallOptions options;
        options.signedConfig = "signed configuration of " + std::to_string(kSerial);
        options.recordSerial = [this, &folder](uint64_t serial) {
            if (!folder.Step()) return false;
            recordedSerial = serial;
            return true;
        };
        return options;
    }
    RecoveryHooks Hooks(FaultyFolder& folder) {
        const InstallOptions options = Options(folder);
        return {[options](const std::string& config, uint64_t serial) {
                    return config == options.signedConfig && serial == kSerial;
                },
                options.recordSerial};
    }

    void Run(FaultyFolder& folder) {
        const DecompressFn decode = [&folder](const std::string& source, const std::string& target) {
            if (!folder.Step()) return 0;
            const std::string package = source.substr(kDownload.size());
            folder.files[FaultyFolder::Key(target)] = {target, NewContent(package)};
            return 1;
        };
        try {
            install = InstallAllPackages(kSevenPackages, kDownload, kInstall, kClient, kSerial,
                                         decode, folder, Options(folder));
            installReturned = true;
            installed = install.installed;
        } catch (const FaultyFolder::Crash&) {
        }
        afterInstall = folder.Contents();
        try {
            first = RecoverInstallation(kInstall, folder, Hooks(folder));
            recovered = true;
        } catch (const FaultyFolder::Crash&) {
        }
        afterFirst = folder.Contents();
    }
};

// What is wrong after the visits and a clean recovery; "" when nothing is.
std::string Fault(const TwoVisits& v, const Recovery& last,
                  const std::map<std::string, std::string>& after) {
    const std::map<std::string, std::string> oldSet = OldFolder().Contents();
    const std::map<std::string, std::string> newSet = NewSetContents();
    const bool isNew = after == newSet, isOld = after == oldSet;
    if (!isNew && !isOld) return "a mixed set or files left beside it";
    if (!LaunchAfter(last)) return "the clean recovery does not launch";
    if ((v.recordedSerial == kSerial) != isNew) return "UpdateSerial does not match the set";
    if (v.installed && !isNew) return "an installation that succeeded is undone";
    if (v.installReturned && !v.installed && v.install.notRestored.empty() &&
        TargetsOnly(v.afterInstall) != TargetsOnly(oldSet))
        return "a failed installation said the old set stood";
    if (v.recovered && LaunchAfter(v.first) && TargetsOnly(v.afterFirst) != TargetsOnly(newSet) &&
        TargetsOnly(v.afterFirst) != TargetsOnly(oldSet))
        return "the first recovery launches a mixed set";
    if (v.recovered && v.first.outcome == Recovery::kCompleted && !isNew)
        return "a completed installation is undone later";
    if (v.recovered && v.first.outcome == Recovery::kUndone && !isOld)
        return "an undone installation is completed later";
    return "";
}

TEST(InstallAllPackages, NoTwoFaultsLeaveAMixedSet) {
    using F = FaultyFolder;
    const struct {
        F::Fault first, second;
        const char* what;
    } kinds[] = {
        {F::kCrash, F::kCrash, "ended, then ended again"},
        {F::kCrash, F::kFailOnce, "ended, then a file held once"},
        {F::kFailOnce, F::kCrash, "a file held once, then ended"},
        {F::kFailOnce, F::kFailOnce, "a file held once, then another"},
    };
    size_t runs = 0, failures = 0;
    for (bool atomic : {true, false}) {
        for (const auto& kind : kinds) {
            const size_t runsBefore = runs, failuresBefore = failures;
            for (size_t k = 0;; ++k) {
                F once = OldFolder();
                once.atomicReplace = atomic;
                once.fault[0] = kind.first;
                once.faultAt[0] = k;
                TwoVisits probe;
                probe.Run(once);
                if (k >= once.step) break;  // the first fault was never reached
                for (size_t j = k + 1; j <= once.step; ++j) {
                    ++runs;
                    F folder = OldFolder();
                    folder.atomicReplace = atomic;
                    folder.fault[0] = kind.first;
                    folder.faultAt[0] = k;
                    folder.fault[1] = kind.second;
                    folder.faultAt[1] = j;
                    TwoVisits visits;
                    visits.Run(folder);
                    folder.fault[0] = folder.fault[1] = F::kNone;
                    const Recovery last = RecoverInstallation(kInstall, folder, visits.Hooks(folder));
                    const std::string fault = Fault(visits, last, folder.Contents());
                    if (!fault.empty() && ++failures <= 5)
                        ADD_FAILURE() << kind.what << (atomic ? "" : ", delete-then-rename")
                                      << ": steps " << k << " and " << j << ": " << fault;
                }
            }
            std::printf("[ scenarios ] %s%s: %zu runs, %zu failed\n", kind.what,
                        atomic ? "" : " (delete-then-rename)", runs - runsBefore,
                        failures - failuresBefore);
        }
    }
    std::printf("[ scenarios ] %zu runs, %zu failed\n", runs, failures);
    EXPECT_EQ(0u, failures);
    EXPECT_GT(runs, 2000u);
}

// What recovery must not do on a guess: a journal it cannot read is kept with everything beside
// it and nothing launches; a serial only the journal names is not believed; Prynn's temporary
// files go with the staged ones.
TEST(RecoverInstallation, NothingIsDeletedOrBelievedOnAGuess) {
    const std::string staged = Target("b") + kStagedSuffix, backup = Target("a") + kBackupSuffix;
    std::vector<JournalEntry> entries = {{"a", true, DigestOf("new a")}};
    const std::string done = JournalHead(kSerial, entries) + JournalDigests(entries) +
                             "commit\r\ndone\r\n";
    const std::string forged = JournalHead(9999999999999999999u, {}) + "commit\r\ndone\r\n";
    const struct {
        const char* what;
        std::map<std::string, std::string> beside;  // besides the old installation
        Recovery::Outcome outcome;
        bool kept;              // every file as it was
        uint64_t serial;        // what UpdateSerial becomes (0: untouched)
    } rows[] = {
        {"a journal of another version beside staged and set-aside files",
         {{Target(kJournalName), "tavrin-journal 9\r\n"}, {staged, "x"}, {backup, "y"}},
         Recovery::kUnreadable, true, 0},
        {"a journal over the reader's limit",
         {{Target(kJournalName), JournalHead(1, {}) + std::string(kMaxJournalSize, 'x')}, {staged, "x"}},
         Recovery::kUnreadable, true, 0},
        {"a forged serial, nothing to prove it", {{Target(kJournalName), forged}},
         Recovery::kCompleted, false, 0},
        {"a forged serial beside a configuration that does not prove it",
         {{Target(kJournalName), forged}, {Target(kJournalConfigName), "signed 42"}},
         Recovery::kCompleted, false, 0},
        {"the serial the signed configuration proves",
         {{Target(kJournalName), done}, {Target(kJournalConfigName), "signed 42"}},
         Recovery::kCompleted, false, kSerial},
        {"Prynn's temporary files of a decoding that was ended",
         {{Target(kJournalName), JournalHead(kSerial, entries)},
          {Target("a") + kStagedSuffix + ".~prynn0.tmp", "half"},
          {Target("a") + kStagedSuffix + ".~prynn15.tmp", "half"}},
         Recovery::kUndone, false, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        MemoryFiles folder = OldInstallation();
        folder.files[Target("a")] = "new a";
        for (const auto& file : row.beside) folder.files[file.first] = file.second;
        const std::map<std::string, std::string> before = folder.files;
        uint64_t serial = 0;
        const RecoveryHooks hooks = {
            [](const std::string& config, uint64_t s) { return config == "signed " + std::to_string(s); },
            [&serial](uint64_t s) { return (serial = s) != 0; }};
        const Recovery recovery = RecoverInstallation(kInstall, folder, hooks);
        EXPECT_EQ(row.outcome, recovery.outcome);
        EXPECT_EQ(row.outcome != Recovery::kUnreadable, LaunchAfter(recovery));
        EXPECT_EQ(row.serial, serial);
        std::map<std::string, std::string> tidy = OldInstallation().files;
        tidy[Target("a")] = "new a";
        EXPECT_EQ(row.kept ? before : tidy, folder.files);
    }
}

// Refused before anything changes: a set whose journal the reader would not take, a folder
// where an earlier installation's journal still waits, a client started meanwhile, a stop
// before the replacement (between two packages, or given while the client's question waited).
TEST(InstallAllPackages, RefusedBeforeAnyTargetChanges) {
    std::vector<std::string> many = {"a.lzf"};
    for (int i = 0; many.size() * 300 < kMaxJournalSize; ++i)
        many.push_back(std::to_string(i) + std::string(200, 'x') + ".lzf");
    const struct {
        const char* what;
        std::vector<std::string> packages;
        std::string journal;  // an earlier installation's
        bool clientRuns;
        size_t decoded;
        size_t stopAfter = ~size_t{0};  // a stop is asked for once this many are decoded
        bool stopInQuestion = false;
    } rows[] = {
        {"a journal over the reader's limit", many, "", false, 0},
        {"an earlier journal", kFour, "tavrin-journal 2\r\n", false, 0},
        {"a client started meanwhile", kFour, "", true, 4},
        {"a stop before the first package", kFour, "", false, 0, 0},
        {"a stop between two packages", kFour, "", false, 2, 2},
        {"a stop once every package is decoded", kFour, "", false, 4, 4},
        {"a stop while the client's question waits", kFour, "", false, 4, ~size_t{0}, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        MemoryFiles folder = OldInstallation();
        if (!row.journal.empty()) folder.files[Target(kJournalName)] = row.journal;
        const std::map<std::string, std::string> before = folder.files;
        Recorder r(&folder);
        InstallOptions options;
        bool stopGiven = false;
        options.beforeReplacing = [&] {
            stopGiven = stopGiven || row.stopInQuestion;
            return !row.clientRuns;
        };
        options.stopRequested = [&] { return stopGiven || r.calls.size() >= row.stopAfter; };
        const InstallResult result = InstallAllPackages(row.packages, kDownload, kInstall, kClient,
                                                        kSerial, r.fn(), folder, options);
        EXPECT_FALSE(result.installed);
        EXPECT_EQ(row.stopInQuestion || row.stopAfter <= 4, result.stopped);
        EXPECT_EQ(row.packages.size() > 4, result.journalTooLarge);
        EXPECT_EQ(!row.journal.empty(), result.journalFound);
        EXPECT_EQ(row.clientRuns, result.clientRunning);
        EXPECT_EQ(row.decoded, r.calls.size());
        EXPECT_EQ(before, folder.files);
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
