// Everything the downloader needs from the platform besides the status sink: sessions, local
// files, a clock, the code page's lead bytes and a trace line sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "download/internet_session.h"

namespace tavrin {

class LocalFile {
public:
    virtual ~LocalFile() = default;
    virtual bool Write(const char* data, size_t size, std::string& error) = 0;
    // Closing must not lose written data silently: false with a message when it does.
    virtual bool Close(std::string& error) = 0;
};

class DownloadPlatform {
public:
    virtual ~DownloadPlatform() = default;
    // A new session whose requests carry this agent name; null (error set) when none opens.
    virtual std::unique_ptr<InternetSession> OpenSession(const std::string& agent,
                                                         std::string& error) = 0;
    // Local paths are UTF-8: the owner's folder and the last segment of a URL.
    // Creates or truncates the file; null (error set) when it cannot be.
    virtual std::unique_ptr<LocalFile> CreateLocalFile(const std::string& path,
                                                       std::string& error) = 0;
    // Opens the file to go on writing after its first `keep` bytes (anything after them goes);
    // null (error set) when it cannot be opened or holds fewer.
    virtual std::unique_ptr<LocalFile> ContinueLocalFile(const std::string& path, uint64_t keep,
                                                         std::string& error) = 0;
    // Deletes the file if it is there; false when it stays.
    virtual bool RemoveLocalFile(const std::string& path) = 0;
    // Whole seconds of a clock that does not jump; only differences are used.
    virtual int64_t NowSeconds();
    // Texts are cut at character boundaries; the product's code page is 949 by default.
    virtual bool IsLeadByte(unsigned char c) const;
    // Runs lane(0) .. lane(count - 1) side by side and returns once every one has returned; lane
    // never throws. Lane 0 runs on the calling thread. A lane that cannot be started is left
    // out: the lanes share one queue, so the others take its work. This default runs them one
    // after another; a platform that can start threads runs them at once.
    virtual void RunLanes(size_t count, const std::function<void(size_t lane)>& lane);
    // Diagnostics only: nothing depends on them.
    virtual void Trace(const std::string& line) { (void)line; }
};

}  // namespace tavrin
