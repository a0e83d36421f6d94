// Identifiers of the control module. The type library's GUIDs come from TAVRIN.idl; the
// property page has no type information, so its CLSID lives here.
#pragma once

#include <windows.h>

#include "TAVRIN_h.h"
#include "resources/resource.h"
#include "resources/window_messages.h"

namespace tavrin {

// {FE6861FB-A27F-43BB-8685-CBED93EDDB6C}
constexpr CLSID kPropPageClsid = {
    0xfe6861fb, 0xa27f, 0x43bb, {0x86, 0x85, 0xcb, 0xed, 0x93, 0xed, 0xdb, 0x6c}};

constexpr const char* kControlProgId = "TAVRIN.TavrinCtrl.1";
constexpr const char* kPropPageProgId = "TAVRIN.TavrinPropPage.1";
constexpr WORD kLibMajor = 1;
constexpr WORD kLibMinor = 0;

// OLEMISC_SETCLIENTSITEFIRST | ACTIVATEWHENVISIBLE | INSIDEOUT | CANTLINKINSIDE |
// RECOMPOSEONRESIZE
constexpr DWORD kMiscStatus = 0x20191;

}  // namespace tavrin
