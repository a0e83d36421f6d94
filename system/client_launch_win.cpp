#include "system/client_launch_win.h"

#include <windows.h>
#include <shellapi.h>

#include "libs/wexlog/wexlog.h"
#include "win/code_page.h"

namespace tavrin {

bool LaunchClient(const std::wstring& path, const std::string* params) {
    const win::Converted<std::wstring> parameters = win::ToWide(params ? *params : "");
    if (!parameters.exact) {
        WexlogTrace("LaunchClient - the command line does not convert exactly: not started");
        return false;
    }
    const INT_PTR result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, nullptr, path.c_str(), params ? parameters.text.c_str() : nullptr,
                        nullptr, SW_SHOWNORMAL));
    if (result > 32) return true;  // ShellExecute's success is any value above 32
    WexlogTrace("LaunchClient - %s not started (%d)", win::WideToAnsi(path).c_str(),
                static_cast<int>(result));
    return false;
}

}  // namespace tavrin
