// Package installation order, first-failure stop, refused names and the .url bytes.
#include "updater/package_install.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace tavrin {
namespace {

using Call = std::pair<std::string, std::string>;

struct Recorder {
    std::vector<Call> calls;
    size_t failAt = static_cast<size_t>(-1);  // index of the call that fails
    DecompressFn fn() {
        return [this](const std::string& s, const std::string& t) {
            calls.emplace_back(s, t);
            return calls.size() - 1 == failAt ? 0 : 1;
        };
    }
};

const std::string kDownload = "C:\\Program Files\\Velmora\xb9\xd9\xb5\xcf\\Temp\\";
const std::string kInstall = "C:\\Program Files\\Velmora\xb9\xd9\xb5\xcf";

TEST(InstallAllPackages, DecompressesEachPackageInListOrderToItsInstalledName) {
    Recorder r;
    const std::vector<std::string> list = {"Orbisan.exe.lzf", "Prynn.dll.lzf", "Orbisan.ICO.lzf",
                                           "Prynn.dll.lzf"};
    EXPECT_TRUE(InstallAllPackages(list, kDownload, kInstall, r.fn()));
    const std::vector<Call> expected = {
        {kDownload + "Orbisan.exe.lzf", kInstall + "\\Orbisan.exe"},
        {kDownload + "Prynn.dll.lzf", kInstall + "\\Prynn.dll"},
        {kDownload + "Orbisan.ICO.lzf", kInstall + "\\Orbisan.ICO"},
        {kDownload + "Prynn.dll.lzf", kInstall + "\\Prynn.dll"},  // listed twice: twice
    };
    EXPECT_EQ(expected, r.calls);
}

TEST(InstallAllPackages, EmptyListSucceedsWithoutACall) {
    Recorder r;
    EXPECT_TRUE(InstallAllPackages({}, kDownload, kInstall, r.fn()));
    EXPECT_TRUE(r.calls.empty());
}

TEST(InstallAllPackages, StopsAtTheFirstFailure) {
    Recorder r;
    r.failAt = 2;
    EXPECT_FALSE(InstallAllPackages({"a.lzf", "b.lzf", "c.lzf", "d.lzf"}, kDownload, kInstall,
                                    r.fn()));
    ASSERT_EQ(3u, r.calls.size()) << "the packages after the failure are not touched";
    EXPECT_EQ(kInstall + "\\c", r.calls[2].second);
}

TEST(InstallAllPackages, NameLeavingTheFoldersNeverReachesAPath) {
    const char* names[] = {"..\\..\\Windows\\evil.dll.lzf", "../x.lzf", "C:x.lzf", "..",
                           "a\tb.lzf"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        Recorder r;
        EXPECT_FALSE(InstallAllPackages({"ok.lzf", name, "later.lzf"}, kDownload, kInstall,
                                        r.fn()));
        ASSERT_EQ(1u, r.calls.size());
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
