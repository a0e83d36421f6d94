// The trace sink, called through the import library as the control module calls it.
#include "libs/wexlog/wexlog.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Entry {
    unsigned long threadId;
    std::string message;
};

// "2026-01-02 13:04:05.123 [1234] message" (std::regex recurses per character: not for
// megabyte lines).
bool ParseLine(const std::string& line, Entry& entry) {
    static const char kStamp[] = "dddd-dd-dd dd:dd:dd.ddd [";
    const size_t stampLength = sizeof kStamp - 1;
    if (line.size() < stampLength) return false;
    for (size_t i = 0; i < stampLength; ++i) {
        const bool ok = kStamp[i] == 'd' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                                         : line[i] == kStamp[i];
        if (!ok) return false;
    }
    size_t close = line.find("] ", stampLength);
    if (close == std::string::npos || close == stampLength) return false;
    const std::string id = line.substr(stampLength, close - stampLength);
    if (id.find_first_not_of("0123456789") != std::string::npos) return false;
    entry.threadId = std::stoul(id);
    entry.message = line.substr(close + 2);
    return true;
}

std::string TempFileName(const char* tag) {
    char dir[MAX_PATH];
    ::GetTempPathA(MAX_PATH, dir);
    std::ostringstream name;
    name << dir << "wexlog-" << tag << '-' << ::GetCurrentProcessId() << ".txt";
    return name.str();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class TraceSink : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = TempFileName("trace");
        ::DeleteFileA(m_path.c_str());
        ::SetEnvironmentVariableA("TAVRIN_TRACE", m_path.c_str());
    }
    void TearDown() override {
        ::SetEnvironmentVariableA("TAVRIN_TRACE", nullptr);
        ::DeleteFileA(m_path.c_str());
    }

    // Every line of the file, which must consist of whole CRLF-ended lines.
    std::vector<std::string> Lines() const {
        std::string all = ReadFile(m_path);
        std::vector<std::string> lines;
        size_t start = 0;
        while (start < all.size()) {
            size_t end = all.find("\r\n", start);
            if (end == std::string::npos) {
                ADD_FAILURE() << "unterminated last line: " << all.substr(start, 80);
                break;
            }
            lines.push_back(all.substr(start, end - start));
            start = end + 2;
        }
        return lines;
    }

    // The traced lines, each checked for the timestamp and thread id in front.
    std::vector<Entry> Entries() const {
        std::vector<Entry> entries;
        for (const std::string& line : Lines()) {
            Entry e;
            if (!ParseLine(line, e)) {
                ADD_FAILURE() << "malformed line: " << line.substr(0, 80);
                continue;
            }
            entries.push_back(e);
        }
        return entries;
    }

    std::string m_path;
};

TEST_F(TraceSink, WritesTheFormattedMessageWithTimestampAndThreadId) {
    int n = WexlogTrace("move %d at %s, komi %.1f", 42, "D4", 6.5);

    EXPECT_EQ(n, static_cast<int>(std::string("move 42 at D4, komi 6.5").size()));
    std::vector<Entry> entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].threadId, ::GetCurrentThreadId());
    EXPECT_EQ(entries[0].message, "move 42 at D4, komi 6.5");
}

TEST_F(TraceSink, AppendsAndEndsEveryLineExactlyOnce) {
    std::ofstream(m_path, std::ios::binary) << "earlier\r\n";

    WexlogTrace("first\n");
    WexlogTrace("second\r\n");
    WexlogTrace("third");
    WexlogTrace("%s", "");

    std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], "earlier");
    std::vector<std::string> messages;
    for (size_t i = 1; i < lines.size(); ++i) {
        Entry e;
        ASSERT_TRUE(ParseLine(lines[i], e)) << lines[i];
        messages.push_back(e.message);
    }
    EXPECT_EQ(messages, (std::vector<std::string>{"first", "second", "third", ""}));
}

TEST_F(TraceSink, FollowsTheVariableOnEveryCall) {
    const std::string other = TempFileName("other");
    ::DeleteFileA(other.c_str());

    WexlogTrace("to the first file");
    ::SetEnvironmentVariableA("TAVRIN_TRACE", other.c_str());
    WexlogTrace("to the second file");
    ::SetEnvironmentVariableA("TAVRIN_TRACE", nullptr);
    EXPECT_EQ(WexlogTrace("to the debugger only"), 20);
    ::SetEnvironmentVariableA("TAVRIN_TRACE", "");
    WexlogTrace("to the debugger only");

    std::vector<Entry> first = Entries();
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].message, "to the first file");
    std::string second = ReadFile(other);
    EXPECT_NE(second.find("to the second file\r\n"), std::string::npos) << second;
    EXPECT_EQ(second.find("debugger"), std::string::npos) << second;
    ::DeleteFileA(other.c_str());
}

