#include "updater/delete_matching_files_win.h"

#include <windows.h>

#include "win/handles.h"

namespace tavrin {

void DeleteMatchingFiles(std::string folder, const std::string& pattern) {
    if (folder.empty() || folder.back() != '\\') folder += '\\';
    WIN32_FIND_DATAA found;
    win::FindHandle search(::FindFirstFileA((folder + pattern).c_str(), &found));
    if (!search) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ::DeleteFileA((folder + found.cFileName).c_str());  // a locked file stays
    } while (::FindNextFileA(search.get(), &found));
}

}  // namespace tavrin
