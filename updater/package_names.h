// Package names: the five every release carries, the installed file's name, and the rule that
// keeps a name inside its folder (the signed configuration refuses any other).
#pragma once

#include <string>

#include "resources/product_names.h"

namespace tavrin {

constexpr const char* kPackageExtension = ".lzf";
constexpr size_t kFixedPackageCount = 5;
extern const char* const kFixedPackages[kFixedPackageCount];
bool IsFixedPackage(const std::string& name);

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
