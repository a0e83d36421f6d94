// Running-client detection and termination on Windows.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "system/process_scan.h"

namespace tavrin {

// Tool Help scan (the 9x platform, and NT from Windows 2000 on): fills at most capacity entries in snapshot order; 0 on any
// failure. The Tool Help functions are looked up at run time, never imported.
size_t ScanProcessesToolhelp(ProcessEntry* entries, size_t capacity);

// Performance-data scan (the NT platform): fills at most capacity - 1 entries; 0 on any failure,
// malformed data included.
size_t ScanProcessesPerfData(ProcessEntry* entries, size_t capacity);

// The HKEY_PERFORMANCE_DATA answer for one object index ("230"): data holds exactly the bytes
// the system returned. The buffer starts at 51,200 bytes and grows by 25,600 while the system
// asks for more, up to a bound; false on any other answer.
bool QueryPerformanceData(const char* objectIndex, std::vector<uint8_t>& data);

// The check's two messages, where the thread that shows them is not the one that scans.
class StopDialogue {
public:
    virtual ~StopDialogue() = default;
    virtual bool AskToEnd() = 0;  // true for Yes
    virtual void ShowTerminateFailed() = 0;
};

// Ends a running exeName after asking the user; see DecideStopRunningProcess for the results.
// The scans, the pauses between them and the termination run on the calling thread (a
// worker's); only the messages go through dialogue.
int StopRunningProcess(const char* exeName, StopDialogue& dialogue);
// The same with the message boxes owned by owner, shown on the calling thread.
int StopRunningProcess(HWND owner, const char* exeName);

// The check's message boxes, owned by owner: on owner's thread.
bool AskToEndRunningClient(HWND owner);
void TellClientNotEnded(HWND owner);

}  // namespace tavrin
