// The Windows version class from the version numbers and platform, and the system drive root
// from the system directory's path.
#include <gtest/gtest.h>

#include <string>

#include "system/os_class.h"

namespace {

using namespace tavrin;

TEST(OsClass, ClassifiesEachVersionOfItsPlatform) {
    const struct {
        const char* what;
        uint32_t major, minor, platform;
        OsClass expected;
    } rows[] = {
        {"NT 3.51", 3, 51, kPlatformNT, osUnknown},
        {"NT 3.1", 3, 10, kPlatformNT, osUnknown},
        {"NT 3.0", 3, 0, kPlatformNT, osNT4},
        {"Windows 95", 4, 0, kPlatformWindows, os95},
        {"NT 4.0", 4, 0, kPlatformNT, osNT4},
        {"4.0 of Win32s", 4, 0, kPlatformWin32s, osNT4},
        {"Windows 98", 4, 10, kPlatformWindows, os98},
        {"Windows Me", 4, 90, kPlatformWindows, osMe},
        {"x.90 below 4", 3, 90, kPlatformWindows, osMe},
        {"Windows 2000", 5, 0, kPlatformNT, os2000},
        {"Windows XP", 5, 1, kPlatformNT, osXP},
        {"Server 2003", 5, 2, kPlatformNT, osUnknown},
        {"Vista", 6, 0, kPlatformNT, osUnknown},
        {"Windows 7", 6, 1, kPlatformNT, osUnknown},
        {"Windows 10", 10, 0, kPlatformNT, osUnknown},
        {"5.90", 5, 90, kPlatformNT, osUnknown},
        {"a failed query's zeros", 0, 0, 0, osNT4},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(ClassifyOs(row.major, row.minor, row.platform), row.expected);
    }
}

TEST(OsClass, FamiliesDecideTheProbes) {
    const struct {
        OsClass os;
        bool win9x, nt;
    } rows[] = {{osUnknown, false, false}, {osNT4, false, true}, {os2000, false, true},
                {osXP, false, true},       {os95, true, false},  {os98, true, false},
                {osMe, true, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.os));
        EXPECT_EQ(IsWin9xFamily(row.os), row.win9x);
        EXPECT_EQ(IsNtFamily(row.os), row.nt);
    }
}

TEST(DriveRoot, IsTheSystemDirectorysDriveOrC) {
    const struct {
        const char* systemDirectory;
        const char* root;
    } rows[] = {
        {"C:\\WINDOWS\\system32", "C:\\"},
        {"D:\\WINNT\\system32", "D:\\"},
        {"e:\\windows\\system", "e:\\"},
        {"Z:", "Z:\\"},  // the backslash appended to the path ends the root
        {"", "C:\\"},
        {"\\\\server\\share\\system32", "C:\\"},
        {"SYSTEM\\x", "C:\\"},
        {"1:\\x", "C:\\"},
        {"C:system32", "C:\\"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.systemDirectory);
        EXPECT_EQ(DriveRootOf(row.systemDirectory), row.root);
    }
}

}  // namespace
