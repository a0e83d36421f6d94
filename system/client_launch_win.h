// Starting the installed client, for the control (with the login command line) and for the
// updater (without one), in one way.
#pragma once

#include <string>

namespace tavrin {

// Starts the program at path with params (none when null) through the shell; false, with the
// shell's code traced, when it did not start. The parameters are the client's command line in
// the ANSI code page, which the client reads; ones that do not convert exactly start nothing.
bool LaunchClient(const std::wstring& path, const std::string* params);

}  // namespace tavrin
