// Names of the client's files that several parts of the product must spell alike: the control
// starts the client, the updater installs it and checks that it is not running, and the
// package maker writes the configuration the updater reads.
#pragma once

namespace tavrin {

constexpr const char* kClientExe = "Orbisan.exe";
constexpr const char* kConfigFileName = "orbisan3.cfg";
// The client's install folder, which the client records in its settings key.
constexpr const char* kSettingWorkDir = "WorkDir";

}  // namespace tavrin
