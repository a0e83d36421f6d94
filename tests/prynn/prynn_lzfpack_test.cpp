// The package maker on real folders: packing and restoring files, the names it refuses, and
// the orbisan3.cfg it writes, read back by the updater's own configuration reader.
#include "tools/lzfpack/lzfpack.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "libs/prynn/lzf_stream.h"
#include "libs/prynn/system_files.h"
#include "tools/lzfpack/command_line.h"
#include "tools/lzfpack/package_name.h"
#include "trust/sign_openssl.h"
#include "updater/package_names.h"
#include "updater/signed_config.h"

using namespace lzfpack;

namespace {

using Bytes = std::vector<uint8_t>;

// A fresh folder tree under /tmp, removed when it goes.
class Folder {
public:
    Folder() {
        char pattern[] = "/tmp/prynn-lzfpack-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        m_path = made ? made : "";
    }
    ~Folder() { RemoveTree(m_path); }
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    const std::string& path() const { return m_path; }

    static std::set<std::string> Names(const std::string& dir) {
        std::set<std::string> names;
        if (DIR* d = ::opendir(dir.c_str())) {
            while (const dirent* e = ::readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                    names.insert(e->d_name);
            ::closedir(d);
        }
        return names;
    }

private:
    static void RemoveTree(const std::string& dir) {
        for (const std::string& name : Names(dir)) {
            const std::string path = dir + "/" + name;
            struct stat info;
            if (::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
                RemoveTree(path);
            else
                std::remove(path.c_str());
        }
        ::rmdir(dir.c_str());
    }
    std::string m_path;
};

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The content a package decodes to, or "<bad>" when it does not.
std::string Unpacked(const std::string& path) {
    const std::string package = Read(path);
    Bytes content;
    if (prynn::DecodeBuffer(Bytes(package.begin(), package.end()), &content) != prynn::StreamStatus::kOk)
        return "<bad>";
    return std::string(content.begin(), content.end());
}

std::string Executable(size_t size) {
    std::string all = Read("/proc/self/exe");
    all.resize(std::min(size, all.size()));
    return all;
}

struct Outcome {
    int code;
    std::string out, err;
};

Outcome Lzfpack(const std::vector<std::string>& args, const SignFn& sign = SignFn()) {
    prynn::SystemFiles files;
    SystemFolderLister lister;
    std::ostringstream out, err;
    const int code = RunLzfpack(args, files, lister, out, err, sign);
    return {code, out.str(), err.str()};
}

TEST(Lzfpack, ReadsItsCommandLine) {
    struct Row {
        std::vector<std::string> args;
        bool ok;
        Options::Mode mode;
        std::string input, output;
        std::vector<std::string> mirrors = {};
    };
    const std::vector<std::string> signing = {"--cfg", "--sign", "k.pem", "--serial", "3"};
    auto sign = [&](std::vector<std::string> more) {
        more.insert(more.begin(), signing.begin(), signing.end());
        more.push_back("c");
        return more;
    };
    const std::string m1 = "https://m1.example.net/files/", m2 = "http://127.0.0.1:18732/x/";
    std::vector<std::string> mostMirrors, mostMirrorArgs;
    for (size_t i = 0; i < tavrin::kMaxMirrors; ++i) {
        mostMirrors.push_back("http://m" + std::to_string(i) + ".example.net/");
        mostMirrorArgs.insert(mostMirrorArgs.end(), {"--mirror", mostMirrors.back()});
    }
    std::vector<std::string> tooManyMirrorArgs = mostMirrorArgs;
    tooManyMirrorArgs.insert(tooManyMirrorArgs.end(), {"--mirror", m1});
    const Row rows[] = {
        {{"a.dll"}, true, Options::kPack, "a.dll", ""},
        {{"-o", "b.lzf", "a.dll"}, true, Options::kPack, "a.dll", "b.lzf"},
        {{"-d", "a.dll.lzf"}, true, Options::kUnpack, "a.dll.lzf", ""},
        {{"a.dll.lzf", "-d", "-o", "x"}, true, Options::kUnpack, "a.dll.lzf", "x"},
        {{"--cfg", "client"}, true, Options::kFolder, "client", ""},
        {{"-c", "client", "-o", "out"}, true, Options::kFolder, "client", "out"},
        {{"--", "-d"}, true, Options::kPack, "-d", ""},
        {{"-h"}, true, Options::kHelp, "", ""},
        {{"x", "--help"}, true, Options::kHelp, "", ""},
        {{}, false, Options::kPack, "", ""},
        {{"-d"}, false, Options::kPack, "", ""},
        {{"a", "b"}, false, Options::kPack, "", ""},
        {{"a", "-o"}, false, Options::kPack, "", ""},
        {{"a", "-o", ""}, false, Options::kPack, "", ""},
        {{"a", "-o", "x", "-o", "y"}, false, Options::kPack, "", ""},
        {{"-d", "--cfg", "a"}, false, Options::kPack, "", ""},
        {{"--cfg", "--sign", "k.pem", "--serial", "3", "c"}, true, Options::kFolder, "c", ""},
        {{"--verify", "p.pem", "o/orbisan3.cfg"}, true, Options::kVerify, "o/orbisan3.cfg", ""},
        {{"--cfg", "--sign", "k.pem", "c"}, false, Options::kPack, "", ""},
        {{"--cfg", "--sign", "k.pem", "--serial", "0", "c"}, false, Options::kPack, "", ""},
        {{"--cfg", "--sign", "k.pem", "--serial", "-1", "c"}, false, Options::kPack, "", ""},
        {{"--cfg", "--serial", "3", "c"}, false, Options::kPack, "", ""},
        {{"--sign", "k.pem", "--serial", "3", "a"}, false, Options::kPack, "", ""},
        {{"--verify", "p.pem", "-d", "x"}, false, Options::kPack, "", ""},
        {{"--cfg", "--sign", "k", "--serial", "3", "--expires-days", "9999", "c"}, false,
         Options::kPack, "", ""},
        {{"-x", "a"}, false, Options::kPack, "", ""},
        {{""}, false, Options::kPack, "", ""},
        // Mirrors: in the order given, each as the updater will read it, only when signing.
        {sign({"--mirror", m1, "--mirror", m2}), true, Options::kFolder, "c", "", {m1, m2}},
        {sign(mostMirrorArgs), true, Options::kFolder, "c", "", mostMirrors},
        {sign(tooManyMirrorArgs), false, Options::kPack, "", ""},
        {sign({"--mirror", m1, "--mirror", m1}), false, Options::kPack, "", ""},
        {sign({"--mirror", "ftp://m1.example.net/files/"}), false, Options::kPack, "", ""},
        {sign({"--mirror", "https://m1.example.net/files"}), false, Options::kPack, "", ""},
        {{"--cfg", "--mirror", m1, "c"}, false, Options::kPack, "", ""},
    };
    for (const Row& r : rows) {
        std::string line;
        for (const std::string& a : r.args) line += "[" + a + "] ";
        SCOPED_TRACE(line);
        Options options;
        std::string error;
        ASSERT_EQ(ParseCommandLine(r.args, &options, &error), r.ok) << error;
        if (!r.ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(options.mode, r.mode);
        if (r.mode == Options::kHelp) continue;
        EXPECT_EQ(options.input, r.input);
        EXPECT_EQ(options.output, r.output);
        EXPECT_EQ(options.mirrors, r.mirrors);
    }
}

// Every name the folder mode lists must also pass the updater's own check, or the updater
// would drop the line.
TEST(Lzfpack, KnowsWhichNamesAPackageMayHave) {
    struct Row {
        std::string name;
        bool plain;
        bool listable;
    };
    const Row rows[] = {
        {"Orbisan.exe.lzf", true, true},
        {"board-19x19_v2.dat.lzf", true, true},
        {"a.lzf", true, true},
        {".lzf", true, false},
        {"readme", true, false},
        {"a.lzf.lzf", true, false},
        {"a.lzfx.lzf", true, false},
        {"a.LZF", true, false},
        {"two words.lzf", true, false},
        {"x[1].lzf", true, false},
        {"100%.lzf", true, false},
        {"a#b.lzf", true, false},
        {"\xEB\xB0\x94\xEB\x91\x91.lzf", true, false},  // Korean, UTF-8
        {std::string(251, 'n') + ".lzf", true, true},
        {std::string(252, 'n') + ".lzf", false, false},
        {"", false, false},
        {".", false, false},
        {"..", false, false},
        {"a/b.lzf", false, false},
        {"a\\b.lzf", false, false},
        {"c:b.lzf", false, false},
        {"a*.lzf", false, false},
        {"a?.lzf", false, false},
        {"a\".lzf", false, false},
        {"a<b>.lzf", false, false},
        {"a|b.lzf", false, false},
        {"tab\t.lzf", false, false},
        {"del\x7f.lzf", false, false},
        {"ends in a dot.", false, false},
        {"ends in a blank ", false, false},
        {"CON", false, false},
        {"nul.txt.lzf", false, false},
        {"com1.lzf", false, false},
        {"com0.lzf", true, true},
        {"console.lzf", true, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE("\"" + r.name + "\"");
        std::string why;
        EXPECT_EQ(IsPlainFileName(r.name, &why), r.plain) << why;
        EXPECT_EQ(IsListablePackageName(r.name, &why), r.listable) << why;
        if (r.listable) {
            EXPECT_TRUE(tavrin::IsSafePackageName(r.name));
            EXPECT_EQ(tavrin::StripPackageExtension(r.name) + ".lzf", r.name);
        }
    }
}

TEST(Lzfpack, PacksAndRestoresAFile) {
    Folder dir;
    const std::string content = Executable(200000);
    Write(dir.File("Quenby3.exe"), content);

    Outcome run = Lzfpack({dir.File("Quenby3.exe")});
    ASSERT_EQ(run.code, kExitDone) << run.err;
    EXPECT_EQ(Unpacked(dir.File("Quenby3.exe.lzf")), content);

    Write(dir.File("Quenby3.exe"), "an older file");
    run = Lzfpack({"-d", dir.File("Quenby3.exe.lzf")});
    ASSERT_EQ(run.code, kExitDone) << run.err;
    EXPECT_EQ(Read(dir.File("Quenby3.exe")), content);

    run = Lzfpack({"-o", dir.File("copy"), "-d", dir.File("Quenby3.exe.lzf")});
    ASSERT_EQ(run.code, kExitDone) << run.err;
    EXPECT_EQ(Read(dir.File("copy")), content);
    run = Lzfpack({"-o", dir.File("other.lzf"), dir.File("copy")});
    ASSERT_EQ(run.code, kExitDone) << run.err;
    EXPECT_EQ(Unpacked(dir.File("other.lzf")), content);

    Write(dir.File("empty"), "");
    ASSERT_EQ(Lzfpack({dir.File("empty")}).code, kExitDone);
    EXPECT_EQ(Read(dir.File("empty.lzf")), "");
    ASSERT_EQ(Lzfpack({"-d", "-o", dir.File("empty.back"), dir.File("empty.lzf")}).code, kExitDone);
    EXPECT_EQ(Read(dir.File("empty.back")), "");
    EXPECT_EQ(Folder::Names(dir.path()),
              (std::set<std::string>{"Quenby3.exe", "Quenby3.exe.lzf", "copy", "other.lzf", "empty",
                                     "empty.lzf", "empty.back"}));
}

TEST(Lzfpack, RefusesWhatItCannotDo) {
    Folder dir;
    Write(dir.File("bad:name"), "x");
    Write(dir.File("ok"), "x");
    const std::string corrupt = "ZV\x01\x00\x03\x00\x09\x02" "abc";
    Write(dir.File("corrupt.lzf"), corrupt);
    Write(dir.File("corrupt"), "old");
    struct Row {
        const char* name;
        std::vector<std::string> args;
        int code;
    };
    const Row rows[] = {
        {"a package name with a colon", {dir.File("bad:name")}, kExitFailed},
        {"an output name with a control character", {"-o", dir.File("x\x01.lzf"), dir.File("ok")},
         kExitFailed},
        {"restoring a name without .lzf", {"-d", dir.File("ok")}, kExitFailed},
        {"restoring a corrupt package", {"-d", dir.File("corrupt.lzf")}, kExitFailed},
        {"a missing file", {dir.File("none")}, kExitFailed},
        {"a missing folder", {"--cfg", dir.File("none")}, kExitFailed},
        {"an unknown option", {"-z", dir.File("ok")}, kExitUsage},
    };
    const std::set<std::string> before = Folder::Names(dir.path());
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const Outcome run = Lzfpack(r.args);
        EXPECT_EQ(run.code, r.code);
        EXPECT_FALSE(run.err.empty());
        EXPECT_EQ(Folder::Names(dir.path()), before);
    }
    EXPECT_EQ(Read(dir.File("corrupt")), "old");

    const Outcome help = Lzfpack({"--help"});
    EXPECT_EQ(help.code, kExitDone);
    EXPECT_NE(help.out.find("--cfg"), std::string::npos);
}

TEST(Lzfpack, PublishesAFolderForTheUpdater) {
    Folder dir;
    const std::string client = dir.File("client");
    ::mkdir(client.c_str(), 0755);
    ::mkdir((client + "/sounds").c_str(), 0755);
    const std::vector<std::pair<std::string, std::string>> files = {
        {"Orbisan.exe", Executable(150000)}, {"board.dat", std::string(70000, 'b')},
        {"Prynn.dll", Executable(30000)},     {"Orbisan.ICO", "icon"},
        {"a-first.txt", ""},
    };
    for (const auto& f : files) Write(client + "/" + f.first, f.second);
    Write(client + "/sounds/stone.wav", "wav");
    Write(client + "/old.dat.lzf", "an earlier package");

    Outcome run = Lzfpack({"--cfg", client});
    ASSERT_EQ(run.code, kExitDone) << run.err;
    // Names in byte order, without the fixed ones, CR LF ended: what the updater installs.
    EXPECT_EQ(Read(client + "/orbisan3.cfg"), "Orbisan.exe.lzf\r\na-first.txt.lzf\r\nboard.dat.lzf\r\n");
    EXPECT_NE(run.out.find("Vossel.dll.lzf"), std::string::npos) << run.out;  // said missing

    for (const auto& f : files) {
        SCOPED_TRACE(f.first);
        EXPECT_EQ(Unpacked(client + "/" + f.first + ".lzf"), f.second);
    }
    EXPECT_EQ(Read(client + "/old.dat.lzf"), "an earlier package");
    EXPECT_FALSE(Folder::Names(client).count("old.dat.lzf.lzf"));
    EXPECT_FALSE(Folder::Names(client).count("sounds.lzf"));

    // Again, into another folder: the outputs of the first run are skipped.
    const std::string out = dir.File("out");
    ::mkdir(out.c_str(), 0755);
    run = Lzfpack({"--cfg", client, "-o", out});
    ASSERT_EQ(run.code, kExitDone) << run.err;
    EXPECT_EQ(Read(out + "/orbisan3.cfg"), Read(client + "/orbisan3.cfg"));
    EXPECT_EQ(Folder::Names(out).size(), files.size() + 1);
}

TEST(Lzfpack, PublishesASignedReleaseThatItsPublicKeyVerifies) {
    Folder dir;
    const std::string release = dir.File("release"), out = dir.File("out");
    ::mkdir(release.c_str(), 0755);
    ::mkdir(out.c_str(), 0755);
    const std::string keys = TAVRIN_TEST_KEYS;
    const std::string mirror1 = "https://mirror1.example.net:8443/tavrin/files/";
    const std::string mirror2 = "http://127.0.0.1:18735/";
    const std::vector<std::string> sign = {"--cfg", "--sign", keys + "/test-rsa3072.pem",
                                           "--serial", "12", "--expires-days", "30",
                                           "--mirror", mirror1, "--mirror", mirror2,
                                           "-o", out, release};
    Write(release + "/rules.txt", "komi 6.5");
    // Without the five packages every release carries, nothing is written.
    Outcome run = Lzfpack(sign, tavrin::SignRsaSha256);
    EXPECT_EQ(run.code, kExitFailed);
    EXPECT_NE(run.err.find("Vossel.dll"), std::string::npos) << run.err;
    EXPECT_TRUE(Folder::Names(out).empty());

    for (const char* fixed : {"Vossel.dll", "Ketter.dll", "Quenby3.exe", "Prynn.dll", "Orbisan.ICO"})
        Write(release + "/" + fixed, Executable(3000));
    // A build that cannot sign says so and writes no configuration.
    run = Lzfpack(sign);
    EXPECT_EQ(run.code, kExitFailed);
    EXPECT_FALSE(Folder::Names(out).count("orbisan3.cfg"));

    // A mirror the updater would refuse is refused here, with the reason, before any work.
    const std::set<std::string> before = Folder::Names(out);
    const std::string withUser = "https://ours@mirror1.example.net/files/";
    std::vector<std::string> badMirror = sign;
    *std::find(badMirror.begin(), badMirror.end(), mirror2) = withUser;
    run = Lzfpack(badMirror, tavrin::SignRsaSha256);
    EXPECT_EQ(run.code, kExitUsage);
    EXPECT_NE(run.err.find("--mirror \"" + withUser + "\" names no plain host"), std::string::npos)
        << run.err;
    EXPECT_EQ(Folder::Names(out), before);

    run = Lzfpack(sign, tavrin::SignRsaSha256);
    ASSERT_EQ(run.code, kExitDone) << run.err;
    // The mirrors in the order given, after the packages and before the serial, signed.
    EXPECT_NE(Read(out + "/orbisan3.cfg").find("[mirror] " + mirror1 + "\r\n[mirror] " + mirror2 +
                                               "\r\n[serial] 12\r\n"),
              std::string::npos) << Read(out + "/orbisan3.cfg");
    const std::vector<std::string> verify = {"--verify", keys + "/test-rsa3072.pub.pem",
                                             out + "/orbisan3.cfg"};
    run = Lzfpack(verify);
    EXPECT_EQ(run.code, kExitDone) << run.err;
    EXPECT_NE(run.out.find("serial 12"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("mirror " + mirror1 + "\nmirror " + mirror2 + "\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("ok rules.txt.lzf ("), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" bytes, 8 installed)"), std::string::npos) << run.out;
    // What older controls read: a line per package that starts with its name, every other
    // line bracketed.
    size_t packageLines = 0;
    std::istringstream lines(Read(out + "/orbisan3.cfg"));
    for (std::string line; std::getline(lines, line);) {
        if (line.find('[') != std::string::npos) continue;
        EXPECT_NE(line.find(".lzf sha256="), std::string::npos) << line;
        ++packageLines;
    }
    EXPECT_EQ(packageLines, 6u);

    // One package changed after publishing: the check names it.
    Write(out + "/rules.txt.lzf", Read(out + "/rules.txt.lzf") + "x");
    run = Lzfpack(verify);
    EXPECT_EQ(run.code, kExitFailed);
    EXPECT_NE(run.err.find("rules.txt.lzf: its size"), std::string::npos) << run.err;
}

TEST(Lzfpack, PublishesNothingWhenANameCannotBeListed) {
    const char* const bad[] = {"two words.txt", "x[1].dat", "a.lzfx", "\xEB\xB0\x94\xEB\x91\x91.txt"};
    for (const char* name : bad) {
        SCOPED_TRACE(name);
        Folder dir;
        Write(dir.File("good.dat"), "good");
        Write(dir.File(name), "bad");
        const std::set<std::string> before = Folder::Names(dir.path());
        const Outcome run = Lzfpack({"--cfg", dir.path()});
        EXPECT_EQ(run.code, kExitFailed);
        EXPECT_NE(run.err.find(name), std::string::npos) << run.err;
        EXPECT_EQ(Folder::Names(dir.path()), before);
    }
}

}  // namespace
