// The download engine as the product runs it (WinINet, UWM_STATUS sent to a window on this
// thread, the worker thread) against the local test servers on 127.0.0.1, which
// tests/http/run-with-servers starts around this program.
#include "download/download_platform_win.h"
#include "download/download_thread_win.h"
#include "download/http_downloader.h"
#include "download/status_message.h"
#include "download/window_status_sink_win.h"
#include "resources/window_messages.h"
#include "system/process_win.h"
#include "tests/wine/support.h"
#include "updater/update_worker_win.h"
#include "win/code_page.h"
#include "download/internet_handle_win.h"
#include "win/handles.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

using namespace tavrin;

namespace {

std::string Env(const char* name) {
    char value[1024] = {};
    DWORD n = ::GetEnvironmentVariableA(name, value, sizeof value);
    return n && n < sizeof value ? std::string(value, n) : std::string();
}

// Wine shows the Linux root as drive Z:.
std::wstring FromLinux(const std::string& path) {
    std::wstring wide = wt::Wide(path);
    for (wchar_t& c : wide) if (c == L'/') c = L'\\';
    return L"Z:" + wide;
}

const std::string kBig = "44000000";  // above 42,949,672: the percent's product needs 64 bits
char PatternByte(uint64_t i) { return static_cast<char>(i % 251); }

std::string SomeBytes(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed + (i >> 7)) & 0xFF);
    return s;
}

// Everything that reaches this thread, in order; the running-client check runs on the worker.
std::mutex g_eventsLock;
std::vector<std::string> g_events;
void Event(const std::string& e) {
    std::lock_guard<std::mutex> hold(g_eventsLock);
    g_events.push_back(e);
}

// What the status window answers when the worker asks about a running client.
LRESULT g_answer = kAnswerNo;
DWORD g_askedOn = 0;  // the thread that answered

struct Status {
    WPARAM wParam;
    int code;
    int percent;
    std::string text;
};

