// lzfpack.exe, the 32-bit package maker, as an operator runs it: Korean file and folder names
// through its wide command line, and a published folder that Prynn.dll installs back.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>

#include "libs/prynn/prynn.h"
#include "tests/wine/support.h"

namespace {

DWORD Lzfpack(const std::wstring& arguments) {
    DWORD code = wt::kSentinel;
    EXPECT_TRUE(wt::RunProcess(L"\"" + wt::BinPath(L"lzfpack.exe") + L"\" " + arguments, 60000, &code));
    return code;
}

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

std::string Executable(size_t size) {
    const std::string all = wt::ReadFileBytes(wt::BinPath(L"lzfpack.exe")).value_or("x");
    std::string content;
    while (content.size() < size) content += all;
    content.resize(size);
    return content;
}

TEST(LzfpackExe, PacksAndRestoresKoreanNames) {
    wt::TempDir dir(L"기보 모음");
    ASSERT_TRUE(dir.ok());
    const std::string content = Executable(150000);
    ASSERT_TRUE(wt::WriteFileBytes(dir.file(L"명국.sgf"), content));

    EXPECT_EQ(Lzfpack(Quoted(dir.file(L"명국.sgf"))), 0u);
    ASSERT_TRUE(wt::FileExists(dir.file(L"명국.sgf.lzf")));
    // The DLL installs what the packer made.
    EXPECT_NE(PrynnDecompress(wt::Ansi(dir.file(L"명국.sgf.lzf")).c_str(),
                              wt::Ansi(dir.file(L"설치본.sgf")).c_str()), 0);
    EXPECT_EQ(wt::ReadFileBytes(dir.file(L"설치본.sgf")).value_or(""), content);

    EXPECT_EQ(Lzfpack(L"-d -o " + Quoted(dir.file(L"복원.sgf")) + L" " + Quoted(dir.file(L"명국.sgf.lzf"))), 0u);
    EXPECT_EQ(wt::ReadFileBytes(dir.file(L"복원.sgf")).value_or(""), content);
    ASSERT_TRUE(wt::WriteFileBytes(dir.file(L"명국.sgf"), "changed"));
    EXPECT_EQ(Lzfpack(L"-d " + Quoted(dir.file(L"명국.sgf.lzf"))), 0u);
    EXPECT_EQ(wt::ReadFileBytes(dir.file(L"명국.sgf")).value_or(""), content);

    EXPECT_EQ(Lzfpack(L"-d " + Quoted(dir.file(L"명국.sgf"))), 1u);  // no .lzf, no -o
    EXPECT_EQ(Lzfpack(L"--bogus x"), 2u);
    EXPECT_EQ(Lzfpack(L"--help"), 0u);
    EXPECT_EQ(wt::FolderNames(dir.path()), (std::set<std::wstring>{L"명국.sgf", L"명국.sgf.lzf", L"설치본.sgf",
                                                         L"복원.sgf"}));
}

TEST(LzfpackExe, PublishesAFolderThatPrynnInstalls) {
    wt::TempDir dir(L"배포 폴더");
    ASSERT_TRUE(dir.ok());
    const std::pair<const wchar_t*, std::string> files[] = {
        {L"Orbisan.exe", Executable(200000)}, {L"Quenby3.exe", Executable(1000)}, {L"rules.txt", "komi 6.5"}};
    for (const auto& f : files) ASSERT_TRUE(wt::WriteFileBytes(dir.file(f.first), f.second));

    EXPECT_EQ(Lzfpack(L"--cfg " + Quoted(dir.path())), 0u);
    EXPECT_EQ(wt::ReadFileBytes(dir.file(L"orbisan3.cfg")).value_or(""),
              "Orbisan.exe.lzf\r\nrules.txt.lzf\r\n");
    wt::TempDir install(L"설치 폴더");
    ASSERT_TRUE(install.ok());
    for (const auto& f : files) {
        SCOPED_TRACE(wt::Narrow(f.first));
        const std::wstring name = f.first;
        EXPECT_NE(PrynnDecompress(wt::Ansi(dir.file(name + L".lzf")).c_str(),
                                  wt::Ansi(install.file(name)).c_str()), 0);
        EXPECT_EQ(wt::ReadFileBytes(install.file(name)).value_or("<none>"), f.second);
    }
}

TEST(LzfpackExe, PublishesNothingWhenAFileNameCannotBeListed) {
    wt::TempDir dir(L"배포");
    ASSERT_TRUE(dir.ok());
    ASSERT_TRUE(wt::WriteFileBytes(dir.file(L"good.dat"), "good"));
    ASSERT_TRUE(wt::WriteFileBytes(dir.file(L"바둑판.dat"), "not ASCII"));
    const std::set<std::wstring> before = wt::FolderNames(dir.path());
    EXPECT_EQ(Lzfpack(L"--cfg " + Quoted(dir.path())), 1u);
    EXPECT_EQ(wt::FolderNames(dir.path()), before);
}

}  // namespace
