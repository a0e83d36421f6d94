// The file operations on Windows, through the wide calls: the UTF-8 paths become UTF-16, so
// folder names outside the ANSI code page work as well as Korean ones.
#include "libs/prynn/system_files.h"

#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "system/files_win.h"
#include "win/code_page.h"
#include "win/handles.h"

namespace prynn {
namespace {

// One call moves at most this much, so a DWORD always holds the count.
constexpr size_t kMaxChunk = 1 << 20;

class WinSource : public ByteSource {
public:
    explicit WinSource(win::FileHandle&& file) : m_file(std::move(file)) {}
    bool Read(uint8_t* buffer, size_t size, size_t* got) override {
        *got = 0;
        while (*got < size) {
            const DWORD want = static_cast<DWORD>(std::min(size - *got, kMaxChunk));
            DWORD n = 0;
            if (!::ReadFile(m_file.get(), buffer + *got, want, &n, nullptr)) return false;
            if (n == 0) break;
            *got += n;
        }
        return true;
    }

private:
    win::FileHandle m_file;
};

class WinFile : public WritableFile {
public:
    explicit WinFile(win::FileHandle&& file) : m_file(std::move(file)) {}
    bool Write(const uint8_t* data, size_t size) override {
        while (size > 0) {
            const DWORD want = static_cast<DWORD>(std::min(size, kMaxChunk));
            DWORD n = 0;
            if (!::WriteFile(m_file.get(), data, want, &n, nullptr) || n == 0) return false;
            data += n;
            size -= n;
        }
        return true;
    }
    bool Close() override {
        const bool flushed = ::FlushFileBuffers(m_file.get()) != 0;
        return ::CloseHandle(m_file.detach()) != 0 && flushed;
    }

private:
    win::FileHandle m_file;
};

}  // namespace

std::unique_ptr<ByteSource> SystemFiles::OpenRead(const std::string& path) {
    const std::wstring name = win::WidePath(path);
    if (name.empty()) return nullptr;
    // Other readers are welcome; a writer still busy with the package is not.
    win::FileHandle file(::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return nullptr;
    return std::make_unique<WinSource>(std::move(file));
}

std::unique_ptr<WritableFile> SystemFiles::CreateNew(const std::string& path) {
    const std::wstring name = win::WidePath(path);
    if (name.empty()) return nullptr;
    win::FileHandle file(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return nullptr;
    return std::make_unique<WinFile>(std::move(file));
}

bool SystemFiles::Replace(const std::string& from, const std::string& to) {
    return tavrin::ReplaceFile(from, to);
}

// A file that is not there was not removed: the codec removes only what it made.
bool SystemFiles::Remove(const std::string& path) {
    return tavrin::RemoveFile(path, tavrin::IfMissing::kFailure);
}

}  // namespace prynn
