// The readers of the NT process scan, over counter lists and PERF blocks built here from the
// documented layout (winperf.h), well-formed and broken.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "system/perf_data.h"

namespace {

using tavrin::ParseCounterNames;
using tavrin::ParsePerfProcesses;
using tavrin::ProcessEntry;

constexpr uint32_t kIdProcess = 784;
constexpr uint32_t kOtherCounter = 6;

// ---- The "Counters" list ----------------------------------------------------------------

// The bytes of a literal that holds NULs of its own, without the literal's terminator.
template <size_t N>
std::string Bytes(const char (&s)[N]) {
    return std::string(s, N - 1);
}

std::string List(std::initializer_list<const char*> strings, bool terminated = true) {
    std::string bytes;
    for (const char* s : strings) bytes += std::string(s) + '\0';
    if (terminated) bytes += '\0';
    return bytes;
}

TEST(CounterNames, FindsTheProcessObjectAndTheIdCounter) {
    struct Row {
        const char* what;
        std::string bytes;
        std::string processObject;
        bool hasId;
        uint32_t id;
    };
    const Row rows[] = {
        {"the usual list", List({"1", "1847", "2", "System", "230", "Process", "784", "ID Process"}),
         "230", true, 784},
        {"names in other letter cases", List({"230", "PROCESS", "784", "id PROCESS"}), "230", true,
         784},
        {"a later match overrides", List({"230", "process", "784", "id process", "999", "Process",
                                          "1000", "ID Process"}),
         "999", true, 1000},
        {"no closing empty string", List({"230", "Process", "784", "ID Process"}, false), "230",
         true, 784},
        {"the last name cut off by the end", Bytes("230\0Process\0" "784\0ID Proc"),
         "230", false, 0},
        {"a name at the end without its NUL", Bytes("230\0Process\0" "784\0ID Process"),
         "230", true, 784},
        {"the walk stops at the empty string",
         Bytes("230\0Process\0\0" "784\0ID Process\0\0"), "230", false, 0},
        {"a name first has no index", List({"Process", "784", "ID Process"}), "", true, 784},
        {"an index that is not a number", List({"2x0", "Process", "78 4", "ID Process"}), "",
         false, 0},
        {"an index beyond 32 bits", List({"4294967296", "Process", "4294967295", "ID Process"}),
         "", true, 4294967295u},
        {"similar names do not count", List({"230", "Processor", "784", "ID Process ", "5",
                                             "Process ID"}),
         "", false, 0},
        {"empty", std::string(), "", false, 0},
        {"only the end mark", std::string(1, '\0'), "", false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const tavrin::ProcessCounterIndexes found =
            ParseCounterNames(row.bytes.data(), row.bytes.size());
        EXPECT_EQ(found.processObject, row.processObject);
        EXPECT_EQ(found.hasIdProcess, row.hasId);
        if (row.hasId) {
            EXPECT_EQ(found.idProcess, row.id);
        }
    }
}

TEST(CounterNames, ReadsNothingPastTheGivenSize) {
    // The bytes after the size would complete the list; the reader must not see them.
    const std::string bytes = List({"230", "Process", "784", "ID Process"});
    const size_t cut = Bytes("230\0Process\0" "784\0").size();
    const tavrin::ProcessCounterIndexes found = ParseCounterNames(bytes.data(), cut);
    EXPECT_EQ(found.processObject, "230");
    EXPECT_FALSE(found.hasIdProcess);
}

// ---- PERF blocks ------------------------------------------------------------------------

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    if (b.size() < at + 4) b.resize(at + 4);
    std::memcpy(&b[at], &v, 4);
}

struct Instance {
    std::u16string name;
    uint32_t id;
};

// A data block with one process object: a data-block header of 88 bytes plus padding, the
// object header (64), counter definitions of 40 bytes, then per instance its definition (24
// bytes, the name, padding to 8) and its counter block (length, then counter values).
struct PerfBlock {
    std::vector<uint32_t> counters = {kOtherCounter, kIdProcess};  // name indexes
    std::vector<Instance> instances;
    int32_t numInstances = -2;  // -2: as many as listed
    uint32_t numObjectTypes = 1;

    // Offsets of the parts, known after Build().
    size_t object = 0, firstInstance = 0;
    std::vector<size_t> instanceAt, blockAt;

