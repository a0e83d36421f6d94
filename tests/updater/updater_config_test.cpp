// Package names (a tampered file must not name a path outside our folders) and the installed
// file names; then the signed configuration, checked with the key compiled into the build and
// signed with the test key, and the downloaded packages against it.
#include "updater/package_names.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "libs/prynn/system_files.h"
#include "trust/crypto.h"
#include "trust/sign_openssl.h"
#include "libs/prynn/lzf_stream.h"
#include "updater/install/package_check.h"
#include "updater/signed_config.h"
#include "updater/update_key.h"

#include <unistd.h>

using namespace tavrin;

namespace {

const std::vector<std::string> kFixed = {"Vossel.dll.lzf", "Ketter.dll.lzf", "Quenby3.exe.lzf",
                                         "Prynn.dll.lzf", "Orbisan.ICO.lzf"};

// A file in a fresh folder, removed afterwards.
class ConfigFile {
public:
    explicit ConfigFile(const std::string& content) {
        char folder[] = "/tmp/updater_config_XXXXXX";
        m_dir = mkdtemp(folder);
        m_path = m_dir + "/orbisan3.cfg";
        std::ofstream(m_path, std::ios::binary) << content;
    }
    ~ConfigFile() {
        std::remove(m_path.c_str());
        rmdir(m_dir.c_str());
    }
    const std::string& path() const { return m_path; }
    const std::string& dir() const { return m_dir; }

private:
    std::string m_dir, m_path;
};

TEST(UpdaterConfig, NamesThatAreNoPlainFileNameAreRefused) {
    const std::vector<std::string> refused = {
        "..\\..\\Windows\\evil.dll.lzf",
        "../evil.lzf",
        "sub/evil.lzf",
        "C:evil.lzf",
        "\tTabbed.lzf",
        "bell\x07.lzf",
        "del\x7F.lzf",
        "what?.lzf",
        "star*.lzf",
        "pipe|.lzf",
        "quote\".lzf",
        "less<.lzf",
        "..lzf",   // installs as "."
        "...lzf",  // installs as ".."
        "name..lzf",  // installs as "name." (Windows drops the dot)
        "name .lzf",  // installs as "name "
        "CON.lzf",
        "nul.txt.lzf",
        "Com1 .lzf",
        "LPT9.dll.lzf",
        std::string(252, 'n') + ".lzf",
    };
    for (const std::string& name : refused) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(IsSafePackageName(name));
    }
    for (const std::string& name :
         {std::string("Orbisan.ICO.lzf"), std::string(".lzf"), std::string("CONFIG.lzf"),
          std::string("a b.lzf"), std::string(251, 'n') + ".lzf", std::string("\xB9\xD9.lzf")}) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(IsSafePackageName(name));
    }
}

TEST(UpdaterConfig, InstalledNameIsCutBeforeTheFirstLzf) {
    struct Row {
        const char* name;
        const char* installed;
    };
    const Row rows[] = {
        {"Orbisan.ICO.lzf", "Orbisan.ICO"},
        {"Prynn.dll.lzf", "Prynn.dll"},
        {"a.lzf.lzf", "a"},
        {"a.lzfx", "a"},
        {".lzf", ".lzf"},
        {"plain.txt", "plain.txt"},
        {"UPPER.LZF", "UPPER.LZF"},
        {"", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(StripPackageExtension(row.name), row.installed);
    }
}

}  // namespace

// ---- The signed configuration --------------------------------------------------------------

