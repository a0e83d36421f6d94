// The user's desktop folder, where the updater puts the client's link and the Internet
// shortcut: one lookup for both.
#pragma once

#include <string>

namespace tavrin {

// The desktop as the folder probing finds it (the user's own), else as the shell knows it;
// with a trailing "\"; empty when neither knows one.
std::wstring UserDesktopFolder();

}  // namespace tavrin
