// The status message of the download engine: its registered name, its codes and the limits of
// its text. Receivers copy the text at once: it lives only while the message is being handled.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavrin {

// wParam: low word the code, high word the percent (nonzero only with STATUS_DOWNLOAD_SIZE);
// lParam: the text, NUL-terminated, in the process's ANSI code page.
enum StatusCode : uint16_t {
    STATUS_NET_ERROR = 1,             // "%s - %s": file name, the network error's message
    STATUS_FILE_ERROR = 2,            // "%s - %s": file name, the file error's message
    STATUS_USER_STOP = 3,             // "User Stop!"
    STATUS_DOWNLOAD_SIZE = 4,         // "%s - Read %d bytes" with " (%0.1f Kb/s)" after 1 s
    STATUS_DOWNLOAD_START = 5,        // "%s - Downloading..."
    STATUS_DOWNLOAD_END = 6,          // "%s - Download End!"
    STATUS_DOWNLOAD_COMPLETE = 7,     // "Download Files Complete!"
    STATUS_DOWNLOAD_ERROR_CLOSE = 8,  // "Download Error Close!"
    STATUS_URL_INVALID = 9,           // "%s is Invalid!"
    STATUS_CLIENT_RUNNING = 10,       // "User Stop!", from the worker instead of any download
    STATUS_DOWNLOAD_RETRY = 11,       // "%s - Retrying (%d/%d)...": a file ended early, tried again
};

constexpr const char* kStatusMessageName = "UWM_STATUS_KEY_D31F39A4_1C63_11D3_AA11_AC48B5000000";

constexpr size_t kStatusTextSize = 512;      // 511 characters and the terminator
constexpr size_t kMaxErrorMessage = 254;     // of a network or file error's message
constexpr size_t kReadBufferSize = 4096;     // the downloader's own buffer
constexpr size_t kReadChunk = kReadBufferSize - 1;  // what one read asks for

}  // namespace tavrin
