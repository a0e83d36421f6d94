// The common control classes the download windows' templates use (progress bar, animation).
#pragma once

namespace tavrin {

// Registers them for this process; call before creating either download window. Windows
// registers them only on request, so a template naming them fails to load otherwise.
bool InitDownloadCommonControls();

}  // namespace tavrin
