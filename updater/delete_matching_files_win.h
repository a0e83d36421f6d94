// Deleting the downloaded packages when the user gives up the installation.
#pragma once

#include <string>

namespace tavrin {

// Deletes every file (not folder) of folder whose name matches the wildcard pattern. Missing
// folders and files that cannot be deleted are passed over.
void DeleteMatchingFiles(std::wstring folder, const std::wstring& pattern);

}  // namespace tavrin
