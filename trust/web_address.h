// Web addresses taken apart for the checks that decide on them (the site lock, redirects):
// scheme, lower-case host and port, compared after parsing, never as text prefixes.
#pragma once

#include <optional>
#include <string>

namespace tavrin {

struct WebAddress {
    std::string scheme;  // lower-case
    std::string host;    // lower-case; for file: empty, "localhost" or another machine's name
    int port = 0;        // 0 for file:, -1 for any (wildcard entries only)
    std::string path;    // from the first "/", "?" or "#" after the host on; "" when none
};

// nullopt for anything but file: and http(s)://host[:port] addresses with a plain host name:
// a user name ("http://ours@theirs/"), a backslash or an escape in the host part could make it
// read differently elsewhere. allowWildcards takes "*." before a host and ":*" for the port.
std::optional<WebAddress> ParseWebAddress(const std::string& text, bool allowWildcards = false);

// A file: address of this machine: no host or "localhost", and a drive path. A page on a
// network share ("file://HOST/...", "file:////HOST/...", "file:\\HOST\...") is someone else's.
bool IsLocalFileAddress(const WebAddress& address);

}  // namespace tavrin
