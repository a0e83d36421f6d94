// What a control module writes to and removes from HKEY_CLASSES_ROOT.
#pragma once

#include <windows.h>

namespace fw {

// Registers the type library embedded in the module (resource TYPELIB 1).
bool RegisterTypeLibFromModule(HINSTANCE module);
// Removes the registration of LIBID version major.minor (locale 0x409, Win32).
bool UnregisterTypeLibrary(REFGUID libid, WORD major, WORD minor);

struct ControlClassInfo {
    REFCLSID clsid;
    const char* progId;
    UINT typeNameId;    // string resource with the type name
    UINT bitmapId;      // toolbox bitmap resource
    DWORD miscStatus;   // OLEMISC flags
    REFGUID libid;
    WORD major;
    WORD minor;
};

// CLSID\{clsid} with the type name, InprocServer32 (module path, ThreadingModel=Apartment),
// ProgID, Control, ToolboxBitmap32, MiscStatus, TypeLib and Version; and the ProgID key.
// Never Insertable: the control is not offered in "Insert Object" lists.
bool RegisterControlClass(HINSTANCE module, const ControlClassInfo& info);
// CLSID\{clsid} with the type name and InprocServer32 (module path, ThreadingModel=Apartment).
bool RegisterPropertyPageClass(HINSTANCE module, REFCLSID clsid, UINT typeNameId);
// Removes CLSID\{clsid} and, when given, the ProgID key.
bool UnregisterClass(REFCLSID clsid, const char* progId);

}  // namespace fw
