#include "updater/signed_config.h"

#include <cstdio>
#include <cstring>
#include <set>

#include "trust/base64.h"
#include "trust/decimal.h"
#include "trust/web_address.h"
#include "updater/install/install_journal.h"
#include "updater/package_names.h"
#include "updater/install/package_install.h"

namespace tavrin {
namespace {

constexpr char kSignaturePrefix[] = "[signature] ";
constexpr char kMirrorTag[] = "[mirror]";
constexpr char kMirrorPrefix[] = "[mirror] ";
constexpr char kSignatureAlgorithm[] = "rsa-sha256 ";
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

bool StartsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

bool IsLowerHex(const std::string& text, size_t length) {
    if (text.size() != length) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

// Splits content into what is signed and the signature line (without its terminator).
bool SplitSignature(const std::string& content, std::string* signedPart, std::string* line) {
    size_t end = content.size();
    if (end > 0 && content[end - 1] == '\n') --end;
    if (end > 0 && content[end - 1] == '\r') --end;
    const size_t lastBreak = content.rfind('\n', end == 0 ? 0 : end - 1);
    const size_t start = lastBreak == std::string::npos ? 0 : lastBreak + 1;
    *line = content.substr(start, end - start);
    *signedPart = content.substr(0, start);
    return StartsWith(*line, kSignaturePrefix);
}

ConfigRefusal CheckSignature(const std::string& signedPart, const std::string& line,
                             const SignatureVerifierFn& verify) {
    const std::string rest = line.substr(std::strlen(kSignaturePrefix));
    if (!StartsWith(rest, kSignatureAlgorithm)) return ConfigRefusal::kBadSignature;
    std::vector<uint8_t> signature;
    if (!Base64Decode(rest.substr(std::strlen(kSignatureAlgorithm)), &signature))
        return ConfigRefusal::kBadSignature;
    switch (verify ? verify(signedPart, signature) : SignatureCheck::kUnsupported) {
    case SignatureCheck::kValid: return ConfigRefusal::kNone;
    case SignatureCheck::kUnsupported: return ConfigRefusal::kCannotVerify;
    default: return ConfigRefusal::kBadSignature;
    }
}

// "NAME.lzf sha256=HEX size=N", the name cut as the old reader cuts it.
bool ParsePackageLine(const std::string& line, SignedPackage* package) {
    const size_t at = line.find(kPackageExtension);
    const size_t nameEnd = at + std::strlen(kPackageExtension);
    const size_t nameStart = line.find_first_not_of(' ');
    package->name = line.substr(nameStart, nameEnd - nameStart);
    if (!IsSafePackageName(package->name)) return false;
    const std::string fields = line.substr(nameEnd);
    constexpr char kHash[] = " sha256=";
    constexpr char kSize[] = " size=";
    if (!StartsWith(fields, kHash)) return false;
    const size_t sizeAt = fields.find(kSize);
    if (sizeAt == std::string::npos) return false;
    package->sha256 = fields.substr(std::strlen(kHash), sizeAt - std::strlen(kHash));
    return IsLowerHex(package->sha256, 64) &&
           ParseDecimal(fields.substr(sizeAt + std::strlen(kSize)), &package->size) &&
           package->size <= kMaxPackageSize;
}

// "[mirror] URL"; false when the URL is malformed, listed before, or one too many.
bool AddMirror(const std::string& line, UpdateConfig* config) {
    if (!StartsWith(line, kMirrorPrefix)) return false;
    const std::string url = line.substr(std::strlen(kMirrorPrefix));
    if (!MirrorUrlFault(url).empty() || config->mirrors.size() == kMaxMirrors) return false;
    for (const std::string& listed : config->mirrors)
        if (listed == url) return false;
    config->mirrors.push_back(url);
    return true;
}

// One line of the signed part into config; false when it is malformed or repeated.
bool AddLine(const std::string& line, UpdateConfig* config, bool* haveSerial,
             std::set<std::string>* names) {
    if (line.find_first_not_of(' ') == std::string::npos) return true;
    if (StartsWith(line, "[serial] ")) {
        if (*haveSerial) return false;
        *haveSerial = true;
        return ParseDecimal(line.substr(9), &config->serial);
    }
    if (StartsWith(line, "[expires] ")) {
        if (config->expires) return false;
        config->expires = ParseUtcTime(line.substr(10));
        return config->expires.has_value();
    }
    if (StartsWith(line, kMirrorTag)) return AddMirror(line, config);
    // Other bracketed lines are for other readers; a line without ".lzf" names no package.
    if (line.find('[') != std::string::npos || line.find(kPackageExtension) == std::string::npos)
        return true;
    SignedPackage package;
    if (!ParsePackageLine(line, &package) || !names->insert(package.name).second) return false;
    config->packages.push_back(package);
    return true;
}

bool EndsWithIgnoringCase(const std::string& name, const std::string& suffix) {
    return name.size() >= suffix.size() &&
           SameFileName(name.substr(name.size() - suffix.size()), suffix);
}

// A short 8.3 alias ("ORBISA~1.EXE"): Windows may resolve it to another package's file.
bool LooksLikeShortAlias(const std::string& name) {
    for (size_t at = name.find('~'); at != std::string::npos; at = name.find('~', at + 1))
        if (at + 1 < name.size() && name[at + 1] >= '0' && name[at + 1] <= '9') return true;
    return false;
}

// An installed name that would take the place of one of the updater's own files (a staged or
// set-aside file, the download folder) or of another package's file.
bool CollidesWithOwnNames(const std::vector<SignedPackage>& packages) {
    for (size_t i = 0; i < packages.size(); ++i) {
        const std::string installed = StripPackageExtension(packages[i].name);
        if (EndsWithIgnoringCase(installed, kStagedSuffix) ||
            EndsWithIgnoringCase(installed, kBackupSuffix) ||
            SameFileName(installed, kDownloadFolderName) || SameFileName(installed, kJournalName) ||
            SameFileName(installed, kJournalConfigName) || SameFileName(installed, kInstallLockName) ||
            LooksLikeShortAlias(installed))
            return true;
        for (size_t j = 0; j < i; ++j)
            if (SameFileName(installed, StripPackageExtension(packages[j].name))) return true;
    }
    return false;
}

bool ParseSignedPart(std::string text, UpdateConfig* config) {
    if (StartsWith(text, kUtf8Bom)) text.erase(0, 3);
    bool haveSerial = false;
    std::set<std::string> names;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        const size_t next = end == std::string::npos ? text.size() : end + 1;
        if (end == std::string::npos) end = text.size();
        if (end > start && text[end - 1] == '\r') --end;
        if (!AddLine(text.substr(start, end - start), config, &haveSerial, &names)) return false;
        start = next;
    }
    if (!haveSerial) return false;
    for (const char* fixed : kFixedPackages)
        if (!config->Find(fixed)) return false;
    return !CollidesWithOwnNames(config->packages);
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// RFC 3986's unreserved characters and sub-delimiters, ":", "@" and "/": a path of these reads
// the same everywhere. Escapes are left out, so no segment can hide a "." or a "/".
bool IsPlainPathCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != '\0' && std::strchr("-._~!$&'()*+,;=:@/", c) != nullptr);
}

bool HasDotSegment(const std::string& path) {
    return path.find("/./") != std::string::npos || path.find("/../") != std::string::npos;
}

// The path of a mirror: "/" ... "/" of plain characters, without "." or ".." segments.
std::string MirrorPathFault(const std::string& path) {
    if (path.find_first_of("?#") != std::string::npos) return "has a query or a fragment";
    if (path.empty() || path.front() != '/' || path.back() != '/')
        return "has no path that ends in \"/\"";
    for (char c : path)
        if (!IsPlainPathCharacter(c)) return std::string("has \"") + c + "\" in its path";
    if (HasDotSegment(path)) return "has a \".\" or \"..\" segment in its path";
    return "";
}

}  // namespace

