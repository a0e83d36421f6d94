// The operating-system queries and the desktop-folder probing against the Wine prefix. The
// Windows version class is read by child copies of this program started under each version
// setting of the prefix; the folder probing runs on folders the test makes in the prefix.
#include <windows.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "system/files_win.h"
#include "system/os_info_win.h"
#include "system/special_folders.h"
#include "tests/wine/support.h"
#include "win/ansi_path.h"
#include "win/code_page.h"
#include "win/handles.h"

namespace {

using namespace tavrin;

constexpr DWORD kChildDeadlineMs = 30000;
constexpr int kChildBias = 100;  // child exit code = class + 100, so osUnknown stays positive
const wchar_t kDesktop[] = L"바탕 화면";

// ---- Children ---------------------------------------------------------------------------

// From the folder of outFile, resolves the folders and writes, one UTF-8 line each: the OS
// class, the common desktop, the user desktop and the current directory; then creates bare.txt
// under a bare name.
int ChildFolders(const char* outFile) {
    std::string outDir = outFile;
    outDir.resize(outDir.find_last_of('\\') + 1);
    if (!::SetCurrentDirectoryA(outDir.c_str())) return 2;
    CSpecialFolders folders;
    folders.ResolveFolders();
    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    std::ofstream out(outFile, std::ios::binary);
    out << folders.GetOsClass() << "\n"
        << win::WideToUtf8(win::AnsiToWide(folders.GetDesktopFolder(false))) << "\n"
        << win::WideToUtf8(win::AnsiToWide(folders.GetDesktopFolder(true))) << "\n"
        << win::WideToUtf8(current) << "\n";
    std::ofstream bare("bare.txt");
    bare << "here\n";
    return out && bare ? 0 : 1;
}

int RunChild(int argc, char** argv) {
    const std::string mode = argv[1];
    if (mode == "--child-os-class") return kChildBias + GetOSClass();
    if (mode == "--child-folders" && argc > 2) return ChildFolders(argv[2]);
    return 3;
}

std::wstring SelfCommand(const std::wstring& arguments) {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return L"\"" + std::wstring(path) + L"\" " + arguments;
}

// Folders made for one test and removed again, innermost first; folders that were there
// before stay.
class MadeFolders {
public:
    ~MadeFolders() {
        for (auto it = m_made.rbegin(); it != m_made.rend(); ++it) ::RemoveDirectoryW(it->c_str());
    }
    bool Make(const std::wstring& path) {
        if (::CreateDirectoryW(path.c_str(), nullptr)) {
            m_made.push_back(path);
            return true;
        }
        return ::GetLastError() == ERROR_ALREADY_EXISTS;
    }

private:
    std::vector<std::wstring> m_made;
};

// The current directory of this process, put back when the test is over.
class KeepCurrentDirectory {
public:
    KeepCurrentDirectory() { ::GetCurrentDirectoryW(MAX_PATH, m_saved); }
    ~KeepCurrentDirectory() { ::SetCurrentDirectoryW(m_saved); }

private:
    wchar_t m_saved[MAX_PATH] = {};
};

std::wstring CurrentDirectory() {
    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    return current;
}

std::wstring WithoutTrailingSlash(std::wstring path) {
    if (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring UserNameW() {
    wchar_t name[256] = {};
    DWORD size = 256;
    ::GetUserNameW(name, &size);
    return name;
}

// ---- Tests ------------------------------------------------------------------------------

TEST(OsClass, FollowsThePrefixsWindowsVersion) {
    const struct {
        const wchar_t* version;
        OsClass expected;
    } rows[] = {{L"win95", os95},  {L"win98", os98},        {L"winme", osMe},
                {L"nt40", osNT4},  {L"win2k", os2000},      {L"winxp", osXP},
                {L"win2003", osUnknown}, {L"win7", osUnknown}};
    for (const auto& row : rows) {
        SCOPED_TRACE(wt::Narrow(row.version));
        wt::WineVersion version(row.version);
        ASSERT_TRUE(version.ok());
        DWORD code = 0;
        ASSERT_TRUE(wt::RunProcess(SelfCommand(L"--child-os-class"), kChildDeadlineMs, &code));
        EXPECT_EQ(static_cast<int>(code) - kChildBias, row.expected);
    }
}

TEST(SystemQueries, DriveRootIsTheSystemDirectorysDrive) {
    wchar_t system[MAX_PATH] = {};
    ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 3u);
    EXPECT_EQ(GetSystemDriveRoot(), wt::Narrow(std::wstring(system, 3)));
    EXPECT_EQ(GetSystemDriveRoot(), "C:\\");
}

TEST(SystemQueries, UserNameIsTheLoggedOnUser) {
    char name[kUserNameSize];
    std::memset(name, 'Z', sizeof name);
    ASSERT_TRUE(GetCurrentUserName(name));
    ASSERT_NE(std::memchr(name, '\0', sizeof name), nullptr);
    EXPECT_EQ(std::string(name), wt::Ansi(UserNameW()));
    EXPECT_FALSE(std::string(name).empty());
}

// Every conversion says whether it was exact; what names a file or reaches the client relies on
// it. The prefix runs with the Korean ANSI code page.
TEST(SystemQueries, CodePageConversionsSayWhenSomethingWasReplaced) {
    if (::GetACP() != 949) GTEST_SKIP() << "needs the Korean ANSI code page (scripts/wine-env)";
    struct ToWideRow {
        const char* name;
        UINT codePage;
        std::string bytes;
        bool exact;
        std::wstring text;
    } toWide[] = {
        {"Korean in 949", 949, "\xB9\xD9\xB5\xCF", true, L"\uBC14\uB451"},
        {"Korean in UTF-8", CP_UTF8, "\xEB\xB0\x94\xEB\x91\x91", true, L"\uBC14\uB451"},
        {"empty", CP_ACP, "", true, L""},
        {"lead byte without trail", CP_ACP, "ab\xB9", false, L""},
        {"invalid UTF-8", CP_UTF8, "a\xC3(", false, L""},
        {"overlong UTF-8 slash", CP_UTF8, "\xC0\xAF", false, L""},
    };
    for (const ToWideRow& row : toWide) {
        SCOPED_TRACE(row.name);
        const win::Converted<std::wstring> got = win::ToWide(row.bytes, row.codePage);
        EXPECT_EQ(row.exact, got.exact);
        if (row.exact) {
            EXPECT_EQ(row.text, got.text);
        }
    }
    struct FromWideRow {
        const char* name;
        UINT codePage;
        std::wstring text;
        bool exact;
    } fromWide[] = {
        {"Korean to 949", CP_ACP, L"\uBC14\uB451 x", true},
        {"Korean to UTF-8", CP_UTF8, L"\uBC14\uB451 x", true},
        {"Thai has no 949 form", CP_ACP, L"a\u0E01", false},
        {"no look-alike for a missing letter", CP_ACP, L"\u0100.exe", false},
        {"lone surrogate to UTF-8", CP_UTF8, L"a\xD800", false},
    };
    for (const FromWideRow& row : fromWide) {
        SCOPED_TRACE(row.name);
        const win::Converted<std::string> got = win::FromWide(row.text, row.codePage);
        EXPECT_EQ(row.exact, got.exact);
        if (row.exact) {
            EXPECT_EQ(row.text, win::ToWide(got.text, row.codePage).text);
        }
    }
}

// The paths handed to the interfaces fixed to the ANSI code page: as they are where the code
// page holds them, else through the short form of what exists (Thai is in no ANSI code page),
// and refused when neither gives a name.
TEST(SystemQueries, AnsiPathsNameTheFileThroughTheShortFormWhereTheCodePageLacksTheName) {
    wt::TempDir dir(L"ไทย");
    ASSERT_TRUE(dir.ok());
    wt::TempDir korean(L"바둑");
    ASSERT_TRUE(korean.ok());
    ASSERT_TRUE(wt::WriteFileBytes(dir.file(L"ก.txt"), "there"));
    const bool koreanFits = win::FromWide(korean.path()).exact;
    const struct {
        const char* what;
        std::wstring path;
        bool exact;
    } rows[] = {
        {"a file to make in a folder the code page names", korean.file(L"new.txt"), true},
        {"a file to make in a folder it does not name", dir.file(L"new.txt"), true},
        {"an existing file it does not name", dir.file(L"ก.txt"), true},
        {"a file to make whose name it lacks", dir.file(L"ข.txt"), false},
        {"a file in a folder that does not exist", dir.file(L"ไม่มี\\new.txt"), false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const win::Converted<std::string> ansi = win::AnsiPath(row.path);
        ASSERT_EQ(row.exact, ansi.exact) << ansi.text;
        if (!ansi.exact) continue;
        // What a program given the ANSI path writes lands at the wide one.
        win::FileHandle file(::CreateFileA(ansi.text.c_str(), GENERIC_WRITE, 0, nullptr,
                                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(static_cast<bool>(file)) << ansi.text;
        file.close();
        EXPECT_TRUE(wt::FileExists(row.path));
        if (row.path == korean.file(L"new.txt") && koreanFits) {
            EXPECT_EQ(win::FromWide(row.path).text, ansi.text) << "as it is where it fits";
        }
    }
    const win::Converted<std::string> folder = win::AnsiExistingPath(dir.path());
    ASSERT_TRUE(folder.exact);
    const DWORD attributes = ::GetFileAttributesA(folder.text.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        << folder.text;
    EXPECT_FALSE(win::AnsiExistingPath(dir.file(L"ไม่มี")).exact) << "nothing to shorten";
}

// The file operations the installation, its recovery and the download engine share, on UTF-8
// paths outside the ANSI code page: a missing file is removed or not as the caller says, a
// folder is no file, and a path that is not UTF-8 names nothing.
TEST(SharedFiles, RemoveKindReplaceAndAppendOnUtf8Paths) {
    wt::TempDir dir(L"ไทย");
    ASSERT_TRUE(dir.ok());
    const std::string folder = win::WideToUtf8(dir.path()) + "\\";
    ASSERT_TRUE(wt::WriteFileBytes(dir.file(L"ก.txt"), "there"));
    ASSERT_TRUE(::CreateDirectoryW(dir.file(L"sub").c_str(), nullptr));
    WinFiles files;
    const struct {
        const char* what;
        std::string path;
        IfMissing ifMissing;
        bool removed;
        PathKind kindBefore;
    } rows[] = {
        {"a missing file the caller may find gone", folder + "none.txt", IfMissing::kDone, true,
         PathKind::kNone},
        {"a missing file the caller expected", folder + "none.txt", IfMissing::kFailure, false,
         PathKind::kNone},
        {"a file in a missing folder, gone is fine", folder + "no\\x.txt", IfMissing::kDone, true,
         PathKind::kNone},
        {"a folder is not removed as a file", folder + "sub", IfMissing::kDone, false,
         PathKind::kOther},
        {"a path that is not UTF-8", folder + "\xC3(", IfMissing::kDone, false, PathKind::kOther},
        {"the file, expected there", folder + "\xE0\xB8\x81.txt", IfMissing::kFailure, true,
         PathKind::kFile},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.kindBefore, files.Kind(row.path));
        EXPECT_EQ(row.removed, files.Remove(row.path, row.ifMissing));
    }
    EXPECT_FALSE(wt::FileExists(dir.file(L"ก.txt")));
    EXPECT_EQ(PathKind::kOther, files.Kind(folder + "sub")) << "the folder stays";

    // Appending makes the file, then adds to it; replacing takes the new file's place.
    EXPECT_TRUE(files.Append(folder + "j.txt", "one "));
    EXPECT_TRUE(files.Append(folder + "j.txt", "two"));
    std::string read;
    EXPECT_TRUE(files.ReadAll(folder + "j.txt", 100, &read));
    EXPECT_EQ("one two", read);
    EXPECT_FALSE(files.ReadAll(folder + "j.txt", 6, &read)) << "longer than allowed";
    ASSERT_TRUE(wt::WriteFileBytes(dir.file(L"old.txt"), "old"));
    EXPECT_TRUE(files.Replace(folder + "j.txt", folder + "old.txt"));
    EXPECT_EQ(std::optional<std::string>("one two"), wt::ReadFileBytes(dir.file(L"old.txt")));
    EXPECT_EQ(PathKind::kNone, files.Kind(folder + "j.txt"));
    EXPECT_FALSE(files.Replace(folder + "j.txt", folder + "old.txt")) << "nothing to move";
}

TEST(SpecialFolders, XpLayoutInThePrefix) {
    // Wine keeps profiles under C:\users; the XP layout is made here for the test.
    // Wine reads the version setting when a program starts: this process runs as XP only if
    // the prefix was set to winxp before it started (scripts/wine-env sets it at creation).
    ASSERT_EQ(GetOSClass(), osXP) << "the prefix did not run as Windows XP when this test started";
    const std::wstring base = L"C:\\Documents and Settings\\";
    const std::wstring user = UserNameW();
    const struct {
        const char* what;
        bool userProfile;
    } rows[] = {{"with the user's profile", true}, {"without the user's profile", false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        KeepCurrentDirectory keep;
        MadeFolders made;
        ASSERT_TRUE(made.Make(WithoutTrailingSlash(base)));
        ASSERT_TRUE(made.Make(base + L"All Users"));
        if (row.userProfile) {
            ASSERT_TRUE(made.Make(base + user));
        } else {
            // A profile folder left from elsewhere would make this row meaningless.
            ASSERT_EQ(::GetFileAttributesW((base + user).c_str()), INVALID_FILE_ATTRIBUTES);
        }

        const std::wstring before = CurrentDirectory();
        CSpecialFolders folders;
        folders.ResolveFolders();
        EXPECT_EQ(folders.GetOsClass(), osXP);
        EXPECT_STREQ(folders.GetRoot(), "C:\\");
        EXPECT_EQ(folders.UserName(), wt::Ansi(user));
        EXPECT_EQ(wt::Wide(folders.GetDesktopFolder(false)),
                  base + L"All Users\\" + kDesktop + L"\\");
        if (row.userProfile) {
            EXPECT_EQ(wt::Wide(folders.GetDesktopFolder(true)),
                      base + user + L"\\" + kDesktop + L"\\");
        } else {
            EXPECT_EQ(folders.GetDesktopFolder(true), "");
        }
        // The probe enters the folders, but the browser's current directory (a DLL search
        // place) is left as it was.
        EXPECT_EQ(CurrentDirectory(), before);
        // Out of the folders, so they can go.
        ::SetCurrentDirectoryW(L"C:\\");
    }
}

TEST(SpecialFolders, Windows98DesktopInThePrefix) {
    // Wine's Windows folder holds no Korean desktop folder; the test makes one. A file made under
    // a bare name afterwards does not land in it.
    const std::wstring desktop = std::wstring(L"C:\\Windows\\") + kDesktop;
    MadeFolders made;
    ASSERT_TRUE(made.Make(desktop));
    wt::TempDir out;
    ASSERT_TRUE(out.ok());
    const std::wstring outFile = out.file(L"folders.txt");
    const std::wstring bare = desktop + L"\\bare.txt";
    ::DeleteFileW(bare.c_str());
    {
        wt::WineVersion version(L"win98");
        ASSERT_TRUE(version.ok());
        DWORD code = 0;
        ASSERT_TRUE(wt::RunProcess(SelfCommand(L"--child-folders \"" + outFile + L"\""),
                                   kChildDeadlineMs, &code));
        EXPECT_EQ(code, 0u);
    }
    const std::optional<std::string> text = wt::ReadFileBytes(outFile);
    ASSERT_TRUE(text.has_value());
    const std::wstring expected = desktop + L"\\";
    std::vector<std::string> lines;
    for (size_t start = 0, end; start < text->size(); start = end + 1) {
        end = text->find('\n', start);
        if (end == std::string::npos) end = text->size();
        lines.push_back(text->substr(start, end - start));
    }
    ASSERT_EQ(lines.size(), 4u) << *text;
    EXPECT_EQ(lines[0], std::to_string(os98));
    EXPECT_EQ(lines[1], wt::Narrow(expected));
    EXPECT_EQ(lines[2], "") << "the 9x family has no user desktop";
    // The current directory is the one the child probed from, so a bare name stays there.
    EXPECT_TRUE(wt::SamePath(WithoutTrailingSlash(win::Utf8ToWide(lines[3])), out.path()))
        << lines[3];
    EXPECT_TRUE(wt::FileExists(out.file(L"bare.txt")));
    EXPECT_FALSE(wt::FileExists(bare));
    ::DeleteFileW(bare.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strncmp(argv[1], "--child-", 8) == 0) return RunChild(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
