#include "control/site_lock.h"

#include "trust/web_address.h"

namespace tavrin {
namespace {

bool HostMatches(const std::string& entry, const std::string& host) {
    if (entry.compare(0, 2, "*.") != 0) return entry == host;
    const std::string suffix = entry.substr(1);  // ".example.com"
    return host.size() > suffix.size() &&
           host.compare(host.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool EntryAllows(const WebAddress& entry, const WebAddress& page) {
    if (entry.scheme != page.scheme) return false;
    if (entry.scheme == "file") return IsLocalFileAddress(page);
    return HostMatches(entry.host, page.host) && (entry.port == -1 || entry.port == page.port);
}

}  // namespace

bool SiteAllowed(const std::string& pageAddress, const std::string& allowList) {
    const std::optional<WebAddress> page = ParseWebAddress(pageAddress);
    if (!page) return false;
    size_t start = 0;
    while (start <= allowList.size()) {
        size_t end = allowList.find(';', start);
        if (end == std::string::npos) end = allowList.size();
        const std::optional<WebAddress> entry =
            ParseWebAddress(allowList.substr(start, end - start), true);
        if (entry && EntryAllows(*entry, *page)) return true;
        start = end + 1;
    }
    return false;
}

}  // namespace tavrin
