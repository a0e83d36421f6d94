// The one way a C++ exception is stopped where our code meets Windows: COM methods, exported
// functions, window and dialog procedures, thread entries. An exception unwinding through a
// Windows frame is undefined (in practice the browser goes down), so each such entry runs its
// body through Guarded, which turns an escaping exception into a trace line and the entry's
// failure result (an HRESULT, 0 or FALSE). Header-only, so the libraries below the framework
// use it too.
#pragma once

#include <windows.h>

#include <exception>
#include <optional>

namespace win {

// "Tavrin: <where> stopped an exception: <what>" to the debugger's output.
inline void TraceStoppedException(const char* where, const char* what) noexcept {
    char line[256];
    ::wsprintfA(line, "Tavrin: %.80s stopped an exception: %.120s\n", where, what);
    ::OutputDebugStringA(line);
}

// fn's result, or nothing when fn threw.
template <typename Fn>
auto TryGuarded(const char* where, Fn&& fn) noexcept -> std::optional<decltype(fn())> {
    try {
        return fn();
    } catch (const std::exception& e) {
        TraceStoppedException(where, e.what());
    } catch (...) {
        TraceStoppedException(where, "not a standard exception");
    }
    return std::nullopt;
}

// fn's result, or onThrow when fn threw.
template <typename Result, typename Fn>
Result Guarded(const char* where, Result onThrow, Fn&& fn) noexcept {
    std::optional<Result> result = TryGuarded(where, fn);
    return result ? *result : onThrow;
}

}  // namespace win
