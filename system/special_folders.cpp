#include "system/special_folders.h"

#include <cstring>

namespace tavrin {

namespace {

template <size_t N>
bool Store(char (&field)[N], const std::string& text) {
    if (text.size() > N - 1) return false;
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}

bool Fits(const std::string& path) { return path.size() <= kFolderFieldSize - 1; }

}  // namespace

CSpecialFolders::CSpecialFolders() : m_nOsClass(osUnknown) {
    m_szUserName[0] = m_szCommonDesktop[0] = m_szUserDesktop[0] = m_szRoot[0] = '\0';
}

CSpecialFolders::~CSpecialFolders() = default;

void CSpecialFolders::ResolveFolders(FolderOps& ops) {
    m_szUserName[0] = m_szCommonDesktop[0] = m_szUserDesktop[0] = '\0';
    m_nOsClass = ops.GetOSClass();
    if (!Store(m_szRoot, ops.GetSystemDriveRoot())) Store(m_szRoot, "C:\\");
    if (m_nOsClass == os2000 || m_nOsClass == osXP) {
        std::string name;
        if (ops.GetCurrentUserName(name)) Store(m_szUserName, name);
    }
    const std::string root = m_szRoot;
    const std::string desktopName = ops.DesktopFolderName();
    if (desktopName.empty()) return;
    const std::string desktop = "\\" + desktopName + "\\";

    if (IsWin9xFamily(m_nOsClass)) {
        for (const std::string& windows : {root + "Windows", std::string("C:\\Windows")}) {
            const std::string path = windows + desktop;
            if (Fits(path) && ops.EnterFolder(path)) {
                Store(m_szCommonDesktop, path);
                return;
            }
        }
        return;
    }
    if (!IsNtFamily(m_nOsClass)) return;

    std::string base = root + "Documents and Settings\\";
    if (!ops.EnterFolder(base)) {
        base = "C:\\Documents and Settings\\";
        if (!ops.EnterFolder(base)) return;
    }
    const std::string allUsers = base + "All Users";
    if (Fits(allUsers + desktop) && ops.EnterFolder(allUsers))
        Store(m_szCommonDesktop, allUsers + desktop);
    // Without a user name the base itself would pass for the user's profile.
    const std::string user = m_szUserName;
    if (!user.empty() && Fits(base + user + desktop) && ops.EnterFolder(base + user))
        Store(m_szUserDesktop, base + user + desktop);
}

std::string CSpecialFolders::GetDesktopFolder(bool perUser) const {
    return perUser ? m_szUserDesktop : m_szCommonDesktop;
}

}  // namespace tavrin
