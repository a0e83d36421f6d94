#include "download/download_lanes_win.h"

#include <windows.h>

#include <vector>

#include "win/handles.h"
#include "win/module_lifetime.h"

namespace tavrin {

namespace {

struct LaneStart {
    const std::function<void(size_t)>* lane;
    size_t index;
};

unsigned LaneProc(void* param) {
    const LaneStart& start = *static_cast<const LaneStart*>(param);
    (*start.lane)(start.index);
    return 0;
}

}  // namespace

void RunModuleLanes(size_t count, const std::function<void(size_t lane)>& lane) {
    // Both are sized before the first thread starts: nothing below may throw while one runs.
    std::vector<LaneStart> starts(count, LaneStart{&lane, 0});
    std::vector<win::Handle> threads;
    threads.reserve(count);
    for (size_t i = 1; i < count; ++i) {
        starts[i].index = i;
        win::Handle thread = win::BeginModuleThread(&LaneProc, &starts[i]);
        if (thread) threads.push_back(std::move(thread));
    }
    if (count > 0) lane(0);
    // Each lane lets go of its server within a couple of seconds of a stop or a failure.
    for (const win::Handle& thread : threads) ::WaitForSingleObject(thread.get(), INFINITE);
}

}  // namespace tavrin
