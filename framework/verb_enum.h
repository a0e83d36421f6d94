// IEnumOLEVERB over a fixed list: the verbs a control offers on its container's menu.
#pragma once

#include <windows.h>
#include <oleidl.h>

#include <string>
#include <vector>

namespace fw {

struct Verb {
    LONG id;
    std::wstring name;
    DWORD flags;       // MF_* menu flags
    DWORD attributes;  // OLEVERBATTRIB_*
};

// A new enumerator (one reference) over verbs; E_OUTOFMEMORY when none can be made.
HRESULT CreateVerbEnumerator(std::vector<Verb> verbs, IEnumOLEVERB** out);

}  // namespace fw
