// The trace sink, Wexlog.dll. Modules link the import library (CMake target wexlog_import),
// which binds the call to the DLL's ordinal 3.
#pragma once

#ifdef __MINGW_PRINTF_FORMAT
#define WEXLOG_PRINTF_CHECK __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)))
#else
#define WEXLOG_PRINTF_CHECK
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Writes one printf-style line to the debugger and, when the environment variable
// TAVRIN_TRACE names a file, appends it there with a timestamp and the thread id.
// Returns the length of the formatted message (0 when the format is unusable).
int __cdecl WexlogTrace(const char* format, ...) WEXLOG_PRINTF_CHECK;

#ifdef __cplusplus
}
#endif
