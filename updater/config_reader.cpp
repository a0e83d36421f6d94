#include "updater/config_reader.h"

#include <cstdio>
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

std::string TrimBlanks(const std::string& s) {
    size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    size_t last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}

void AddLine(const std::string& line, std::vector<std::string>& packages,
             const ConfigTrace& trace) {
    if (line.empty()) return;
    size_t at = line.find(kPackageExtension);
    if (at == std::string::npos || line.find('[') != std::string::npos) return;
    std::string name = TrimBlanks(line.substr(0, at + std::strlen(kPackageExtension)));
    if (!IsSafePackageName(name)) {
        if (trace) trace("LoadPackageList: refused package name \"" + name + "\"");
        return;
    }
    packages.push_back(name);
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

void ParsePackageList(const std::string& content, std::vector<std::string>& packages,
                      const ConfigTrace& trace) {
    packages.clear();
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        size_t next = end == std::string::npos ? content.size() : end + 1;
        if (end == std::string::npos) end = content.size();
        // The terminator, LF or CR LF, is not part of the line.
        if (end > start && content[end - 1] == '\r' && end < content.size()) --end;
        AddLine(content.substr(start, end - start), packages, trace);
        start = next;
    }
    for (const char* fixed : kFixedPackages) packages.push_back(fixed);
}

bool LoadPackageList(const std::string& path, std::vector<std::string>& packages,
                     const ConfigTrace& trace) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::string content;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) content.append(buffer, got);
    // A folder opens on some systems and fails only when read.
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) return false;
    ParsePackageList(content, packages, trace);
    return true;
}

}  // namespace tavrin
