// Prynn.dll called as the control calls it: through the import library (ordinal 4), with
// paths in the ANSI code page (949 here), into folders with Korean names. A failure of any
// kind returns 0 and leaves the installed file and its folder as they were.
#include "libs/prynn/prynn.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "libs/prynn/lzf_stream.h"
#include "tests/wine/support.h"

namespace {

std::string Package(const std::string& content) {
    const std::vector<uint8_t> bytes = prynn::EncodeBuffer(std::vector<uint8_t>(content.begin(), content.end()));
    return std::string(bytes.begin(), bytes.end());
}

// This test program, repeated up to size: real executable content.
std::string Executable(size_t size) {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::string all = wt::ReadFileBytes(path).value_or("x");
    std::string content;
    while (content.size() < size) content += all;
    content.resize(size);
    return content;
}

int Install(const std::wstring& source, const std::wstring& target) {
    return PrynnDecompress(wt::Ansi(source).c_str(), wt::Ansi(target).c_str());
}

const std::string kOld = "the old installed file";

// The control binds ordinal 4 of Prynn.dll: the DLL must offer that and no name.
TEST(PrynnDll, IsExportedByOrdinalFourOnly) {
    HMODULE dll = ::GetModuleHandleA("Prynn.dll");
    ASSERT_NE(dll, nullptr);
    for (const char* name : {"PrynnDecompress", "PrynnDecompress@8", "_PrynnDecompress@8"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(::GetProcAddress(dll, name), nullptr);
    }
    for (WORD ordinal : {1, 2, 3, 5}) {
        SCOPED_TRACE(ordinal);
        EXPECT_EQ(::GetProcAddress(dll, MAKEINTRESOURCEA(ordinal)), nullptr);
    }
    auto entry = reinterpret_cast<int(__stdcall*)(const char*, const char*)>(
        reinterpret_cast<void*>(::GetProcAddress(dll, MAKEINTRESOURCEA(4))));
    ASSERT_NE(entry, nullptr);

    wt::TempDir dir;
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE(wt::WriteFileBytes(dir.file(L"a.lzf"), Package("by ordinal")));
    EXPECT_NE(entry(wt::Ansi(dir.file(L"a.lzf")).c_str(), wt::Ansi(dir.file(L"a")).c_str()), 0);
    EXPECT_EQ(wt::ReadFileBytes(dir.file(L"a")).value_or(""), "by ordinal");
}

TEST(PrynnDll, InstallsIntoKoreanFoldersReplacingTheOldFile) {
    struct Row {
        const char* name;
        std::string content;
    };
    const Row rows[] = {{"empty", ""},
                        {"one byte", "x"},
                        {"one whole block", Executable(65535)},
                        {"five blocks", Executable(300000)}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        wt::TempDir dir(L"벨모라 바둑");
        ASSERT_TRUE(dir.ok());
        const std::wstring package = dir.file(L"기보.dll.lzf");
        const std::wstring target = dir.file(L"기보.dll");
        ASSERT_TRUE(wt::WriteFileBytes(package, Package(r.content)));
        ASSERT_TRUE(wt::WriteFileBytes(target, Executable(400000)));  // longer than any content
        EXPECT_NE(Install(package, target), 0);
        EXPECT_EQ(wt::ReadFileBytes(target).value_or("<none>"), r.content);
        EXPECT_EQ(wt::FolderNames(dir.path()), (std::set<std::wstring>{L"기보.dll.lzf", L"기보.dll"}));
        // Again over the file it made: a package listed twice is installed twice.
        EXPECT_NE(Install(package, target), 0);
        EXPECT_EQ(wt::ReadFileBytes(target).value_or("<none>"), r.content);
    }
}

TEST(PrynnDll, ReturnsZeroAndKeepsTheOldFileOnAnyFailure) {
    const std::string good = Package(Executable(200000));
    std::string badMagic = good, badLength = good;
    badMagic[0] = 'X';
    badLength[6] = static_cast<char>(badLength[6] ^ 1);
    struct Row {
        const char* name;
        bool packagePresent;
        std::string package;
        const wchar_t* target;  // relative to the folder
    };
    const Row rows[] = {
        {"a missing package", false, "", L"설치.exe"},
        {"a package cut short", true, good.substr(0, good.size() / 2), L"설치.exe"},
        {"a package one byte short", true, good.substr(0, good.size() - 1), L"설치.exe"},
        {"a corrupt block mark", true, badMagic, L"설치.exe"},
        {"a block length that disagrees", true, badLength, L"설치.exe"},
        {"not a package at all", true, kOld, L"설치.exe"},
        {"a target folder that does not exist", true, good, L"없는 폴더\\설치.exe"},
        {"a target that is a folder", true, good, L"폴더"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        wt::TempDir dir(L"업데이트");
        ASSERT_TRUE(dir.ok());
        ASSERT_TRUE(::CreateDirectoryW(dir.file(L"폴더").c_str(), nullptr));
        if (r.packagePresent) {
            ASSERT_TRUE(wt::WriteFileBytes(dir.file(L"설치.exe.lzf"), r.package));
        }
        ASSERT_TRUE(wt::WriteFileBytes(dir.file(L"설치.exe"), kOld));
        const std::set<std::wstring> before = wt::FolderNames(dir.path());
        EXPECT_EQ(Install(dir.file(L"설치.exe.lzf"), dir.file(r.target)), 0);
        EXPECT_EQ(wt::ReadFileBytes(dir.file(L"설치.exe")).value_or("<none>"), kOld);
        EXPECT_EQ(wt::FolderNames(dir.path()), before);
        EXPECT_TRUE(wt::FolderNames(dir.file(L"폴더")).empty());
    }
}

// A running program keeps its file open without delete sharing: the replacement fails, and
// the file and the folder stay as they were.
TEST(PrynnDll, KeepsAFileInUse) {
    wt::TempDir dir(L"사용 중");
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE(wt::WriteFileBytes(dir.file(L"Orbisan.exe.lzf"), Package(Executable(100000))));
    ASSERT_TRUE(wt::WriteFileBytes(dir.file(L"Orbisan.exe"), kOld));
    {
        win::FileHandle inUse(::CreateFileW(dir.file(L"Orbisan.exe").c_str(), GENERIC_READ,
                                           FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(inUse);
        EXPECT_EQ(Install(dir.file(L"Orbisan.exe.lzf"), dir.file(L"Orbisan.exe")), 0);
    }
    EXPECT_EQ(wt::ReadFileBytes(dir.file(L"Orbisan.exe")).value_or("<none>"), kOld);
    EXPECT_EQ(wt::FolderNames(dir.path()), (std::set<std::wstring>{L"Orbisan.exe.lzf", L"Orbisan.exe"}));
    // Once it is closed, the same call succeeds.
    EXPECT_NE(Install(dir.file(L"Orbisan.exe.lzf"), dir.file(L"Orbisan.exe")), 0);
    EXPECT_EQ(wt::ReadFileBytes(dir.file(L"Orbisan.exe")).value_or("<none>"), Executable(100000));
}

TEST(PrynnDll, RefusesMissingEmptyAndMalformedPaths) {
    wt::TempDir dir;
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE(wt::WriteFileBytes(dir.file(L"p.lzf"), Package("content")));
    const std::string source = wt::Ansi(dir.file(L"p.lzf"));
    const std::string target = wt::Ansi(dir.file(L"p"));
    EXPECT_EQ(PrynnDecompress(nullptr, target.c_str()), 0);
    EXPECT_EQ(PrynnDecompress(source.c_str(), nullptr), 0);
    EXPECT_EQ(PrynnDecompress("", target.c_str()), 0);
    EXPECT_EQ(PrynnDecompress(source.c_str(), ""), 0);
    // A lead byte of code page 949 without its trail byte names no file exactly.
    EXPECT_EQ(PrynnDecompress(source.c_str(), (target + "\x81").c_str()), 0);
    EXPECT_EQ(wt::FolderNames(dir.path()), std::set<std::wstring>{L"p.lzf"});
}

struct Job {
    std::wstring source, target;
    int result = -1;
};

DWORD WINAPI RunJob(void* param) {
    Job& job = *static_cast<Job*>(param);
    job.result = Install(job.source, job.target);
    return 0;
}

// Two installs into one target at once (the list may name a package twice): each writes its
// own temporary file, so the target ends as one whole content, never a mix.
TEST(PrynnDll, ConcurrentInstallsIntoOneTargetLeaveOneWholeContent) {
    wt::TempDir dir(L"동시");
    ASSERT_TRUE(dir.ok());
    const std::string a = Executable(500000);
    const std::string b(500000, 'b');
    ASSERT_TRUE(wt::WriteFileBytes(dir.file(L"a.lzf"), Package(a)));
    ASSERT_TRUE(wt::WriteFileBytes(dir.file(L"b.lzf"), Package(b)));
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        Job jobs[2] = {{dir.file(L"a.lzf"), dir.file(L"t")}, {dir.file(L"b.lzf"), dir.file(L"t")}};
        HANDLE threads[2];
        for (int i = 0; i < 2; ++i) {
            threads[i] = ::CreateThread(nullptr, 0, RunJob, &jobs[i], 0, nullptr);
            ASSERT_NE(threads[i], nullptr);
        }
        ::WaitForMultipleObjects(2, threads, TRUE, 60000);
        for (HANDLE t : threads) ::CloseHandle(t);
        // One may lose the race for the rename while the other holds the target: never both.
        EXPECT_TRUE(jobs[0].result != 0 || jobs[1].result != 0);
        const std::string now = wt::ReadFileBytes(dir.file(L"t")).value_or("<none>");
        EXPECT_TRUE(now == a || now == b);
        EXPECT_EQ(wt::FolderNames(dir.path()), (std::set<std::wstring>{L"a.lzf", L"b.lzf", L"t"}));
    }
}

}  // namespace
