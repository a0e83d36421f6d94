// The client's settings key in the prefix's real registry: what the control reads and writes
// under HKCU\Software\Brennix\Orbisan\Sumnel, in the ANSI code page (949 here).
#include <windows.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "system/client_settings_win.h"
#include "tests/wine/support.h"

namespace {

using tavrin::ReadClientSetting;
using tavrin::WriteClientSetting;

// Writes raw data of any type and size under the client key.
::testing::AssertionResult WriteRaw(const char* name, DWORD type, const std::string& data) {
    win::RegKey key;
    LONG rc = ::RegCreateKeyExA(HKEY_CURRENT_USER, wt::kClientKey, 0, nullptr, 0, KEY_WRITE,
                                nullptr, key.receive(), nullptr);
    if (rc == ERROR_SUCCESS)
        rc = ::RegSetValueExA(key.get(), name, 0, type,
                              reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size()));
    if (rc != ERROR_SUCCESS) return ::testing::AssertionFailure() << "write failed: " << rc;
    return ::testing::AssertionSuccess();
}

struct RawValue {
    DWORD type = 0;
    std::string bytes;  // exactly as stored, NUL included
};

std::optional<RawValue> ReadRaw(const char* name) {
    win::RegKey key;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, wt::kClientKey, 0, KEY_READ, key.receive()) !=
        ERROR_SUCCESS)
        return std::nullopt;
    RawValue value;
    DWORD size = 0;
    if (::RegQueryValueExA(key.get(), name, nullptr, &value.type, nullptr, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    value.bytes.assign(size, '\0');
    if (size && ::RegQueryValueExA(key.get(), name, nullptr, &value.type,
                                   reinterpret_cast<BYTE*>(&value.bytes[0]), &size) !=
                    ERROR_SUCCESS)
        return std::nullopt;
    value.bytes.resize(size);
    return value;
}

std::string Korean(int characters) {
    std::wstring text;
    for (int i = 0; i < characters; ++i) text += (i % 2) ? L'둑' : L'바';
    return wt::Ansi(text);
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(949u, ::GetACP()) << "the tests expect the Korean code page of wine-env";
        wt::DeleteClientKey();
        ASSERT_FALSE(wt::ClientKeyExists());
    }
    void TearDown() override { wt::DeleteClientKey(); }
};

TEST_F(SettingsTest, ReadOnAFreshKeyCreatesItEmptyAndFails) {
    std::string out = "unchanged";
    EXPECT_EQ(1, ReadClientSetting("WorkDir", out));
    EXPECT_EQ("unchanged", out);
    ASSERT_TRUE(wt::ClientKeyExists());
    win::RegKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegOpenKeyExA(HKEY_CURRENT_USER, wt::kClientKey, 0, KEY_READ, key.receive()));
    DWORD subkeys = wt::kSentinel, values = wt::kSentinel;
    ASSERT_EQ(ERROR_SUCCESS, ::RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, &subkeys,
                                                nullptr, nullptr, &values, nullptr, nullptr,
                                                nullptr, nullptr));
    EXPECT_EQ(0u, subkeys);
    EXPECT_EQ(0u, values);
}

