#include "tools/lzfpack/package_name.h"

#include <cctype>
#include <cstring>

namespace lzfpack {
namespace {

#ifdef _WIN32
constexpr const char* kSeparators = "/\\";
constexpr char kSeparator = '\\';
#else
constexpr const char* kSeparators = "/";
constexpr char kSeparator = '/';
#endif

bool Refuse(std::string* why, const std::string& reason) {
    if (why) *why = reason;
    return false;
}

bool IsDeviceName(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

const char* const kFixedPackages[kFixedPackageCount] = {
    "Vossel.dll.lzf", "Ketter.dll.lzf", "Quenby3.exe.lzf", "Prynn.dll.lzf", "Orbisan.ICO.lzf"};

bool IsPlainFileName(const std::string& name, std::string* why) {
    if (name.empty()) return Refuse(why, "the name is empty");
    if (name == "." || name == "..") return Refuse(why, "\"" + name + "\" names a folder");
    if (name.size() > 255) return Refuse(why, "the name is longer than 255 bytes");
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7f) return Refuse(why, "the name holds a control character");
        if (std::strchr("\\/:*?\"<>|", c))
            return Refuse(why, std::string("the name holds \"") + static_cast<char>(c) + "\"");
    }
    if (name.back() == '.' || name.back() == ' ')
        return Refuse(why, "the name ends in a dot or a blank");
    if (IsDeviceName(name)) return Refuse(why, "the name is a device name on Windows");
    return true;
}

bool IsListablePackageName(const std::string& name, std::string* why) {
    if (!IsPlainFileName(name, why)) return false;
    for (unsigned char c : name) {
        if (c > 0x7e) return Refuse(why, "the name holds a character outside printable ASCII");
        if (c == ' ' || c == '[' || c == '%' || c == '#')
            return Refuse(why, std::string("the name holds \"") + static_cast<char>(c) + "\"");
    }
    const std::string suffix = kPackageSuffix;
    if (!EndsWith(name, suffix) || name.size() == suffix.size())
        return Refuse(why, "the name does not end in \".lzf\" after a file name");
    if (name.find(suffix) != name.size() - suffix.size())
        return Refuse(why, "the name holds \".lzf\" before its end");
    return true;
}

bool IsFixedPackage(const std::string& name) {
    for (const char* fixed : kFixedPackages)
        if (name == fixed) return true;
    return false;
}

std::string BaseName(const std::string& path) {
    const size_t cut = path.find_last_of(kSeparators);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (std::strchr(kSeparators, folder.back())) return folder + name;
    return folder + kSeparator + name;
}

}  // namespace lzfpack
