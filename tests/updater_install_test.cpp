// The all-or-nothing installation over a folder in memory (order, staging, the rollback of a
// failed set, refused names) and the .url bytes.
#include "updater/package_install.h"

#include <gtest/gtest.h>

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
                                                    kInstall, kClient, r.fn(), folder);
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
        InstallAllPackages({"a.lzf", "b.lzf"}, kDownload, kInstall, kClient, again.fn(), busy);
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
            InstallAllPackages(row.packages, kDownload, kInstall, kClient, r.fn(), folder);
        EXPECT_FALSE(result.installed);
        EXPECT_EQ(row.blocked, result.blocked);
        EXPECT_EQ(row.missingClient, result.missingClient);
        EXPECT_TRUE(r.calls.empty());
        EXPECT_EQ(OldInstallation().files, folder.files);
    }
    MemoryFiles folder = OldInstallation();
    Recorder r(&folder);
    EXPECT_TRUE(InstallAllPackages({"A.lzf"}, kDownload, kInstall, kClient, r.fn(), folder).installed)
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
            InstallAllPackages(row.packages, kDownload, kInstall, kClient, r.fn(), folder);
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
        EXPECT_EQ(expected, folder.files) << "every other old file as it was, nothing left over";
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
                                        kClient, r.fn(), folder)
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
