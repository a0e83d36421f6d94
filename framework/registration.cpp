#include "framework/registration.h"

#include <oleauto.h>
#include <shlwapi.h>

#include <string>

#include "win/code_page.h"
#include "win/handles.h"

namespace fw {

namespace {

std::string GuidString(REFGUID guid) {
    wchar_t text[40];
    if (::StringFromGUID2(guid, text, 40) == 0) return std::string();
    return win::WideToAnsi(text);
}

std::string ModulePathAnsi(HINSTANCE module) {
    char path[MAX_PATH];
    DWORD n = ::GetModuleFileNameA(module, path, MAX_PATH);
    return (n == 0 || n >= MAX_PATH) ? std::string() : std::string(path, n);
}

std::string LoadAnsiString(HINSTANCE module, UINT id) {
    char text[256];
    int n = ::LoadStringA(module, id, text, sizeof(text));
    return n > 0 ? std::string(text, static_cast<size_t>(n)) : std::string();
}

// Creates HKCR\path and sets its value `name` (nullptr: the default value).
bool SetClassesValue(const std::string& path, const char* name, const std::string& value) {
    win::RegKey key;
    if (::RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_WRITE, nullptr, key.receive(), nullptr) != ERROR_SUCCESS)
        return false;
    return ::RegSetValueExA(key.get(), name, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

bool CreateClassesKey(const std::string& path) {
    win::RegKey key;
    return ::RegCreateKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr,
                             REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, key.receive(),
                             nullptr) == ERROR_SUCCESS;
}

bool RegisterInprocServer(const std::string& clsidKey, const std::string& modulePath) {
    return SetClassesValue(clsidKey + "\\InprocServer32", nullptr, modulePath) &&
           SetClassesValue(clsidKey + "\\InprocServer32", "ThreadingModel", "Apartment");
}

}  // namespace

bool RegisterTypeLibFromModule(HINSTANCE module) {
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return false;
    win::ComPtr<ITypeLib> typeLib;
    if (FAILED(::LoadTypeLibEx(path, REGKIND_NONE, typeLib.receive()))) return false;
    return SUCCEEDED(::RegisterTypeLib(typeLib.get(), path, nullptr));
}

bool UnregisterTypeLibrary(REFGUID libid, WORD major, WORD minor) {
    // The library is registered under its own locale 0x409, for the platform of this build.
#ifdef _WIN64
    constexpr SYSKIND kPlatform = SYS_WIN64;
#else
    constexpr SYSKIND kPlatform = SYS_WIN32;
#endif
    return SUCCEEDED(::UnRegisterTypeLib(libid, major, minor, 0x409, kPlatform));
}

bool RegisterControlClass(HINSTANCE module, const ControlClassInfo& info) {
    const std::string path = ModulePathAnsi(module);
    const std::string clsid = GuidString(info.clsid);
    const std::string typeName = LoadAnsiString(module, info.typeNameId);
    if (path.empty() || clsid.empty()) return false;
    const std::string key = "CLSID\\" + clsid;
    const std::string version = std::to_string(info.major) + "." + std::to_string(info.minor);
    return SetClassesValue(info.progId, nullptr, typeName) &&
           SetClassesValue(std::string(info.progId) + "\\CLSID", nullptr, clsid) &&
           SetClassesValue(key, nullptr, typeName) &&
           RegisterInprocServer(key, path) &&
           SetClassesValue(key + "\\ProgID", nullptr, info.progId) &&
           CreateClassesKey(key + "\\Control") &&
           SetClassesValue(key + "\\ToolboxBitmap32", nullptr,
                           path + "," + std::to_string(info.bitmapId)) &&
           // As controls register it: no status for aspects in general, the control's own
           // for the content aspect (DVASPECT_CONTENT, 1).
           SetClassesValue(key + "\\MiscStatus", nullptr, "0") &&
           SetClassesValue(key + "\\MiscStatus\\1", nullptr, std::to_string(info.miscStatus)) &&
           SetClassesValue(key + "\\TypeLib", nullptr, GuidString(info.libid)) &&
           SetClassesValue(key + "\\Version", nullptr, version);
}

bool RegisterPropertyPageClass(HINSTANCE module, REFCLSID clsid, UINT typeNameId) {
    const std::string path = ModulePathAnsi(module);
    const std::string guid = GuidString(clsid);
    if (path.empty() || guid.empty()) return false;
    const std::string key = "CLSID\\" + guid;
    return SetClassesValue(key, nullptr, LoadAnsiString(module, typeNameId)) &&
           RegisterInprocServer(key, path);
}

bool UnregisterClass(REFCLSID clsid, const char* progId) {
    const std::string guid = GuidString(clsid);
    if (guid.empty()) return false;
    // A key that is already gone is not a failure: unregistering twice must succeed.
    LSTATUS rc = ::SHDeleteKeyA(HKEY_CLASSES_ROOT, ("CLSID\\" + guid).c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return false;
    if (progId) {
        rc = ::SHDeleteKeyA(HKEY_CLASSES_ROOT, progId);
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return false;
    }
    return true;
}

}  // namespace fw
