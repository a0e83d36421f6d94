// End to end through the stand-in browser: a page embeds the control, the control starts the
// stand-in client from WorkDir (or takes the updater path) and closes the host's window. What
// the client received is read from its own log; what the control recorded from the registry.
#include <windows.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tests/wine/support.h"

namespace {

using Params = std::vector<std::pair<std::wstring, std::wstring>>;

constexpr DWORD kClientDeadlineMs = 30000;

// Pages of a site on the test build's list and of one that is not.
const std::wstring kListedPage = L"http://127.0.0.1:18000/play.html";
const std::wstring kForeignPage = L"http://evil.example.net/play.html";

std::string HtmlEscape(const std::wstring& text) {
    std::string out;
    for (char c : wt::Narrow(text)) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// A UTF-8 page with the control's <object> element and one <param> per entry.
std::string Page(const Params& params) {
    std::string page =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">"
        "<title>Tavrin launch test</title></head>\n<body>\n"
        "<object id=\"tavrin\" classid=\"clsid:" +
        wt::Narrow(wt::GuidString(CLSID_Tavrin)) + "\" width=\"1\" height=\"1\">\n";
    for (const auto& p : params)
        page += "  <param name=\"" + HtmlEscape(p.first) + "\" value=\"" +
                HtmlEscape(p.second) + "\">\n";
    return page + "</object>\n</body></html>\n";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;  // upper case is not what the encoding writes
}

// " /NAME:<id> /PASSWORD:<p> /JOINKEY:<key>", where p is the password itself when it is 64
// bytes long and otherwise the time-keyed block: bytes 4..31 XOR byte i%4 of bytes 0..3 give
// the length byte and the password; bytes 0..3 are time() of the launch.
::testing::AssertionResult IsCommandLine(const std::string& line, const std::string& id,
                                         const std::string& password, const std::string& key,
                                         uint32_t notBefore, uint32_t notAfter) {
    const std::string head = " /NAME:" + id + " /PASSWORD:";
    const std::string tail = " /JOINKEY:" + key;
    if (line.size() < head.size() + tail.size() || line.compare(0, head.size(), head) != 0 ||
        line.compare(line.size() - tail.size(), tail.size(), tail) != 0)
        return ::testing::AssertionFailure()
               << "\"" << line << "\" is not \"" << head << "<password>" << tail << "\"";
    const std::string encoded = line.substr(head.size(), line.size() - head.size() - tail.size());
    if (password.size() == 64) {
        if (encoded != password)
            return ::testing::AssertionFailure() << "a 64-byte password must pass unchanged, got "
                                                 << encoded;
        return ::testing::AssertionSuccess();
    }
    if (encoded.size() != 64)
        return ::testing::AssertionFailure() << "encoded password \"" << encoded << "\" is "
                                             << encoded.size() << " characters, not 64";
    unsigned char block[32];
    for (int i = 0; i < 32; ++i) {
        int hi = HexDigit(encoded[2 * i]), lo = HexDigit(encoded[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return ::testing::AssertionFailure() << "not lowercase hex: " << encoded;
        block[i] = static_cast<unsigned char>(hi * 16 + lo);
    }
    const uint32_t stamp = block[0] | (block[1] << 8) | (block[2] << 16) |
                           (static_cast<uint32_t>(block[3]) << 24);
    if (stamp < notBefore || stamp > notAfter)
        return ::testing::AssertionFailure() << "time " << stamp << " outside [" << notBefore
                                             << ", " << notAfter << "]";
    for (int i = 4; i < 32; ++i) block[i] ^= block[i % 4];
    if (block[4] != password.size())
        return ::testing::AssertionFailure() << "length byte " << int(block[4]) << ", expected "
                                             << password.size();
    if (std::string(reinterpret_cast<char*>(block + 5), block[4]) != password)
        return ::testing::AssertionFailure() << "the block does not hold the password";
    return ::testing::AssertionSuccess();
}

uint32_t Now() { return static_cast<uint32_t>(std::time(nullptr)); }

class LaunchTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(wt::EnsureRegistered());
        ASSERT_TRUE(wt::FileExists(wt::BinPath(L"tavrin-host.exe")));
        ASSERT_TRUE(wt::FileExists(wt::BinPath(L"testclient\\Orbisan.exe")));
    }

    void SetUp() override {
        ASSERT_EQ(949u, ::GetACP());
        for (HWND w : wt::FindTopWindows(L"Orbisan")) m_existing.insert(w);
        wt::DeleteClientKey();
    }

    void TearDown() override {
        // Close every client this test started, through its own window and process.
        for (HWND w : wt::FindTopWindows(L"Orbisan"))
            if (!m_existing.count(w)) CloseClient(w);
        wt::DeleteClientKey();
    }

    // A fresh folder holding a copy of the stand-in client.
    ::testing::AssertionResult Install(const wt::TempDir& dir) {
        if (!dir.ok()) return ::testing::AssertionFailure() << "no temp folder";
        if (!::CopyFileW(wt::BinPath(L"testclient\\Orbisan.exe").c_str(),
                         dir.file(L"Orbisan.exe").c_str(), FALSE))
            return ::testing::AssertionFailure() << "copy failed: " << ::GetLastError();
        return ::testing::AssertionSuccess();
    }

    // Writes the page and runs the host on it with its output in a file (a client started by
    // the control inherits that output, so a pipe would wait for the client).
    // hostOptions: how the host names the page to the control (its --url, --document-url,
    // --browser-url, --no-moniker); "" for the page file's own address in the moniker.
    ::testing::AssertionResult RunHost(const Params& params, int timeoutSeconds, DWORD* exitCode,
                                       const std::wstring& hostOptions = L"") {
        if (!m_logs.ok()) return ::testing::AssertionFailure() << "no temp folder";
        const std::wstring page = m_logs.file(L"page-" + std::to_wstring(++m_runs) + L".html");
        if (!wt::WriteFileBytes(page, Page(params)))
            return ::testing::AssertionFailure() << "cannot write the page";
        const std::wstring outPath = m_logs.file(L"host-" + std::to_wstring(m_runs) + L".txt");
        SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
        win::FileHandle out(::CreateFileW(outPath.c_str(), GENERIC_WRITE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!out) return ::testing::AssertionFailure() << "cannot create the output file";
        const std::wstring command = L"\"" + wt::BinPath(L"tavrin-host.exe") + L"\" --timeout " +
                                     std::to_wstring(timeoutSeconds) + L" " + hostOptions +
                                     L" \"" + page + L"\"";
        ::testing::AssertionResult ran =
            wt::RunProcess(command, (timeoutSeconds + 30) * 1000, exitCode, out.get());
        out.close();
        m_hostOutput = wt::ReadFileBytes(outPath).value_or("");
        if (!ran) return ran << "\nhost output:\n" << m_hostOutput;
        return ::testing::AssertionSuccess();
    }

    // The client window this test's launch opened, waited for up to a deadline.
    HWND WaitForClientWindow() {
        HWND found = nullptr;
        wt::PumpUntil(
            [&] {
                for (HWND w : wt::FindTopWindows(L"Orbisan"))
                    if (!m_existing.count(w)) found = w;
                return found != nullptr;
            },
            kClientDeadlineMs);
        return found;
    }

    ::testing::AssertionResult CloseClient(HWND window) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        win::Handle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
        if (!process) return ::testing::AssertionFailure() << "cannot open client " << pid;
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        if (::WaitForSingleObject(process.get(), kClientDeadlineMs) != WAIT_OBJECT_0)
            return ::testing::AssertionFailure() << "client " << pid << " did not end on WM_CLOSE";
        return ::testing::AssertionSuccess();
    }

    // The single line the client logged, once its window is up.
    ::testing::AssertionResult ClientLine(const wt::TempDir& dir, std::string* line) {
        HWND window = WaitForClientWindow();
        if (!window)
            return ::testing::AssertionFailure() << "no client window\nhost output:\n"
                                                 << m_hostOutput;
        auto log = wt::ReadFileBytes(dir.file(L"client-log.txt"));
        ::testing::AssertionResult closed = CloseClient(window);
        if (!log) return ::testing::AssertionFailure() << "no client-log.txt";
        std::vector<std::string> lines = Lines(*log);
        if (lines.size() != 1)
            return ::testing::AssertionFailure()
                   << "client-log.txt holds " << lines.size() << " lines: " << *log;
        *line = lines[0];
        return closed;
    }

    std::set<HWND> m_existing;
    wt::TempDir m_logs;
    int m_runs = 0;
    std::string m_hostOutput;
};

TEST_F(LaunchTest, StartsTheInstalledClientAndClosesTheHost) {
    const std::wstring kEncoded =
        L"00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";
    struct Row {
        const char* name;
        std::wstring folder;  // leaf of the client's folder
        std::wstring id, password, key, server, server1;
        std::string join;       // the join key the command line must carry
        bool clientGetsParams;  // both id and password given
        std::wstring host = L"";  // how the host names the page; "" for the file's own
    } rows[] = {
        {"plain", L"client", L"player1", L"secret", L"", L"go.example:7000", L"", "1000", true},
        {"Korean names and folder", L"Velmora바둑", L"바둑왕", L"비밀번호", L"2000",
         L"서버1:7000", L"", "2000", true},
        {"encoded password passes", L"client", L"p4", kEncoded, L"1000", L"s", L"", "1000",
         true},
        {"27-byte password, the most the block holds", L"client", L"p5",
         L"abcdefghijklmnopqrstuvwxy01", L"", L"s", L"", "1000", true},
        {"no password", L"client", L"p6", L"", L"", L"s", L"", "1000", false},
        // No user id: the client gets no parameters, yet SaveStart holds the full line; with
        // strServer empty LoginSERV stays as it was (strServer1 is not consulted).
        {"no user id", L"client", L"", L"pw", L"", L"", L"s1", "1000", false},
        {"a page of a listed site", L"client", L"p7", L"pw", L"", L"s", L"", "1000", true,
         L"--url " + kListedPage},
        // The page's address from each source the control asks, alone, and the document
        // believed over a moniker that names another site.
        {"a listed page named by its document alone", L"client", L"p8", L"pw", L"", L"s", L"",
         "1000", true, L"--no-moniker --document-url " + kListedPage},
        {"a listed page named by the browser alone", L"client", L"p9", L"pw", L"", L"s", L"",
         "1000", true, L"--no-moniker --browser-url " + kListedPage},
        {"a listed document in a foreign moniker", L"client", L"p10", L"pw", L"", L"s", L"",
         "1000", true, L"--url " + kForeignPage + L" --document-url " + kListedPage},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        wt::TempDir dir(row.folder);
        ASSERT_TRUE(Install(dir));
        wt::DeleteClientKey();
        ASSERT_TRUE(wt::SetClientValue("WorkDir", wt::Ansi(dir.path())));
        ASSERT_TRUE(wt::SetClientValue("SaveStart", "marker"));
        ASSERT_TRUE(wt::SetClientValue("LoginSERV", "marker"));

        Params params = {{L"strID", row.id}, {L"strPass", row.password}, {L"key", row.key},
                         {L"strServer", row.server}, {L"strServer1", row.server1}};
        DWORD exitCode = wt::kSentinel;
        const uint32_t before = Now();
        ASSERT_TRUE(RunHost(params, 60, &exitCode, row.host));
        const uint32_t after = Now();
        EXPECT_EQ(0u, exitCode) << "the control did not close the host window\n" << m_hostOutput;

        std::string line;
        ASSERT_TRUE(ClientLine(dir, &line));
        auto saveStart = wt::ClientValue("SaveStart");
        ASSERT_TRUE(saveStart.has_value());
        EXPECT_TRUE(IsCommandLine(*saveStart, wt::Ansi(row.id), wt::Ansi(row.password), row.join,
                                  before, after));
        // The client gets the parameters only with both id and password.
        EXPECT_EQ(row.clientGetsParams ? *saveStart : std::string(), line);
        EXPECT_EQ(row.server.empty() ? std::string("marker") : wt::Ansi(row.server),
                  wt::ClientValue("LoginSERV").value_or("(missing)"));
    }
}

TEST_F(LaunchTest, JoinKey9000GoesInAnonymouslyWithAServerOfThePage) {
    wt::TempDir dir(L"client");
    ASSERT_TRUE(Install(dir));
    ASSERT_TRUE(wt::SetClientValue("WorkDir", wt::Ansi(dir.path())));
    ASSERT_TRUE(wt::SetClientValue("LoginSERV", "marker"));
    Params params = {{L"strID", L"someone"}, {L"strPass", L"pw"},    {L"key", L"9000"},
                     {L"strServer", L"s0"},  {L"strServer5", L"s5"}};
    DWORD exitCode = wt::kSentinel;
    ASSERT_TRUE(RunHost(params, 60, &exitCode));
    EXPECT_EQ(0u, exitCode) << m_hostOutput;

    std::string line;
    ASSERT_TRUE(ClientLine(dir, &line));
    EXPECT_EQ(" /NAME:+ /JOINKEY:9000", line);
    EXPECT_EQ(" /NAME:+ /JOINKEY:9000", wt::ClientValue("SaveStart").value_or("(missing)"));
    const std::string server = wt::ClientValue("LoginSERV").value_or("(missing)");
    EXPECT_TRUE(server == "s0" || server == "s5") << server;
}

// No client in WorkDir: the updater path. The updater does not close the host by itself here,
// so the host runs into its timeout (exit 3); SaveStart and LoginSERV are written before the
// decision, and a WorkDir naming no client is deleted.
TEST_F(LaunchTest, UpdaterPathWritesSettingsAndDropsAStaleWorkDir) {
    wt::TempDir empty(L"empty");
    ASSERT_TRUE(empty.ok());
    struct Row {
        const char* name;
        std::optional<std::wstring> workDir;
    } rows[] = {
        {"empty folder", empty.path()},
        {"missing folder", empty.path() + L"\\not-there"},
        {"WorkDir unset", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        wt::DeleteClientKey();
        if (row.workDir) {
            ASSERT_TRUE(wt::SetClientValue("WorkDir", wt::Ansi(*row.workDir)));
        }
        Params params = {{L"strID", L"player1"}, {L"strPass", L"secret"},
                         {L"strServer", L"go.example:7000"}};
        DWORD exitCode = wt::kSentinel;
        const uint32_t before = Now();
        ASSERT_TRUE(RunHost(params, 5, &exitCode));
        const uint32_t after = Now();
        EXPECT_EQ(3u, exitCode) << m_hostOutput;
        EXPECT_FALSE(wt::ClientValue("WorkDir").has_value());
        EXPECT_TRUE(IsCommandLine(wt::ClientValue("SaveStart").value_or(""), "player1", "secret",
                                  "1000", before, after));
        EXPECT_EQ("go.example:7000", wt::ClientValue("LoginSERV").value_or("(missing)"));
        EXPECT_FALSE(wt::FileExists(empty.file(L"client-log.txt")));
    }
}

// A user id that would smuggle a switch into the client's command line, or a page of a site
// not on the build's list (a look-alike among them): nothing is written, nothing started, no
// updater opens, and the host stays open until its timeout.
TEST_F(LaunchTest, UnsafeIdOrForeignPageStartsNothing) {
    // Code page 949 has no U+00E9: the page's id cannot reach the client as written.
    const std::wstring uncarried = L"caf\u00e9";
    ASSERT_NE(wt::Wide(wt::Ansi(uncarried)), uncarried);
    const struct {
        const char* what;
        std::wstring id;
        std::wstring host;  // how the host names the page; "" for the file's own
    } rows[] = {
        {"unsafe id", L"x /JOINKEY:9000", L""},
        {"an id code page 949 cannot carry", uncarried, L""},
        {"another site", L"player1", L"--url " + kForeignPage},
        {"a look-alike of this machine", L"player1", L"--url http://127.0.0.1.evil.net/play.html"},
        {"an address that does not parse", L"player1", L"--url javascript:alert(1)"},
        // The document and the browser are asked before the moniker.
        {"a foreign document in a listed moniker", L"player1",
         L"--url " + kListedPage + L" --document-url " + kForeignPage},
        {"a foreign browser location in a listed moniker", L"player1",
         L"--url " + kListedPage + L" --browser-url " + kForeignPage},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        wt::TempDir dir(L"client");
        ASSERT_TRUE(Install(dir));
        const std::string workDir = wt::Ansi(dir.path());
        ASSERT_TRUE(wt::SetClientValue("WorkDir", workDir));
        ASSERT_TRUE(wt::SetClientValue("SaveStart", "marker"));
        ASSERT_TRUE(wt::SetClientValue("LoginSERV", "marker"));
        Params params = {{L"strID", row.id}, {L"strPass", L"pw"},
                         {L"strServer", L"go.example:7000"}};
        DWORD exitCode = wt::kSentinel;
        ASSERT_TRUE(RunHost(params, 5, &exitCode, row.host));
        EXPECT_EQ(3u, exitCode) << m_hostOutput;
        EXPECT_FALSE(wt::FileExists(dir.file(L"client-log.txt"))) << "the client was started";
        EXPECT_EQ("marker", wt::ClientValue("SaveStart").value_or("(missing)"));
        EXPECT_EQ("marker", wt::ClientValue("LoginSERV").value_or("(missing)"));
        EXPECT_EQ(workDir, wt::ClientValue("WorkDir").value_or("(missing)"));
    }
}

}  // namespace
