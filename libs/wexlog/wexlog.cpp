// Wexlog.dll: the trace sink of the control module. Every call is one line, sent to the
// debugger and, when TAVRIN_TRACE names a file, appended there. The variable is read on every
// call, so a host or a test can switch the file while the module is loaded.
#include "libs/wexlog/wexlog.h"

#include "win/handles.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

// One lock for the debugger and the file, so the lines of several threads keep their order
// and never mix within a line.
CRITICAL_SECTION g_lock;

// Most lines fit here; longer ones get a heap buffer of their exact size.
constexpr int kStackLine = 1024;

// "2026-01-02 13:04:05.123 [1234] ": the timestamp goes to the file only, the debugger
// stamps its own time.
struct Prefix {
    char text[64];
    int stampLength;
    int length;
};

Prefix MakePrefix() {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    Prefix p;
    p.stampLength = std::snprintf(p.text, sizeof p.text, "%04u-%02u-%02u %02u:%02u:%02u.%03u ",
                                  t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
                                  t.wMilliseconds);
    p.length = p.stampLength + std::snprintf(p.text + p.stampLength,
                                             sizeof p.text - p.stampLength, "[%lu] ",
                                             static_cast<unsigned long>(::GetCurrentThreadId()));
    return p;
}

// The trace file named by TAVRIN_TRACE, or null when there is none. Read as UTF-16
// so folder names outside the ANSI code page work too.
std::unique_ptr<wchar_t[]> TraceFileName() {
    DWORD size = ::GetEnvironmentVariableW(L"TAVRIN_TRACE", nullptr, 0);
    if (size <= 1) return nullptr;
    std::unique_ptr<wchar_t[]> name(new (std::nothrow) wchar_t[size]);
    if (!name) return nullptr;
    DWORD got = ::GetEnvironmentVariableW(L"TAVRIN_TRACE", name.get(), size);
    if (got == 0 || got >= size) return nullptr;
    return name;
}

// Appends with one write per line; FILE_APPEND_DATA puts every write at the end even when
// other processes (a host and its helper) trace into the same file.
void AppendToFile(const wchar_t* fileName, const char* line, int length) {
    win::FileHandle file(::CreateFileW(fileName, FILE_APPEND_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    ::WriteFile(file.get(), line, static_cast<DWORD>(length), &written, nullptr);
}

}  // namespace

extern "C" int __cdecl WexlogTrace(const char* format, ...) {
    if (!format) return 0;
    // Callers trace between a failing call and their GetLastError.
    const DWORD lastError = ::GetLastError();
    const Prefix prefix = MakePrefix();

    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int messageLength = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (messageLength < 0) {
        va_end(args);
        ::SetLastError(lastError);
        return 0;
    }

    // prefix + message + "\r\n" + terminator
    char stackLine[kStackLine];
    std::unique_ptr<char[]> heapLine;
    char* line = stackLine;
    int capacity = kStackLine;
    const int wanted = prefix.length + messageLength + 3;
    if (wanted > kStackLine) {
        heapLine.reset(new (std::nothrow) char[wanted]);
        if (heapLine) {
            line = heapLine.get();
            capacity = wanted;
        }  // else: out of memory, the message is cut to what the stack buffer holds
    }
    std::memcpy(line, prefix.text, static_cast<size_t>(prefix.length));
    const int room = capacity - prefix.length - 2;
    std::vsnprintf(line + prefix.length, static_cast<size_t>(room), format, args);
    va_end(args);

    int end = prefix.length + (messageLength < room ? messageLength : room - 1);
    // The line end is ours; callers write their messages with or without one.
    while (end > prefix.length && (line[end - 1] == '\n' || line[end - 1] == '\r')) --end;
    line[end++] = '\r';
    line[end++] = '\n';
    line[end] = '\0';

    std::unique_ptr<wchar_t[]> fileName = TraceFileName();
    ::EnterCriticalSection(&g_lock);
    ::OutputDebugStringA(line + prefix.stampLength);
    if (fileName) AppendToFile(fileName.get(), line, end);
    ::LeaveCriticalSection(&g_lock);

    ::SetLastError(lastError);
    return messageLength;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        ::DisableThreadLibraryCalls(instance);
        ::InitializeCriticalSection(&g_lock);
    } else if (reason == DLL_PROCESS_DETACH) {
        ::DeleteCriticalSection(&g_lock);
    }
    return TRUE;
}