std::string MirrorUrlFault(const std::string& url) {
    if (url.size() > kMaxMirrorUrlBytes)
        return "is longer than " + std::to_string(kMaxMirrorUrlBytes) + " bytes";
    for (char c : url)
        if (static_cast<unsigned char>(c) <= ' ' || static_cast<unsigned char>(c) >= 0x7F)
            return "holds a blank, a control character or a byte beyond ASCII";
    if (!StartsWith(url, "http://") && !StartsWith(url, "https://"))
        return "does not start with http:// or https://";
    const std::optional<WebAddress> address = ParseWebAddress(url);
    if (!address)
        return "names no plain host with an optional port from 1 to 65535 (no user name or "
               "escape)";
    return MirrorPathFault(address->path);
}

bool ParseDecimal(const std::string& text, uint64_t* value) {
    // One way to write each number: a signed text has no second spelling of it.
    if (text.size() > 1 && text[0] == '0') return false;
    return ParseDecimalDigits(text, 19, value);
}

const SignedPackage* UpdateConfig::Find(const std::string& name) const {
    for (const SignedPackage& package : packages)
        if (package.name == name) return &package;
    return nullptr;
}

ConfigRefusal ReadSignedConfig(const std::string& content, const ConfigContext& context,
                               UpdateConfig* config) {
    if (content.size() > kMaxConfigSize) return ConfigRefusal::kTooLarge;
    std::string signedPart, line;
    if (!SplitSignature(content, &signedPart, &line)) return ConfigRefusal::kNoSignature;
    const ConfigRefusal signature = CheckSignature(signedPart, line, context.verify);
    if (signature != ConfigRefusal::kNone) return signature;
    UpdateConfig parsed;
    if (!ParseSignedPart(signedPart, &parsed)) return ConfigRefusal::kBadFormat;
    if (parsed.expires && *parsed.expires < context.now) return ConfigRefusal::kExpired;
    if (parsed.serial < context.installedSerial) return ConfigRefusal::kRolledBack;
    if (parsed.serial < context.minimumSerial) return ConfigRefusal::kTooOld;
    *config = std::move(parsed);
    return ConfigRefusal::kNone;
}

