// Where the client is installed: the root of the drive that holds Windows, then
// "Program Files\Velmora바둑". And the lock that lets one installation at a time work in it.
#pragma once

#include <string>

#include "win/handles.h"

namespace tavrin {

// "" when the Windows folder cannot be had.
std::wstring InstallFolderPath();

// Held by an updater while it installs and by a control while it finishes an interrupted
// installation, so that neither works on files the other is moving.
class InstallLock {
public:
    explicit InstallLock(unsigned long waitMs);
    ~InstallLock();
    InstallLock(const InstallLock&) = delete;
    InstallLock& operator=(const InstallLock&) = delete;
    bool Held() const { return m_held; }

private:
    win::Handle m_mutex;
    bool m_held = false;
};

}  // namespace tavrin