TEST_F(TraceSink, KeepsTheCallersLastErrorAndSurvivesAnUnwritableFile) {
    ::SetLastError(ERROR_SHARING_VIOLATION);
    WexlogTrace("with a file");
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    const std::string unwritable = TempFileName("no-such-folder") + "\\trace.txt";
    ::SetEnvironmentVariableA("TAVRIN_TRACE", unwritable.c_str());
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(WexlogTrace("lost %d", 1), 6);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(FileExists(unwritable));

    EXPECT_EQ(WexlogTrace(nullptr), 0);
}

TEST_F(TraceSink, WritesLongLinesWhole) {
    // Every length across the end of the 1 KiB stack buffer (the prefix varies with the thread
    // id), and well past it.
    std::vector<size_t> lengths;
    for (size_t length = 960; length <= 1000; ++length) lengths.push_back(length);
    lengths.push_back(10000);
    lengths.push_back(1u << 20);
    for (size_t length : lengths)
        EXPECT_EQ(WexlogTrace("long:%s|", std::string(length, 'x').c_str()),
                  static_cast<int>(length + 6));

    std::vector<Entry> entries = Entries();
    ASSERT_EQ(entries.size(), lengths.size());
    for (size_t i = 0; i < lengths.size(); ++i)
        EXPECT_EQ(entries[i].message, "long:" + std::string(lengths[i], 'x') + "|") << lengths[i];
}

struct Writer {
    char letter;
    int lines;
    size_t width;
};

DWORD WINAPI WriteLines(void* param) {
    const Writer& w = *static_cast<Writer*>(param);
    const std::string body(w.width, w.letter);
    for (int i = 0; i < w.lines; ++i) WexlogTrace("%c%04d %s", w.letter, i, body.c_str());
    return 0;
}

TEST_F(TraceSink, KeepsLinesFromSeveralThreadsWhole) {
    // Short lines take the stack buffer, long ones the heap: both must stay whole.
    Writer writers[] = {{'a', 300, 3000}, {'b', 300, 3000}, {'c', 300, 20}};
    HANDLE threads[3];
    DWORD ids[3];
    for (int i = 0; i < 3; ++i) {
        threads[i] = ::CreateThread(nullptr, 0, WriteLines, &writers[i], 0, &ids[i]);
        ASSERT_NE(threads[i], nullptr);
    }
    ::WaitForMultipleObjects(3, threads, TRUE, 60000);
    for (HANDLE t : threads) ::CloseHandle(t);

    std::vector<Entry> entries = Entries();
    ASSERT_EQ(entries.size(), 900u);
    int next[3] = {0, 0, 0};
    for (const Entry& e : entries) {
        ASSERT_GE(e.message.size(), 6u);
        const int w = e.message[0] - 'a';
        ASSERT_TRUE(w >= 0 && w < 3) << e.message.substr(0, 20);
        EXPECT_EQ(e.threadId, ids[w]);
        char head[8];
        std::snprintf(head, sizeof head, "%c%04d ", writers[w].letter, next[w]++);
        EXPECT_EQ(e.message, head + std::string(writers[w].width, writers[w].letter));
    }
    EXPECT_EQ(next[0], 300);
    EXPECT_EQ(next[1], 300);
    EXPECT_EQ(next[2], 300);
}

// The control imports ordinal 3 of Wexlog.dll: the DLL must offer that and no name.
TEST_F(TraceSink, IsExportedByOrdinalThreeOnly) {
    HMODULE dll = ::GetModuleHandleA("Wexlog.dll");
    ASSERT_NE(dll, nullptr);
    EXPECT_EQ(::GetProcAddress(dll, "WexlogTrace"), nullptr);
    EXPECT_EQ(::GetProcAddress(dll, MAKEINTRESOURCEA(1)), nullptr);
    auto trace = reinterpret_cast<int(__cdecl*)(const char*, ...)>(
        reinterpret_cast<void*>(::GetProcAddress(dll, MAKEINTRESOURCEA(3))));
    ASSERT_NE(trace, nullptr);

    trace("by ordinal %d", 3);
    std::vector<Entry> entries = Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].message, "by ordinal 3");
}

}  // namespace
