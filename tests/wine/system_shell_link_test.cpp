// Shell links made through the shell's link object under Wine, read back through IShellLinkW:
// what CreateShellShortcut writes and replaces, how it fails, and where
// CreateClientDesktopShortcut puts the client's link. A link file can go into a folder no ANSI
// code page names (Korean and Thai); its target and icon stay where the code page names them,
// since Wine's link object keeps the target's path in the ANSI code page too.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "system/desktop_folder_win.h"
#include "system/shell_link_win.h"
#include "tests/wine/support.h"

namespace {

using tavrin::CreateClientDesktopShortcut;
using tavrin::CreateShellShortcut;
using tavrin::ShortcutSpec;

const wchar_t kLinkFile[] = L"Velmora바둑 대국실.lnk";
const wchar_t kDescription[] = L"Velmora바둑 대국실";

struct LinkData {
    std::wstring path, description, iconPath;
    int iconIndex = -1;
    WORD hotkey = 0xFFFF;
    std::wstring workingDirectory, arguments;
};

// Loads the link file through the shell's link object, as the shell reads it.
::testing::AssertionResult ReadLink(const std::wstring& file, LinkData& out) {
    win::ComPtr<IShellLinkW> link;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IShellLinkW, link.receiveVoid());
    if (FAILED(hr)) return ::testing::AssertionFailure() << "CoCreateInstance " << std::hex << hr;
    win::ComPtr<IPersistFile> persist;
    if (FAILED(hr = link.as(persist)))
        return ::testing::AssertionFailure() << "IPersistFile " << std::hex << hr;
    if (FAILED(hr = persist->Load(file.c_str(), STGM_READ)))
        return ::testing::AssertionFailure() << "Load " << std::hex << hr;
    wchar_t text[MAX_PATH] = {};
    link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH);
    out.path = text;
    link->GetDescription(text, MAX_PATH);
    out.description = text;
    link->GetIconLocation(text, MAX_PATH, &out.iconIndex);
    out.iconPath = text;
    link->GetHotkey(&out.hotkey);
    link->GetWorkingDirectory(text, MAX_PATH);
    out.workingDirectory = text;
    link->GetArguments(text, MAX_PATH);
    out.arguments = text;
    return ::testing::AssertionSuccess();
}

class ShellLink : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(m_com.result()));
        ASSERT_TRUE(m_dir.ok());
        // Targets that exist, so the link object has nothing to search for.
        for (const wchar_t* name : {L"Orbisan.exe", L"Other.exe", L"Orbisan.ICO"})
            ASSERT_TRUE(wt::WriteFileBytes(m_dir.file(name), "x"));
    }
    win::CoInit m_com;
    wt::TempDir m_dir{L"설치 폴더"};
    wt::TempDir m_links{L"바로 가기 ไทย"};
};

TEST_F(ShellLink, WritesTargetDescriptionHotkeyAndIconAndReplacesTheFileOnASecondRun) {
    ASSERT_TRUE(m_links.ok());
    const std::wstring file = m_links.file(kLinkFile);
    const struct {
        std::wstring target, description, icon;
        WORD hotkey, iconIndex;
    } runs[] = {
        {m_dir.file(L"Orbisan.exe"), kDescription, m_dir.file(L"Orbisan.ICO"), 0, 0},
        {m_dir.file(L"Other.exe"), L"다른 설명", m_dir.file(L"Other.exe"),
         MAKEWORD('K', HOTKEYF_CONTROL | HOTKEYF_ALT), 3},
    };
    for (const auto& run : runs) {
        SCOPED_TRACE(wt::Narrow(run.target));
        const ShortcutSpec shortcut = {run.target.c_str(), run.description.c_str(), run.hotkey,
                                       run.icon.c_str(), run.iconIndex};
        ASSERT_EQ(CreateShellShortcut(file.c_str(), &shortcut), S_OK);
        LinkData link;
        ASSERT_TRUE(ReadLink(file, link));
        EXPECT_TRUE(wt::SamePath(link.path, run.target)) << wt::Narrow(link.path);
        EXPECT_EQ(link.description, run.description);
        EXPECT_TRUE(wt::SamePath(link.iconPath, run.icon)) << wt::Narrow(link.iconPath);
        EXPECT_EQ(link.iconIndex, run.iconIndex);
        EXPECT_EQ(link.hotkey, run.hotkey);
        EXPECT_EQ(link.workingDirectory, L"") << "none is set";
        EXPECT_EQ(link.arguments, L"") << "none are set";
    }
    // One file, replaced in place.
    WIN32_FIND_DATAW data;
    win::FindHandle find(::FindFirstFileW(m_links.file(L"*.lnk").c_str(), &data));
    ASSERT_TRUE(static_cast<bool>(find));
    EXPECT_EQ(std::wstring(data.cFileName), kLinkFile);
    EXPECT_FALSE(::FindNextFileW(find.get(), &data));
}

