#include "system/client_settings_win.h"

#include <cstring>

#include "resources/product_names.h"

namespace tavrin {

LONG CRegistryKey::Open(HKEY root, const std::string& path, REGSAM access) {
    DWORD disposition = 0;  // created or opened: both are fine
    return ::RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                             nullptr, m_key.receive(), &disposition);
}

LONG CRegistryKey::SetString(const std::string& name, const std::string& value) {
    return ::RegSetValueExA(m_key.get(), name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
}

LONG CRegistryKey::QueryString(const std::string& name, std::string& out) {
    BYTE buffer[kSettingBufferSize];
    DWORD size = sizeof(buffer);
    LONG rc = ::RegQueryValueExA(m_key.get(), name.c_str(), nullptr, nullptr, buffer, &size);
    if (rc != ERROR_SUCCESS) return rc;
    // Data may come without a terminating NUL (or fill the buffer exactly): never read past
    // what the call returned.
    if (size > sizeof(buffer)) size = sizeof(buffer);
    const void* nul = std::memchr(buffer, 0, size);
    size_t length = nul ? static_cast<size_t>(static_cast<const BYTE*>(nul) - buffer) : size;
    out.assign(reinterpret_cast<const char*>(buffer), length);
    return ERROR_SUCCESS;
}

bool WriteClientValue(const std::string& name, const std::string& value) {
    CRegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kClientKeyPath, KEY_WRITE) != ERROR_SUCCESS) return false;
    return key.SetString(name, value) == ERROR_SUCCESS;
}

int ReadClientSetting(const std::string& name, std::string& out) {
    CRegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kClientKeyPath, KEY_READ) != ERROR_SUCCESS) return 1;
    return key.QueryString(name, out) == ERROR_SUCCESS ? 0 : 1;
}

void WriteClientSetting(const std::string& value, int which) {
    CRegistryKey key;
    // Failures are not reported: the launch goes on without the record.
    if (key.Open(HKEY_CURRENT_USER, kClientKeyPath, KEY_WRITE) != ERROR_SUCCESS) return;
    key.SetString(which == 1 ? "LoginSERV" : "SaveStart", value);
}

void DeleteClientWorkDir() {
    win::RegKey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, kClientKeyPath, 0, KEY_ALL_ACCESS, key.receive()) !=
        ERROR_SUCCESS)
        return;
    ::RegDeleteValueA(key.get(), kSettingWorkDir);
}

}  // namespace tavrin
