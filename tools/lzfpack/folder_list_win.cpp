// Listing a folder on Windows, through the wide calls so any name comes back whole.
#include "tools/lzfpack/folder_packer.h"

#include <windows.h>

#include "tools/lzfpack/package_name.h"
#include "win/code_page.h"
#include "win/handles.h"

namespace lzfpack {

bool SystemFolderLister::List(const std::string& folder, std::vector<FolderEntry>* entries) {
    const std::wstring pattern = win::WidePath(JoinPath(folder, "*"));
    if (pattern.empty()) return false;
    WIN32_FIND_DATAW data;
    win::FindHandle find(::FindFirstFileW(pattern.c_str(), &data));
    if (!find) return false;
    entries->clear();
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        // A name that UTF-8 cannot carry exactly (a lone surrogate) would be packed as another.
        win::Converted<std::string> utf8 = win::FromWide(name, CP_UTF8);
        if (!utf8.exact) return false;
        FolderEntry item;
        item.name = std::move(utf8.text);
        item.isFile = !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
        entries->push_back(item);
    } while (::FindNextFileW(find.get(), &data));
    return ::GetLastError() == ERROR_NO_MORE_FILES;
}

}  // namespace lzfpack