namespace {

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string TestPrivateKey() { return ReadText(std::string(TAVRIN_TEST_KEYS) + "/test-rsa3072.pem"); }

UpdateConfig SampleConfig() {
    UpdateConfig config;
    config.serial = 7;
    config.expires = *ParseUtcTime("2031-01-01T00:00:00Z");
    config.packages.push_back({"Client.exe.lzf", std::string(64, 'a'), 1234});
    for (const std::string& fixed : kFixed) config.packages.push_back({fixed, std::string(64, 'b'), 10});
    return config;
}

std::string Signed(const std::string& text) {
    std::vector<uint8_t> signature;
    std::string error;
    EXPECT_TRUE(SignRsaSha256(TestPrivateKey(), text, &signature, &error)) << error;
    return text + SignatureLine(signature);
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

}  // namespace

TEST(SignedConfig, OnlyAnIntactCurrentFileSignedByTheUpdateKeyIsTaken) {
    const std::string text = UnsignedConfigText(SampleConfig());
    const std::string good = Signed(text);
    const int64_t now = *ParseUtcTime("2026-12-08T12:00:00Z");
    auto signatureOf = [&](const std::string& file) { return file.substr(file.rfind("[signature]")); };
    std::string flipped = good;
    flipped[flipped.size() - 8] = flipped[flipped.size() - 8] == 'A' ? 'B' : 'A';
    auto withPackage = [&](const std::string& name) {
        return Signed(text + name + " sha256=" + std::string(64, 'c') + " size=1\r\n");
    };
    // Mirror lines where the publisher writes them, before the serial.
    auto withLines = [&](const std::string& lines) {
        return Signed(Replace(text, "[serial] ", lines + "[serial] "));
    };
    auto withMirror = [&](const std::string& url) { return withLines("[mirror] " + url + "\r\n"); };
    std::string mostMirrors;
    std::vector<std::string> mostMirrorUrls;
    for (size_t i = 0; i < kMaxMirrors; ++i) {
        mostMirrorUrls.push_back("https://m" + std::to_string(i) + ".example.net/files/");
        mostMirrors += "[mirror] " + mostMirrorUrls.back() + "\r\n";
    }
    const std::string m1 = "https://m1.example.net/files/";
    const std::string m2 = "http://10.0.0.2:8080/tavrin/";
    // kMaxMirrorUrlBytes long, then one byte more.
    const std::string host = "https://m.example.net/";
    const std::string longest = host + std::string(kMaxMirrorUrlBytes - host.size() - 1, 'p') + "/";
    const std::string tooLong = host + std::string(kMaxMirrorUrlBytes - host.size(), 'p') + "/";
    struct Row {
        const char* what;
        std::string content;
        uint64_t installed;
        ConfigRefusal expected;
        uint64_t minimum = 0;  // the build's floor
        std::vector<std::string> mirrors = {};  // read from the file, in its order
    } rows[] = {
        {"as published", good, 0, ConfigRefusal::kNone},
        {"same serial again", good, 7, ConfigRefusal::kNone},
        {"without the last line break", good.substr(0, good.size() - 2), 0, ConfigRefusal::kNone},
        {"byte-order mark", Signed("\xEF\xBB\xBF" + text), 0, ConfigRefusal::kNone},
        {"LF line ends", Signed(Replace(text, "size=1234\r\n", "size=1234\n")), 0, ConfigRefusal::kNone},
        {"unknown bracket line", Signed("[Orbisan]\r\n" + text), 0, ConfigRefusal::kNone},
        {"no signature", text, 0, ConfigRefusal::kNoSignature},
        {"a line after the signature", good + "Extra.lzf\r\n", 0, ConfigRefusal::kNoSignature},
        {"a changed size", Replace(good, "size=1234", "size=1235"), 0, ConfigRefusal::kBadSignature},
        {"a changed signature", flipped, 0, ConfigRefusal::kBadSignature},
        {"another algorithm", Replace(good, "rsa-sha256", "rsa-sha1"), 0, ConfigRefusal::kBadSignature},
        {"not base64", Replace(good, "[signature] rsa-sha256 ", "[signature] rsa-sha256 *"), 0,
         ConfigRefusal::kBadSignature},
        {"over 1 MiB", text + std::string(kMaxConfigSize, ' ') + signatureOf(good), 0,
         ConfigRefusal::kTooLarge},
        {"no serial", Signed(Replace(text, "[serial] 7\r\n", "")), 0, ConfigRefusal::kBadFormat},
        {"two serials", Signed(text + "[serial] 9\r\n"), 0, ConfigRefusal::kBadFormat},
        {"a fixed package missing", Signed(Replace(text, "Prynn.dll.lzf", "Prynn2.dll.lzf")), 0,
         ConfigRefusal::kBadFormat},
        {"a package listed twice", Signed(text + "Client.exe.lzf sha256=" + std::string(64, 'a') +
                                          " size=1\r\n"), 0, ConfigRefusal::kBadFormat},
        {"upper-case hash", Signed(Replace(text, std::string(64, 'a'), std::string(64, 'A'))), 0,
         ConfigRefusal::kBadFormat},
        {"no size", Signed(Replace(text, " size=1234", "")), 0, ConfigRefusal::kBadFormat},
        {"a size no file system holds", Signed(Replace(text, "size=1234", "size=9999999999999999999")),
         0, ConfigRefusal::kBadFormat},
        {"one byte over 2^48", Signed(Replace(text, "size=1234", "size=281474976710657")), 0,
         ConfigRefusal::kBadFormat},
        {"a path for a name", Signed(Replace(text, "Client.exe.lzf", "..\\x.lzf")), 0,
         ConfigRefusal::kBadFormat},
        {"no such day", Signed(Replace(text, "2031-01-01", "2031-02-29")), 0, ConfigRefusal::kBadFormat},
        {"expired", Signed(Replace(text, "2031-01-01T00:00:00Z", "2026-12-08T11:59:59Z")), 0,
         ConfigRefusal::kExpired},
        {"an older serial than installed", good, 8, ConfigRefusal::kRolledBack},
        // Names that would take the place of the updater's own files or another package's.
        {"the staged name of another", withPackage("Client.exe.tavrin-new.lzf"), 0,
         ConfigRefusal::kBadFormat},
        {"a set-aside name", withPackage("Vossel.dll.TAVRIN-OLD.lzf"), 0, ConfigRefusal::kBadFormat},
        {"the download folder", withPackage("temp.lzf"), 0, ConfigRefusal::kBadFormat},
        {"the installation's journal", withPackage("Install.Tavrin-Journal.lzf"), 0,
         ConfigRefusal::kBadFormat},
        {"another's name in other case", withPackage("client.EXE.lzf"), 0,
         ConfigRefusal::kBadFormat},
        {"a short alias", withPackage("CLIENT~1.EXE.lzf"), 0, ConfigRefusal::kBadFormat},
        {"names alike but not the same", withPackage("Client.exe.tavrin-new.txt.lzf"), 0,
         ConfigRefusal::kNone},
        // On a machine with no installed serial the build's minimum is the floor.
        {"below the build's minimum", good, 0, ConfigRefusal::kTooOld, 8},
        {"at the build's minimum", good, 0, ConfigRefusal::kNone, 7},
        // Package hosts after the compiled one, as signed, in file order.
        {"two mirrors", withLines("[mirror] " + m1 + "\r\n[mirror] " + m2 + "\r\n"), 0,
         ConfigRefusal::kNone, 0, {m1, m2}},
        {"a mirror after the serial", Signed(text + "[mirror] " + m2 + "\r\n"), 0,
         ConfigRefusal::kNone, 0, {m2}},
        {"the most mirrors", withLines(mostMirrors), 0, ConfigRefusal::kNone, 0, mostMirrorUrls},
        {"a mirror of the longest URL", withMirror(longest), 0, ConfigRefusal::kNone, 0, {longest}},
        {"an IPv6 mirror", withMirror("https://[2001:db8::1]:8443/files/"), 0, ConfigRefusal::kNone,
         0, {"https://[2001:db8::1]:8443/files/"}},
        {"a mirror of plain marks", withMirror("http://m.example.net/v1.2/a-b_c~d;e=f@g:h/"), 0,
         ConfigRefusal::kNone, 0, {"http://m.example.net/v1.2/a-b_c~d;e=f@g:h/"}},
        {"a tag like the mirror's", Signed("[mirrors] ftp://x/\r\n" + text), 0,
         ConfigRefusal::kNone},
        // A mirror line that is malformed refuses the file, as any malformed line does.
        {"one mirror too many", withLines(mostMirrors + "[mirror] " + m1 + "x/\r\n"), 0,
         ConfigRefusal::kBadFormat},
        {"a mirror listed twice", withLines("[mirror] " + m1 + "\r\n[mirror] " + m1 + "\r\n"), 0,
         ConfigRefusal::kBadFormat},
        {"a mirror URL too long", withMirror(tooLong), 0, ConfigRefusal::kBadFormat},
        {"an empty mirror line", withLines("[mirror]\r\n"), 0, ConfigRefusal::kBadFormat},
        {"no blank after the mirror tag", withLines("[mirror]" + m1 + "\r\n"), 0,
         ConfigRefusal::kBadFormat},
        {"two blanks after the mirror tag", withLines("[mirror]  " + m1 + "\r\n"), 0,
         ConfigRefusal::kBadFormat},
        {"a blank after the mirror", withMirror(m1 + " "), 0, ConfigRefusal::kBadFormat},
        {"an ftp mirror", withMirror("ftp://m.example.net/files/"), 0, ConfigRefusal::kBadFormat},
        {"a file: mirror", withMirror("file:///C:/files/"), 0, ConfigRefusal::kBadFormat},
        {"a scheme in capitals", withMirror("HTTPS://m.example.net/files/"), 0,
         ConfigRefusal::kBadFormat},
        {"a mirror without a host", withMirror("https:///files/"), 0, ConfigRefusal::kBadFormat},
        {"a user name", withMirror("https://ours@m.example.net/files/"), 0,
         ConfigRefusal::kBadFormat},
        {"an escape in the host", withMirror("https://m%2eexample.net/files/"), 0,
         ConfigRefusal::kBadFormat},
        {"port 0", withMirror("https://m.example.net:0/files/"), 0, ConfigRefusal::kBadFormat},
        {"port 65536", withMirror("https://m.example.net:65536/files/"), 0,
         ConfigRefusal::kBadFormat},
        {"an empty port", withMirror("https://m.example.net:/files/"), 0,
         ConfigRefusal::kBadFormat},
        {"a port that is no number", withMirror("https://m.example.net:8o/files/"), 0,
         ConfigRefusal::kBadFormat},
        {"no path", withMirror("https://m.example.net"), 0, ConfigRefusal::kBadFormat},
        {"a path not ending in /", withMirror("https://m.example.net/files"), 0,
         ConfigRefusal::kBadFormat},
        {"a query", withMirror("https://m.example.net/files/?from=/"), 0,
         ConfigRefusal::kBadFormat},
        {"a fragment", withMirror("https://m.example.net/files/#/"), 0, ConfigRefusal::kBadFormat},
        {"a blank in the path", withMirror("https://m.example.net/my files/"), 0,
         ConfigRefusal::kBadFormat},
        {"a control character", withMirror("https://m.example.net/fi\x01les/"), 0,
         ConfigRefusal::kBadFormat},
        {"a byte beyond ASCII", withMirror("https://m.example.net/\xB9\xD9\xB5\xCF/"), 0,
         ConfigRefusal::kBadFormat},
        {"a backslash in the path", withMirror("https://m.example.net/files\\x/"), 0,
         ConfigRefusal::kBadFormat},
        {"an escape in the path", withMirror("https://m.example.net/files%2F/"), 0,
         ConfigRefusal::kBadFormat},
        {"a quote in the path", withMirror("https://m.example.net/\"files\"/"), 0,
         ConfigRefusal::kBadFormat},
        {"a dot-dot segment", withMirror("https://m.example.net/files/../x/"), 0,
         ConfigRefusal::kBadFormat},
        {"a dot segment", withMirror("https://m.example.net/./"), 0, ConfigRefusal::kBadFormat},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        UpdateConfig read;
        EXPECT_EQ(row.expected,
                  ReadSignedConfig(row.content,
                                   {VerifyWithUpdateKey, now, row.installed, row.minimum}, &read));
        if (row.expected == ConfigRefusal::kNone) {
            ASSERT_LE(6u, read.packages.size());
            EXPECT_EQ("Client.exe.lzf", read.packages[0].name);
            EXPECT_EQ(1234u, read.packages[0].size);
            EXPECT_EQ(7u, read.serial);
            EXPECT_EQ(row.mirrors, read.mirrors);
        }
    }
    // A system without SHA-256 cannot check: nothing is taken.
    UpdateConfig read;
    auto noSha256 = [](const std::string&, const std::vector<uint8_t>&) { return SignatureCheck::kUnsupported; };
    EXPECT_EQ(ConfigRefusal::kCannotVerify, ReadSignedConfig(good, {noSha256, now, 0}, &read));
}

TEST(SignedConfig, UtcTimesReadAndWriteBothWays) {
    struct Row {
        const char* text;
        std::optional<int64_t> seconds;
    } rows[] = {
        {"1970-01-01T00:00:00Z", 0},
        {"2000-02-29T23:59:59Z", 951868799},
        {"2038-01-19T03:14:08Z", 2147483648LL},
        {"2100-02-29T00:00:00Z", std::nullopt},
        {"2026-12-08 12:00:00Z", std::nullopt},
        {"2026-12-08T24:00:00Z", std::nullopt},
        {"2026-12-08T12:00:00", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(row.seconds, ParseUtcTime(row.text));
        if (row.seconds) {
            EXPECT_EQ(row.text, FormatUtcTime(*row.seconds));
        }
    }
}

TEST(SignedConfig, APackageMustBeListedWithItsSizeAndHash) {
    const std::string rules = "komi 6.5";
    const std::vector<uint8_t> packed =
        prynn::EncodeBuffer(std::vector<uint8_t>(rules.begin(), rules.end()));
    const std::string content(packed.begin(), packed.end());
    ConfigFile file(content);  // the file's name does not matter here
    const std::string notPackage = "komi 6.5, no package";
    ConfigFile other(notPackage);
    auto sha256 = [](const std::string& bytes) {
        std::unique_ptr<Sha256> hash = NewSha256();
        EXPECT_TRUE(hash && hash->Update(bytes.data(), bytes.size()));
        return hash->FinishHex();
    };
    const std::string hex = sha256(content);
    // Known answer: SHA-256 of "abc".
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", sha256("abc"));
    struct Row {
        const char* what;
        SignedPackage listed;
        std::string path;
        PackageRefusal expected;
    } rows[] = {
        {"as signed", {"P.lzf", hex, content.size()}, file.path(), PackageRefusal::kNone},
        {"not listed", {"Other.lzf", hex, content.size()}, file.path(), PackageRefusal::kNotListed},
        {"longer than signed", {"P.lzf", hex, content.size() - 1}, file.path(), PackageRefusal::kWrongSize},
        {"shorter than signed", {"P.lzf", hex, content.size() + 1}, file.path(), PackageRefusal::kWrongSize},
        {"another content", {"P.lzf", std::string(64, '0'), content.size()}, file.path(),
         PackageRefusal::kWrongHash},
        {"missing file", {"P.lzf", hex, content.size()}, file.dir() + "/none", PackageRefusal::kUnreadable},
        // Signed by mistake: refused before anything is decoded.
        {"signed bytes that are no package", {"P.lzf", sha256(notPackage), notPackage.size()},
         other.path(), PackageRefusal::kNotPackage},
    };
    prynn::SystemFiles files;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        UpdateConfig config;
        config.packages.push_back(row.listed);
        uint64_t decoded = 0;
        EXPECT_EQ(row.expected, CheckPackage(config, "P.lzf", files, row.path, &decoded));
        if (row.expected == PackageRefusal::kNone) {
            EXPECT_EQ(rules.size(), decoded) << "what its headers say it decodes to";
        }
    }

    // What an earlier visit left, told by its size: at the signed size it is the lanes' check
    // that judges it, a shorter one is continued, any other fetched again.
    const struct {
        const char* what;
        std::optional<uint64_t> size;
        uint64_t signedSize;
        StoredPackage::Kind kind;
    } left[] = {
        {"the signed size", content.size(), content.size(), StoredPackage::kSignedSize},
        {"its beginning", 5, content.size(), StoredPackage::kBegun},
        {"longer", content.size() + 1, content.size(), StoredPackage::kNothing},
        {"empty", 0, content.size(), StoredPackage::kNothing},
        {"the signed empty package", 0, 0, StoredPackage::kSignedSize},
        {"no file", std::nullopt, content.size(), StoredPackage::kNothing},
    };
    for (const auto& row : left) {
        SCOPED_TRACE(row.what);
        UpdateConfig config;
        config.packages.push_back(SignedPackage{"P.lzf", hex, row.signedSize});
        const StoredPackage stored = LookAtStoredPackage(config, "P.lzf", row.size);
        EXPECT_EQ(row.kind, stored.kind);
        EXPECT_EQ(row.kind == StoredPackage::kNothing ? 0 : *row.size, stored.bytes);
    }
    UpdateConfig config;
    config.packages.push_back(SignedPackage{"P.lzf", hex, content.size()});
    EXPECT_EQ(StoredPackage::kNothing, LookAtStoredPackage(config, "Other.lzf", 5).kind)
        << "a file the list does not name";
}

namespace {

// The real files, counting how often a file is opened for its bytes; with bumpOnRead, each
// read also changes the file's identity, as a write during the read would.
struct CountingFiles : prynn::SystemFiles {
    int reads = 0;
    FileIdentity* bumpOnRead = nullptr;
    std::unique_ptr<prynn::ByteSource> OpenRead(const std::string& path) override {
        ++reads;
        if (bumpOnRead) ++bumpOnRead->lastWrite;
        return prynn::SystemFiles::OpenRead(path);
    }
};

// Each package is read once per visit: again only when its file's identity changed since it
// was found to be the signed one. A changed file is still refused when it is not the signed
// one, and a refused file is never kept.
TEST(SignedConfig, APackageIsReadOncePerVisitUnlessItsFileChanged) {
    const std::string rules = "komi 6.5";
    const std::vector<uint8_t> packed =
        prynn::EncodeBuffer(std::vector<uint8_t>(rules.begin(), rules.end()));
    const std::string content(packed.begin(), packed.end());
    const std::string spoilt(content.size(), 'x');
    std::unique_ptr<Sha256> hash = NewSha256();
    ASSERT_TRUE(hash && hash->Update(content.data(), content.size()));
    UpdateConfig config;
    config.packages.push_back({"P.lzf", hash->FinishHex(), content.size()});
    ConfigFile file(content);
    FileIdentity identity{content.size(), 1, 7, 9};
    bool identityKnown = true;
    const IdentityFn identityOf = [&](const std::string& path, FileIdentity* out) {
        EXPECT_EQ(file.path(), path);
        *out = identity;
        return identityKnown;
    };
    CountingFiles files;
    CheckedPackages checked;
    const std::function<void()> none = [] {};
    const struct {
        const char* what;
        std::function<void()> change;
        PackageRefusal expected;
        int reads;  // in all, after this check
    } steps[] = {
        {"the check on arrival", none, PackageRefusal::kNone, 1},
        {"the finishing step, the file as it was", none, PackageRefusal::kNone, 1},
        {"touched, the same bytes", [&] { ++identity.lastWrite; }, PackageRefusal::kNone, 2},
        {"as it was then", none, PackageRefusal::kNone, 2},
        {"another file of the same size and time in its place", [&] { identity.index = 10; },
         PackageRefusal::kNone, 3},
        {"rewritten with other bytes",
         [&] {
             std::ofstream(file.path(), std::ios::binary) << spoilt;
             ++identity.lastWrite;
         },
         PackageRefusal::kWrongHash, 4},
        {"still refused, read again", none, PackageRefusal::kWrongHash, 5},
        {"the signed bytes back, no identity to be had",
         [&] {
             std::ofstream(file.path(), std::ios::binary) << content;
             identityKnown = false;
         },
         PackageRefusal::kNone, 6},
        {"without an identity, read every time", none, PackageRefusal::kNone, 7},
        {"changed while it was read", [&] {
             identityKnown = true;
             ++identity.lastWrite;
             files.bumpOnRead = &identity;
         }, PackageRefusal::kNone, 8},
        {"so not kept: read again", [&] { files.bumpOnRead = nullptr; }, PackageRefusal::kNone, 9},
        {"kept from then on", none, PackageRefusal::kNone, 9},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        uint64_t decoded = 0;
        EXPECT_EQ(step.expected,
                  CheckPackageOnce(config, "P.lzf", files, file.path(), identityOf, checked, &decoded));
        EXPECT_EQ(step.reads, files.reads);
        if (step.expected == PackageRefusal::kNone) {
            EXPECT_EQ(rules.size(), decoded) << "what it decodes to, kept with it";
        }
    }
    // Kept for its own name only.
    uint64_t decoded = 0;
    EXPECT_FALSE(checked.Kept("Other.lzf", identity, &decoded));
}

}  // namespace
