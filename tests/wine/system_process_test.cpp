// Running-client detection and termination against real processes under Wine. The Tool Help
// scan finds a running stand-in client by its exact name and id; the performance-data path meets
// Wine's answers (a counter list without the process object, an empty PERF block) and finds
// nothing, so on NT versions StopRunningProcess falls back to Tool Help. StopRunningProcess runs in a child copy of this program started under another
// Windows version setting of the prefix; the test answers its message box.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "system/perf_data.h"
#include "system/process_win.h"
#include "tests/wine/support.h"

namespace {

using tavrin::ProcessEntry;

constexpr DWORD kDeadlineMs = 20000;
constexpr uint32_t kUnwritten = 0xdeadbeef;

// A copy of the stand-in client running from a folder of its own, ended by its own handle.
class RunningClient {
public:
    RunningClient() : m_dir(L"client") {}
    ~RunningClient() {
        if (m_process && Running()) {
            ::TerminateProcess(m_process.get(), 99);
            ::WaitForSingleObject(m_process.get(), kDeadlineMs);
        }
    }

    bool Running() const { return ::WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT; }
    // The exit code once it has ended within the deadline, kUnwritten otherwise.
    DWORD WaitForEnd(DWORD timeoutMs) const {
        if (::WaitForSingleObject(m_process.get(), timeoutMs) != WAIT_OBJECT_0) return kUnwritten;
        DWORD code = kUnwritten;
        ::GetExitCodeProcess(m_process.get(), &code);
        return code;
    }

    ::testing::AssertionResult Start() {
        if (!m_dir.ok()) return ::testing::AssertionFailure() << "no temporary folder";
        const std::wstring exe = m_dir.file(L"Orbisan.exe");
        if (!::CopyFileW(wt::BinPath(L"testclient\\Orbisan.exe").c_str(), exe.c_str(), FALSE))
            return ::testing::AssertionFailure() << "copy failed: " << ::GetLastError();
        std::wstring commandLine = L"\"" + exe + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &si, &pi))
            return ::testing::AssertionFailure() << "CreateProcess failed: " << ::GetLastError();
        ::CloseHandle(pi.hThread);
        m_process.attach(pi.hProcess);
        m_id = pi.dwProcessId;
        // Started means its window is up.
        const DWORD id = m_id;
        if (!wt::PumpUntil(
                [id] {
                    for (HWND w : wt::FindTopWindows(L"Orbisan")) {
                        DWORD owner = 0;
                        ::GetWindowThreadProcessId(w, &owner);
                        if (owner == id) return true;
                    }
                    return false;
                },
                kDeadlineMs))
            return ::testing::AssertionFailure() << "the client showed no window";
        return ::testing::AssertionSuccess();
    }

    DWORD id() const { return m_id; }

private:
    wt::TempDir m_dir;
    win::Handle m_process;
    DWORD m_id = 0;
};

std::vector<ProcessEntry> Sentinels(size_t n) {
    std::vector<ProcessEntry> entries(n);
    for (ProcessEntry& e : entries) {
        e.processId = kUnwritten;
        std::memset(e.name, 'Z', sizeof e.name);
    }
    return entries;
}

const ProcessEntry* FindId(const std::vector<ProcessEntry>& entries, size_t count, DWORD id) {
    for (size_t i = 0; i < count; ++i)
        if (entries[i].processId == id) return &entries[i];
    return nullptr;
}

TEST(ToolhelpScan, FindsTheRunningClientAndThisProgramByFileName) {
    RunningClient client;
    ASSERT_TRUE(client.Start());
    std::vector<ProcessEntry> entries = Sentinels(tavrin::kScanCapacity + 1);
    const size_t count = tavrin::ScanProcessesToolhelp(entries.data(), tavrin::kScanCapacity);
    ASSERT_GE(count, 2u);
    ASSERT_LE(count, tavrin::kScanCapacity);
    EXPECT_EQ(entries[tavrin::kScanCapacity].processId, kUnwritten);

    const ProcessEntry* found = FindId(entries, count, client.id());
    ASSERT_NE(found, nullptr) << "client pid " << client.id();
    EXPECT_STREQ(found->name, "Orbisan.exe");
    const ProcessEntry* self = FindId(entries, count, ::GetCurrentProcessId());
    ASSERT_NE(self, nullptr);
    EXPECT_STREQ(self->name, "system_process_test.exe");
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(std::strchr(entries[i].name, '\\'), nullptr) << entries[i].name;
        EXPECT_NE(std::memchr(entries[i].name, '\0', sizeof entries[i].name), nullptr);
    }
}

