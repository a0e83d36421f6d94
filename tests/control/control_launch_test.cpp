#include "control/launch_logic.h"
#include "control/site_lock.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

using namespace tavrin;

namespace {

// Records every platform call in order; the clock and generator are scripted. An exhausted
// Rand script falls back to a fixed value so decision tests need not script the filler.
class FakeOps : public LaunchOps {
public:
    uint32_t time = 0x5A3C1E07;
    std::deque<int> rands;
    int randFallback = 0x2B;
    int randCalls = 0;
    int timeCalls = 0;
    std::vector<unsigned> seeds;
    bool hasWorkDir = true;
    std::string workDir = "C:\\Game";
    bool exeExists = true;
    bool clientStarts = true;
    std::vector<std::string> calls;
    std::vector<std::string> traces;

    uint32_t Time() override { ++timeCalls; return time; }
    void Srand(unsigned seed) override { seeds.push_back(seed); }
    int Rand() override {
        ++randCalls;
        if (rands.empty()) return randFallback;
        int r = rands.front();
        rands.pop_front();
        return r;
    }
    int ReadSetting(const std::string& name, std::string& out) override {
        calls.push_back("Read " + name);
        if (!hasWorkDir) return 1;
        out = workDir;
        return 0;
    }
    void WriteSetting(const std::string& value, int which) override {
        calls.push_back((which == kWriteLoginServer ? "LoginSERV " : "SaveStart ") + value);
    }
    bool FileExists(const std::string& path) override {
        calls.push_back("Exists " + path);
        return exeExists;
    }
    void DeleteWorkDir() override { calls.push_back("DeleteWorkDir"); }
    bool StartClient(const std::string& path, const std::string* params) override {
        calls.push_back("Start " + path + (params ? " |" + *params : " null"));
        return clientStarts;
    }
    void PostLaunchDone() override { calls.push_back("PostLaunchDone"); }
    void CreateUpdater() override { calls.push_back("CreateUpdater"); }
    InstallState install = InstallState::Whole;
    InstallState FinishInterruptedInstall() override {
        calls.push_back("FinishInstall");
        return install;
    }
    void ShowInstallUnfinished(InstallState state) override {
        calls.push_back(state == InstallState::Busy ? "ShowInstallBusy" : "ShowInstallUnfinished");
    }
    void ShowRefused() override { calls.push_back("ShowRefused"); }
    void ShowStartFailed(const std::string& path) override { calls.push_back("ShowStartFailed " + path); }
    void Trace(const std::string& line) override { traces.push_back(line); }
    std::string PageAddress() override { return page; }
    std::string page = "file:///C:/Users/kim/page.html";
};

// The development builds' list.
const char kSites[] = "file:;http://127.0.0.1:*;http://localhost:*";

struct Block {
    uint32_t time = 0;
    std::vector<unsigned char> plain;  // bytes 4..31 after undoing the XOR
};

// Reads the 64 hex digits back the way the client does.
Block Decode(const std::string& hex) {
    std::vector<unsigned char> raw;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        raw.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    Block b;
    for (int i = 3; i >= 0; --i) b.time = (b.time << 8) | raw.at(i);
    for (size_t i = 4; i < raw.size(); ++i) b.plain.push_back(raw[i] ^ raw[i % 4]);
    return b;
}

void ExpectLowerHex64(const std::string& hex) {
    ASSERT_EQ(hex.size(), 64u);
    EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos) << hex;
}

LaunchProperties Props(std::string id, std::string pass, std::string key) {
    LaunchProperties p;
    p.strID = std::move(id);
    p.strPass = std::move(pass);
    p.key = std::move(key);
    return p;
}

const std::string kKorean = "\xb9\xd9\xb5\xcf";
const std::string k64(64, 'f');

}  // namespace

