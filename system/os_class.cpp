#include "system/os_class.h"

namespace tavrin {

OsClass ClassifyOs(uint32_t major, uint32_t minor, uint32_t platformId) {
    // 4.0 is both Windows 95 and NT 4: only the platform tells them apart.
    if (major == 4 && minor == 0) return platformId == kPlatformWindows ? os95 : osNT4;
    if (major <= 3 && minor == 0) return osNT4;
    if (major == 5 && minor == 0) return os2000;
    if (major == 5 && minor == 1) return osXP;
    if (major == 4 && minor == 10) return os98;
    if (major <= 4 && minor == 90) return osMe;
    return osUnknown;
}

bool IsWin9xFamily(OsClass os) { return os == os95 || os == os98 || os == osMe; }

bool IsNtFamily(OsClass os) { return os == osNT4 || os == os2000 || os == osXP; }

std::string DriveRootOf(const std::string& systemDirectory) {
    // The root field holds four bytes: anything but a drive letter root would overrun it.
    const std::string path = systemDirectory + "\\";
    const size_t slash = path.find('\\');
    const bool letter = !path.empty() && ((path[0] >= 'A' && path[0] <= 'Z') ||
                                          (path[0] >= 'a' && path[0] <= 'z'));
    if (slash == 2 && letter && path[1] == ':') return path.substr(0, 3);
    return "C:\\";
}

}  // namespace tavrin
