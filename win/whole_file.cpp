#include "win/whole_file.h"

#include <windows.h>

#include <cstdint>

#include "win/handles.h"

namespace win {

bool ReadWholeFile(const std::wstring& path, size_t maxBytes, std::string* content) {
    if (path.empty()) return false;
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<uint64_t>(size.QuadPart) > maxBytes)
        return false;
    content->assign(static_cast<size_t>(size.QuadPart), '\0');
    size_t total = 0;
    while (total < content->size()) {
        // One call moves at most what a DWORD counts.
        const size_t want = content->size() - total;
        const DWORD chunk = want > (1u << 30) ? (1u << 30) : static_cast<DWORD>(want);
        DWORD got = 0;
        if (!::ReadFile(file.get(), &(*content)[total], chunk, &got, nullptr)) return false;
        if (got == 0) break;  // the file shrank meanwhile: what there is
        total += got;
    }
    content->resize(total);
    return true;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) &&
           written == bytes.size();
}

}  // namespace win
