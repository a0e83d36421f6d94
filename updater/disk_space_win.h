// The free space of the volume that holds a folder.
#pragma once

#include <cstdint>
#include <string>

namespace tavrin {

// False when it cannot be known; the caller then goes on, as before the check existed.
bool FreeBytesAt(const std::wstring& folder, uint64_t* freeBytes);

}  // namespace tavrin
