// Installing the downloaded packages, and the Internet shortcut the updater writes: plain
// logic over paths, with the decompressor passed in.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tavrin {

// Prynn's entry: non-zero when target now holds the decompressed content of source.
using DecompressFn = std::function<int(const std::string& source, const std::string& target)>;

// Decompresses every package, in list order, from downloadDir (ending with "\") into
// installDir + "\" + its installed name. Stops at the first failure (false); files installed
// before it stay. A name that is not a plain file name never reaches a path: it fails too.
bool InstallAllPackages(const std::vector<std::string>& packages, const std::string& downloadDir,
                        const std::string& installDir, const DecompressFn& decompress);

// The bytes of "Velmora바둑 홈페이지.url": no terminating NUL, no final line break.
std::string InternetShortcutContent(const std::string& homeUrl, const std::string& installDir);

}  // namespace tavrin