    std::vector<uint8_t> Build() {
        std::vector<uint8_t> b(96, 0);
        const char16_t sig[4] = {u'P', u'E', u'R', u'F'};
        std::memcpy(&b[0], sig, 8);
        Put32(b, 8, 1);   // LittleEndian
        Put32(b, 12, 1);  // Version
        Put32(b, 24, 96);  // HeaderLength
        Put32(b, 28, numObjectTypes);
        object = 96;
        b.resize(object + 64);
        const size_t headerLength = 64;
        size_t at = object + headerLength;
        for (size_t i = 0; i < counters.size(); ++i, at += 40) {
            b.resize(at + 40);
            Put32(b, at, 40);              // ByteLength
            Put32(b, at + 4, counters[i]);  // CounterNameTitleIndex
            Put32(b, at + 32, 4);          // CounterSize
            Put32(b, at + 36, static_cast<uint32_t>(4 + 4 * i));  // CounterOffset
        }
        firstInstance = at;
        Put32(b, object + 4, static_cast<uint32_t>(firstInstance - object));  // DefinitionLength
        Put32(b, object + 8, headerLength);
        Put32(b, object + 32, static_cast<uint32_t>(counters.size()));
        Put32(b, object + 40, static_cast<uint32_t>(
                                  numInstances == -2 ? static_cast<int32_t>(instances.size())
                                                     : numInstances));
        for (const Instance& inst : instances) {
            instanceAt.push_back(at);
            const uint32_t nameBytes = static_cast<uint32_t>((inst.name.size() + 1) * 2);
            const uint32_t length = (24 + nameBytes + 7) / 8 * 8;
            b.resize(at + length);
            Put32(b, at, length);
            Put32(b, at + 16, 24);
            Put32(b, at + 20, nameBytes);
            for (size_t k = 0; k < inst.name.size(); ++k) {
                b[at + 24 + 2 * k] = static_cast<uint8_t>(inst.name[k] & 0xFF);
                b[at + 24 + 2 * k + 1] = static_cast<uint8_t>(inst.name[k] >> 8);
            }
            at += length;
            blockAt.push_back(at);
            const uint32_t blockLength = static_cast<uint32_t>(4 + 4 * counters.size());
            b.resize(at + blockLength);
            Put32(b, at, blockLength);
            for (size_t i = 0; i < counters.size(); ++i)
                Put32(b, at + 4 + 4 * i, counters[i] == kIdProcess ? inst.id : 0x5A5A5A5Au);
            at += blockLength;
        }
        Put32(b, object, static_cast<uint32_t>(at - object));  // object's TotalByteLength
        Put32(b, 20, static_cast<uint32_t>(at));               // block's TotalByteLength
        return b;
    }
};

// ASCII only: anything else "cannot be converted", as a name outside the ANSI code page.
bool AsciiConverter(const std::u16string& name, std::string& out) {
    out.clear();
    for (char16_t c : name) {
        if (c > 0x7F) return false;
        out += static_cast<char>(c);
    }
    return true;
}

struct Scan {
    size_t count;
    std::vector<ProcessEntry> entries;
};

Scan Parse(const std::vector<uint8_t>& bytes, size_t capacity = tavrin::kScanCapacity,
           uint32_t idCounter = kIdProcess) {
    Scan scan{0, std::vector<ProcessEntry>(capacity + 1)};
    for (ProcessEntry& e : scan.entries) {
        e.processId = 0xdeadbeef;
        std::memset(e.name, 'Z', sizeof e.name);
    }
    scan.count = ParsePerfProcesses(bytes.data(), bytes.size(), idCounter, scan.entries.data(),
                                    capacity, AsciiConverter);
    return scan;
}

std::vector<Instance> Usual() {
    return {{u"Idle", 0}, {u"System", 4}, {u"smss", 368}, {u"Orbisan", 1520}, {u"_Total", 0}};
}

TEST(PerfProcesses, ReadsEveryInstanceWithItsIdAndExeName) {
    PerfBlock block;
    block.instances = Usual();
    const Scan scan = Parse(block.Build());
    ASSERT_EQ(scan.count, 5u);
    const struct {
        const char* name;
        uint32_t id;
    } expected[] = {{"Idle.exe", tavrin::kNoProcessId},
                    {"System.exe", 4},
                    {"smss.exe", 368},
                    {"Orbisan.exe", 1520},
                    {"_Total.exe", tavrin::kNoProcessId}};
    for (size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_STREQ(scan.entries[i].name, expected[i].name);
        EXPECT_EQ(scan.entries[i].processId, expected[i].id);
    }
    EXPECT_EQ(scan.entries[5].processId, 0xdeadbeef) << "nothing written past the count";
}

TEST(PerfProcesses, FillsAtMostCapacityMinusOneEntries) {
    PerfBlock block;
    for (uint32_t i = 0; i < 300; ++i)
        block.instances.push_back({u"p" + std::u16string(1, u'a' + i % 26), 1000 + i});
    const std::vector<uint8_t> bytes = block.Build();
    const struct {
        size_t capacity;
        size_t count;
    } rows[] = {{256, 255}, {0, 0}, {1, 0}, {2, 1}, {301, 300}, {1000, 300}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.capacity);
        const Scan scan = Parse(bytes, row.capacity);
        EXPECT_EQ(scan.count, row.count);
        if (row.count > 0) {
            EXPECT_EQ(scan.entries[row.count - 1].processId, 1000 + row.count - 1);
        }
        EXPECT_EQ(scan.entries[row.count].processId, 0xdeadbeef);
    }
}

