// The Windows version class and the system drive root, decided from numbers and text the
// system reports (os_info_win.cpp asks it). Portable, so the tables run under test anywhere.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

enum OsClass : int32_t {
    osUnknown = -1,
    osNT4 = 0,
    os2000 = 1,
    osXP = 2,
    os95 = 3,
    os98 = 4,
    osMe = 5,
};

// dwPlatformId values of the version record.
constexpr uint32_t kPlatformWin32s = 0;
constexpr uint32_t kPlatformWindows = 1;  // the 9x platform
constexpr uint32_t kPlatformNT = 2;

// The class of a version. 4.0 is Windows 95 on the 9x platform and NT 4 on any other.
OsClass ClassifyOs(uint32_t major, uint32_t minor, uint32_t platformId);

bool IsWin9xFamily(OsClass os);  // os95, os98, osMe
bool IsNtFamily(OsClass os);     // osNT4, os2000, osXP

// "X:\" from the system directory's path, the part up to its first backslash; "C:\" when the
// path does not start with a drive letter, a colon and a backslash.
std::string DriveRootOf(const std::string& systemDirectory);

}  // namespace tavrin