TEST(ToolhelpScan, FillsNoMoreThanItsCapacity) {
    const size_t all = [] {
        std::vector<ProcessEntry> entries = Sentinels(tavrin::kScanCapacity);
        return tavrin::ScanProcessesToolhelp(entries.data(), entries.size());
    }();
    ASSERT_GE(all, 3u) << "Wine runs services of its own besides this program";
    // Wine's own services may come or go between scans, so the last row allows for one.
    const struct {
        size_t capacity, least, most;
    } rows[] = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {all - 2, all - 2, all - 2},
                {all + 5, all - 1, all + 5}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.capacity);
        std::vector<ProcessEntry> entries = Sentinels(row.capacity + 1);
        const size_t count = tavrin::ScanProcessesToolhelp(entries.data(), row.capacity);
        EXPECT_GE(count, row.least);
        EXPECT_LE(count, row.most);
        EXPECT_EQ(entries[row.capacity].processId, kUnwritten);
    }
    EXPECT_EQ(tavrin::ScanProcessesToolhelp(nullptr, 10), 0u);
}

// Wine's performance data list no process: the scan finds nothing and the check falls back
// to Tool Help (below).
TEST(PerfDataScan, FindsNothingWhileTheClientRuns) {
    RunningClient client;
    ASSERT_TRUE(client.Start());
    std::vector<ProcessEntry> entries = Sentinels(tavrin::kScanCapacity + 1);
    EXPECT_EQ(tavrin::ScanProcessesPerfData(entries.data(), tavrin::kScanCapacity), 0u);
    EXPECT_EQ(entries[0].processId, kUnwritten);
    EXPECT_EQ(tavrin::ScanProcessesPerfData(entries.data(), 1), 0u);
}

// ---- StopRunningProcess in a child under another Windows version ----------------------

const char kOwnerCaption[] = "system test owner";
const wchar_t kBoxCaption[] = L"Velmora Orbisan";
const wchar_t kAskText[] =
    L"Velmora 바둑이 이미 실행중입니다.\r\n\r\n이 실행중인 Velmora 바둑 프로그램을 강제로 "
    L"종료하고\r\n\r\n업그레이드를 하시겠습니까?";
constexpr int kChildBias = 100;  // child exit code = result + 100, so -1 stays positive
constexpr DWORD kChildDeadlineMs = 30000;

// What the download worker does: StopRunningProcess on a worker thread, with a window of the
// pumping thread as the owner of its questions.
int ChildStop() {
    HWND owner = ::CreateWindowExA(0, "STATIC", kOwnerCaption, WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                   0, 0, 300, 100, nullptr, nullptr, nullptr, nullptr);
    if (!owner) return 1;
    std::atomic<bool> done{false};
    int result = 0;
    std::thread worker([&] {
        result = tavrin::StopRunningProcess(owner, "Orbisan.exe");
        done = true;
    });
    // The test ends a child that hangs; this bound only keeps a lost one from living on.
    wt::PumpUntil([&] { return done.load(); }, 120000);
    worker.join();
    // The window goes with the process: hiding a shown window costs Wine two seconds of waiting
    // for the display.
    return kChildBias + result;
}

// 0 when the Tool Help scan lists the process pid as "Orbisan.exe", 1 when it lists it under
// another name, 2 when not at all.
int ChildToolhelp(DWORD pid) {
    std::vector<ProcessEntry> entries(tavrin::kScanCapacity);
    const size_t count = tavrin::ScanProcessesToolhelp(entries.data(), entries.size());
    const ProcessEntry* found = FindId(entries, count, pid);
    if (!found) return 2;
    return std::strcmp(found->name, "Orbisan.exe") == 0 ? 0 : 1;
}

int RunChild(int argc, char** argv) {
    const std::string mode = argv[1];
    if (mode == "--child-stop") return ChildStop();
    if (mode == "--child-toolhelp" && argc > 2)
        return ChildToolhelp(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    return 3;
}

std::wstring SelfCommand(const std::wstring& arguments) {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return L"\"" + std::wstring(path) + L"\" " + arguments;
}

// A child copy of this program, ended by its own handle if it outlives the test.
class Child {
public:
    explicit Child(const std::wstring& arguments) {
        std::wstring commandLine = SelfCommand(arguments);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &si, &pi)) {
            ::CloseHandle(pi.hThread);
            m_process.attach(pi.hProcess);
            m_id = pi.dwProcessId;
        }
    }
    ~Child() {
        if (m_process && !Ended()) {
            ::TerminateProcess(m_process.get(), 98);
            ::WaitForSingleObject(m_process.get(), kDeadlineMs);
        }
    }
    bool started() const { return static_cast<bool>(m_process); }
    DWORD id() const { return m_id; }
    bool Ended() const { return ::WaitForSingleObject(m_process.get(), 0) == WAIT_OBJECT_0; }
    DWORD ExitCode(DWORD timeoutMs) const {
        if (::WaitForSingleObject(m_process.get(), timeoutMs) != WAIT_OBJECT_0) return kUnwritten;
        DWORD code = kUnwritten;
        ::GetExitCodeProcess(m_process.get(), &code);
        return code;
    }

private:
    win::Handle m_process;
    DWORD m_id = 0;
};

// The question box of process pid, once it shows (nullptr if the process ends first).
HWND WaitForQuestion(const Child& child) {
    HWND box = nullptr;
    wt::PumpUntil(
        [&] {
            for (HWND w : wt::FindTopWindows(kBoxCaption)) {
                DWORD pid = 0;
                ::GetWindowThreadProcessId(w, &pid);
                wchar_t cls[16] = {};
                ::GetClassNameW(w, cls, 16);
                if (pid == child.id() && std::wcscmp(cls, L"#32770") == 0 && ::IsWindowVisible(w))
                    box = w;
            }
            return box != nullptr || child.Ended();
        },
        kChildDeadlineMs);
    return box;
}

