// Small queries against the operating system, on which the desktop-folder probing rests.
#pragma once

#include <string>

#include "system/os_class.h"

namespace tavrin {

constexpr unsigned kUserNameSize = 256;

// The running Windows version's class; osUnknown when the version cannot be read.
OsClass GetOSClass();

// The logged-on user's name (ANSI) into name; false, with name untouched, on failure.
bool GetCurrentUserName(char (&name)[kUserNameSize]);

// The root of the drive holding the system directory, such as "C:\"; "C:\" when it cannot be
// told.
std::string GetSystemDriveRoot();

}  // namespace tavrin
