// Where the client is installed: the root of the drive that holds Windows, then
// "Program Files\Velmora바둑". And the lock that lets one installation at a time work in it.
#pragma once

#include <string>

#include "win/handles.h"

namespace tavrin {

// "" when the Windows folder cannot be had.
std::wstring InstallFolderPath();

// Held by an updater from before its downloads until it ends, and by a control while it
// finishes an interrupted installation, so that no two work on the install folder or its Temp
// at once, whatever session or user they run in: a file in the install folder held open with
// no sharing (gone once closed, also when its process ends). The machine's named mutex orders
// the tries. Neither is tied to a thread: the lock may be taken on one and dropped on another.
class InstallLock {
public:
    // Tries for up to waitMs.
    explicit InstallLock(unsigned long waitMs);
    InstallLock(const InstallLock&) = delete;
    InstallLock& operator=(const InstallLock&) = delete;
    bool Held() const { return static_cast<bool>(m_file); }

private:
    win::FileHandle m_file;
};

}  // namespace tavrin