TEST(PerfProcesses, OnlyTheListedInstancesAreRead) {
    // NumInstances below the instances present; negative means "no instances".
    PerfBlock fewer;
    fewer.instances = Usual();
    fewer.numInstances = 2;
    EXPECT_EQ(Parse(fewer.Build()).count, 2u);
    PerfBlock none;
    none.instances = Usual();
    none.numInstances = -1;
    EXPECT_EQ(Parse(none.Build()).count, 0u);
}

TEST(PerfProcesses, NamesThatDoNotConvertOrDoNotFit) {
    const struct {
        const char* what;
        std::u16string name;
        std::string expected;
    } rows[] = {
        {"outside the code page", u"\uBC14\uB451", "unknown"},
        {"255 bytes take .exe", std::u16string(255, u'n'), std::string(255, 'n') + ".exe"},
        {"256 bytes cannot take .exe", std::u16string(256, u'n'), ""},
        {"259 bytes cannot take .exe", std::u16string(259, u'n'), ""},
        {"260 bytes do not convert into 260", std::u16string(260, u'n'), "unknown"},
        {"an empty name", u"", ".exe"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        PerfBlock block;
        block.instances = {{row.name, 77}};
        const Scan scan = Parse(block.Build());
        ASSERT_EQ(scan.count, 1u);
        EXPECT_EQ(std::string(scan.entries[0].name), row.expected);
        EXPECT_EQ(scan.entries[0].processId, 77u);
    }
}

TEST(PerfProcesses, TheNameEndsAtItsFirstNulOrAtItsLength) {
    PerfBlock block;
    block.instances = {{u"Orbisan", 9}};
    std::vector<uint8_t> bytes = block.Build();
    // NameLength 8 bytes: "Orbi" without the terminator.
    Put32(bytes, block.instanceAt[0] + 20, 8);
    EXPECT_STREQ(Parse(bytes).entries[0].name, "Orbi.exe");
    // An odd length leaves the half unit out.
    Put32(bytes, block.instanceAt[0] + 20, 9);
    EXPECT_STREQ(Parse(bytes).entries[0].name, "Orbi.exe");
}

// Each row breaks one thing of a well-formed block; the scan must give 0 and read nothing
// outside (each block sits in a buffer of exactly its size, so a run under AddressSanitizer
// catches an overread).
TEST(PerfProcesses, MalformedBlocksGiveNothing) {
    using Edit = std::function<void(PerfBlock&, std::vector<uint8_t>&)>;
    const struct {
        const char* what;
        Edit edit;
    } rows[] = {
        {"wrong signature", [](PerfBlock&, std::vector<uint8_t>& b) { b[2] = 'X'; }},
        {"8-bit signature",
         [](PerfBlock&, std::vector<uint8_t>& b) { std::memcpy(&b[0], "PERFPERF", 8); }},
        {"shorter than the block header", [](PerfBlock&, std::vector<uint8_t>& b) { b.resize(80); }},
        {"no object types", [](PerfBlock&, std::vector<uint8_t>& b) { Put32(b, 28, 0); }},
        {"total length past the end",
         [](PerfBlock&, std::vector<uint8_t>& b) { Put32(b, 20, uint32_t(b.size() + 1)); }},
        {"data cut short of the total length",
         [](PerfBlock&, std::vector<uint8_t>& b) { b.resize(b.size() - 1); }},
        {"header length past the end",
         [](PerfBlock&, std::vector<uint8_t>& b) { Put32(b, 24, uint32_t(b.size() - 10)); }},
        {"header length 0xFFFFFFF0", [](PerfBlock&, std::vector<uint8_t>& b) { Put32(b, 24, 0xFFFFFFF0u); }},
        {"object length past the end",
         [](PerfBlock& p, std::vector<uint8_t>& b) { Put32(b, p.object, uint32_t(b.size())); }},
        {"definition length past the object",
         [](PerfBlock& p, std::vector<uint8_t>& b) { Put32(b, p.object + 4, 0x7FFFFFFFu); }},
        // The search for the id counter would walk on past the object.
        {"definitions past the object",
         [](PerfBlock& p, std::vector<uint8_t>& b) {
             Put32(b, p.object + 4, uint32_t(b.size() - p.object + 4000));
             Put32(b, p.object + 32, uint32_t((b.size() - p.object + 4000 - 64) / 40));
             Put32(b, p.object + 64 + 40 + 4, 785);
         }},
        {"counters past the definitions",
         [](PerfBlock& p, std::vector<uint8_t>& b) { Put32(b, p.object + 32, 1000); }},
        {"counter count wrapping 32 bits",
         [](PerfBlock& p, std::vector<uint8_t>& b) { Put32(b, p.object + 32, 0x06666667u); }},
        {"no id process counter",
         [](PerfBlock& p, std::vector<uint8_t>& b) { Put32(b, p.object + 64 + 40 + 4, 785); }},
        {"instance length 0",
         [](PerfBlock& p, std::vector<uint8_t>& b) { Put32(b, p.instanceAt[1], 0); }},
        {"instance length past the end",
         [](PerfBlock& p, std::vector<uint8_t>& b) { Put32(b, p.instanceAt[4], 0x10000); }},
        // The name runs up to the block's last bytes (no NUL among them) and would go on.
        {"instance and its name past the end",
         [](PerfBlock& p, std::vector<uint8_t>& b) {
             const size_t at = p.instanceAt[4];
             Put32(b, b.size() - 4, 0x41414141u);
             Put32(b, at, 0x10000);
             Put32(b, at + 16, uint32_t(b.size() - 4 - at));
             Put32(b, at + 20, 0x100);
         }},
        {"name offset past the instance",
         [](PerfBlock& p, std::vector<uint8_t>& b) { Put32(b, p.instanceAt[2] + 16, 0xFFFFFFF0u); }},
        {"name length past the instance",
         [](PerfBlock& p, std::vector<uint8_t>& b) { Put32(b, p.instanceAt[3] + 20, 4096); }},
        {"counter block length 0",
         [](PerfBlock& p, std::vector<uint8_t>& b) { Put32(b, p.blockAt[0], 0); }},
        {"counter block running past the end",
         [](PerfBlock& p, std::vector<uint8_t>& b) { Put32(b, p.blockAt[4], 0x1000); }},
        // Two instances, so the value past the first block would still lie inside the data.
        {"counter offset past its block",
         [](PerfBlock& p, std::vector<uint8_t>& b) {
             Put32(b, p.object + 64 + 40 + 36, 12);
             Put32(b, p.object + 40, 2);
         }},
        {"counter offset wrapping 32 bits",
         [](PerfBlock& p, std::vector<uint8_t>& b) { Put32(b, p.object + 64 + 40 + 36, 0xFFFFFFFEu); }},
        {"more instances listed than present",
         [](PerfBlock& p, std::vector<uint8_t>& b) { Put32(b, p.object + 40, 6); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        PerfBlock block;
        block.instances = Usual();
        std::vector<uint8_t> bytes = block.Build();
        row.edit(block, bytes);
        std::vector<uint8_t> exact(bytes);
        exact.shrink_to_fit();
        EXPECT_EQ(Parse(exact).count, 0u);
    }
}

TEST(PerfProcesses, TheBlockWineAnswersHoldsNoProcess) {
    // Wine's answer to HKEY_PERFORMANCE_DATA: a 96-byte block without objects.
    PerfBlock block;
    block.numObjectTypes = 0;
    std::vector<uint8_t> bytes = block.Build();
    bytes.resize(96);
    Put32(bytes, 20, 96);
    EXPECT_EQ(Parse(bytes).count, 0u);
}

TEST(PerfProcesses, NullInputsGiveNothing) {
    PerfBlock block;
    block.instances = Usual();
    const std::vector<uint8_t> bytes = block.Build();
    ProcessEntry entries[4];
    EXPECT_EQ(ParsePerfProcesses(nullptr, bytes.size(), kIdProcess, entries, 4, AsciiConverter), 0u);
    EXPECT_EQ(ParsePerfProcesses(bytes.data(), bytes.size(), kIdProcess, nullptr, 4, AsciiConverter),
              0u);
    EXPECT_EQ(ParsePerfProcesses(bytes.data(), bytes.size(), kIdProcess, entries, 4, nullptr), 3u);
    EXPECT_STREQ(entries[0].name, "unknown");
}

}  // namespace