std::string UnsignedConfigText(const UpdateConfig& config) {
    std::string text;
    for (const SignedPackage& package : config.packages)
        text += package.name + " sha256=" + package.sha256 + " size=" +
                std::to_string(package.size) + "\r\n";
    for (const std::string& mirror : config.mirrors) text += kMirrorPrefix + mirror + "\r\n";
    text += "[serial] " + std::to_string(config.serial) + "\r\n";
    if (config.expires) text += "[expires] " + FormatUtcTime(*config.expires) + "\r\n";
    return text;
}

std::string SignatureLine(const std::vector<uint8_t>& signature) {
    return std::string(kSignaturePrefix) + kSignatureAlgorithm + Base64Encode(signature) + "\r\n";
}

std::optional<int64_t> ParseUtcTime(const std::string& text) {
    // YYYY-MM-DDTHH:MM:SSZ
    static const char kShape[] = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != sizeof kShape - 1) return std::nullopt;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kShape[i] == 'd' ? !digit : text[i] != kShape[i]) return std::nullopt;
    }
    auto number = [&](size_t at, size_t length) { return std::stoi(text.substr(at, length)); };
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const int hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return std::nullopt;
    if (day > kDays[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0)) return std::nullopt;
    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
    return DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400 +
           hour * 3600 + minute * 60 + second;
}

std::string FormatUtcTime(int64_t seconds) {
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Civil date from days (the inverse of DaysFromCivil).
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400 + (m <= 2);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ",
                  static_cast<long long>(y), m, d, static_cast<long long>(rest / 3600),
                  static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
    return text;
}

}  // namespace tavrin
