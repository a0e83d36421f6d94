// The decision of StopRunningProcess: watch for a running client, ask the user, end one
// process. Portable over StopOps; process_stop_win.cpp gives it the system's scans, message
// boxes and processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "system/process_scan.h"

namespace tavrin {

constexpr int kStopScans = 4;
constexpr unsigned kStopScanPauseMs = 500;

// A process opened for termination; closed when it goes.
class OpenedProcess {
public:
    virtual ~OpenedProcess() = default;
    virtual bool Terminate(unsigned exitCode) = 0;
};

class StopOps {
public:
    virtual ~StopOps() = default;
    // Fills at most capacity entries; returns how many it filled.
    virtual size_t Scan(ProcessEntry* entries, size_t capacity) = 0;
    // Asks whether to end the running client; true for Yes.
    virtual bool AskToEnd() = 0;
    // Opens the process for termination; null when it cannot be opened.
    virtual std::unique_ptr<OpenedProcess> Open(uint32_t processId) = 0;
    virtual void ShowTerminateFailed() = 0;
    virtual void Sleep(unsigned milliseconds) = 0;
};

// The system's two process scans. Each fills at most capacity entries and returns how many; 0
// means it gave no list, since a running system always has processes (the caller among them).
class ProcessScans {
public:
    virtual ~ProcessScans() = default;
    virtual size_t PerfData(ProcessEntry* entries, size_t capacity) = 0;
    virtual size_t Toolhelp(ProcessEntry* entries, size_t capacity) = 0;
    virtual void Trace(const char* line) = 0;
};

// The running processes: from Tool Help on the 9x platform; on NT from the performance data, or
// from Tool Help when those give no list (counters disabled or damaged, and always under Wine),
// so that unread data never pass for "not running". 0 when neither gives a list, which is
// traced: the caller can then only go on as if nothing ran.
size_t ScanRunningProcesses(bool ntPlatform, ProcessScans& scans, ProcessEntry* entries,
                            size_t capacity);

// 0: not running (also for an empty name, or when no match could be opened); 1: one matching
// process was terminated; -1: the user declined, or termination failed (after its message).
// Names compare exactly, byte for byte.
int DecideStopRunningProcess(const std::string& exeName, StopOps& ops);

}  // namespace tavrin