// A window of this thread that records UWM_STATUS and the animation's ACM_PLAY.
class Receiver {
public:
    Receiver() {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"DownloadTestReceiver";
        ::RegisterClassW(&wc);  // a second registration fails harmlessly
        m_hwnd.attach(::CreateWindowW(L"DownloadTestReceiver", L"", WS_OVERLAPPED, 0, 0, 10, 10,
                                     nullptr, nullptr, wc.hInstance, nullptr));
        ::SetWindowLongPtrW(m_hwnd.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    HWND hwnd() const { return m_hwnd.get(); }

    std::vector<Status> statuses;
    std::function<void(const Status&)> onStatus;
    std::vector<int> Codes() const {
        std::vector<int> codes;
        for (const Status& s : statuses) codes.push_back(s.code);
        return codes;
    }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Receiver*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        if (self && msg == StatusMessageId()) {
            Status s{wParam, LOWORD(wParam), HIWORD(wParam), reinterpret_cast<const char*>(lParam)};
            self->statuses.push_back(s);
            Event("status " + std::to_string(s.code));
            if (self->onStatus) self->onStatus(s);
            return 0;
        }
        if (self && msg == WM_ASK_RUNNING_CLIENT) {
            g_askedOn = ::GetCurrentThreadId();
            Event("asked " + std::to_string(wParam));
            return g_answer;
        }
        if (self && msg == 0x0465) {  // ACM_PLAY
            char line[64];
            std::snprintf(line, sizeof line, "play %08lX %08lX", static_cast<unsigned long>(wParam),
                          static_cast<unsigned long>(lParam));
            Event(line);
            return TRUE;
        }
        return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    win::OwnedWindow m_hwnd;
};

class DownloadHttp : public ::testing::Test {
protected:
    void SetUp() override {
        m_configUrl = Env("TAVRIN_TEST_CONFIG_URL");
        m_packageUrl = Env("TAVRIN_TEST_PACKAGE_URL");
        ASSERT_FALSE(m_configUrl.empty()) << "run through tests/http/run-with-servers";
        ASSERT_TRUE(m_target.ok());
        m_targetDir = win::WideToUtf8(m_target.path()) + "\\";
        m_downloader = std::make_shared<CHttpDownloader>(std::make_shared<WinDownloadPlatform>());
        // Each transfer here ends as its first try does; the tries again are the engine's own
        // tests' and the updater's.
        m_downloader->SetRetryPolicy(0, 0);
        m_sink = WindowStatusSink::For(m_receiver.hwnd());
        m_downloader->SetTarget(m_sink, "Dunmere", m_targetDir);
        g_answer = kAnswerNo;
        g_askedOn = 0;
        std::lock_guard<std::mutex> hold(g_eventsLock);
        g_events.clear();
    }
    void TearDown() override { g_busyAnimation = nullptr; }

    void Serve(const char* host, const std::string& name, const std::string& bytes) {
        std::string root = Env(host);
        ASSERT_TRUE(wt::WriteFileBytes(FromLinux(root + "/" + name), bytes));
    }
    std::string Config(const std::string& path) { return m_configUrl + "/" + path; }
    std::string Package(const std::string& path) { return m_packageUrl + "/" + path; }
    std::wstring Local(const std::string& name) { return m_target.file(wt::Wide(name)); }

    // Runs one batch on a worker thread, pumping this thread's messages until it ends.
    ::testing::AssertionResult Run(const std::vector<std::string>& urls,
                                   const std::function<void()>& whilePumping = nullptr) {
        for (const std::string& url : urls) m_downloader->AddURL(url);
        win::Handle thread = BeginUpdaterWorker(m_downloader);
        if (!thread) return ::testing::AssertionFailure() << "no thread";
        bool ended = wt::PumpUntil(
            [&] {
                if (whilePumping) whilePumping();
                return ::WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0;
            },
            120000);
        if (!ended) return ::testing::AssertionFailure() << "the batch did not end in time";
        return ::testing::AssertionSuccess();
    }

    std::string m_configUrl, m_packageUrl;
    // A folder no ANSI code page names (Thai and Korean): local paths go as UTF-8.
    wt::TempDir m_target{L"ไทย 바둑"};
    std::string m_targetDir;
    Receiver m_receiver;
    std::shared_ptr<WindowStatusSink> m_sink;
    std::shared_ptr<CHttpDownloader> m_downloader;
};

uint64_t ReadCount(const std::string& text) {
    size_t at = text.find(" - Read ");
    return at == std::string::npos ? ~0ull : std::stoull(text.substr(at + 8));
}

TEST_F(DownloadHttp, BatchOfSeveralFilesWithOneAboveFortyTwoMegabytes) {
    const std::string a = SomeBytes(10000, 1), b = SomeBytes(4095, 2);
    Serve("TAVRIN_TEST_PACKAGE_ROOT", "a.lzf", a);
    Serve("TAVRIN_TEST_PACKAGE_ROOT", "b.lzf", b);
    Serve("TAVRIN_TEST_PACKAGE_ROOT", "empty.lzf", "");
    Receiver animation;
    g_busyAnimation = animation.hwnd();
    ASSERT_TRUE(Run({Package("a.lzf"), Package("empty.lzf"), Package("_/big=" + kBig + "/big.lzf"),
                     Package("b.lzf")}));

    // No client runs, so nothing is asked: the animation, then the statuses.
    ASSERT_GE(g_events.size(), 2u);
    EXPECT_EQ(g_events[0], "play FFFFFFFF FFFF0000");
    EXPECT_EQ(g_events[1], "status 5");

    // Per file: 5, then 4 for every chunk, then 6; the batch ends with 7.
    std::vector<std::string> files;
    uint64_t total = 0, previous = 0;
    for (const Status& s : m_receiver.statuses) {
        EXPECT_EQ(s.wParam, MAKEWPARAM(s.code, s.percent));
        if (s.code == 5) {
            files.push_back(s.text.substr(0, s.text.find(' ')));
            total = files.back() == "a.lzf" ? a.size() : files.back() == "b.lzf" ? b.size()
                  : files.back() == "big.lzf" ? std::stoull(kBig) : 0;
            previous = 0;
            EXPECT_EQ(s.text, files.back() + " - Downloading...");
        } else if (s.code == 4) {
            uint64_t count = ReadCount(s.text);
            EXPECT_GT(count, previous);
            EXPECT_LE(count - previous, 4095u);
            EXPECT_EQ(static_cast<uint64_t>(s.percent), count * 100 / total) << s.text;
            previous = count;
        } else if (s.code == 6) {
            EXPECT_EQ(previous, total);
            EXPECT_EQ(s.text, files.back() + " - Download End!");
        } else {
            EXPECT_EQ(s.code, 7);
        }
    }
    EXPECT_EQ(files, (std::vector<std::string>{"a.lzf", "empty.lzf", "big.lzf", "b.lzf"}));
    ASSERT_FALSE(m_receiver.statuses.empty());
    EXPECT_EQ(m_receiver.statuses.back().text, "Download Files Complete!");
    EXPECT_EQ(m_receiver.Codes()[m_receiver.Codes().size() - 2], 6);

    EXPECT_EQ(wt::ReadFileBytes(Local("a.lzf")).value_or("missing"), a);
    EXPECT_EQ(wt::ReadFileBytes(Local("b.lzf")).value_or("missing"), b);
    EXPECT_EQ(wt::ReadFileBytes(Local("empty.lzf")).value_or("missing"), "");
    win::FileHandle big(::CreateFileW(Local("big.lzf").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(big);
    std::vector<char> chunk(1 << 20);
    uint64_t at = 0, wrong = 0;
    DWORD got = 0;
    while (::ReadFile(big.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) &&
           got) {
        for (DWORD i = 0; i < got; ++i, ++at) wrong += chunk[i] != PatternByte(at);
    }
    EXPECT_EQ(at, std::stoull(kBig));
    EXPECT_EQ(wrong, 0u);
    big.close();
    ::DeleteFileW(Local("big.lzf").c_str());
}

TEST_F(DownloadHttp, ErrorPagesAndMissingLengthsAreInvalidAndNeverStored) {
    Serve("TAVRIN_TEST_PACKAGE_ROOT", "x.lzf", SomeBytes(3000, 3));
    for (const char* fault : {"status=404", "status=500", "no-length"}) {
        SCOPED_TRACE(fault);
        m_receiver.statuses.clear();
        ASSERT_TRUE(wt::WriteFileBytes(Local("x.lzf"), "old"));
        ASSERT_TRUE(Run({Package(std::string("_/") + fault + "/x.lzf")}));
        EXPECT_EQ(m_receiver.Codes(), (std::vector<int>{5, 9, 8}));
        if (m_receiver.statuses.size() == 3) {
            EXPECT_EQ(m_receiver.statuses[1].text, "x.lzf is Invalid!");
            EXPECT_EQ(m_receiver.statuses[2].text, "Download Error Close!");
        }
        EXPECT_EQ(wt::ReadFileBytes(Local("x.lzf")).value_or("missing"), "old");
    }
    m_receiver.statuses.clear();
    ASSERT_TRUE(Run({Package("nothing-here.lzf")}));  // the server's own 404
    EXPECT_EQ(m_receiver.Codes(), (std::vector<int>{5, 9, 8}));
    EXPECT_FALSE(wt::FileExists(Local("nothing-here.lzf")));
}

TEST_F(DownloadHttp, NonNumericLengthCountsAsZeroSoEveryChunkIsAHundredPercent) {
    const std::string body = SomeBytes(9000, 4);
    Serve("TAVRIN_TEST_PACKAGE_ROOT", "n.lzf", body);
    ASSERT_TRUE(Run({Package("_/bad-length=abc/n.lzf")}));
    std::vector<int> codes = m_receiver.Codes();
    ASSERT_GE(codes.size(), 4u);
    EXPECT_EQ(codes.front(), 5);
    EXPECT_EQ(std::vector<int>(codes.end() - 2, codes.end()), (std::vector<int>{6, 7}));
    for (const Status& s : m_receiver.statuses) {
        if (s.code == 4) {
            EXPECT_EQ(s.percent, 100) << s.text;
        }
    }
    EXPECT_EQ(wt::ReadFileBytes(Local("n.lzf")).value_or("missing"), body);
}

TEST_F(DownloadHttp, ServerClosingMidBodyIsANetworkErrorThatKeepsThePartFile) {
    const std::string body = SomeBytes(100000, 5), next = SomeBytes(100, 6);
    Serve("TAVRIN_TEST_PACKAGE_ROOT", "cut.lzf", body);
    Serve("TAVRIN_TEST_PACKAGE_ROOT", "next.lzf", next);
    // Side by side, as the updater fetches its packages: whatever next.lzf does beside it, the
    // cut is the batch's one failure and its last word.
    m_downloader->SetLanes(kMaxLanes);
    m_downloader->LimitSize(Package("_/cut=10000/cut.lzf"), body.size());
    m_downloader->LimitSize(Package("next.lzf"), next.size());
    ASSERT_TRUE(Run({Package("_/cut=10000/cut.lzf"), Package("next.lzf")}));
    std::vector<int> codes;
    for (const Status& s : m_receiver.statuses)
        if (s.text.rfind("cut.lzf", 0) == 0) codes.push_back(s.code);
    ASSERT_GE(codes.size(), 3u);
    EXPECT_EQ(codes.front(), 5);
    EXPECT_EQ(codes.back(), 1);
    for (size_t i = 1; i + 1 < codes.size(); ++i) EXPECT_EQ(codes[i], 4);
    const std::vector<int> all = m_receiver.Codes();
    EXPECT_EQ(all.back(), 1);  // and no 8: the session is gone
    EXPECT_EQ(std::count(all.begin(), all.end(), 1), 1);
    EXPECT_EQ(m_receiver.statuses.back().text.rfind("cut.lzf - ", 0), 0u);
    EXPECT_GT(m_receiver.statuses.back().text.size(), std::string("cut.lzf - ").size());
    EXPECT_EQ(wt::ReadFileBytes(Local("cut.lzf")).value_or("missing"), body.substr(0, 10000));
    // The other file is whole, a begun part kept for the next visit, or not there: never
    // bytes that are not its own.
    const std::string other = wt::ReadFileBytes(Local("next.lzf")).value_or(next);
    EXPECT_EQ(next.substr(0, other.size()), other);

    // The next batch opens a fresh session.
    m_receiver.statuses.clear();
    ASSERT_TRUE(Run({Package("next.lzf")}));
    EXPECT_EQ(m_receiver.Codes(), (std::vector<int>{5, 4, 6, 7}));
}

TEST_F(DownloadHttp, StopOnASlowServerLandsWithinOneChunk) {
    const std::string slow = "_/big=20000000,trickle=4095,interval=20/slow.lzf";
    // From the status handler: the worker finds the flag before its next read.
    m_receiver.onStatus = [&](const Status& s) {
        if (s.code == 4 && ReadCount(s.text) >= 3 * 4095) m_downloader->SetStop(true);
    };
    ASSERT_TRUE(Run({Package(slow), Package("never.lzf")}));
    std::vector<int> codes = m_receiver.Codes();
    ASSERT_GE(codes.size(), 4u);
    EXPECT_EQ(std::vector<int>(codes.end() - 3, codes.end()), (std::vector<int>{4, 3, 8}));
    EXPECT_EQ(m_receiver.statuses[codes.size() - 2].text, "User Stop!");
    uint64_t stored = ReadCount(m_receiver.statuses[codes.size() - 3].text);
    EXPECT_EQ(wt::ReadFileBytes(Local("slow.lzf")).value_or("").size(), stored);

    // From outside any handler, while the worker waits in a read: at most one more chunk.
    auto second = std::make_shared<CHttpDownloader>(std::make_shared<WinDownloadPlatform>());
    second->SetTarget(m_sink, "Dunmere", m_targetDir);
    m_downloader = second;
    m_receiver.statuses.clear();
    m_receiver.onStatus = nullptr;
    size_t progressAtStop = 0;
    ASSERT_TRUE(Run({Package(slow)}, [&] {
        size_t progress = 0;
        for (const Status& s : m_receiver.statuses) progress += s.code == 4;
        if (!progressAtStop && progress >= 3) {
            progressAtStop = progress;
            second->SetStop(true);
        }
    }));
    size_t progress = 0;
    for (const Status& s : m_receiver.statuses) progress += s.code == 4;
    EXPECT_LE(progress, progressAtStop + 1);
    codes = m_receiver.Codes();
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(std::vector<int>(codes.end() - 2, codes.end()), (std::vector<int>{3, 8}));

    // A server sending a byte a second: the stop ends the read waiting for the next bytes,
    // and the batch, at once.
    auto third = std::make_shared<CHttpDownloader>(std::make_shared<WinDownloadPlatform>());
    third->SetTarget(m_sink, "Dunmere", m_targetDir);
    m_downloader = third;
    m_receiver.statuses.clear();
    const DWORD start = ::GetTickCount();
    DWORD stoppedAt = 0;
    ASSERT_TRUE(Run({Package("_/big=100000,trickle=1,interval=1000/crawl.lzf")}, [&] {
        if (!stoppedAt && ::GetTickCount() - start > 2500) {
            stoppedAt = ::GetTickCount();
            third->SetStop(true);
        }
    }));
    EXPECT_LT(::GetTickCount() - stoppedAt, 2000u);
    codes = m_receiver.Codes();
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(std::vector<int>(codes.end() - 2, codes.end()), (std::vector<int>{3, 8}));
}

TEST_F(DownloadHttp, PackageBatchCarriesTheConfigurationSessionsAgentUntilAFailure) {
    ASSERT_TRUE(Run({Config("_/agent/agent1.txt")}));
    m_downloader->SetTarget(m_sink, "Tavrin", m_targetDir);
    ASSERT_TRUE(Run({Package("_/agent/agent2.txt")}));
    EXPECT_EQ(wt::ReadFileBytes(Local("agent1.txt")).value_or(""), "Dunmere");
    EXPECT_EQ(wt::ReadFileBytes(Local("agent2.txt")).value_or(""), "Dunmere");
    ASSERT_TRUE(Run({Package("_/big=5000,cut=10/broken.lzf")}));  // closes the session
    ASSERT_TRUE(Run({Package("_/agent/agent3.txt")}));
    EXPECT_EQ(wt::ReadFileBytes(Local("agent3.txt")).value_or(""), "Tavrin");
}

TEST_F(DownloadHttp, LocalFileThatCannotBeCreatedIsAFileError) {
    Serve("TAVRIN_TEST_PACKAGE_ROOT", "f.lzf", "x");
    m_downloader->SetTarget(m_sink, "Dunmere", m_targetDir + "no such folder\\");
    ASSERT_TRUE(Run({Package("f.lzf"), Package("f.lzf")}));
    ASSERT_EQ(m_receiver.Codes(), (std::vector<int>{5, 2}));
    const std::string& text = m_receiver.statuses[1].text;
    EXPECT_EQ(text.rfind("f.lzf - ", 0), 0u);
    EXPECT_GT(text.size(), 8u);
    EXPECT_LE(text.size(), 8u + 254u);
}

// A client runs: the worker finds it and asks the status window's thread, which only answers.
// No keeps the client and sends code 10; Yes ends it and the batch runs.
TEST_F(DownloadHttp, RunningClientFoundByTheWorkerAndAnsweredOnTheWindowsThread) {
    const struct {
        const char* what;
        LRESULT answer;
        std::vector<std::string> events;
        bool clientRuns;
    } rows[] = {
        {"No", kAnswerNo, {"asked 1", "status 10"}, true},
        {"Yes", kAnswerYes, {"asked 1", "play FFFFFFFF FFFF0000", "status 5"}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        SetUp();
        Serve("TAVRIN_TEST_PACKAGE_ROOT", "r.lzf", "x");
        wt::TempDir clientDir(L"running");
        const std::wstring exe = clientDir.file(L"Orbisan.exe");
        ASSERT_TRUE(::CopyFileW(wt::BinPath(L"testclient\\Orbisan.exe").c_str(), exe.c_str(), FALSE));
        std::wstring command = L"\"" + exe + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        ASSERT_TRUE(::CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &si, &pi));
        ::CloseHandle(pi.hThread);
        win::Handle client(pi.hProcess);
        wt::PumpUntil([] { return !wt::FindTopWindows(L"Orbisan").empty(); }, 10000);
        Receiver animation;
        g_busyAnimation = animation.hwnd();
        g_answer = row.answer;
        ASSERT_TRUE(Run({Package("r.lzf")}));
        EXPECT_EQ(g_askedOn, ::GetCurrentThreadId());
        std::vector<std::string> events(g_events.begin(),
                                        g_events.begin() + std::min<size_t>(g_events.size(), 3));
        EXPECT_EQ(row.events, events);
        EXPECT_EQ(row.clientRuns, ::WaitForSingleObject(client.get(), 5000) == WAIT_TIMEOUT);
        EXPECT_EQ(!row.clientRuns, wt::FileExists(Local("r.lzf")));
        ::TerminateProcess(client.get(), 0);
        ::WaitForSingleObject(client.get(), 5000);
        ::DeleteFileW(Local("r.lzf").c_str());
    }
}

// A status window that is gone answers no question: the batch ends as after a refusal.
TEST_F(DownloadHttp, AQuestionWhoseWindowIsGoneIsARefusal) {
    Serve("TAVRIN_TEST_PACKAGE_ROOT", "w.lzf", "x");
    Receiver gone;
    auto sink = WindowStatusSink::For(gone.hwnd());
    m_downloader->SetTarget(sink, "Dunmere", m_targetDir);
    ::DestroyWindow(gone.hwnd());
    ASSERT_TRUE(Run({Package("w.lzf")}));
    EXPECT_TRUE(g_events.empty());
    EXPECT_FALSE(wt::FileExists(Local("w.lzf")));
}

TEST_F(DownloadHttp, TheProductsRunningClientCheckLetsTheBatchRunWhenNoClientRuns) {
    Serve("TAVRIN_TEST_PACKAGE_ROOT", "p.lzf", "package");
    m_downloader->AddURL(Package("p.lzf"));
    win::Handle thread = BeginUpdaterWorker(m_downloader);
    ASSERT_TRUE(thread);
    ASSERT_TRUE(wt::PumpUntil(
        [&] { return ::WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0; }, 60000));
    EXPECT_EQ(m_receiver.Codes(), (std::vector<int>{5, 4, 6, 7}));
    EXPECT_EQ(wt::ReadFileBytes(Local("p.lzf")).value_or("missing"), "package");
}

TEST_F(DownloadHttp, OwnerGoneMidBatchTheWorkerFinishesQuietly) {
    const std::string slow = "_/big=2000000,trickle=4095,interval=20/gone.lzf";
    win::Handle thread;
    {
        m_downloader->AddURL(Package(slow));
        thread = BeginUpdaterWorker(m_downloader);
        ASSERT_TRUE(thread);
        ASSERT_TRUE(wt::PumpUntil([&] { return m_receiver.statuses.size() >= 3; }, 30000));
        // The owner goes: it abandons the downloader and lets go of it without waiting.
        m_downloader->Abandon();
        m_downloader.reset();
    }
    size_t seen = m_receiver.statuses.size();
    ASSERT_TRUE(wt::PumpUntil(
        [&] { return ::WaitForSingleObject(thread.get(), 0) == WAIT_OBJECT_0; }, 30000));
    // A status the worker had already sent when the owner went may still arrive; nothing of
    // the rest of the 2 MB body does.
    EXPECT_LE(m_receiver.statuses.size(), seen + 1);
}

// The wrapper unregisters the status callback, so closing sends no HANDLE_CLOSING to it.
LONG g_closing = 0;
void CALLBACK CountClosing(HINTERNET, DWORD_PTR, DWORD status, LPVOID, DWORD) {
    if (status == INTERNET_STATUS_HANDLE_CLOSING) ::InterlockedIncrement(&g_closing);
}

TEST_F(DownloadHttp, InternetHandleUnregistersItsCallbackBeforeClosing) {
    Serve("TAVRIN_TEST_PACKAGE_ROOT", "h.lzf", "x");
    win::InternetHandle session(
        ::InternetOpenA("Dunmere", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    ASSERT_TRUE(session);
    ::InternetSetStatusCallbackA(session.get(), CountClosing);
    auto open = [&] {
        return ::InternetOpenUrlA(session.get(), Package("h.lzf").c_str(), nullptr, 0,
                                  INTERNET_FLAG_RELOAD, 1);
    };
    HINTERNET raw = open();
    ASSERT_NE(raw, nullptr);
    ::InternetCloseHandle(raw);
    EXPECT_EQ(g_closing, 1);  // without the wrapper the callback hears the closing

    win::InternetHandle wrapped(open());
    ASSERT_TRUE(wrapped);
    wrapped.close();
    EXPECT_FALSE(wrapped);
    EXPECT_EQ(g_closing, 1);
}

}  // namespace
