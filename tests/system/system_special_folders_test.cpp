// The desktop-folder probing over a fake file system: which folders are entered in which order,
// what the fields hold and where the current directory is left.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "system/special_folders.h"

namespace {

using namespace tavrin;

// "바탕 화면" in code page 949, as the Windows side hands it over on Korean systems.
const std::string kDesktop = "\xB9\xD9\xC5\xC1 \xC8\xAD\xB8\xE9";
const std::string kDS = "C:\\Documents and Settings\\";

class FakeFolders : public FolderOps {
public:
    OsClass os = osXP;
    std::string root = "C:\\";
    std::string user = "kim";
    bool userNameFails = false;
    std::set<std::string> folders;  // existing folders, without a trailing backslash
    std::vector<std::string> entered;
    std::string current = "C:\\start";
    int userNameCalls = 0;

    OsClass GetOSClass() override { return os; }
    std::string GetSystemDriveRoot() override { return root; }
    bool GetCurrentUserName(std::string& name) override {
        ++userNameCalls;
        if (userNameFails) return false;
        name = user;
        return true;
    }
    bool EnterFolder(const std::string& path) override {
        entered.push_back(path);
        std::string key = path;
        if (key.size() > 3 && key.back() == '\\') key.pop_back();
        if (!folders.count(key)) return false;
        current = path;
        return true;
    }
    std::string desktopName = kDesktop;
    std::string DesktopFolderName() override { return desktopName; }

