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

// 0: not running (also for an empty name, or when no match could be opened); 1: one matching
// process was terminated; -1: the user declined, or termination failed (after its message).
// Names compare exactly, byte for byte.
int DecideStopRunningProcess(const std::string& exeName, StopOps& ops);

}  // namespace tavrin
