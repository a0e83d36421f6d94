#include "system/process_scan.h"

#include <cstring>

namespace tavrin {

void ProcessNameFromPath(const char* path, size_t pathSize, char (&name)[kProcessNameSize]) {
    size_t length = 0;
    while (length < pathSize && path[length] != '\0') ++length;
    size_t start = 0;
    for (size_t i = 0; i < length; ++i)
        if (path[i] == '\\') start = i + 1;
    size_t count = length - start;
    if (count > kProcessNameSize - 1) count = kProcessNameSize - 1;
    std::memcpy(name, path + start, count);
    name[count] = '\0';
}

}  // namespace tavrin
