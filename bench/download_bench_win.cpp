// Download throughput under Wine, one figure per run (bench/run-download-bench drives it):
//   download_bench engine URL... FOLDER   the product's engine: CHttpDownloader on its
//                                      worker thread, one batch of the URLs, status texts sent
//                                      to a window on this thread (which copies them as the
//                                      dialog does), file writes
//   download_bench platform URL        the same 4,095-byte InternetReadFile calls with one
//                                      synchronous message per chunk to a window here, no file
// Prints "bytes <n> seconds <s> peak <bytes>", peak being the process's peak working set.
#include "download/download_platform_win.h"
#include "download/download_thread_win.h"
#include "download/http_downloader.h"
#include "download/status_message.h"
#include "download/window_status_sink_win.h"
#include "download/wininet_session_win.h"
#include "download/internet_handle_win.h"
#include "win/code_page.h"
#include "win/handles.h"

#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const UINT kChunkMessage = WM_APP + 1;
std::string g_lastStatus;  // what the dialog keeps: a copy of every text
uint64_t g_platformBytes = 0;

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == tavrin::StatusMessageId()) {
        g_lastStatus = reinterpret_cast<const char*>(lParam);
        return 0;
    }
    if (msg == kChunkMessage) {
        g_platformBytes += wParam;
        return 0;
    }
    return ::DefWindowProcA(hwnd, msg, wParam, lParam);
}

HWND MakeWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.lpszClassName = "DownloadBench";
    ::RegisterClassA(&wc);
    return ::CreateWindowA("DownloadBench", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                           wc.hInstance, nullptr);
}

// Pumps this thread's messages (the worker's sends among them) until the thread ends.
void PumpUntilEnded(HANDLE thread) {
    for (;;) {
        DWORD r = ::MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) return;
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
    }
}

double Seconds(LARGE_INTEGER from) {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

struct PlatformRun {
    std::string url;
    HWND window;
    bool ok = false;
};

DWORD WINAPI PlatformLoop(void* param) {
    auto* run = static_cast<PlatformRun*>(param);
    win::InternetHandle session(
        ::InternetOpenA("Tavrin", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session) return 1;
    win::InternetHandle request(::InternetOpenUrlA(session.get(), run->url.c_str(), nullptr, 0,
                                                  tavrin::kOpenUrlFlags, 1));
    if (!request) return 1;
    static char buffer[4096];
    DWORD got = 0;
    while (::InternetReadFile(request.get(), buffer, 4095, &got) && got)
        ::SendMessageA(run->window, kChunkMessage, got, reinterpret_cast<LPARAM>(buffer));
    run->ok = true;
    return 0;
}

SIZE_T PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters)) return 0;
    return counters.PeakWorkingSetSize;
}

int Engine(const std::vector<std::string>& urls, const std::string& folder) {
    HWND window = MakeWindow();
    auto downloader = std::make_shared<tavrin::CHttpDownloader>(
        std::make_shared<tavrin::WinDownloadPlatform>());
    // The folder comes in the ANSI code page, as an argument; the engine takes UTF-8.
    downloader->SetTarget(tavrin::WindowStatusSink::For(window), "Tavrin",
                          win::WideToUtf8(win::AnsiToWide(folder)));
    for (const std::string& url : urls) downloader->AddURL(url);
    LARGE_INTEGER start;
    ::QueryPerformanceCounter(&start);
    win::Handle thread = tavrin::BeginDownloadThread(downloader);
    if (!thread) return 1;
    PumpUntilEnded(thread.get());
    double seconds = Seconds(start);
    if (g_lastStatus != "Download Files Complete!") {
        std::fprintf(stderr, "engine: %s\n", g_lastStatus.c_str());
        return 1;
    }
    uint64_t bytes = 0;
    for (const std::string& url : urls) {
        const std::string path = folder + url.substr(url.rfind('/') + 1);
        WIN32_FILE_ATTRIBUTE_DATA data = {};
        ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
        bytes += (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        ::DeleteFileA(path.c_str());
    }
    std::printf("bytes %llu seconds %.3f peak %llu\n", static_cast<unsigned long long>(bytes),
                seconds, static_cast<unsigned long long>(PeakWorkingSet()));
    return 0;
}

int Platform(const std::string& url) {
    PlatformRun run{url, MakeWindow()};
    LARGE_INTEGER start;
    ::QueryPerformanceCounter(&start);
    win::Handle thread(::CreateThread(nullptr, 0, PlatformLoop, &run, 0, nullptr));
    if (!thread) return 1;
    PumpUntilEnded(thread.get());
    double seconds = Seconds(start);
    if (!run.ok) return 1;
    std::printf("bytes %llu seconds %.3f peak %llu\n",
                static_cast<unsigned long long>(g_platformBytes), seconds,
                static_cast<unsigned long long>(PeakWorkingSet()));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "engine") == 0)
        return Engine(std::vector<std::string>(argv + 2, argv + argc - 1), argv[argc - 1]);
    if (argc == 3 && std::strcmp(argv[1], "platform") == 0) return Platform(argv[2]);
    std::fprintf(stderr, "usage: download_bench engine URL... FOLDER\\ | platform URL\n");
    return 2;
}