TEST(EncodePassword, DecodesBackToTimeLengthPasswordAndFiller) {
    const std::vector<std::string> passwords = {"", "a", "secret", std::string(26, 'x'), kKorean,
                                                "\x80\xff\x7e!"};
    const std::vector<uint32_t> times = {0, 0x12345678, 0xFFFFFFFF, 0x80000001};
    for (const auto& password : passwords) {
        for (uint32_t t : times) {
            SCOPED_TRACE("password length " + std::to_string(password.size()) + ", time " + std::to_string(t));
            FakeOps r;
            r.time = t;
            std::vector<int> script;
            for (int i = 0; i < 27; ++i) script.push_back(0x1300 * (i + 1) + 17 * i);  // high bits set
            r.rands.assign(script.begin(), script.end());

            std::string hex = EncodePassword(password, r);
            ExpectLowerHex64(hex);
            Block b = Decode(hex);
            EXPECT_EQ(b.time, t);
            ASSERT_EQ(b.plain.size(), 28u);
            EXPECT_EQ(b.plain[0], password.size());
            EXPECT_EQ(std::string(b.plain.begin() + 1, b.plain.begin() + 1 + password.size()), password);
            size_t filler = 27 - password.size();
            EXPECT_EQ(r.randCalls, static_cast<int>(filler));
            EXPECT_TRUE(r.seeds.empty());
            for (size_t i = 0; i < filler; ++i) {
                EXPECT_EQ(b.plain[1 + password.size() + i], script[i] & 0xFF) << "filler " << i;
            }
        }
    }
}

TEST(EncodePassword, TimeWordIsLittleEndianAndKeysTheRest) {
    FakeOps r;
    r.time = 0x01020304;
    r.rands.assign(25, 0);
    // Length 2 ^ 04, 'a' ^ 03, 'b' ^ 02, then zero filler showing the key bytes 01 04 03 02 ...
    EXPECT_EQ(EncodePassword("ab", r).substr(0, 16), "0403020106626001");

    FakeOps later;
    later.time = r.time + 1;
    FakeOps same;
    same.time = r.time;
    std::string a = EncodePassword("pw", same), b = EncodePassword("pw", later);
    EXPECT_NE(a.substr(0, 8), b.substr(0, 8));
}

TEST(EncodePassword, FullAndOverlongPasswordsStayInTheBlock) {
    const std::string full(27, 'k');
    for (const auto& password : {full, full + "X", full + "TAIL-NEVER-WRITTEN"}) {
        SCOPED_TRACE(password.size());
        FakeOps r;
        std::string hex = EncodePassword(password, r);
        ExpectLowerHex64(hex);
        EXPECT_EQ(r.randCalls, 0);
        Block b = Decode(hex);
        EXPECT_EQ(b.plain[0], 27);
        EXPECT_EQ(std::string(b.plain.begin() + 1, b.plain.end()), full);
    }
}

TEST(BuildCommandLine, GuestKeyIgnoresIdAndPassword) {
    for (const auto& p : {Props("", "", "9000"), Props("kim", "pw", "9000"), Props("kim", k64, "9000")}) {
        FakeOps r;
        EXPECT_EQ(BuildCommandLine(p, r), " /NAME:+ /JOINKEY:9000");
        EXPECT_EQ(r.randCalls + r.timeCalls, 0);
    }
}

TEST(BuildCommandLine, SixtyFourBytePasswordPassesThrough) {
    FakeOps r;
    EXPECT_EQ(BuildCommandLine(Props("kim", k64, "1234"), r), " /NAME:kim /PASSWORD:" + k64 + " /JOINKEY:1234");
    EXPECT_EQ(r.timeCalls, 0);
}

