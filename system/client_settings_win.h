// The client's settings key, shared with the installed client: read and written by the control
// (WorkDir, SaveStart, LoginSERV) and by the updater (UpdateSerial). Every operation opens the
// key and closes it again; nothing is kept between calls.
#pragma once

#include <windows.h>

#include <string>

#include "win/handles.h"

namespace tavrin {

// HKEY_CURRENT_USER subkey shared with the installed client.
constexpr const char* kClientKeyPath = "Software\\Brennix\\Orbisan\\Sumnel";
// The serial of the last signed configuration installed; a lower one is refused.
constexpr const char* kSettingUpdateSerial = "UpdateSerial";
constexpr DWORD kSettingBufferSize = 200;  // the client's own limit for these values

// One open registry key, over the handle owner of win/handles.h.
class CRegistryKey {
public:
    // Creates or opens the key; returns the system error code (0 on success).
    LONG Open(HKEY root, const std::string& path, REGSAM access);
    void Close() { m_key.close(); }
    // REG_SZ with its terminating NUL counted in the stored size.
    LONG SetString(const std::string& name, const std::string& value);
    // Reads at most 200 bytes; out is set only on success, to the data up to its first NUL
    // (all of it when the data hold none).
    LONG QueryString(const std::string& name, std::string& out);

private:
    win::RegKey m_key;
};

// 0 on success (out set), 1 on failure (out unchanged).
int ReadClientSetting(const std::string& name, std::string& out);
// which 1 writes LoginSERV, anything else SaveStart; failures are ignored.
void WriteClientSetting(const std::string& value, int which);
// Writes a REG_SZ value of the client's key, creating the key; false when it cannot.
bool WriteClientValue(const std::string& name, const std::string& value);
// Deletes WorkDir from the client's key; nothing when the key does not open.
void DeleteClientWorkDir();

}  // namespace tavrin
