// UWM_STATUS, the registered window message that carries the download engine's status.
#pragma once

#include <windows.h>

#include "download/status_codes.h"

namespace tavrin {

// Every module that registers the name gets the same number. Registered on first use, never
// while the module loads (a static initialiser would run under the loader lock).
inline UINT StatusMessageId() {
    static const UINT id = ::RegisterWindowMessageA(kStatusMessageName);
    return id;
}

}  // namespace tavrin
