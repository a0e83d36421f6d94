// The lanes of a download batch on threads of the module: each holds the module until its last
// instruction (win/module_lifetime.h), and the calling worker waits for all of them, so none
// outlives the worker that started it.
#pragma once

#include <cstddef>
#include <functional>

namespace tavrin {

// lane(0) runs on the calling thread, the others on threads of their own; returns once every
// lane has returned. A lane whose thread cannot be started is left out. lane must not throw.
void RunModuleLanes(size_t count, const std::function<void(size_t lane)>& lane);

}  // namespace tavrin
