// Where the updater fetches from. The hosts are build settings (TAVRIN_CONFIG_HOST,
// TAVRIN_PACKAGE_HOST: scheme, host and optional port), compiled into update_urls.cpp alone, so
// that one control module can be linked against another pair (the test bed's https hosts);
// the paths are fixed.
#pragma once

#include <string>

namespace tavrin {

std::string ConfigFileUrl();
// The name is appended unchanged; the configuration reader lets only plain file names through.
std::string PackageUrl(const std::string& name);
std::string HomePageUrl();

}  // namespace tavrin
