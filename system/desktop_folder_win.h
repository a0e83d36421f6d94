// The user's desktop folder where the updater puts the Internet shortcut (the client's link
// goes to the shell's desktop folder, see shell_link_win.h).
#pragma once

#include <string>

namespace tavrin {

// The desktop as the folder probing finds it (the user's own), else as the shell knows it;
// with a trailing "\"; empty when neither knows one.
std::wstring UserDesktopFolder();

}  // namespace tavrin
