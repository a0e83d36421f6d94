// The desktop folders of a Korean Windows system, found by entering fixed folder names under the
// system drive. The probing is portable over FolderOps; special_folders_win.cpp supplies the
// system's operations.
#pragma once

#include <cstddef>
#include <string>

#include "system/os_class.h"

namespace tavrin {

constexpr size_t kFolderFieldSize = 256;  // every path field: 255 bytes and a terminator

// What the probing asks of the system. Texts are in the process's ANSI code page.
class FolderOps {
public:
    virtual ~FolderOps() = default;
    virtual OsClass GetOSClass() = 0;
    virtual std::string GetSystemDriveRoot() = 0;
    // The logged-on user's name; false (name untouched) on failure.
    virtual bool GetCurrentUserName(std::string& name) = 0;
    // Makes path the current directory; false when it does not exist.
    virtual bool EnterFolder(const std::string& path) = 0;
    // The system's name of the desktop folder, "바탕 화면" on Korean Windows; empty where the
    // code page has no name for it, and then no desktop is found by name.
    virtual std::string DesktopFolderName() = 0;
};

class CSpecialFolders {
public:
    CSpecialFolders();
    virtual ~CSpecialFolders();
    CSpecialFolders(const CSpecialFolders&) = delete;
    CSpecialFolders& operator=(const CSpecialFolders&) = delete;

    // Probes with the system's operations (Windows only), and puts the process's current
    // directory back afterwards.
    void ResolveFolders();
    // Fills the fields. Entering folders changes the current directory, which stays at the last
    // folder entered. A path longer than 255 bytes counts as not found and is not entered.
    void ResolveFolders(FolderOps& ops);

    // The user desktop (perUser) or the common desktop, with a trailing backslash; "" when that
    // one was not found (the other is never used instead).
    std::string GetDesktopFolder(bool perUser) const;

    OsClass GetOsClass() const { return m_nOsClass; }
    const char* GetRoot() const { return m_szRoot; }
    // Not GetUserName, which <windows.h> turns into GetUserNameA.
    const char* UserName() const { return m_szUserName; }

private:
    char m_szUserName[kFolderFieldSize];
    char m_szCommonDesktop[kFolderFieldSize];
    char m_szUserDesktop[kFolderFieldSize];
    char m_szRoot[4];
    OsClass m_nOsClass;
};

}  // namespace tavrin
