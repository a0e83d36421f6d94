// The stand-in client keeps its promises to the launch tests: the parameters as received, WorkDir
// in the registry, a window captioned "Orbisan" that ends the program when closed.
#include "win/code_page.h"
#include "win/handles.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

const wchar_t kClientKey[] = L"Software\\Brennix\\Orbisan\\Sumnel";

std::wstring TestBinFolder() {
    wchar_t path[MAX_PATH];
    DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring s(path, n);
    return s.substr(0, s.find_last_of(L'\\'));
}

std::string ReadAll(const std::wstring& path) {
    win::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) return std::string();
    std::string all;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        all.append(buffer, got);
    return all;
}

// The WorkDir value, or "<none>".
std::wstring ReadWorkDir() {
    win::RegKey key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kClientKey, 0, KEY_QUERY_VALUE, key.receive()) !=
        ERROR_SUCCESS)
        return L"<none>";
    wchar_t value[MAX_PATH * 2] = {};
    DWORD type = 0, bytes = sizeof value - sizeof(wchar_t);
    if (::RegQueryValueExW(key.get(), L"WorkDir", nullptr, &type,
                           reinterpret_cast<BYTE*>(value), &bytes) != ERROR_SUCCESS ||
        type != REG_SZ)
        return L"<none>";
    return value;
}

struct FindWindowOf {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchProcess(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<FindWindowOf*>(param);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->processId || !::IsWindowVisible(hwnd)) return TRUE;
    search->found = hwnd;
    return FALSE;
}

HWND WaitForWindow(DWORD processId) {
    for (int i = 0; i < 200; ++i) {
        FindWindowOf search = {processId, nullptr};
        ::EnumWindows(MatchProcess, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        ::Sleep(100);
    }
    return nullptr;
}

// Each test runs a copy of the client in a folder of its own (with a blank in its name, as
// "Program Files" has); the client's registry value is put back afterwards.
class StandInClient : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedWorkDir = ReadWorkDir();
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        std::wostringstream name;
        name << temp << L"stand-in client " << ::GetCurrentProcessId();
        m_folder = name.str();
        ASSERT_TRUE(::CreateDirectoryW(m_folder.c_str(), nullptr) ||
                    ::GetLastError() == ERROR_ALREADY_EXISTS);
        m_exe = m_folder + L"\\Orbisan.exe";
        ASSERT_TRUE(::CopyFileW((TestBinFolder() + L"\\testclient\\Orbisan.exe").c_str(),
                                m_exe.c_str(), FALSE))
            << "error " << ::GetLastError() << " (is the testclient target built?)";
        m_log = m_folder + L"\\client-log.txt";
        ::DeleteFileW(m_log.c_str());
    }

    void TearDown() override {
        if (m_process) ::TerminateProcess(m_process.get(), 99);
        m_process.close();
        ::DeleteFileW(m_log.c_str());
        ::DeleteFileW(m_exe.c_str());
        ::RemoveDirectoryW(m_folder.c_str());
        win::RegKey key;
        if (::RegCreateKeyExW(HKEY_CURRENT_USER, kClientKey, 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, key.receive(), nullptr) != ERROR_SUCCESS)
            return;
        if (m_savedWorkDir == L"<none>") {
            ::RegDeleteValueW(key.get(), L"WorkDir");
        } else {
            ::RegSetValueExW(key.get(), L"WorkDir", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(m_savedWorkDir.c_str()),
                             static_cast<DWORD>((m_savedWorkDir.size() + 1) * sizeof(wchar_t)));
        }
    }

    // Starts the client with this command line (the program name included) and waits for its
    // window.
    HWND Start(std::wstring commandLine) {
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!::CreateProcessW(m_exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &si, &pi)) {
            ADD_FAILURE() << "CreateProcess failed: " << ::GetLastError();
            return nullptr;
        }
        ::CloseHandle(pi.hThread);
        m_process.attach(pi.hProcess);
        m_processId = pi.dwProcessId;
        return WaitForWindow(pi.dwProcessId);
    }

    // Closes the window as a user would; the client must end with exit code 0.
    void CloseAndWait(HWND window) {
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        ASSERT_EQ(::WaitForSingleObject(m_process.get(), 20000), WAIT_OBJECT_0);
        DWORD code = 99;
        ::GetExitCodeProcess(m_process.get(), &code);
        EXPECT_EQ(code, 0u);
        m_process.close();
    }

    std::wstring Quoted() const { return L"\"" + m_exe + L"\""; }

    std::wstring m_savedWorkDir, m_folder, m_exe, m_log;
    win::Handle m_process;
    DWORD m_processId = 0;
};

TEST_F(StandInClient, RecordsTheParametersWithTheirLeadingBlankAndItsWorkDir) {
    // The launcher's parameters begin with a blank; the shell adds the separator in front.
    HWND window = Start(Quoted() + L"  /NAME:abc /PASSWORD:p%20q /JOINKEY:1000 ");
    ASSERT_NE(window, nullptr);

    wchar_t caption[64] = {};
    ::GetWindowTextW(window, caption, 64);
    EXPECT_STREQ(caption, L"Orbisan");
    EXPECT_EQ(ReadAll(m_log), " /NAME:abc /PASSWORD:p%20q /JOINKEY:1000 \n");
    EXPECT_EQ(ReadWorkDir(), m_folder);

    CloseAndWait(window);
}

TEST_F(StandInClient, AppendsOneLinePerStartWithUnquotedNamesAndEmptyParameters) {
    HWND window = Start(L"Orbisan.exe");
    ASSERT_NE(window, nullptr);
    CloseAndWait(window);
    window = Start(L"Orbisan.exe /JOINKEY:7");
    ASSERT_NE(window, nullptr);
    CloseAndWait(window);
    window = Start(Quoted());
    ASSERT_NE(window, nullptr);
    CloseAndWait(window);

    EXPECT_EQ(ReadAll(m_log), "\n/JOINKEY:7\n\n");
}

TEST_F(StandInClient, KeepsTheAnsiBytesOfKoreanParameters) {
    // The launcher passes the name in the ANSI code page; the log must hold those bytes.
    if (::GetACP() != 949) GTEST_SKIP() << "needs the Korean ANSI code page (scripts/wine-env)";
    HWND window = Start(Quoted() + L"  /NAME:\uBC14\uB451\uB3CC");
    ASSERT_NE(window, nullptr);

    std::wstring wide = L" /NAME:\uBC14\uB451\uB3CC\n";
    EXPECT_EQ(ReadAll(m_log), win::WideToAnsi(wide));

    ::TerminateProcess(m_process.get(), 5);
    ASSERT_EQ(::WaitForSingleObject(m_process.get(), 20000), WAIT_OBJECT_0);
}

}  // namespace
