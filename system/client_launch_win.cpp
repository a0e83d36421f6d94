#include "system/client_launch_win.h"

#include <windows.h>
#include <shellapi.h>

#include "libs/wexlog/wexlog.h"

namespace tavrin {

bool LaunchClient(const std::string& path, const std::string* params) {
    const INT_PTR result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteA(nullptr, nullptr, path.c_str(), params ? params->c_str() : nullptr,
                        nullptr, SW_SHOWNORMAL));
    if (result > 32) return true;  // ShellExecute's success is any value above 32
    WexlogTrace("LaunchClient - %s not started (%d)", path.c_str(), static_cast<int>(result));
    return false;
}

}  // namespace tavrin
