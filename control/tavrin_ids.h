// Identifiers of the control module. The type library's GUIDs come from TAVRIN.idl; the
// property page has no type information, so its CLSID lives here.
#pragma once

#include <windows.h>

#include "TAVRIN_h.h"

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

// Resources
constexpr UINT IDS_TAVRIN = 1;
constexpr UINT IDS_TAVRIN_PPG = 2;
constexpr UINT IDS_TAVRIN_PPG_CAPTION = 200;
constexpr UINT IDB_TAVRIN = 1;
constexpr UINT IDD_ABOUTBOX_TAVRIN = 1;
constexpr UINT IDD_PROPPAGE_TAVRIN = 200;

// Window messages
constexpr UINT WM_LAUNCH_DONE = WM_USER + 1001;

}  // namespace tavrin