std::wstring BoxText(HWND box) {
    wchar_t text[512] = {};
    ::GetDlgItemTextW(box, 0xFFFF, text, 512);  // the text control of a message box
    return text;
}

std::string OwnerCaption(HWND box) {
    char caption[64] = {};
    ::GetWindowTextA(::GetWindow(box, GW_OWNER), caption, 64);
    return caption;
}

void Answer(HWND box, int button) {
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, button)));
}

TEST(StopRunningProcess, Windows98ToolhelpScanFindsTheClientByItsExactName) {
    RunningClient client;
    ASSERT_TRUE(client.Start());
    wt::WineVersion version(L"win98");
    ASSERT_TRUE(version.ok());
    DWORD code = kUnwritten;
    ASSERT_TRUE(wt::RunProcess(SelfCommand(L"--child-toolhelp " + std::to_wstring(client.id())),
                               kChildDeadlineMs, &code));
    EXPECT_EQ(code, 0u) << "1: another name, 2: not listed";
}

TEST(StopRunningProcess, Windows98AnsweredYesEndsTheClient) {
    RunningClient client;
    ASSERT_TRUE(client.Start());
    wt::WineVersion version(L"win98");
    ASSERT_TRUE(version.ok());
    Child child(L"--child-stop");
    ASSERT_TRUE(child.started());

    HWND box = WaitForQuestion(child);
    ASSERT_NE(box, nullptr) << "no question; the child ended with " << child.ExitCode(0);
    EXPECT_EQ(wt::Narrow(BoxText(box)), wt::Narrow(kAskText));
    EXPECT_EQ(OwnerCaption(box), kOwnerCaption);
    EXPECT_NE(::GetDlgItem(box, IDYES), nullptr);
    EXPECT_NE(::GetDlgItem(box, IDNO), nullptr);
    Answer(box, IDYES);

    EXPECT_EQ(child.ExitCode(kChildDeadlineMs), kChildBias + 1u);
    EXPECT_EQ(client.WaitForEnd(kDeadlineMs), 1u) << "ended by TerminateProcess(handle, 1)";
}

TEST(StopRunningProcess, Windows98AnsweredNoLeavesTheClientRunning) {
    RunningClient client;
    ASSERT_TRUE(client.Start());
    wt::WineVersion version(L"win98");
    ASSERT_TRUE(version.ok());
    Child child(L"--child-stop");
    ASSERT_TRUE(child.started());

    HWND box = WaitForQuestion(child);
    ASSERT_NE(box, nullptr) << "no question; the child ended with " << child.ExitCode(0);
    Answer(box, IDNO);

    EXPECT_EQ(child.ExitCode(kChildDeadlineMs), kChildBias - 1u);
    EXPECT_TRUE(client.Running());
}

TEST(StopRunningProcess, Windows98TwoClientsOnlyOneIsEnded) {
    RunningClient first, second;
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    wt::WineVersion version(L"win98");
    ASSERT_TRUE(version.ok());
    Child child(L"--child-stop");
    ASSERT_TRUE(child.started());

    HWND box = WaitForQuestion(child);
    ASSERT_NE(box, nullptr) << "no question; the child ended with " << child.ExitCode(0);
    Answer(box, IDYES);
    ASSERT_EQ(child.ExitCode(kChildDeadlineMs), kChildBias + 1u);

    // The routine does not wait for the end; give the one it ended time to go.
    ASSERT_TRUE(wt::PumpUntil([&] { return !first.Running() || !second.Running(); }, kDeadlineMs));
    EXPECT_NE(first.Running(), second.Running());
}

TEST(StopRunningProcess, NtVersionsFallBackToToolhelpWhenThePerformanceDataListNothing) {
    // Wine's performance data list no process (see PerfDataScan), as on a Windows whose
    // counters are disabled: the running client is still found, through Tool Help, and the
    // user is asked. Answered No, so the client runs on for the next version.
    RunningClient client;
    ASSERT_TRUE(client.Start());
    for (const wchar_t* name : {L"winxp", L"win2k", L"win7"}) {
        SCOPED_TRACE(wt::Narrow(name));
        wt::WineVersion version(name);
        ASSERT_TRUE(version.ok());
        Child child(L"--child-stop");
        ASSERT_TRUE(child.started());

        HWND box = WaitForQuestion(child);
        ASSERT_NE(box, nullptr) << "no question; the child ended with " << child.ExitCode(0);
        EXPECT_EQ(wt::Narrow(BoxText(box)), wt::Narrow(kAskText));
        Answer(box, IDNO);

        EXPECT_EQ(child.ExitCode(kChildDeadlineMs), kChildBias - 1u);
        EXPECT_TRUE(client.Running());
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strncmp(argv[1], "--child-", 8) == 0) return RunChild(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
