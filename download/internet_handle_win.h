// The owner of a WinINet handle (session, connection or request), beside its only users: the
// download engine's session and the tests and benchmark that drive WinINet themselves.
#pragma once

#include <windows.h>
#include <wininet.h>

#include "win/handles.h"

namespace win {

namespace detail {
// A status callback still registered would be called with HANDLE_CLOSING after its owner is
// gone; unregister it first.
inline void CloseInternet(HINTERNET h) {
    ::InternetSetStatusCallbackA(h, nullptr);
    ::InternetCloseHandle(h);
}
}  // namespace detail

// Link wininet where it is used.
using InternetHandle =
    UniqueHandle<detail::Traits<HINTERNET, detail::Null<HINTERNET>, detail::CloseInternet>>;

}  // namespace win
