// What a package may be called: a plain file name on every system, and for the update
// configuration a name its reader takes back unchanged.
#pragma once

#include <string>

#include "resources/product_names.h"

namespace lzfpack {

constexpr const char* kPackageSuffix = ".lzf";
// The update configuration the updater reads.
constexpr const char* kConfigName = tavrin::kConfigFileName;

// Not empty, not "." or "..", at most 255 bytes, no \ / : * ? " < > | or control characters,
// no dot or blank at the end and no device name (CON, NUL, COM1...): Windows refuses or
// changes such names.
bool IsPlainFileName(const std::string& name, std::string* why);

// A name orbisan3.cfg can list: plain, printable ASCII without blanks, "[", "%" or "#" (it
// goes unescaped into a URL and into an ANSI text file whose reader skips lines with "["),
// ending in ".lzf" and holding ".lzf" nowhere else (the reader cuts at the first one).
bool IsListablePackageName(const std::string& name, std::string* why);

// The updater appends these five to every list it reads, so the configuration leaves them out.
bool IsFixedPackage(const std::string& name);
constexpr int kFixedPackageCount = 5;
extern const char* const kFixedPackages[kFixedPackageCount];

// The last component of a path (after the last "/", or "\" on Windows).
std::string BaseName(const std::string& path);
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace lzfpack
