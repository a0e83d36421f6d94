#include "system/files_win.h"

#include <windows.h>

#include "win/code_page.h"
#include "win/handles.h"
#include "win/whole_file.h"

namespace tavrin {

namespace {

bool IsMissing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

}  // namespace

bool ReplaceFile(const std::string& from, const std::string& to) {
    const std::wstring source = win::WidePath(from);
    const std::wstring target = win::WidePath(to);
    if (source.empty() || target.empty()) return false;
    // Written through, so a replaced file is on the disk before the next one goes.
    return ::MoveFileExW(source.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool RemoveFile(const std::string& path, IfMissing ifMissing) {
    const std::wstring name = win::WidePath(path);
    if (name.empty()) return false;
    if (::DeleteFileW(name.c_str())) return true;
    return ifMissing == IfMissing::kDone && IsMissing(::GetLastError());
}

PathKind WinFiles::Kind(const std::string& path) {
    const std::wstring name = win::WidePath(path);
    if (name.empty()) return PathKind::kOther;
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return IsMissing(::GetLastError()) ? PathKind::kNone : PathKind::kOther;
    // A link would be moved aside itself, not what it points to.
    const DWORD notPlain =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    return attributes & notPlain ? PathKind::kOther : PathKind::kFile;
}

bool WinFiles::Replace(const std::string& from, const std::string& to) {
    return ReplaceFile(from, to);
}

bool WinFiles::Remove(const std::string& path, IfMissing ifMissing) {
    return RemoveFile(path, ifMissing);
}

bool WinFiles::Append(const std::string& path, const std::string& text) {
    const std::wstring name = win::WidePath(path);
    if (name.empty()) return false;
    win::FileHandle file(::CreateFileW(name.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    // On the disk before the step it allows: a journal must never say more than is true.
    return ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                       nullptr) &&
           written == text.size() && ::FlushFileBuffers(file.get());
}

bool WinFiles::ReadAll(const std::string& path, size_t maxBytes, std::string* content) {
    const std::wstring name = win::WidePath(path);
    return !name.empty() && win::ReadWholeFile(name, maxBytes, content);
}

}  // namespace tavrin
