// The decision of StopRunningProcess over scripted scans, answers and processes: how often it
// scans and waits, when it asks, which process it ends and what it returns.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "system/process_stop.h"

namespace {

using namespace tavrin;

struct Proc {
    uint32_t id;
    std::string name;
};
using Snapshot = std::vector<Proc>;

class FakeStopOps : public StopOps {
public:
    std::vector<Snapshot> scans;  // one per scan; the last repeats
    bool answerYes = true;
    std::set<uint32_t> unopenable;
    std::set<uint32_t> unkillable;
    size_t reportCount = SIZE_MAX;  // what Scan returns instead of the real count, when set
    std::vector<std::string> log;  // "scan", "sleep 500", "ask", "open 7", "end 7/1", "close 7",
                                   // "failed"

    size_t Scan(ProcessEntry* entries, size_t capacity) override {
        log.push_back("scan");
        const Snapshot& now = scans[std::min(scanned++, scans.size() - 1)];
        size_t n = 0;
        for (; n < now.size() && n < capacity; ++n) {
            entries[n].processId = now[n].id;
            if (now[n].name.size() >= kProcessNameSize) {
                // A name that fills the whole field arrives without its terminator.
                std::memcpy(entries[n].name, now[n].name.data(), kProcessNameSize);
                continue;
            }
            std::strncpy(entries[n].name, now[n].name.c_str(), kProcessNameSize - 1);
            entries[n].name[kProcessNameSize - 1] = '\0';
        }
        return reportCount == SIZE_MAX ? n : reportCount;
    }
    bool AskToEnd() override {
        log.push_back("ask");
        return answerYes;
    }

    class Opened : public OpenedProcess {
    public:
        Opened(FakeStopOps& ops, uint32_t id) : m_ops(ops), m_id(id) {}
        ~Opened() override { m_ops.log.push_back("close " + std::to_string(m_id)); }
        bool Terminate(unsigned exitCode) override {
            m_ops.log.push_back("end " + std::to_string(m_id) + "/" + std::to_string(exitCode));
            return !m_ops.unkillable.count(m_id);
        }

    private:
        FakeStopOps& m_ops;
        uint32_t m_id;
    };

