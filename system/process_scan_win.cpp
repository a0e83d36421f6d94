// The two process scans of the Windows side.
#include <windows.h>
#include <tlhelp32.h>
#include <winperf.h>

#include <cstddef>
#include <cstdio>
#include <new>

#include "system/perf_data.h"
#include "system/process_win.h"
#include "win/code_page.h"
#include "win/handles.h"

namespace tavrin {

// The portable reader's layout must be the system's.
static_assert(offsetof(PERF_DATA_BLOCK, TotalByteLength) == perf::kBlockTotalByteLength, "");
static_assert(offsetof(PERF_DATA_BLOCK, HeaderLength) == perf::kBlockHeaderLength, "");
static_assert(offsetof(PERF_DATA_BLOCK, NumObjectTypes) == perf::kBlockNumObjectTypes, "");
static_assert(sizeof(PERF_DATA_BLOCK) == perf::kBlockSize, "");
static_assert(offsetof(PERF_OBJECT_TYPE, TotalByteLength) == perf::kObjectTotalByteLength, "");
static_assert(offsetof(PERF_OBJECT_TYPE, DefinitionLength) == perf::kObjectDefinitionLength, "");
static_assert(offsetof(PERF_OBJECT_TYPE, HeaderLength) == perf::kObjectHeaderLength, "");
static_assert(offsetof(PERF_OBJECT_TYPE, NumCounters) == perf::kObjectNumCounters, "");
static_assert(offsetof(PERF_OBJECT_TYPE, NumInstances) == perf::kObjectNumInstances, "");
static_assert(sizeof(PERF_OBJECT_TYPE) == perf::kObjectSize, "");
static_assert(offsetof(PERF_COUNTER_DEFINITION, CounterNameTitleIndex) ==
                  perf::kCounterNameTitleIndex, "");
static_assert(offsetof(PERF_COUNTER_DEFINITION, CounterOffset) == perf::kCounterOffset, "");
static_assert(sizeof(PERF_COUNTER_DEFINITION) == perf::kCounterDefinitionSize, "");
static_assert(offsetof(PERF_INSTANCE_DEFINITION, ByteLength) == perf::kInstanceByteLength, "");
static_assert(offsetof(PERF_INSTANCE_DEFINITION, NameOffset) == perf::kInstanceNameOffset, "");
static_assert(offsetof(PERF_INSTANCE_DEFINITION, NameLength) == perf::kInstanceNameLength, "");
static_assert(sizeof(PERF_INSTANCE_DEFINITION) == perf::kInstanceSize, "");
static_assert(sizeof(PERF_COUNTER_BLOCK) == perf::kCounterBlockSize, "");
static_assert(sizeof(ProcessEntry::name) == MAX_PATH, "");
// The ANSI record is what Process32First/Process32Next (ANSI exports) fill: 296 bytes, or 304
// in 64-bit programs, where th32DefaultHeapID is pointer-sized.
static_assert(sizeof(PROCESSENTRY32) == (sizeof(void*) == 8 ? 304 : 296) &&
                  sizeof(PROCESSENTRY32::szExeFile[0]) == 1, "");

namespace {

constexpr DWORD kPerfBufferStart = 51200;
constexpr DWORD kPerfBufferStep = 25600;
// A system that keeps asking for more is not followed for ever.
constexpr DWORD kPerfBufferLimit = 16 * 1024 * 1024;

using CreateSnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
using ProcessWalkFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);

bool ToAnsi(const std::u16string& name, std::string& out) {
    win::Converted<std::string> ansi = win::FromWide(
        std::wstring_view(reinterpret_cast<const wchar_t*>(name.data()), name.size()));
    out = std::move(ansi.text);
    return ansi.exact;
}

}  // namespace

size_t ScanProcessesToolhelp(ProcessEntry* entries, size_t capacity) {
    if (!entries || capacity == 0) return 0;
    // Looked up at run time so the module loads on systems without Tool Help (NT 4).
    HMODULE kernel = ::GetModuleHandleA("KERNEL32.DLL");
    if (!kernel) return 0;
    auto createSnapshot = reinterpret_cast<CreateSnapshotFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "CreateToolhelp32Snapshot")));
    auto first = reinterpret_cast<ProcessWalkFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "Process32First")));
    auto next = reinterpret_cast<ProcessWalkFn>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "Process32Next")));
    if (!createSnapshot || !first || !next) return 0;

    win::FileHandle snapshot(createSnapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return 0;
    PROCESSENTRY32 process = {};
    process.dwSize = sizeof process;
    if (!first(snapshot.get(), &process)) return 0;
    size_t filled = 0;
    do {
        ProcessNameFromPath(process.szExeFile, sizeof process.szExeFile, entries[filled].name);
        entries[filled].processId = process.th32ProcessID;
        ++filled;
    } while (filled < capacity && next(snapshot.get(), &process));
    return filled;
}

bool QueryPerformanceData(const char* objectIndex, std::vector<uint8_t>& data) {
    data.clear();
    if (!objectIndex) return false;
    // Step 8 of the scan closes HKEY_PERFORMANCE_DATA, which frees what the system holds for it.
    win::RegKey performance(HKEY_PERFORMANCE_DATA);
    std::vector<uint8_t> buffer(kPerfBufferStart);
    for (;;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD type = 0;
        LONG result = ::RegQueryValueExA(HKEY_PERFORMANCE_DATA, objectIndex, nullptr, &type,
                                         buffer.data(), &size);
        if (result == ERROR_SUCCESS) {
            if (size > buffer.size()) return false;
            buffer.resize(size);
            data.swap(buffer);
            return true;
        }
        if (result != ERROR_MORE_DATA || buffer.size() + kPerfBufferStep > kPerfBufferLimit)
            return false;
        buffer.resize(buffer.size() + kPerfBufferStep);  // the new bytes are zero as well
    }
}

size_t ScanProcessesPerfData(ProcessEntry* entries, size_t capacity) {
    if (!entries || capacity < 2) return 0;
    try {
        // The English counter names (language 9).
        char keyName[128];
        std::snprintf(keyName, sizeof keyName, "%s\\%03x",
                      "software\\microsoft\\windows nt\\currentversion\\perflib", 9);
        win::RegKey key;
        if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, key.receive()) !=
            ERROR_SUCCESS)
            return 0;
        DWORD size = 0;
        if (::RegQueryValueExA(key.get(), "Counters", nullptr, nullptr, nullptr, &size) !=
                ERROR_SUCCESS ||
            size == 0)
            return 0;
        std::vector<char> counters(size);
        if (::RegQueryValueExA(key.get(), "Counters", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(counters.data()), &size) != ERROR_SUCCESS ||
            size > counters.size())
            return 0;
        const ProcessCounterIndexes indexes = ParseCounterNames(counters.data(), size);
        if (indexes.processObject.empty() || !indexes.hasIdProcess) return 0;

        std::vector<uint8_t> data;
        if (!QueryPerformanceData(indexes.processObject.c_str(), data)) return 0;
        return ParsePerfProcesses(data.data(), data.size(), indexes.idProcess, entries, capacity,
                                  ToAnsi);
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

}  // namespace tavrin
