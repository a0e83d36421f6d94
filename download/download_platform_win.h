// The download engine's platform on Windows: WinINet sessions, local files by their UTF-8 path
// (through the wide calls, so any folder name works whatever the code page), the ANSI code
// page's lead bytes and the trace sink.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "download/download_platform.h"

namespace tavrin {

// printf-style, as the module's trace sink is; WexlogTrace by default, null means no trace.
using DownloadTraceFn = int(__cdecl*)(const char* format, ...);
void SetDownloadTrace(DownloadTraceFn trace);
DownloadTraceFn DownloadTrace();

class WinDownloadPlatform : public DownloadPlatform {
public:
    std::unique_ptr<InternetSession> OpenSession(const std::string& agent,
                                                 std::string& error) override;
    bool RemoveLocalFile(const std::string& path) override;
    std::unique_ptr<LocalFile> CreateLocalFile(const std::string& path,
                                               std::string& error) override;
    std::unique_ptr<LocalFile> ContinueLocalFile(const std::string& path, uint64_t keep,
                                                 std::string& error) override;
    // On threads of the module (download_lanes_win.h).
    void RunLanes(size_t count, const std::function<void(size_t lane)>& lane) override;
    bool IsLeadByte(unsigned char c) const override { return ::IsDBCSLeadByte(c) != 0; }
    void Trace(const std::string& line) override;

private:
    std::unique_ptr<LocalFile> OpenLocalFile(const std::string& path, DWORD disposition,
                                             uint64_t keep, std::string& error);
};

}  // namespace tavrin