TEST_F(ShellLink, FailuresLeaveNoFile) {
    const std::wstring target = m_dir.file(L"Orbisan.exe");
    const ShortcutSpec shortcut = {target.c_str(), L"d", 0, target.c_str(), 0};
    const std::wstring file = m_dir.file(L"failed.lnk");
    const std::wstring tooLong = m_dir.path() + L"\\" + std::wstring(300, L'n') + L".lnk";
    const struct {
        const char* what;
        const wchar_t* path;
        const ShortcutSpec* shortcut;
        HRESULT expected;
    } rows[] = {
        {"no description of the link", file.c_str(), nullptr, E_FAIL},
        {"no path", nullptr, &shortcut, E_POINTER},
        {"a path longer than 260 characters", tooLong.c_str(), &shortcut,
         HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(CreateShellShortcut(row.path, row.shortcut), row.expected);
        EXPECT_FALSE(wt::FileExists(file));
    }
}

TEST_F(ShellLink, NeedsCOMOnTheCallingThread) {
    const std::wstring target = m_dir.file(L"Orbisan.exe");
    const ShortcutSpec shortcut = {target.c_str(), L"d", 0, target.c_str(), 0};
    const std::wstring file = m_dir.file(L"thread.lnk");
    HRESULT hr = S_OK;
    std::thread([&] { hr = CreateShellShortcut(file.c_str(), &shortcut); }).join();
    EXPECT_EQ(hr, CO_E_NOTINITIALIZED);
    EXPECT_FALSE(wt::FileExists(file));
}

// The client's link on the shell's desktop folder; a link there before the test is put back.
class ClientDesktopLink : public ShellLink {
protected:
    void SetUp() override {
        ShellLink::SetUp();
        wchar_t desktop[MAX_PATH] = {};
        ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, desktop, CSIDL_DESKTOPDIRECTORY, FALSE));
        m_link = std::wstring(desktop) + L"\\" + kLinkFile;
        m_saved = wt::ReadFileBytes(m_link);
        ::DeleteFileW(m_link.c_str());
    }
    void TearDown() override {
        ::DeleteFileW(m_link.c_str());
        if (m_saved) wt::WriteFileBytes(m_link, *m_saved);
    }

    std::wstring m_link;
    std::optional<std::string> m_saved;
};

TEST_F(ClientDesktopLink, LandsInTheShellsDesktopFolderAndIsReplacedOnASecondRun) {
    for (const wchar_t* target : {L"Orbisan.exe", L"Other.exe"}) {
        SCOPED_TRACE(wt::Narrow(target));
        ASSERT_EQ(CreateClientDesktopShortcut(m_dir.file(target), m_dir.path(), L"Orbisan.ICO"), 1);
        LinkData link;
        ASSERT_TRUE(ReadLink(m_link, link));
        EXPECT_TRUE(wt::SamePath(link.path, m_dir.file(target))) << wt::Narrow(link.path);
        EXPECT_EQ(link.description, kDescription);
        EXPECT_TRUE(wt::SamePath(link.iconPath, m_dir.file(L"Orbisan.ICO")))
            << wt::Narrow(link.iconPath);
        EXPECT_EQ(link.iconIndex, 0);
        EXPECT_EQ(link.hotkey, 0);
        EXPECT_FALSE(wt::FileExists(m_dir.file(kLinkFile))) << "not in the installation folder";
    }
}

// Folders this test made, removed again (innermost first) whatever the test's outcome.
struct MadeFolders {
    std::vector<std::wstring> paths;
    void Make(const std::wstring& path) {
        if (::CreateDirectoryW(path.c_str(), nullptr)) paths.push_back(path);
    }
    ~MadeFolders() {
        for (auto it = paths.rbegin(); it != paths.rend(); ++it) ::RemoveDirectoryW(it->c_str());
    }
};

// With the user's profile where the probing looks, the probing names a desktop below it that
// need not exist (as where the shell's desktop has been moved); the link still goes where the
// shell says.
TEST_F(ClientDesktopLink, GoesWhereTheShellSaysWhereProbingFindsAProfile) {
    char user[256] = "";
    DWORD size = sizeof user;
    ASSERT_TRUE(::GetUserNameA(user, &size));
    MadeFolders made;
    made.Make(L"C:\\Documents and Settings");
    made.Make(L"C:\\Documents and Settings\\" + wt::Wide(user));
    const std::wstring probed = tavrin::UserDesktopFolder();
    ASSERT_EQ(probed.rfind(L"C:\\Documents and Settings\\", 0), 0u) << wt::Narrow(probed);

    ASSERT_EQ(CreateClientDesktopShortcut(m_dir.file(L"Orbisan.exe"), m_dir.path(), L"Orbisan.ICO"),
              1);
    EXPECT_TRUE(wt::FileExists(m_link));
    EXPECT_FALSE(wt::FileExists(probed + kLinkFile));
}

TEST_F(ClientDesktopLink, LeavesTheCallersApartmentAsItWas) {
    // A thread of the multithreaded apartment: the routine's CoInitialize is refused there, and
    // an unpaired CoUninitialize would take the caller's apartment away.
    int result = -1;
    HRESULT afterwards = E_UNEXPECTED;
    std::thread([&] {
        if (FAILED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return;
        result = CreateClientDesktopShortcut(m_dir.file(L"Orbisan.exe"), m_dir.path(),
                                             L"Orbisan.ICO");
        win::ComPtr<IShellLinkW> link;
        afterwards = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IShellLinkW, link.receiveVoid());
        link.reset();
        ::CoUninitialize();
    }).join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(afterwards, S_OK);
    EXPECT_TRUE(wt::FileExists(m_link));
}

TEST_F(ClientDesktopLink, AnIconPathBeyond260CharactersWritesNoLink) {
    EXPECT_EQ(CreateClientDesktopShortcut(m_dir.file(L"Orbisan.exe"), m_dir.path(),
                                          std::wstring(300, L'i')),
              0);
    EXPECT_FALSE(wt::FileExists(m_link));
}

}  // namespace