TEST(BuildCommandLine, OtherPasswordsAreEncodedAndKeyDefaults) {
    struct Case { std::string pass, key, keyOut; };
    const std::vector<Case> cases = {
        {"", "", "1000"},           {"pw", "", "1000"},          {kKorean, "2000", "2000"},
        {std::string(63, 'f'), "7", "7"}, {std::string(65, 'f'), "09000", "09000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("pass length " + std::to_string(c.pass.size()) + ", key '" + c.key + "'");
        FakeOps r;
        std::string line = BuildCommandLine(Props("kim", c.pass, c.key), r);
        const std::string head = " /NAME:kim /PASSWORD:", tail = " /JOINKEY:" + c.keyOut;
        ASSERT_EQ(line.size(), head.size() + 64 + tail.size()) << line;
        EXPECT_EQ(line.substr(0, head.size()), head);
        EXPECT_EQ(line.substr(head.size() + 64), tail);
        std::string hex = line.substr(head.size(), 64);
        ExpectLowerHex64(hex);
        Block b = Decode(hex);
        size_t kept = std::min<size_t>(c.pass.size(), 27);
        EXPECT_EQ(b.plain[0], kept);
        EXPECT_EQ(std::string(b.plain.begin() + 1, b.plain.begin() + 1 + kept), c.pass.substr(0, kept));
    }
}

TEST(PickServer, NoServersGivesMinusOneWithoutTouchingTheGenerator) {
    FakeOps r;
    EXPECT_EQ(PickServer(LaunchProperties{}, r), -1);
    EXPECT_TRUE(r.seeds.empty());
    EXPECT_EQ(r.randCalls, 0);
}

TEST(PickServer, ChoosesAmongNonEmptySlotsInSlotOrder) {
    struct Case { std::vector<int> slots; int rand; int expected; };
    const std::vector<Case> cases = {
        {{0, 5}, 0, 0},      {{0, 5}, 1, 5},      {{0, 5}, 2, 0},      {{0, 5}, 32767, 5},
        {{1, 4, 7, 9}, 0, 1}, {{1, 4, 7, 9}, 1, 4}, {{1, 4, 7, 9}, 2, 7}, {{1, 4, 7, 9}, 3, 9},
        {{1, 4, 7, 9}, 6, 7}, {{9}, 12345, 9},      {{2, 3}, 3, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("rand " + std::to_string(c.rand) + " over " + std::to_string(c.slots.size()) + " slots");
        LaunchProperties p;
        for (int s : c.slots) p.servers[s] = "srv" + std::to_string(s);
        FakeOps r;
        r.time = 777;
        r.rands = {c.rand};
        EXPECT_EQ(PickServer(p, r), c.expected);
        EXPECT_EQ(r.seeds, std::vector<unsigned>{777});
        EXPECT_EQ(r.randCalls, 1);
    }
}

TEST(RefusalReason, RefusesSwitchInjectionAndOverlongPasswords) {
    struct Case { LaunchProperties props; bool refused; };
    const std::vector<Case> cases = {
        {Props("x /JOINKEY:9000", "pw", ""), true},
        {Props("kim", "p\"w", ""), true},
        {Props("kim", "pw", "\t"), true},
        {Props("ki\nm", "pw", ""), true},
        {Props("kim", std::string("p\x01w"), ""), true},
        {Props("kim", "pw", "10\x7f"), true},
        // The guest key's command line holds neither the id nor the password.
        {Props("kim", std::string(63, 'f') + " ", "9000"), false},
        {Props("x /JOINKEY:1000", "p\"w", "9000"), false},
        {Props("kim", "pw", "9000 "), true},
        {Props("kim", std::string(28, 'p'), ""), true},
        {Props("kim", std::string(28, 'p'), "1000"), true},
        {Props("kim", std::string(65, 'p'), ""), true},
        {Props("kim", std::string(28, 'p'), "9000"), false},
        {Props("kim", std::string(27, 'p'), ""), false},
        {Props("kim", k64, "1000"), false},
        {Props(kKorean, kKorean, "2000"), false},
        {Props("\x80\xff", "", ""), false},
        {Props("", "", ""), false},
        // The client takes "/" for its next switch; a raw password must be 64 hex digits.
        {Props("x/NAME:admin", "pw", ""), true},
        {Props("kim", "pw", "1000/NAME:admin"), true},
        {Props("x/NAME:admin", "pw", "9000"), false},
        {Props("kim", std::string(63, 'f') + "/", ""), true},
        {Props("kim", std::string(64, 'g'), ""), true},
        {Props("kim", std::string(32, 'A') + std::string(32, '0'), ""), false},
        {Props("kim", "p/w", ""), false},  // encoded into hex digits
        // Each value at most 256 bytes, so the system never cuts the command line.
        {Props(std::string(256, 'a'), "pw", ""), false},
        {Props(std::string(257, 'a'), "pw", ""), true},
        {Props(std::string(40000, 'a'), "pw", ""), true},
        {Props(std::string(40000, 'a'), "pw", "9000"), false},
        {Props("kim", "pw", std::string(257, '1')), true},
        {[] {
             auto p = Props("kim", "pw", "");
             p.servers[7] = std::string(257, 's');
             return p;
         }(),
         true},
        // A page value the code page could not carry was not taken: whatever stands in its
        // place is not what the page meant, even with the guest key.
        {[] {
             auto p = Props("kim", "pw", "9000");
             p.uncarried = "strID";
             return p;
         }(),
         true},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("case " + std::to_string(i));
        EXPECT_EQ(!RefusalReason(cases[i].props).empty(), cases[i].refused);
    }
}

TEST(RunOnCreate, RefusedPropertiesTouchNothing) {
    for (const auto& p : {Props("x /JOINKEY:9000", "pw", ""), Props("kim", "a\"b", ""), Props("kim", "pw", "\t"),
                          Props("kim", std::string(28, 'p'), "")}) {
        SCOPED_TRACE(p.strID + " / " + p.strPass + " / " + p.key);
        FakeOps ops;
        EXPECT_EQ(RunOnCreate(p, ops, kSites), LaunchOutcome::Refused);
        EXPECT_EQ(ops.calls, std::vector<std::string>{"ShowRefused"}) << "the player is told";
        EXPECT_EQ(ops.randCalls + ops.timeCalls + static_cast<int>(ops.seeds.size()), 0);
        ASSERT_EQ(ops.traces.size(), 1u);
        EXPECT_FALSE(ops.traces[0].empty());
    }
}

// Only a client that started closes the page; one that did not is reported and the page stays,
// with no updater over an installed client.
TEST(RunOnCreate, InstalledClientStartsWithTheCommandLine) {
    LaunchProperties p = Props("kim", k64, "1234");
    p.servers[0] = "login.example";
    const std::string cmd = " /NAME:kim /PASSWORD:" + k64 + " /JOINKEY:1234";
    const std::vector<std::string> common = {"FinishInstall", "Read WorkDir", "SaveStart " + cmd, "LoginSERV login.example",
                                             "Exists C:\\Game\\Orbisan.exe",
                                             "Start C:\\Game\\Orbisan.exe |" + cmd};
    const struct {
        bool starts;
        LaunchOutcome outcome;
        std::string last;
    } rows[] = {
        {true, LaunchOutcome::Started, "PostLaunchDone"},
        {false, LaunchOutcome::StartFailed, "ShowStartFailed C:\\Game\\Orbisan.exe"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.last);
        FakeOps ops;
        ops.clientStarts = row.starts;
        EXPECT_EQ(RunOnCreate(p, ops, kSites), row.outcome);
        std::vector<std::string> expected = common;
        expected.push_back(row.last);
        EXPECT_EQ(ops.calls, expected);
        EXPECT_FALSE(ops.traces.empty());
    }
}

// What a recovery could not make whole is neither started nor updated over: the player is told
// and the page stays; nothing of the page reaches the registry.
TEST(RunOnCreate, NothingStartsUnlessTheInstallationIsWhole) {
    const struct {
        InstallState install;
        bool hasWorkDir;
        LaunchOutcome outcome;
        std::string last;
    } rows[] = {
        {InstallState::Unfinished, true, LaunchOutcome::Unfinished, "ShowInstallUnfinished"},
        {InstallState::Unfinished, false, LaunchOutcome::Unfinished, "ShowInstallUnfinished"},
        {InstallState::Busy, true, LaunchOutcome::Unfinished, "ShowInstallBusy"},
        {InstallState::Busy, false, LaunchOutcome::Unfinished, "ShowInstallBusy"},
        {InstallState::Whole, false, LaunchOutcome::Updater, "CreateUpdater"},
        {InstallState::Whole, true, LaunchOutcome::Started, "PostLaunchDone"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.last);
        FakeOps ops;
        ops.install = row.install;
        ops.hasWorkDir = row.hasWorkDir;
        EXPECT_EQ(RunOnCreate(Props("kim", k64, "1234"), ops, kSites), row.outcome);
        EXPECT_EQ(row.last, ops.calls.back());
        if (row.install != InstallState::Whole) {
            EXPECT_EQ(ops.calls, (std::vector<std::string>{"FinishInstall", row.last}));
        }
    }
}

TEST(RunOnCreate, MissingIdOrPasswordStartsClientWithoutParameters) {
    for (const auto& p : {Props("", k64, "1234"), Props("kim", "", "1234")}) {
        SCOPED_TRACE("id '" + p.strID + "'");
        FakeOps ops;
        EXPECT_EQ(RunOnCreate(p, ops, kSites), LaunchOutcome::Started);
        ASSERT_EQ(ops.calls.size(), 6u);
        FakeOps again;  // same script, same command line
        EXPECT_EQ(ops.calls[2], "SaveStart " + BuildCommandLine(p, again));
        EXPECT_NE(ops.calls[2].find(" /PASSWORD:"), std::string::npos);
        EXPECT_EQ(ops.calls[4], "Start C:\\Game\\Orbisan.exe null");
    }
}

TEST(RunOnCreate, UpdaterWhenClientIsNotInstalled) {
    FakeOps missing;
    missing.exeExists = false;
    EXPECT_EQ(RunOnCreate(Props("kim", k64, "1"), missing, kSites), LaunchOutcome::Updater);
    EXPECT_EQ(missing.calls, (std::vector<std::string>{"FinishInstall", "Read WorkDir", "SaveStart  /NAME:kim /PASSWORD:" + k64 +
                                                       " /JOINKEY:1", "Exists C:\\Game\\Orbisan.exe",
                                                       "DeleteWorkDir", "CreateUpdater"}));

    for (bool readFails : {true, false}) {
        SCOPED_TRACE(readFails ? "WorkDir unset" : "WorkDir empty");
        FakeOps unset;
        unset.hasWorkDir = !readFails;
        unset.workDir = "";
        EXPECT_EQ(RunOnCreate(Props("kim", "pw", ""), unset, kSites), LaunchOutcome::Updater);
        ASSERT_EQ(unset.calls.size(), 4u);
        EXPECT_EQ(unset.calls[2].rfind("SaveStart ", 0), 0u);
        EXPECT_EQ(unset.calls[3], "CreateUpdater");
    }
}

TEST(RunOnCreate, LoginServerChoice) {
    struct Case { std::string key; std::vector<int> slots; std::vector<int> rands; std::string written; };
    const std::vector<Case> cases = {
        {"9000", {}, {}, ""},
        {"9000", {0, 5}, {1}, "srv5"},
        {"9000", {3, 8}, {4}, "srv3"},
        {"1000", {1}, {}, ""},
        {"", {0, 1}, {}, "srv0"},
        {"1000", {0}, {}, "srv0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("key '" + c.key + "', expecting '" + c.written + "'");
        LaunchProperties p = Props("kim", k64, c.key);
        for (int s : c.slots) p.servers[s] = "srv" + std::to_string(s);
        FakeOps ops;
        ops.rands.assign(c.rands.begin(), c.rands.end());
        RunOnCreate(p, ops, kSites);
        std::vector<std::string> logins;
        for (const auto& call : ops.calls) {
            if (call.rfind("LoginSERV ", 0) == 0) logins.push_back(call.substr(10));
        }
        EXPECT_EQ(logins, c.written.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.written});
        // Only the guest key seeds the generator, and only when it has servers to choose from.
        EXPECT_EQ(ops.seeds.size(), c.key == "9000" && !c.slots.empty() ? 1u : 0u);
    }
}

TEST(RunOnCreate, KoreanIdIsAccepted) {
    FakeOps ops;
    EXPECT_EQ(RunOnCreate(Props(kKorean, k64, ""), ops, kSites), LaunchOutcome::Started);
    EXPECT_EQ(ops.calls.back(), "PostLaunchDone");
    EXPECT_NE(ops.calls[2].find(" /NAME:" + kKorean + " "), std::string::npos);
}

TEST(SiteLock, OnlyTheListedSitesAndNoLookAlikes) {
    const std::string list = "https://example.com;https://*.example.com;http://127.0.0.1:*;file:;"
                             "https://play.example.org:8443";
    const struct {
        const char* page;
        bool allowed;
    } rows[] = {
        {"https://example.com/go/index.html", true},
        {"HTTPS://Example.COM/", true},
        {"https://example.com:443/", true},
        {"https://www.example.com/x", true},
        {"https://a.b.example.com", true},
        {"http://127.0.0.1:18731/page.html", true},
        {"file:///C:/page.html", true},
        {"file://localhost/C:/page.html", true},
        {"FILE:///d|/games/page.html", true},
        {"file://C:\\Users\\kim\\page.html", true},  // the form a URL moniker gives
        {"file://d:/games/page.html", true},
        {"file://C:page.html", false},                   // no folder after the colon: a host
        {"file://CC:\\page.html", false},
        {"file://evil.example/share/page.html", false},  // file: means this machine
        {"file://evil.example\\C:\\page.html", false},
        {"file://\\\\evil.example\\share\\page.html", false},
        {"file:////evil.example/share/page.html", false},
        {"file:\\\\evil.example\\share\\page.html", false},
        {"file:///\\\\evil.example/share/page.html", false},
        {"file:///%5C%5Cevil.example/share/page.html", false},
        {"file://localhost//evil.example/share/page.html", false},
        {"https://play.example.org:8443/", true},
        {"https://play.example.org/", false},        // not the listed port
        {"https://example.com:8443/", false},
        {"http://example.com/", false},              // not the listed scheme
        {"https://evilexample.com/", false},         // look-alikes
        {"https://example.com.evil.net/", false},
        {"https://example.com@evil.net/", false},    // a user name before the real host
        {"https://evil.net/?https://example.com", false},
        {"https://evil.net/#example.com", false},
        {"https://example.com./", false},
        {"https://example.com\\@evil.net/", false},
        {"https://ex%61mple.com/", false},
        {"http://127.0.0.1.evil.net/", false},
        {"http://localhost/", false},                // not in this list
        {"ftp://example.com/", false},
        {"about:blank", false},
        {"", false},                                 // no address: not allowed
        {"example.com", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.page);
        EXPECT_EQ(row.allowed, SiteAllowed(row.page, list));
    }
    EXPECT_FALSE(SiteAllowed("https://example.com/", ""));
    EXPECT_FALSE(SiteAllowed("https://example.com/", "*"));
}

TEST(RunOnCreate, APageOffTheSiteListLeavesTheControlIdle) {
    for (const char* page : {"http://evil.example.net/", "", "https://127.0.0.1.evil.net/"}) {
        SCOPED_TRACE(page);
        FakeOps ops;
        ops.page = page;
        EXPECT_EQ(RunOnCreate(Props("kim", k64, "1234"), ops, kSites), LaunchOutcome::NotAllowed);
        EXPECT_TRUE(ops.calls.empty()) << "nothing read, written or started";
        EXPECT_EQ(ops.randCalls + ops.timeCalls, 0);
        ASSERT_EQ(ops.traces.size(), 1u);
        EXPECT_NE(ops.traces[0].find("not on the site list"), std::string::npos);
    }
}
