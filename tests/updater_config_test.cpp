// The update configuration reader over real files: the line rules, the fixed packages, the
// refused names (a tampered file must not name a path outside our folders) and the
// installed file names.
#include "updater/config_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

using namespace tavrin;

namespace {

const std::vector<std::string> kFixed = {"Vossel.dll.lzf", "Ketter.dll.lzf", "Quenby3.exe.lzf",
                                         "Prynn.dll.lzf", "Orbisan.ICO.lzf"};

std::vector<std::string> WithFixed(std::vector<std::string> names) {
    names.insert(names.end(), kFixed.begin(), kFixed.end());
    return names;
}

// A file in a fresh folder, removed afterwards.
class ConfigFile {
public:
    explicit ConfigFile(const std::string& content) {
        char folder[] = "/tmp/updater_config_XXXXXX";
        m_dir = mkdtemp(folder);
        m_path = m_dir + "/orbisan3.cfg";
        std::ofstream(m_path, std::ios::binary) << content;
    }
    ~ConfigFile() {
        std::remove(m_path.c_str());
        rmdir(m_dir.c_str());
    }
    const std::string& path() const { return m_path; }
    const std::string& dir() const { return m_dir; }

private:
    std::string m_dir, m_path;
};

TEST(UpdaterConfig, LinesGivePackagesInFileOrderThenTheFixedFive) {
    struct Row {
        const char* what;
        std::string content;
        std::vector<std::string> packages;  // before the fixed five
    };
    const std::vector<Row> rows = {
        {"empty file", "", {}},
        {"name and version", "Client.exe.lzf 1,0,3,12\r\n", {"Client.exe.lzf"}},
        {"blanks around", "   Data.pak.lzf   \n", {"Data.pak.lzf"}},
        {"bracket anywhere", "[files]\nSkip.lzf [old]\nKeep.lzf\n", {"Keep.lzf"}},
        {"two names on a line", "A.dll.lzf B.dll.lzf\n", {"A.dll.lzf"}},
        {"duplicate of a fixed one", "Prynn.dll.lzf\n", {"Prynn.dll.lzf"}},
        {"case matters", "Upper.LZF\nlower.lzf\n", {"lower.lzf"}},
        {"no .lzf", "readme.txt\n\n\n", {}},
        {"last line without terminator", "A.lzf\nB.lzf", {"A.lzf", "B.lzf"}},
        {"CR LF and LF mixed", "A.lzf\r\nB.lzf\nC.lzf\r\n", {"A.lzf", "B.lzf", "C.lzf"}},
        {"Korean name", "\xB9\xD9\xB5\xCF.dat.lzf\n", {"\xB9\xD9\xB5\xCF.dat.lzf"}},
        {"text after the name", "Map.bin.lzf;comment .lzf\n", {"Map.bin.lzf"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ConfigFile file(row.content);
        std::vector<std::string> packages = {"stale"};
        ASSERT_TRUE(LoadPackageList(file.path(), packages));
        EXPECT_EQ(packages, WithFixed(row.packages));
    }
}

TEST(UpdaterConfig, NamesThatAreNoPlainFileNameAreRefusedWithATraceLine) {
    const std::vector<std::string> refused = {
        "..\\..\\Windows\\evil.dll.lzf",
        "../evil.lzf",
        "sub/evil.lzf",
        "C:evil.lzf",
        "\tTabbed.lzf",
        "bell\x07.lzf",
        "del\x7F.lzf",
        "what?.lzf",
        "star*.lzf",
        "pipe|.lzf",
        "quote\".lzf",
        "less<.lzf",
        "..lzf",   // installs as "."
        "...lzf",  // installs as ".."
        "name..lzf",  // installs as "name." (Windows drops the dot)
        "name .lzf",  // installs as "name "
        "CON.lzf",
        "nul.txt.lzf",
        "Com1 .lzf",
        "LPT9.dll.lzf",
        std::string(252, 'n') + ".lzf",
    };
    for (const std::string& name : refused) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(IsSafePackageName(name));
        ConfigFile file("Good.lzf\n" + name + "\nAlso.lzf\n");
        std::vector<std::string> traces;
        std::vector<std::string> packages;
        ASSERT_TRUE(LoadPackageList(file.path(), packages,
                                    [&](const std::string& line) { traces.push_back(line); }));
        EXPECT_EQ(packages, WithFixed({"Good.lzf", "Also.lzf"}));
        EXPECT_EQ(traces.size(), 1u);
    }
    for (const std::string& name :
         {std::string("Orbisan.ICO.lzf"), std::string(".lzf"), std::string("CONFIG.lzf"),
          std::string("a b.lzf"), std::string(251, 'n') + ".lzf", std::string("\xB9\xD9.lzf")}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(IsSafePackageName(name));
    }
}

TEST(UpdaterConfig, AFileThatCannotBeReadLeavesTheListAlone) {
    std::vector<std::string> packages = {"kept"};
    EXPECT_FALSE(LoadPackageList("/nonexistent/orbisan3.cfg", packages));
    ConfigFile file("A.lzf\n");
    EXPECT_FALSE(LoadPackageList(file.dir(), packages));  // a folder
    EXPECT_EQ(packages, std::vector<std::string>{"kept"});
}

TEST(UpdaterConfig, ReadingTwiceGivesTheSameList) {
    ConfigFile file("A.lzf\nB.lzf 1,2,3,4\n");
    std::vector<std::string> packages;
    ASSERT_TRUE(LoadPackageList(file.path(), packages));
    std::vector<std::string> first = packages;
    ASSERT_TRUE(LoadPackageList(file.path(), packages));
    EXPECT_EQ(packages, first);
    EXPECT_EQ(packages.size(), 7u);
}

TEST(UpdaterConfig, InstalledNameIsCutBeforeTheFirstLzf) {
    struct Row {
        const char* name;
        const char* installed;
    };
    const Row rows[] = {
        {"Orbisan.ICO.lzf", "Orbisan.ICO"},
        {"Prynn.dll.lzf", "Prynn.dll"},
        {"a.lzf.lzf", "a"},
        {"a.lzfx", "a"},
        {".lzf", ".lzf"},
        {"plain.txt", "plain.txt"},
        {"UPPER.LZF", "UPPER.LZF"},
        {"", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(StripPackageExtension(row.name), row.installed);
    }
}

}  // namespace
