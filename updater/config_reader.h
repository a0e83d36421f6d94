// The update configuration file "orbisan3.cfg": the package names it lists, followed by the
// five packages that are always installed. A name that is not a plain file name of our
// folders is refused like a malformed line, so a tampered file cannot write elsewhere.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "resources/product_names.h"

namespace tavrin {

constexpr const char* kPackageExtension = ".lzf";
constexpr size_t kFixedPackageCount = 5;
extern const char* const kFixedPackages[kFixedPackageCount];
bool IsFixedPackage(const std::string& name);

using ConfigTrace = std::function<void(const std::string&)>;

// Rebuilds packages from the file at path (in the process's ANSI code page): the names in file
// order, then the fixed five. False, with packages untouched, when the file cannot be read.
bool LoadPackageList(const std::string& path, std::vector<std::string>& packages,
                     const ConfigTrace& trace = ConfigTrace());
// The same over the file's content.
void ParsePackageList(const std::string& content, std::vector<std::string>& packages,
                      const ConfigTrace& trace = ConfigTrace());

// The installed file's name: the package name cut before its first ".lzf"; unchanged when
// ".lzf" is missing or starts the name.
std::string StripPackageExtension(const std::string& name);

// A file name that stays inside its folder, as downloaded and as installed: no "\", "/", ":",
// control character or other character Windows refuses, not "." or "..", no trailing dot or
// blank, no device name, at most 255 bytes.
bool IsSafePackageName(const std::string& name);

// Whether Windows takes a and b for the same file name: equal ignoring the case of ASCII letters.
bool SameFileName(const std::string& a, const std::string& b);

}  // namespace tavrin
