// The texts and numbers of the status protocol: file names of URLs, the Content-Length value,
// the percent rule at its edges, cutting at character boundaries, and the diagnostic texts of
// the HTTP library's status callback.
#include "download/status_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

using namespace tavrin;

namespace {

const LeadBytePredicate kCp949 = [](unsigned char c) { return c >= 0x81 && c <= 0xFE; };

TEST(StatusText, FileNameIsWhatFollowsTheLastSlash) {
    struct Row {
        const char* url;
        bool found;
        const char* name;
    };
    const Row rows[] = {
        {"http://h/service/files/orbisan3.cfg", true, "orbisan3.cfg"},
        {"http://h/service/files/", true, ""},
        {"http://h", true, "h"},
        {"a/b\\c.lzf", true, "b\\c.lzf"},
        {"orbisan3.cfg", false, ""},
        {"", false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.url);
        std::string name = "unchanged";
        EXPECT_EQ(UrlFileName(row.url, name), row.found);
        EXPECT_EQ(name, row.found ? row.name : "unchanged");
    }
}

TEST(StatusText, ContentLengthIsItsLeadingDigits) {
    struct Row {
        const char* header;
        bool numeric;
        uint64_t total;
    };
    const Row rows[] = {
        {"8290", true, 8290},
        {"0", true, 0},
        {"  42", true, 42},
        {"12abc", true, 12},
        {"4294967296", true, 4294967296ull},  // above 32 bits
        {"99999999999999999999999999", true, uint64_t(1) << 56},  // saturates
        {"72057594037927935", true, (uint64_t(1) << 56) - 1},      // the largest kept as it is
        {"18446744073709551616", true, uint64_t(1) << 56},         // past 64 bits
        {"00000000000000000000042", true, uint64_t(1) << 56},      // too many digits to read
        {"abc", false, 0},
        {"-5", false, 0},
        {"", false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.header);
        uint64_t total = 77;
        EXPECT_EQ(ParseContentLength(row.header, total), row.numeric);
        EXPECT_EQ(total, row.total);
    }
}

// Only the rest of the very file asked for is taken as its continuation.
TEST(StatusText, ContentRangeOfTheRestOfTheFileOnly) {
    const struct {
        const char* header;
        bool taken;
        uint64_t total;
    } rows[] = {
        {"bytes 100-999/1000", true, 1000},
        {"bytes 100-100/101", true, 101},
        {"bytes 99-999/1000", false, 0},     // not where the file stopped
        {"bytes 100-998/1000", false, 0},    // not to its end
        {"bytes 100-999/*", false, 0},       // no length
        {"bytes 100-999/1000 ", false, 0},
        {"bytes */1000", false, 0},
        {"items 100-999/1000", false, 0},
        {"bytes 100-99999999999999999999/1", false, 0},
        {"bytes 100-9999999999999999998/9999999999999999999", true, 9999999999999999999ull},
        {"bytes 100-18446744073709551615/18446744073709551616", false, 0},  // past 19 digits
        {"bytes 100-999/01000", true, 1000},
        {"", false, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.header);
        uint64_t total = 0;
        EXPECT_EQ(row.taken, ParseContentRange(row.header, 100, &total));
        EXPECT_EQ(row.total, total);
    }
}

TEST(StatusText, PercentRuleAtItsEdges) {
    struct Row {
        uint64_t current, total;
        int percent;
    };
    const Row rows[] = {
        {0, 0, 100},          {5, 0, 100},          {0, 10, 0},
        {1, 3, 33},           {2, 3, 66},           {3, 3, 100},
        {4, 3, 100},          {42949673, 42949673, 100},
        {42949673, 100000000, 42},  // the product needs more than 32 bits
        {uint64_t(1) << 55, uint64_t(1) << 56, 50},
        {(uint64_t(1) << 56) - 1, uint64_t(1) << 56, 99},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.current) + " of " + std::to_string(row.total));
        EXPECT_EQ(PercentOf(row.current, row.total), row.percent);
    }
}

