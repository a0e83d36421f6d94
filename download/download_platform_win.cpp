#include "download/download_platform_win.h"

#include <atomic>

#include "download/download_lanes_win.h"
#include "download/wininet_session_win.h"
#include "libs/wexlog/wexlog.h"
#include "system/files_win.h"
#include "win/code_page.h"
#include "win/handles.h"

namespace tavrin {

namespace {

// The module's trace sink unless someone chooses another (or none).
std::atomic<DownloadTraceFn> g_trace{&WexlogTrace};

class WinLocalFile : public LocalFile {
public:
    explicit WinLocalFile(HANDLE file) : m_file(file) {}

    bool Write(const char* data, size_t size, std::string& error) override {
        while (size > 0) {
            DWORD written = 0;
            if (!::WriteFile(m_file.get(), data, static_cast<DWORD>(size), &written, nullptr) ||
                written == 0) {
                error = InternetErrorText(::GetLastError());
                return false;
            }
            data += written;
            size -= written;
        }
        return true;
    }

    bool Close(std::string& error) override {
        if (!m_file) return true;
        if (!::CloseHandle(m_file.detach())) {
            error = InternetErrorText(::GetLastError());
            return false;
        }
        return true;
    }

private:
    win::FileHandle m_file;
};

}  // namespace

void SetDownloadTrace(DownloadTraceFn trace) { g_trace.store(trace); }
DownloadTraceFn DownloadTrace() { return g_trace.load(); }

std::unique_ptr<InternetSession> WinDownloadPlatform::OpenSession(const std::string& agent,
                                                                  std::string& error) {
    return WinInetSession::Open(agent, error);
}

void WinDownloadPlatform::RunLanes(size_t count,
                                   const std::function<void(size_t lane)>& lane) {
    RunModuleLanes(count, lane);
}

bool WinDownloadPlatform::RemoveLocalFile(const std::string& path) {
    return RemoveFile(path, IfMissing::kDone);
}

std::unique_ptr<LocalFile> WinDownloadPlatform::CreateLocalFile(const std::string& path,
                                                                std::string& error) {
    return OpenLocalFile(path, CREATE_ALWAYS, 0, error);
}

std::unique_ptr<LocalFile> WinDownloadPlatform::ContinueLocalFile(const std::string& path,
                                                                  uint64_t keep,
                                                                  std::string& error) {
    return OpenLocalFile(path, OPEN_EXISTING, keep, error);
}

std::unique_ptr<LocalFile> WinDownloadPlatform::OpenLocalFile(const std::string& path,
                                                              DWORD disposition, uint64_t keep,
                                                              std::string& error) {
    // A path that is not valid UTF-8 would name another file.
    const std::wstring widePath = win::WidePath(path);
    if (widePath.empty()) {
        error = InternetErrorText(ERROR_INVALID_NAME);
        return nullptr;
    }
    // Deletable while written: a stop-and-close deletes the package in progress at once, so
    // it goes even when the browser ends before the worker has closed it.
    win::FileHandle file(::CreateFileW(widePath.c_str(), GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, disposition,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = InternetErrorText(::GetLastError());
        return nullptr;
    }
    // Going on after the bytes kept: what follows them (a try cut short) goes.
    LARGE_INTEGER size = {}, at = {};
    at.QuadPart = static_cast<LONGLONG>(keep);
    if (keep > 0 && (!::GetFileSizeEx(file.get(), &size) ||
                     static_cast<uint64_t>(size.QuadPart) < keep ||
                     !::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) ||
                     !::SetEndOfFile(file.get()))) {
        error = "holds fewer bytes than were stored";
        return nullptr;
    }
    return std::make_unique<WinLocalFile>(file.detach());
}

void WinDownloadPlatform::Trace(const std::string& line) {
    if (DownloadTraceFn trace = DownloadTrace()) trace("%s", line.c_str());
}

}  // namespace tavrin
