#include "widgets/common_controls_win.h"

#include <windows.h>
#include <commctrl.h>

namespace tavrin {

bool InitDownloadCommonControls() {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_PROGRESS_CLASS | ICC_ANIMATE_CLASS};
    return ::InitCommonControlsEx(&icc) != FALSE;
}

}  // namespace tavrin
