// Which redirects the engine follows: to the same host and port, or from http to https on the
// same host; never from https to http, nor to any other host, so a redirect cannot fetch a
// file from a server the build does not name.
#pragma once

#include <string>

namespace tavrin {

constexpr int kMaxRedirects = 5;

bool IsRedirectStatus(int status);

// The address a redirect from `from` to `location` (absolute, or a path from "/") leads to;
// "" when it must not be followed.
std::string RedirectTarget(const std::string& from, const std::string& location);

}  // namespace tavrin
