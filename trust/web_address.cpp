#include "trust/web_address.h"

#include "trust/decimal.h"

#include <cctype>

namespace tavrin {
namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

int DefaultPort(const std::string& scheme) {
    if (scheme == "http") return 80;
    if (scheme == "https") return 443;
    return -2;  // no other scheme is judged
}

// Letters, digits, "-" and "." only (a punycoded name, or an IPv4 address); [..] for IPv6.
bool IsHostName(const std::string& host) {
    if (host.empty()) return false;
    if (host.front() == '[') {
        if (host.back() != ']' || host.size() < 3) return false;
        for (size_t i = 1; i + 1 < host.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(host[i]);
            if (!std::isxdigit(c) && c != ':' && c != '.') return false;
        }
        return true;
    }
    for (char c : host)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.') return false;
    return host.front() != '.' && host.back() != '.';
}

bool ParsePort(const std::string& text, bool allowWildcards, int* port) {
    if (allowWildcards && text == "*") {
        *port = -1;
        return true;
    }
    uint64_t value = 0;
    if (!ParseDecimalDigits(text, 5, &value) || value < 1 || value > 65535) return false;
    *port = static_cast<int>(value);
    return true;
}

// A drive of this machine at the start of text: a letter, a colon, then "/".
bool StartsWithDrive(const std::string& text) {
    return text.size() >= 3 && std::isalpha(static_cast<unsigned char>(text[0])) &&
           text[1] == ':' && text[2] == '/';
}

// "file:" addresses: the host, if any, comes after "//" (backslashes read as the browser may
// read them, so "file:\\HOST\x" names HOST); the rest is the path, kept as it stands. A drive
// right after "//" is the older form a URL moniker gives a local page ("file://C:\dir\x"):
// no host, the drive starts the path.
WebAddress ParseFileAddress(std::string rest) {
    for (char& c : rest)
        if (c == '\\') c = '/';
    WebAddress address;
    address.scheme = "file";
    const bool slashes = rest.compare(0, 2, "//") == 0;
    if (!slashes || StartsWithDrive(rest.substr(2))) {
        address.path = slashes ? rest.substr(1) : rest;
        return address;
    }
    const size_t end = rest.find('/', 2);
    address.host = Lower(rest.substr(2, end == std::string::npos ? std::string::npos : end - 2));
    if (end != std::string::npos) address.path = rest.substr(end);
    return address;
}

}  // namespace

bool IsLocalFileAddress(const WebAddress& address) {
    if (address.scheme != "file" || (!address.host.empty() && address.host != "localhost"))
        return false;
    // A drive path ("/C:/..." or "C:/..."): anything else, "////HOST/share" or an escaped
    // "/%5C%5CHOST" among them, may be a page on another machine.
    const std::string& path = address.path;
    const size_t drive = !path.empty() && path[0] == '/' ? 1 : 0;
    if (path.size() < drive + 2) return false;
    const unsigned char letter = static_cast<unsigned char>(path[drive]);
    const char mark = path[drive + 1];
    return std::isalpha(letter) && (mark == ':' || mark == '|') &&
           (path.size() == drive + 2 || path[drive + 2] == '/');
}

std::optional<WebAddress> ParseWebAddress(const std::string& text, bool allowWildcards) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    WebAddress address;
    address.scheme = Lower(text.substr(0, colon));
    for (char c : address.scheme)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return std::nullopt;
    if (address.scheme == "file") return ParseFileAddress(text.substr(colon + 1));
    const int defaultPort = DefaultPort(address.scheme);
    if (defaultPort < 0 || text.compare(colon + 1, 2, "//") != 0) return std::nullopt;
    const size_t start = colon + 3;
    const size_t end = text.find_first_of("/?#", start);
    const std::string authority =
        text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (end != std::string::npos) address.path = text.substr(end);
    // A user name ("http://ours@theirs/"), a backslash or an escape could make the host read
    // differently elsewhere: such an address is not judged.
    if (authority.find_first_of("@\\%") != std::string::npos) return std::nullopt;
    const size_t portColon = authority.rfind(':');
    const bool hasPort =
        portColon != std::string::npos && authority.find(']', portColon) == std::string::npos;
    address.host = Lower(hasPort ? authority.substr(0, portColon) : authority);
    address.port = defaultPort;
    if (hasPort && !ParsePort(authority.substr(portColon + 1), allowWildcards, &address.port))
        return std::nullopt;
    const bool wildcardHost = allowWildcards && address.host.compare(0, 2, "*.") == 0;
    if (!IsHostName(wildcardHost ? address.host.substr(2) : address.host)) return std::nullopt;
    return address;
}

}  // namespace tavrin
