#include "system/process_stop.h"

#include <cstring>
#include <vector>

namespace tavrin {

size_t ScanRunningProcesses(bool ntPlatform, ProcessScans& scans, ProcessEntry* entries,
                            size_t capacity) {
    if (ntPlatform) {
        const size_t count = scans.PerfData(entries, capacity);
        if (count > 0) return count;
        scans.Trace("StopRunningProcess - the performance data list no processes: using Tool Help");
    }
    const size_t count = scans.Toolhelp(entries, capacity);
    if (count == 0)
        scans.Trace("StopRunningProcess - no process list could be read: the client is taken as "
                    "not running");
    return count;
}

int DecideStopRunningProcess(const std::string& exeName, StopOps& ops) {
    if (exeName.empty()) return 0;
    // One buffer for all scans, as a large stack array would not suit a worker's stack.
    std::vector<ProcessEntry> entries(kScanCapacity);
    std::vector<uint32_t> matches;
    for (int scan = 0; scan < kStopScans; ++scan) {
        matches.clear();
        size_t count = ops.Scan(entries.data(), entries.size());
        if (count > entries.size()) count = entries.size();
        for (size_t i = 0; i < count; ++i) {
            ProcessEntry& entry = entries[i];
            entry.name[kProcessNameSize - 1] = '\0';  // a scan's word is not trusted either
            if (std::strcmp(entry.name, exeName.c_str()) == 0) matches.push_back(entry.processId);
        }
        if (matches.empty()) return 0;
        ops.Sleep(kStopScanPauseMs);
    }

    if (!ops.AskToEnd()) return -1;
    for (uint32_t id : matches) {
        std::unique_ptr<OpenedProcess> process = ops.Open(id);
        if (!process) continue;
        if (process->Terminate(1)) return 1;
        process.reset();  // closed before the message, as the handle is no use any more
        ops.ShowTerminateFailed();
        return -1;
    }
    return 0;
}

}  // namespace tavrin
