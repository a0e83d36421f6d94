// Decompressing a package into an installed file, on real files: the target is replaced only
// by a whole content; a missing, truncated or corrupt package, or a failing disk, leaves the
// old file as it was and no temporary file behind.
#include "libs/prynn/file_transform.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "libs/prynn/lzf_stream.h"
#include "libs/prynn/system_files.h"

using namespace prynn;

namespace {

using Bytes = std::vector<uint8_t>;

// A fresh folder, removed with its files when it goes.
class Folder {
public:
    Folder() {
        char pattern[] = "/tmp/prynn-install-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        m_path = made ? made : "";
    }
    ~Folder() {
        for (const std::string& name : Names()) std::remove(File(name).c_str());
        ::rmdir(m_path.c_str());
    }
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    std::set<std::string> Names() const {
        std::set<std::string> names;
        if (DIR* dir = ::opendir(m_path.c_str())) {
            while (const dirent* e = ::readdir(dir))
                if (e->d_name[0] != '.') names.insert(e->d_name);
            ::closedir(dir);
        }
        return names;
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

void Write(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool Read(const std::string& path, Bytes* bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

Bytes Executable(size_t size) {
    Bytes all;
    Read("/proc/self/exe", &all);
    Bytes b;
    while (b.size() < size) b.insert(b.end(), all.begin(), all.end());
    b.resize(size);
    return b;
}

const Bytes kOld = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};

TEST(InstallPackage, ReplacesTheTargetWithTheWholeContent) {
    const Bytes contents[] = {{}, Bytes(1, 'x'), Executable(65535), Executable(300000)};
    for (const Bytes& content : contents) {
        SCOPED_TRACE("content of " + std::to_string(content.size()) + " bytes");
        Folder dir;
        Write(dir.File("Orbisan.exe.lzf"), EncodeBuffer(content));
        Write(dir.File("Orbisan.exe"), Executable(400000));  // longer than the new content
        SystemFiles files;
        const FileResult result = DecodeFile(files, dir.File("Orbisan.exe.lzf"), dir.File("Orbisan.exe"));
        ASSERT_TRUE(result.ok()) << result.Describe();
        Bytes installed;
        ASSERT_TRUE(Read(dir.File("Orbisan.exe"), &installed));
        EXPECT_TRUE(installed == content);
        EXPECT_EQ(dir.Names(), (std::set<std::string>{"Orbisan.exe", "Orbisan.exe.lzf"}));
    }
}

TEST(InstallPackage, CreatesAMissingTargetAndDecodesAPackageIntoItself) {
    Folder dir;
    const Bytes content = Executable(100000);
    Write(dir.File("a.lzf"), EncodeBuffer(content));
    SystemFiles files;
    ASSERT_TRUE(DecodeFile(files, dir.File("a.lzf"), dir.File("a")).ok());
    // The source is closed before the rename, so a package may replace itself.
    ASSERT_TRUE(DecodeFile(files, dir.File("a.lzf"), dir.File("a.lzf")).ok());
    Bytes a, self;
    ASSERT_TRUE(Read(dir.File("a"), &a));
    ASSERT_TRUE(Read(dir.File("a.lzf"), &self));
    EXPECT_TRUE(a == content);
    EXPECT_TRUE(self == content);
    EXPECT_EQ(dir.Names(), (std::set<std::string>{"a", "a.lzf"}));
}

TEST(InstallPackage, KeepsTheOldFileWhenThePackageIsBad) {
    const Bytes good = EncodeBuffer(Executable(200000));
    struct Row {
        const char* name;
        bool present;
        Bytes package;
        FileResult::Outcome outcome;
        StreamStatus stream;
    };
    Bytes badMagic = good, badType = good, badLength = good;
    badMagic[1] = 'X';
    badType[2] = 7;
    badLength[6] ^= 0x01;  // the first block's original length
    const Row rows[] = {
        {"missing", false, {}, FileResult::kSourceMissing, StreamStatus::kOk},
        {"truncated in the first block", true, Bytes(good.begin(), good.begin() + 1000),
         FileResult::kStreamFailed, StreamStatus::kTruncated},
        {"truncated in the last block", true, Bytes(good.begin(), good.end() - 1),
         FileResult::kStreamFailed, StreamStatus::kTruncated},
        {"bad magic", true, badMagic, FileResult::kStreamFailed, StreamStatus::kBadMagic},
        {"bad block type", true, badType, FileResult::kStreamFailed, StreamStatus::kBadBlockType},
        {"wrong original length", true, badLength, FileResult::kStreamFailed,
         StreamStatus::kBlockTooLong},
    };
    for (const Row& r : rows) {
        for (bool oldFile : {true, false}) {
            SCOPED_TRACE(std::string(r.name) + (oldFile ? ", old file present" : ", no old file"));
            Folder dir;
            if (r.present) Write(dir.File("x.dll.lzf"), r.package);
            if (oldFile) Write(dir.File("x.dll"), kOld);
            const std::set<std::string> before = dir.Names();
            SystemFiles files;
            const FileResult result = DecodeFile(files, dir.File("x.dll.lzf"), dir.File("x.dll"));
            EXPECT_EQ(result.outcome, r.outcome);
            EXPECT_EQ(result.stream, r.stream);
            EXPECT_EQ(dir.Names(), before);
            Bytes now;
            if (oldFile) {
                ASSERT_TRUE(Read(dir.File("x.dll"), &now));
                EXPECT_TRUE(now == kOld);
            }
        }
    }
}

// Leftovers of an earlier crash hold temporary names: the next free one is used and the
// leftovers are left alone (another install may own them).
TEST(InstallPackage, SkipsTemporaryNamesInUse) {
    const Bytes content = Executable(5000);
    for (int taken : {1, 3, kTemporaryNameTries}) {
        SCOPED_TRACE(std::to_string(taken) + " names taken");
        Folder dir;
        Write(dir.File("p.lzf"), EncodeBuffer(content));
        Write(dir.File("p"), kOld);
        for (int n = 0; n < taken; ++n) Write(dir.File("p" + TemporaryName("", n)), {'t'});
        const std::set<std::string> before = dir.Names();
        SystemFiles files;
        const FileResult result = DecodeFile(files, dir.File("p.lzf"), dir.File("p"));
        Bytes now;
        ASSERT_TRUE(Read(dir.File("p"), &now));
        EXPECT_EQ(dir.Names(), before);
        if (taken < kTemporaryNameTries) {
            EXPECT_TRUE(result.ok());
            EXPECT_TRUE(now == content);
        } else {
            EXPECT_EQ(result.outcome, FileResult::kNoTemporaryFile);
            EXPECT_TRUE(now == kOld);
        }
    }
}

TEST(InstallPackage, FailsWithoutTheTargetFolder) {
    Folder dir;
    Write(dir.File("p.lzf"), EncodeBuffer(Executable(100)));
    SystemFiles files;
    EXPECT_EQ(DecodeFile(files, dir.File("p.lzf"), dir.File("none/p")).outcome,
              FileResult::kNoTemporaryFile);
    EXPECT_EQ(DecodeFile(files, dir.path(), dir.File("q")).outcome, FileResult::kSourceMissing);
    EXPECT_EQ(dir.Names(), std::set<std::string>{"p.lzf"});
}

// The real files, with one step made to fail.
class FaultyFiles : public FileSystem {
public:
    enum Fault { kNone, kWrite, kFlush, kReplace };
    explicit FaultyFiles(Fault fault) : m_fault(fault) {}

    std::unique_ptr<ByteSource> OpenRead(const std::string& path) override {
        return m_real.OpenRead(path);
    }
    std::unique_ptr<WritableFile> CreateNew(const std::string& path) override {
        auto file = m_real.CreateNew(path);
        if (!file) return nullptr;
        return std::make_unique<File>(std::move(file), m_fault);
    }
    bool Replace(const std::string& from, const std::string& to) override {
        return m_fault != kReplace && m_real.Replace(from, to);
    }
    bool Remove(const std::string& path) override {
        ++removes;
        return m_real.Remove(path);
    }
    int removes = 0;

private:
    class File : public WritableFile {
    public:
        File(std::unique_ptr<WritableFile> real, Fault fault)
            : m_real(std::move(real)), m_fault(fault) {}
        bool Write(const uint8_t* data, size_t size) override {
            m_written += size;
            // The first block goes through, a later one fails: a half-written file.
            if (m_fault == kWrite && m_written > 65535) return false;
            return m_real->Write(data, size);
        }
        bool Close() override { return m_real->Close() && m_fault != kFlush; }

    private:
        std::unique_ptr<WritableFile> m_real;
        Fault m_fault;
        size_t m_written = 0;
    };

    SystemFiles m_real;
    Fault m_fault;
};

TEST(InstallPackage, KeepsTheOldFileWhenTheDiskFails) {
    const Bytes content = Executable(3 * 65535);
    struct Row {
        const char* name;
        FaultyFiles::Fault fault;
        FileResult::Outcome outcome;
    };
    const Row rows[] = {
        {"nothing fails", FaultyFiles::kNone, FileResult::kDone},
        {"a write fails", FaultyFiles::kWrite, FileResult::kStreamFailed},
        {"the flush fails", FaultyFiles::kFlush, FileResult::kNotFlushed},
        {"the replacement fails", FaultyFiles::kReplace, FileResult::kNotReplaced},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Folder dir;
        Write(dir.File("p.lzf"), EncodeBuffer(content));
        Write(dir.File("p"), kOld);
        FaultyFiles files(r.fault);
        const FileResult result = DecodeFile(files, dir.File("p.lzf"), dir.File("p"));
        EXPECT_EQ(result.outcome, r.outcome);
        if (r.outcome == FileResult::kStreamFailed) {
            EXPECT_EQ(result.stream, StreamStatus::kWriteError);
        }
        Bytes now;
        ASSERT_TRUE(Read(dir.File("p"), &now));
        EXPECT_TRUE(now == (r.fault == FaultyFiles::kNone ? content : kOld));
        EXPECT_EQ(dir.Names(), (std::set<std::string>{"p", "p.lzf"}));
        EXPECT_EQ(files.removes, r.fault == FaultyFiles::kNone ? 0 : 1);
    }
}

TEST(InstallPackage, PacksAndWritesAtomicallyToo) {
    Folder dir;
    const Bytes content = Executable(150000);
    Write(dir.File("f"), content);
    Write(dir.File("f.lzf"), kOld);
    SystemFiles files;
    ASSERT_TRUE(EncodeFile(files, dir.File("f"), dir.File("f.lzf")).ok());
    Bytes package, back;
    ASSERT_TRUE(Read(dir.File("f.lzf"), &package));
    ASSERT_EQ(DecodeBuffer(package, &back), StreamStatus::kOk);
    EXPECT_TRUE(back == content);

    const std::string text = "a.lzf\r\nb.lzf\r\n";
    ASSERT_TRUE(WriteFileAtomically(files, dir.File("orbisan3.cfg"),
                                    reinterpret_cast<const uint8_t*>(text.data()), text.size())
                    .ok());
    Bytes written;
    ASSERT_TRUE(Read(dir.File("orbisan3.cfg"), &written));
    EXPECT_EQ(std::string(written.begin(), written.end()), text);
    EXPECT_EQ(dir.Names(), (std::set<std::string>{"f", "f.lzf", "orbisan3.cfg"}));
}

}  // namespace
