// Listing a folder on POSIX systems.
#include "tools/lzfpack/folder_packer.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>

#include "tools/lzfpack/package_name.h"

namespace lzfpack {
namespace {

class Directory {
public:
    explicit Directory(const std::string& path) : m_dir(::opendir(path.c_str())) {}
    ~Directory() {
        if (m_dir) ::closedir(m_dir);
    }
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;
    DIR* get() const { return m_dir; }

private:
    DIR* m_dir;
};

}  // namespace

bool SystemFolderLister::List(const std::string& folder, std::vector<FolderEntry>* entries) {
    Directory dir(folder);
    if (!dir.get()) return false;
    entries->clear();
    while (const dirent* entry = ::readdir(dir.get())) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        FolderEntry item;
        item.name = entry->d_name;
        // stat follows links: a link to a file is packed as that file.
        struct stat info;
        item.isFile = ::stat(JoinPath(folder, item.name).c_str(), &info) == 0 &&
                      S_ISREG(info.st_mode);
        entries->push_back(item);
    }
    return true;
}

}  // namespace lzfpack
