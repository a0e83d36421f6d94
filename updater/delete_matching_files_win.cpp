#include "updater/delete_matching_files_win.h"

#include <windows.h>

#include "win/handles.h"

namespace tavrin {

void DeleteMatchingFiles(std::wstring folder, const std::wstring& pattern) {
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    WIN32_FIND_DATAW found;
    win::FindHandle search(::FindFirstFileW((folder + pattern).c_str(), &found));
    if (!search) return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            ::DeleteFileW((folder + found.cFileName).c_str());  // a locked file stays
    } while (::FindNextFileW(search.get(), &found));
}

}  // namespace tavrin
