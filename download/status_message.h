// UWM_STATUS, the registered window message that carries the download engine's status.
#pragma once

#include <windows.h>

#include "download/status_codes.h"

namespace tavrin {

// Every module that registers the name gets the same number.
inline const UINT UWM_STATUS = ::RegisterWindowMessageA(kStatusMessageName);

}  // namespace tavrin
