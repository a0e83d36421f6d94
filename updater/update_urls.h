// Where the updater fetches from. The hosts are build settings (TAVRIN_CONFIG_HOST,
// TAVRIN_PACKAGE_HOST: scheme, host and optional port); the paths are fixed.
#pragma once

#include <string>

#include "resources/product_names.h"

namespace tavrin {

#ifndef TAVRIN_CONFIG_HOST
#define TAVRIN_CONFIG_HOST "http://127.0.0.1:18731"
#endif
#ifndef TAVRIN_PACKAGE_HOST
#define TAVRIN_PACKAGE_HOST "http://127.0.0.1:18732"
#endif
#ifndef TAVRIN_HOME_URL
#define TAVRIN_HOME_URL "http://127.0.0.1:18731/"
#endif

inline std::string ConfigFileUrl() {
    return std::string(TAVRIN_CONFIG_HOST) + "/service/files/" + kConfigFileName;
}

// The name is appended unchanged; the configuration reader lets only plain file names through.
inline std::string PackageUrl(const std::string& name) {
    return std::string(TAVRIN_PACKAGE_HOST) + "/service/files/" + name;
}

inline std::string HomePageUrl() { return TAVRIN_HOME_URL; }

}  // namespace tavrin