TEST_F(SettingsTest, ReadTakesValuesUpTo199Bytes) {
    struct Row {
        const char* name;
        std::string text;
        int rc;
    } rows[] = {
        {"empty", "", 0},
        {"one byte", "C", 0},
        {"198 bytes", std::string(198, 'd'), 0},
        {"199 bytes", std::string(199, 'e'), 0},
        {"200 bytes", std::string(200, 'f'), 1},
        {"201 bytes", std::string(201, 'g'), 1},
        {"1000 bytes", std::string(1000, 'h'), 1},
        {"Korean, 199 bytes", Korean(99) + "a", 0},
        {"Korean, 200 bytes", Korean(100), 1},
        {"Korean folder", wt::Ansi(L"C:\\Program Files\\Velmora바둑"), 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(wt::SetClientValue("WorkDir", row.text));
        std::string out = "unchanged";
        EXPECT_EQ(row.rc, ReadClientSetting("WorkDir", out));
        EXPECT_EQ(row.rc == 0 ? row.text : std::string("unchanged"), out);
    }
    // The precondition the Korean rows rest on.
    EXPECT_EQ(199u, (Korean(99) + "a").size());
}

TEST_F(SettingsTest, ReadStopsAtTheDataWhateverItsForm) {
    struct Row {
        const char* name;
        DWORD type;
        std::string data;
        int rc;
        std::string expected;
    } rows[] = {
        {"no NUL, 10 bytes", REG_SZ, "0123456789", 0, "0123456789"},
        {"no NUL, 199 bytes", REG_SZ, std::string(199, 'i'), 0, std::string(199, 'i')},
        {"no NUL, 201 bytes", REG_SZ, std::string(201, 'k'), 1, "unchanged"},
        {"embedded NUL", REG_SZ, std::string("abc\0def\0", 8), 0, "abc"},
        {"binary", REG_BINARY, "xyz", 0, "xyz"},
        {"expandable, not expanded", REG_EXPAND_SZ, std::string("%TEMP%\\x\0", 9), 0,
         "%TEMP%\\x"},
        {"zero bytes", REG_SZ, "", 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(WriteRaw("WorkDir", row.type, row.data));
        std::string out = "unchanged";
        EXPECT_EQ(row.rc, ReadClientSetting("WorkDir", out));
        EXPECT_EQ(row.expected, out);
    }
}

// 200 bytes without a NUL fill the buffer exactly. Windows hands them over as they are; Wine
// counts a NUL it would append and answers ERROR_MORE_DATA. Either way nothing past the data
// is read: the whole 200 bytes, or a failure with out unchanged, as the platform answers.
TEST_F(SettingsTest, ReadOf200BytesWithoutNulFollowsThePlatform) {
    const std::string data(200, 'j');
    ASSERT_TRUE(WriteRaw("WorkDir", REG_SZ, data));
    char buffer[200];
    DWORD size = sizeof(buffer);
    LONG platform;
    {
        win::RegKey key;
        ASSERT_EQ(ERROR_SUCCESS, ::RegOpenKeyExA(HKEY_CURRENT_USER, wt::kClientKey, 0, KEY_READ,
                                                 key.receive()));
        platform = ::RegQueryValueExA(key.get(), "WorkDir", nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(buffer), &size);
    }
    ASSERT_TRUE(platform == ERROR_SUCCESS || platform == ERROR_MORE_DATA) << platform;
    std::string out = "unchanged";
    if (platform == ERROR_SUCCESS) {
        EXPECT_EQ(0, ReadClientSetting("WorkDir", out));
        EXPECT_EQ(data, out);
    } else {
        EXPECT_EQ(1, ReadClientSetting("WorkDir", out));
        EXPECT_EQ("unchanged", out);
    }
}

TEST_F(SettingsTest, ReadOfAMissingValueFails) {
    ASSERT_TRUE(wt::SetClientValue("SaveStart", "x"));
    std::string out = "unchanged";
    EXPECT_EQ(1, ReadClientSetting("WorkDir", out));
    EXPECT_EQ("unchanged", out);
}

TEST_F(SettingsTest, WriteChoosesTheValueByWhich) {
    struct Row {
        int which;
        const char* written;
        const char* untouched;
    } rows[] = {
        {1, "LoginSERV", "SaveStart"},
        {0, "SaveStart", "LoginSERV"},
        {2, "SaveStart", "LoginSERV"},
        {-1, "SaveStart", "LoginSERV"},
        {100, "SaveStart", "LoginSERV"},
    };
    const std::string value = " /NAME:player /PASSWORD:abc /JOINKEY:1000";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.which);
        wt::DeleteClientKey();
        WriteClientSetting(value, row.which);
        auto stored = ReadRaw(row.written);
        ASSERT_TRUE(stored.has_value()) << row.written << " not written";
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored->type);
        EXPECT_EQ(value + '\0', stored->bytes) << "stored with its NUL";
        EXPECT_FALSE(ReadRaw(row.untouched).has_value()) << row.untouched << " written too";
    }
}

TEST_F(SettingsTest, EmptyValueIsOneByteOfRegSz) {
    for (int which : {0, 1}) {
        SCOPED_TRACE(which);
        WriteClientSetting("", which);
        auto stored = ReadRaw(which == 1 ? "LoginSERV" : "SaveStart");
        ASSERT_TRUE(stored.has_value());
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored->type);
        EXPECT_EQ(std::string(1, '\0'), stored->bytes);
    }
}

TEST_F(SettingsTest, WriteReplacesAndKeepsTheCodePage) {
    WriteClientSetting("a much longer first value", 1);
    const std::string korean = wt::Ansi(L"서버 일번:7000");
    WriteClientSetting(korean, 1);
    auto stored = ReadRaw("LoginSERV");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(korean + '\0', stored->bytes);
    // The client reads it back as the same Korean text.
    EXPECT_EQ(L"서버 일번:7000",
              wt::RegString(HKEY_CURRENT_USER, wt::Wide(wt::kClientKey), L"LoginSERV")
                  .value_or(L"(missing)"));
    std::string out;
    EXPECT_EQ(0, ReadClientSetting("LoginSERV", out));
    EXPECT_EQ(korean, out);
}

TEST_F(SettingsTest, DeleteWorkDirRemovesOnlyWorkDir) {
    ASSERT_TRUE(wt::SetClientValue("WorkDir", "C:\\client"));
    ASSERT_TRUE(wt::SetClientValue("SaveStart", "kept"));
    ASSERT_TRUE(wt::SetClientValue("LoginSERV", "kept too"));
    tavrin::DeleteClientWorkDir();
    EXPECT_FALSE(wt::ClientValue("WorkDir").has_value());
    EXPECT_EQ("kept", wt::ClientValue("SaveStart").value_or("(missing)"));
    EXPECT_EQ("kept too", wt::ClientValue("LoginSERV").value_or("(missing)"));
    tavrin::DeleteClientWorkDir();  // nothing left to delete: harmless
    EXPECT_EQ("kept", wt::ClientValue("SaveStart").value_or("(missing)"));
}

TEST_F(SettingsTest, DeleteWorkDirDoesNotCreateTheKey) {
    tavrin::DeleteClientWorkDir();
    EXPECT_FALSE(wt::ClientKeyExists());
}

}  // namespace
