// The name a Tool Help entry gets from szExeFile: the part after the last backslash, always
// terminated within the 260-byte field, never read past the source field.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "system/process_scan.h"

namespace {

using tavrin::kProcessNameSize;
using tavrin::ProcessNameFromPath;

TEST(ProcessName, IsThePartAfterTheLastBackslash) {
    const struct {
        std::string path;
        std::string name;
    } rows[] = {
        {"C:\\PROGRAM FILES\\X\\Orbisan.exe", "Orbisan.exe"},
        {"Orbisan.exe", "Orbisan.exe"},
        {"\\Orbisan.exe", "Orbisan.exe"},
        {"C:\\WINDOWS\\", ""},
        {"", ""},
        // "바둑\바둑.exe" in code page 949: no trail byte there is a backslash.
        {"C:\\\xB9\xD9\xB5\xCF\\\xB9\xD9\xB5\xCF.exe", "\xB9\xD9\xB5\xCF.exe"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        std::vector<char> field(row.path.begin(), row.path.end());
        field.resize(kProcessNameSize, '\0');
        char name[kProcessNameSize];
        std::memset(name, 'Z', sizeof name);
        ProcessNameFromPath(field.data(), field.size(), name);
        EXPECT_EQ(std::string(name), row.name);
    }
}

TEST(ProcessName, AFieldWithoutTerminatorIsReadOnlyToItsSize) {
    // The source field is exactly as large as the name and holds no NUL; bytes after it (here a
    // backslash and more) must not count.
    const struct {
        size_t size;
        size_t expected;
    } rows[] = {{259, 259}, {260, 259}, {10, 10}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.size);
        std::string source(row.size, 'n');
        source += "\\after";
        char name[kProcessNameSize];
        std::memset(name, 'Z', sizeof name);
        ProcessNameFromPath(source.data(), row.size, name);
        EXPECT_EQ(std::string(name), std::string(row.expected, 'n'));
    }
}

}  // namespace
