// StopRunningProcess: the decision of process_stop.cpp with the system's scans, message boxes
// and processes.
#include <windows.h>

#include <memory>

#include "libs/wexlog/wexlog.h"
#include "resources/player_texts.h"
#include "system/process_stop.h"
#include "system/process_win.h"
#include "win/boundary.h"
#include "win/code_page.h"
#include "win/handles.h"

namespace tavrin {

namespace {

// The full access right of the systems the client runs on (PROCESS_ALL_ACCESS before Vista).
constexpr DWORD kProcessAllAccess = 0x1F0FFF;

class SystemProcess : public OpenedProcess {
public:
    explicit SystemProcess(HANDLE process) : m_process(process) {}
    bool Terminate(unsigned exitCode) override {
        return ::TerminateProcess(m_process.get(), exitCode) != FALSE;
    }

private:
    win::Handle m_process;
};

class SystemScans : public ProcessScans {
public:
    size_t PerfData(ProcessEntry* entries, size_t capacity) override {
        return ScanProcessesPerfData(entries, capacity);
    }
    size_t Toolhelp(ProcessEntry* entries, size_t capacity) override {
        return ScanProcessesToolhelp(entries, capacity);
    }
    void Trace(const char* line) override { WexlogTrace("%s", line); }
};

class SystemStopOps : public StopOps {
public:
    SystemStopOps(StopDialogue& dialogue, bool ntPlatform)
        : m_dialogue(dialogue), m_ntPlatform(ntPlatform) {}

    size_t Scan(ProcessEntry* entries, size_t capacity) override {
        return ScanRunningProcesses(m_ntPlatform, m_scans, entries, capacity);
    }
    bool AskToEnd() override { return m_dialogue.AskToEnd(); }
    std::unique_ptr<OpenedProcess> Open(uint32_t processId) override {
        HANDLE process = ::OpenProcess(kProcessAllAccess, FALSE, processId);
        if (!process) return nullptr;
        return std::make_unique<SystemProcess>(process);
    }
    void ShowTerminateFailed() override { m_dialogue.ShowTerminateFailed(); }
    void Sleep(unsigned milliseconds) override { ::Sleep(milliseconds); }

private:
    StopDialogue& m_dialogue;
    bool m_ntPlatform;
    SystemScans m_scans;
};

class BoxDialogue : public StopDialogue {
public:
    explicit BoxDialogue(HWND owner) : m_owner(owner) {}
    bool AskToEnd() override { return AskToEndRunningClient(m_owner); }
    void ShowTerminateFailed() override { TellClientNotEnded(m_owner); }

private:
    HWND m_owner;
};

}  // namespace

// Wide calls, so the Korean text shows whatever the system's code page.
bool AskToEndRunningClient(HWND owner) {
    return ::MessageBoxW(owner, win::Utf8ToWide(kClientRunningQuestion).c_str(),
                         win::Utf8ToWide(kMessageCaption).c_str(),
                         MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void TellClientNotEnded(HWND owner) {
    ::MessageBoxW(owner, win::Utf8ToWide(kClientNotEnded).c_str(),
                  win::Utf8ToWide(kMessageCaption).c_str(), MB_ICONERROR);
}

int StopRunningProcess(HWND owner, const char* exeName) {
    BoxDialogue boxes(owner);
    return StopRunningProcess(exeName, boxes);
}

int StopRunningProcess(const char* exeName, StopDialogue& dialogue) {
    if (!exeName || !*exeName) return 0;
    // A plain record: the 9x platform refuses the extended one, and only the platform counts.
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    const bool ntPlatform =
        !(::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS);
    // Runs on the download worker. Without memory no scan could run, which the scans report
    // as "not running".
    return win::Guarded("StopRunningProcess", 0, [&] {
        SystemStopOps ops(dialogue, ntPlatform);
        return DecideStopRunningProcess(exeName, ops);
    });
}

}  // namespace tavrin
