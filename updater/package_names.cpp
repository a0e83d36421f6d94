#include "updater/package_names.h"

#include <cstring>

namespace tavrin {

const char* const kFixedPackages[kFixedPackageCount] = {
    "Vossel.dll.lzf", "Ketter.dll.lzf", "Quenby3.exe.lzf", "Prynn.dll.lzf", "Orbisan.ICO.lzf"};

bool IsFixedPackage(const std::string& name) {
    for (const char* fixed : kFixedPackages)
        if (name == fixed) return true;
    return false;
}

bool SameFileName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

namespace {

constexpr size_t kMaxFileName = 255;

bool IsDeviceName(const std::string& name) {
    static const char* const kDevices[] = {
        "CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4", "COM5", "COM6",
        "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4", "LPT5", "LPT6", "LPT7",
        "LPT8", "LPT9", "CONIN$", "CONOUT$", "CLOCK$"};
    // Windows takes "NUL.txt" and "nul .lzf" for the device too.
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (const char* device : kDevices) {
        if (base.size() != std::strlen(device)) continue;
        bool same = true;
        for (size_t i = 0; i < base.size() && same; ++i) {
            char c = base[i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
            same = c == device[i];
        }
        if (same) return true;
    }
    return false;
}

bool IsPlainFileName(const std::string& name) {
    if (name.empty() || name.size() > kMaxFileName) return false;
    if (name == "." || name == "..") return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) return false;
        if (std::strchr("\\/:*?\"<>|", c)) return false;
    }
    // Windows drops a trailing dot or blank, so the file would get another name.
    if (name.back() == '.' || name.back() == ' ') return false;
    return !IsDeviceName(name);
}

}  // namespace

bool IsSafePackageName(const std::string& name) {
    return IsPlainFileName(name) && IsPlainFileName(StripPackageExtension(name));
}

std::string StripPackageExtension(const std::string& name) {
    size_t at = name.find(kPackageExtension);
    if (at == std::string::npos || at == 0) return name;
    return name.substr(0, at);
}

}  // namespace tavrin
