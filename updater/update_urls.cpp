#include "updater/update_urls.h"

#include "resources/product_names.h"

#ifndef TAVRIN_CONFIG_HOST
#error "TAVRIN_CONFIG_HOST names the configuration host"
#endif
#ifndef TAVRIN_PACKAGE_HOST
#error "TAVRIN_PACKAGE_HOST names the package host"
#endif
#ifndef TAVRIN_HOME_URL
#error "TAVRIN_HOME_URL names the home page"
#endif

namespace tavrin {

std::string ConfigFileUrl() {
    return std::string(TAVRIN_CONFIG_HOST) + "/service/files/" + kConfigFileName;
}

std::string PackageUrl(const std::string& name) {
    return std::string(TAVRIN_PACKAGE_HOST) + "/service/files/" + name;
}

std::string HomePageUrl() { return TAVRIN_HOME_URL; }

}  // namespace tavrin
