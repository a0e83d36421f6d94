// Listing a folder on Windows, through the wide calls so any name comes back whole.
#include "tools/lzfpack/folder_packer.h"

#include <windows.h>

#include "framework/handles.h"
#include "tools/lzfpack/package_name.h"
#include "tools/lzfpack/text_win.h"

namespace lzfpack {

bool SystemFolderLister::List(const std::string& folder, std::vector<FolderEntry>* entries) {
    const std::wstring pattern = Utf8ToWide(JoinPath(folder, "*"));
    if (pattern.empty()) return false;
    WIN32_FIND_DATAW data;
    fw::FindHandle find(::FindFirstFileW(pattern.c_str(), &data));
    if (!find) return false;
    entries->clear();
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        FolderEntry item;
        item.name = WideToUtf8(name);
        item.isFile = !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        entries->push_back(item);
    } while (::FindNextFileW(find.get(), &data));
    return ::GetLastError() == ERROR_NO_MORE_FILES;
}

}  // namespace lzfpack
