#include "updater/package_install.h"

#include "updater/config_reader.h"

namespace tavrin {

bool InstallAllPackages(const std::vector<std::string>& packages, const std::string& downloadDir,
                        const std::string& installDir, const DecompressFn& decompress) {
    for (const std::string& name : packages) {
        if (!IsSafePackageName(name)) return false;
        const std::string source = downloadDir + name;
        const std::string target = installDir + "\\" + StripPackageExtension(name);
        if (decompress(source, target) == 0) return false;
    }
    return true;
}

std::string InternetShortcutContent(const std::string& homeUrl, const std::string& installDir) {
    return "[InternetShortcut]\r\nURL=" + homeUrl + "\r\nIconIndex=0\r\nIconFile=" + installDir +
           "\\Orbisan.ICO";
}

}  // namespace tavrin