    // The profile folders of an XP system under base.
    void AddXpProfiles(const std::string& base, const std::string& name) {
        folders.insert(base.substr(0, base.size() - 1));
        folders.insert(base + "All Users");
        folders.insert(base + "All Users\\" + kDesktop);
        if (!name.empty()) {
            folders.insert(base + name);
            folders.insert(base + name + "\\" + kDesktop);
        }
    }
};

struct Outcome {
    std::string common, user, current;
    std::vector<std::string> entered;
};

Outcome Resolve(FakeFolders& fake) {
    CSpecialFolders folders;
    folders.ResolveFolders(fake);
    return {folders.GetDesktopFolder(false), folders.GetDesktopFolder(true), fake.current,
            fake.entered};
}

TEST(SpecialFolders, StartEmpty) {
    CSpecialFolders folders;
    EXPECT_EQ(folders.GetOsClass(), osUnknown);
    EXPECT_STREQ(folders.GetRoot(), "");
    EXPECT_STREQ(folders.UserName(), "");
    EXPECT_EQ(folders.GetDesktopFolder(true), "");
    EXPECT_EQ(folders.GetDesktopFolder(false), "");
}

TEST(SpecialFolders, Windows9xLayouts) {
    const std::string cWin = "C:\\Windows\\" + kDesktop + "\\";
    const std::string dWin = "D:\\Windows\\" + kDesktop + "\\";
    const struct {
        const char* what;
        OsClass os;
        std::string root;
        std::vector<std::string> folders;
        std::string common;
        std::vector<std::string> entered;
    } rows[] = {
        {"Windows 98 on C:", os98, "C:\\", {"C:\\Windows\\" + kDesktop}, cWin, {cWin}},
        {"Windows 95 on C:", os95, "C:\\", {"C:\\Windows\\" + kDesktop}, cWin, {cWin}},
        {"Windows Me on D:", osMe, "D:\\", {"D:\\Windows\\" + kDesktop}, dWin, {dWin}},
        {"system on D:, desktop on C:", os98, "D:\\", {"C:\\Windows\\" + kDesktop}, cWin,
         {dWin, cWin}},
        {"no Korean desktop folder", os98, "C:\\", {"C:\\Windows\\Desktop"}, "", {cWin, cWin}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFolders fake;
        fake.os = row.os;
        fake.root = row.root;
        fake.folders.insert(row.folders.begin(), row.folders.end());
        const Outcome out = Resolve(fake);
        EXPECT_EQ(out.common, row.common);
        EXPECT_EQ(out.user, "") << "never filled on this family";
        EXPECT_EQ(out.entered, row.entered);
        // A file created under a bare name lands on the desktop.
        EXPECT_EQ(out.current, row.common.empty() ? "C:\\start" : row.common);
        EXPECT_EQ(fake.userNameCalls, 0);
    }
}

TEST(SpecialFolders, NtLayouts) {
    const std::string dDS = "D:\\Documents and Settings\\";
    const struct {
        const char* what;
        OsClass os;
        std::string root;
        std::function<void(FakeFolders&)> layout;
        std::string common, user, current;
        std::vector<std::string> entered;
    } rows[] = {
        {"XP, kim with a profile", osXP, "C:\\",
         [&](FakeFolders& f) { f.AddXpProfiles(kDS, "kim"); },
         kDS + "All Users\\" + kDesktop + "\\", kDS + "kim\\" + kDesktop + "\\", kDS + "kim",
         {kDS, kDS + "All Users", kDS + "kim"}},
        {"2000, kim with a profile", os2000, "C:\\",
         [&](FakeFolders& f) { f.AddXpProfiles(kDS, "kim"); },
         kDS + "All Users\\" + kDesktop + "\\", kDS + "kim\\" + kDesktop + "\\", kDS + "kim",
         {kDS, kDS + "All Users", kDS + "kim"}},
        {"XP, kim's profile missing", osXP, "C:\\",
         [&](FakeFolders& f) { f.AddXpProfiles(kDS, ""); },
         kDS + "All Users\\" + kDesktop + "\\", "", kDS + "All Users",
         {kDS, kDS + "All Users", kDS + "kim"}},
        {"XP, no All Users", osXP, "C:\\",
         [&](FakeFolders& f) {
             f.folders = {"C:\\Documents and Settings", "C:\\Documents and Settings\\kim"};
         },
         "", kDS + "kim\\" + kDesktop + "\\", kDS + "kim", {kDS, kDS + "All Users", kDS + "kim"}},
        {"XP on D:, profiles on C:", osXP, "D:\\",
         [&](FakeFolders& f) { f.AddXpProfiles(kDS, "kim"); },
         kDS + "All Users\\" + kDesktop + "\\", kDS + "kim\\" + kDesktop + "\\", kDS + "kim",
         {dDS, kDS, kDS + "All Users", kDS + "kim"}},
        {"XP on D:, profiles on D:", osXP, "D:\\",
         [&](FakeFolders& f) { f.AddXpProfiles(dDS, "kim"); },
         dDS + "All Users\\" + kDesktop + "\\", dDS + "kim\\" + kDesktop + "\\", dDS + "kim",
         {dDS, dDS + "All Users", dDS + "kim"}},
        {"no Documents and Settings anywhere", osXP, "D:\\",
         [&](FakeFolders& f) { f.folders = {"C:\\Users\\kim"}; }, "", "", "C:\\start",
         {dDS, kDS}},
        // NT 4 gets no user name, and the base alone is no user's profile.
        {"NT 4", osNT4, "C:\\", [&](FakeFolders& f) { f.AddXpProfiles(kDS, "kim"); },
         kDS + "All Users\\" + kDesktop + "\\", "", kDS + "All Users", {kDS, kDS + "All Users"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeFolders fake;
        fake.os = row.os;
        fake.root = row.root;
        row.layout(fake);
        const Outcome out = Resolve(fake);
        EXPECT_EQ(out.common, row.common);
        EXPECT_EQ(out.user, row.user);
        EXPECT_EQ(out.current, row.current);
        EXPECT_EQ(out.entered, row.entered);
    }
}

TEST(SpecialFolders, UserNameOnlyFor2000AndXp) {
    const struct {
        OsClass os;
        int calls;
        const char* name;
    } rows[] = {{osUnknown, 0, ""}, {osNT4, 0, ""}, {os2000, 1, "kim"}, {osXP, 1, "kim"},
                {os95, 0, ""},      {os98, 0, ""},  {osMe, 0, ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.os));
        FakeFolders fake;
        fake.os = row.os;
        CSpecialFolders folders;
        folders.ResolveFolders(fake);
        EXPECT_EQ(fake.userNameCalls, row.calls);
        EXPECT_STREQ(folders.UserName(), row.name);
        EXPECT_EQ(folders.GetOsClass(), row.os);
        EXPECT_STREQ(folders.GetRoot(), "C:\\");
    }
}

TEST(SpecialFolders, AFailedUserNameLeavesTheUserDesktopEmpty) {
    FakeFolders fake;
    fake.userNameFails = true;
    fake.AddXpProfiles(kDS, "kim");
    const Outcome out = Resolve(fake);
    EXPECT_EQ(out.common, kDS + "All Users\\" + kDesktop + "\\");
    EXPECT_EQ(out.user, "");
    EXPECT_EQ(out.current, kDS + "All Users");
}

TEST(SpecialFolders, UnknownSystemsProbeNothing) {
    FakeFolders fake;
    fake.os = osUnknown;
    fake.AddXpProfiles(kDS, "kim");
    const Outcome out = Resolve(fake);
    EXPECT_EQ(out.common, "");
    EXPECT_EQ(out.user, "");
    EXPECT_EQ(out.current, "C:\\start");
    EXPECT_TRUE(out.entered.empty());
}

// A code page without Hangul has no name for the desktop folder: nothing is found by name, on
// either family, rather than a profile's "?? ??" folder.
TEST(SpecialFolders, NoDesktopNameInTheCodePageFindsNoDesktop) {
    for (OsClass os : {os98, osXP}) {
        SCOPED_TRACE(static_cast<int>(os));
        FakeFolders fake;
        fake.os = os;
        fake.desktopName = "";
        fake.AddXpProfiles(kDS, "kim");
        fake.folders.insert("C:\\Windows\\");
        const Outcome out = Resolve(fake);
        EXPECT_EQ(out.common, "");
        EXPECT_EQ(out.user, "");
        EXPECT_EQ(out.current, "C:\\start");
        EXPECT_TRUE(out.entered.empty());
    }
}

TEST(SpecialFolders, PathsLongerThan255BytesCountAsMissing) {
    // base (26 bytes) + name + "\" + desktop (9 bytes) + "\": 37 bytes + the name.
    const struct {
        size_t nameLength;
        bool found;
    } rows[] = {{218, true}, {219, false}, {255, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.nameLength);
        FakeFolders fake;
        fake.user = std::string(row.nameLength, 'k');
        fake.AddXpProfiles(kDS, fake.user);
        const Outcome out = Resolve(fake);
        const std::string expected = kDS + fake.user + "\\" + kDesktop + "\\";
        EXPECT_EQ(out.user, row.found ? expected : "");
        if (row.found) {
            EXPECT_EQ(out.user.size(), 255u);
        }
        // Not found means not entered either.
        EXPECT_EQ(out.current, row.found ? kDS + fake.user : kDS + "All Users");
        EXPECT_EQ(out.common, kDS + "All Users\\" + kDesktop + "\\");
    }
}

TEST(SpecialFolders, AnOversizedRootFallsBackToC) {
    FakeFolders fake;
    fake.os = os98;
    fake.root = "\\\\server\\share\\";
    fake.folders = {"C:\\Windows\\" + kDesktop};
    CSpecialFolders folders;
    folders.ResolveFolders(fake);
    EXPECT_STREQ(folders.GetRoot(), "C:\\");
    EXPECT_EQ(folders.GetDesktopFolder(false), "C:\\Windows\\" + kDesktop + "\\");
}

}  // namespace
