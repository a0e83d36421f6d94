// The free space of the volume that holds a folder.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

// False when it cannot be known; the caller then goes on, as before the check existed.
bool FreeBytesAt(const std::wstring& folder, uint64_t* freeBytes);

// Whether the folder's volume has room for a step that writes `bytes` (disk_space.h); when
// not, the space needed as the player reads it. Unknown free space lets the step go on: its
// own write errors still stop it cleanly.
bool EnoughSpaceAt(const std::wstring& folder, uint64_t bytes, std::string& needed);

}  // namespace tavrin