    std::unique_ptr<OpenedProcess> Open(uint32_t id) override {
        log.push_back("open " + std::to_string(id));
        if (unopenable.count(id)) return nullptr;
        return std::make_unique<Opened>(*this, id);
    }
    void ShowTerminateFailed() override { log.push_back("failed"); }
    void Sleep(unsigned ms) override { log.push_back("sleep " + std::to_string(ms)); }

private:
    size_t scanned = 0;
};

using Log = std::vector<std::string>;
const Log kWatch = {"scan", "sleep 500", "scan", "sleep 500",
                    "scan", "sleep 500", "scan", "sleep 500"};

Log Then(Log head, const Log& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

const Snapshot kRunning = {{4, "System"}, {368, "smss.exe"}, {1520, "Orbisan.exe"}};

TEST(StopDecision, Cases) {
    const struct {
        const char* what;
        std::vector<Snapshot> scans;
        bool yes;
        std::set<uint32_t> unopenable, unkillable;
        int result;
        Log log;
    } rows[] = {
        {"not running: one scan, no wait", {{{4, "System"}, {368, "smss.exe"}}}, true, {}, {}, 0,
         {"scan"}},
        {"empty scan", {{}}, true, {}, {}, 0, {"scan"}},
        {"exits during the watch: no question",
         {kRunning, kRunning, {{4, "System"}}}, true, {}, {}, 0,
         {"scan", "sleep 500", "scan", "sleep 500", "scan"}},
        {"answer Yes: ended", {kRunning}, true, {}, {}, 1,
         Then(kWatch, {"ask", "open 1520", "end 1520/1", "close 1520"})},
        {"answer No: nothing ended", {kRunning}, false, {}, {}, -1, Then(kWatch, {"ask"})},
        {"two instances: the first that opens is the only one ended",
         {{{9, "Orbisan.exe"}, {4, "System"}, {12, "Orbisan.exe"}, {15, "Orbisan.exe"}}}, true,
         {9}, {}, 1,
         Then(kWatch, {"ask", "open 9", "open 12", "end 12/1", "close 12"})},
        {"none opens: 0 and the update goes on", {{{9, "Orbisan.exe"}, {12, "Orbisan.exe"}}},
         true, {9, 12}, {}, 0, Then(kWatch, {"ask", "open 9", "open 12"})},
        {"termination fails: message after closing, -1", {kRunning}, true, {}, {1520}, -1,
         Then(kWatch, {"ask", "open 1520", "end 1520/1", "close 1520", "failed"})},
        {"other letter case does not match",
         {{{1, "ORBISAN.EXE"}, {2, "orbisan.exe"}, {3, "Orbisan.EXE"}}}, true, {}, {}, 0,
         {"scan"}},
        {"no partial names", {{{1, "Orbisan.exe.bak"}, {2, "Orbisan"}, {3, "xOrbisan.exe"}}},
         true, {}, {}, 0, {"scan"}},
        {"the ids of the last scan are the ones opened",
         {{{9, "Orbisan.exe"}}, {{9, "Orbisan.exe"}}, {{9, "Orbisan.exe"}},
          {{21, "Orbisan.exe"}}},
         true, {}, {}, 1, Then(kWatch, {"ask", "open 21", "end 21/1", "close 21"})},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeStopOps ops;
        ops.scans = row.scans;
        ops.answerYes = row.yes;
        ops.unopenable = row.unopenable;
        ops.unkillable = row.unkillable;
        EXPECT_EQ(DecideStopRunningProcess("Orbisan.exe", ops), row.result);
        EXPECT_EQ(ops.log, row.log);
    }
}

TEST(StopDecision, AnEmptyNameScansNothing) {
    FakeStopOps ops;
    ops.scans = {{{1, ""}}};
    EXPECT_EQ(DecideStopRunningProcess("", ops), 0);
    EXPECT_TRUE(ops.log.empty());
}

TEST(StopDecision, KoreanNamesCompareByteForByte) {
    // "바둑.exe" in code page 949, against the same bytes and a different second character.
    const std::string name = "\xB9\xD9\xB5\xCF.exe";
    FakeStopOps ops;
    ops.scans = {{{5, "\xB9\xD9\xB5\xCE.exe"}, {6, name}}};
    EXPECT_EQ(DecideStopRunningProcess(name, ops), 1);
    EXPECT_EQ(ops.log, Then(kWatch, {"ask", "open 6", "end 6/1", "close 6"}));
}

TEST(StopDecision, AnUnterminatedNameIsCutAtTheFieldsEnd) {
    // A scan that fills the whole name field: the comparison ends at the field's last byte
    // instead of reading on, so the 259 bytes before it are the name.
    const std::string name = std::string(kProcessNameSize - 5, 'a') + ".exe";
    FakeStopOps ops;
    ops.scans = {{{7, name + "X"}, {8, std::string(kProcessNameSize + 40, 'b')}}};
    EXPECT_EQ(DecideStopRunningProcess(name, ops), 1);
    EXPECT_EQ(ops.log, Then(kWatch, {"ask", "open 7", "end 7/1", "close 7"}));
}

TEST(StopDecision, TrustsNoCountBeyondTheBuffer) {
    // A scan that claims more entries than the 256 it was given: only those are looked at,
    // and the scan always gets the full buffer.
    Snapshot many;
    for (uint32_t i = 0; i < 300; ++i) many.push_back({i + 100, i == 260 ? "Orbisan.exe" : "x"});
    FakeStopOps ops;
    ops.scans = {many};
    ops.reportCount = 100000;
    EXPECT_EQ(DecideStopRunningProcess("Orbisan.exe", ops), 0);
    EXPECT_EQ(ops.log, Log{"scan"});

    many[255].name = "Orbisan.exe";
    FakeStopOps last;
    last.scans = {many};
    last.reportCount = 100000;
    EXPECT_EQ(DecideStopRunningProcess("Orbisan.exe", last), 1);
    EXPECT_EQ(last.log, Then(kWatch, {"ask", "open 355", "end 355/1", "close 355"}));
}

// The two system scans, each answering a fixed number of entries (named after the scan).
class FakeScans : public ProcessScans {
public:
    FakeScans(size_t perf, size_t toolhelp) : m_perf(perf), m_toolhelp(toolhelp) {}
    size_t PerfData(ProcessEntry* entries, size_t capacity) override {
        return Fill("perf", m_perf, entries, capacity);
    }
    size_t Toolhelp(ProcessEntry* entries, size_t capacity) override {
        return Fill("toolhelp", m_toolhelp, entries, capacity);
    }
    void Trace(const char*) override { log.push_back("trace"); }

    std::vector<std::string> log;

private:
    size_t Fill(const char* scan, size_t count, ProcessEntry* entries, size_t capacity) {
        log.push_back(scan);
        for (size_t i = 0; i < count && i < capacity; ++i) {
            entries[i].processId = static_cast<uint32_t>(i + 1);
            std::strcpy(entries[i].name, scan);
        }
        return count;
    }
    size_t m_perf, m_toolhelp;
};

TEST(StopDecision, ScanSources) {
    // Performance data that list nothing are unread data, not "nothing runs": Tool Help is asked
    // next, and only when it has no list either does the check go on without one, traced.
    const struct {
        const char* what;
        bool nt;
        size_t perf, toolhelp;
        size_t count;
        const char* firstName;
        Log log;
    } rows[] = {
        {"NT, performance data read", true, 3, 5, 3, "perf", {"perf"}},
        {"NT, performance data list nothing: Tool Help", true, 0, 5, 5, "toolhelp",
         {"perf", "trace", "toolhelp"}},
        {"NT without Tool Help either (NT 4): traced", true, 0, 0, 0, nullptr,
         {"perf", "trace", "toolhelp", "trace"}},
        {"9x: Tool Help only", false, 3, 5, 5, "toolhelp", {"toolhelp"}},
        {"9x, Tool Help fails: traced", false, 3, 0, 0, nullptr, {"toolhelp", "trace"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        FakeScans scans(row.perf, row.toolhelp);
        std::vector<ProcessEntry> entries(8);
        EXPECT_EQ(ScanRunningProcesses(row.nt, scans, entries.data(), entries.size()), row.count);
        if (row.firstName) {
            EXPECT_STREQ(entries[0].name, row.firstName);
        }
        EXPECT_EQ(scans.log, row.log);
    }
}

}  // namespace
