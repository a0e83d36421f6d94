// Starting the installed client, for the control (with the login command line) and for the
// updater (without one), in one way.
#pragma once

#include <string>

namespace tavrin {

// Starts the program at path with params (none when null) through the shell; false, with the
// shell's code traced, when it did not start.
bool LaunchClient(const std::string& path, const std::string* params);

}  // namespace tavrin