TEST(StatusText, CutsNeverSplitADoubleByteCharacter) {
    struct Row {
        std::string text;
        size_t max;
        std::string expected;
    };
    const std::string ko = "\xB0\xA1";
    const Row rows[] = {
        {"abcdef", 4, "abcd"},
        {"abc", 4, "abc"},
        {ko + ko + ko, 4, ko + ko},
        {ko + ko + ko, 5, ko + ko},
        {"x" + ko + ko, 4, "x" + ko},
        {"x" + ko + ko, 5, "x" + ko + ko},
        {"ab\xB0", 2, "ab"},  // a lead byte left alone at the end counts as one
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text + " to " + std::to_string(row.max));
        std::string text = row.text;
        CutText(text, row.max, kCp949);
        EXPECT_EQ(text, row.expected);
    }
}

std::string Formatted(const char* format, ...) {
    char buffer[kStatusTextSize];
    std::memset(buffer, '#', sizeof buffer);
    va_list args;
    va_start(args, format);
    FormatStatusText(buffer, kCp949, format, args);
    va_end(args);
    return std::string(buffer, strnlen(buffer, sizeof buffer));
}

TEST(StatusText, StatusBufferHolds511CharactersAndTheTerminator) {
    EXPECT_EQ(Formatted("%s - Read %s bytes (%0.1f Kb/s)", "a.lzf", "8190", 3.99),
              "a.lzf - Read 8190 bytes (4.0 Kb/s)");
    EXPECT_EQ(Formatted("%s", std::string(511, 'n').c_str()), std::string(511, 'n'));
    EXPECT_EQ(Formatted("%s!", std::string(511, 'n').c_str()), std::string(511, 'n'));
    EXPECT_EQ(Formatted("%s", std::string(2000, 'n').c_str()), std::string(511, 'n'));
    std::string ko;
    for (int i = 0; i < 300; ++i) ko += "\xB0\xA1";
    EXPECT_EQ(Formatted("x%s", ko.c_str()), "x" + ko.substr(0, 510));
    EXPECT_EQ(Formatted("%s", ko.c_str()), ko.substr(0, 510));
}

TEST(StatusText, CallbackTexts) {
    struct Row {
        uint32_t status;
        std::string info;
        uint32_t length;
        const char* text;
    };
    const char complete[8] = {0x01, 0x00, 0x00, 0x00, 0x2D, 0x2F, 0x00, 0x00};
    const Row rows[] = {
        {10, std::string("cfg.example\0", 12), 12, "Resolving name for cfg.example"},
        {11, std::string("127.0.0.1\0", 10), 10, "Resolved name for 127.0.0.1"},
        {10, "unterminated", 4, "Resolving name for unte"},
        {20, "", 0, "Connecting to socket address "},
        {21, "", 0, "Connected to socket address"},
        {30, "", 0, "Sending request..."},
        {31, "", 0, "Request sent"},
        {40, "", 0, ""},
        {41, "", 0, ""},
        {60, "", 0, ""},
        {70, "", 0, ""},
        {50, "", 0, "Closing the connection to the server"},
        {51, "", 0, "Connection to the server closed"},
        {100, std::string(complete, 8), 8,
         "Request complete, dwResult = 00000001, dwError = 00002F2D"},
        {100, std::string(complete, 8), 4, ""},
        {99, "", 0, "Unknown status: 99"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.status);
        EXPECT_EQ(StatusCallbackText(row.status, row.info.data(), row.length), row.text);
    }
    EXPECT_EQ(StatusCallbackText(10, nullptr, 0), "Resolving name for ");
}

TEST(StatusText, OnlyHttpSchemesGiveHttpResponses) {
    for (const char* url : {"http://h/a", "HTTP://h/a", "https://h/a", "HttpS://h/a"}) {
        EXPECT_TRUE(IsHttpUrl(url)) << url;
    }
    for (const char* url : {"ftp://h/a", "file:///a", "http:/h", "httpx://h", "", "h/a"}) {
        EXPECT_FALSE(IsHttpUrl(url)) << url;
    }
}

}  // namespace
