#include "download/redirect.h"

#include <optional>

#include "trust/web_address.h"

namespace tavrin {
namespace {

bool IsWeb(const WebAddress& address) {
    return address.scheme == "http" || address.scheme == "https";
}

std::string Origin(const WebAddress& address) {
    return address.scheme + "://" + address.host + ":" + std::to_string(address.port);
}

}  // namespace

bool IsRedirectStatus(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string RedirectTarget(const std::string& from, const std::string& location) {
    const std::optional<WebAddress> source = ParseWebAddress(from);
    if (!source || !IsWeb(*source)) return std::string();
    // A path of the same server ("/x", not the scheme-relative "//host/x").
    if (location.size() > 0 && location[0] == '/' && location.compare(0, 2, "//") != 0)
        return Origin(*source) + location;
    const std::optional<WebAddress> target = ParseWebAddress(location);
    if (!target || !IsWeb(*target) || target->host != source->host) return std::string();
    if (target->scheme == source->scheme)
        return target->port == source->port ? location : std::string();
    return source->scheme == "http" && target->scheme == "https" ? location : std::string();
}

}  // namespace tavrin
