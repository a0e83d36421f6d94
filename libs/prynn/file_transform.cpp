#include "libs/prynn/file_transform.h"

#include <memory>
#include <utility>
#include <vector>

namespace prynn {
namespace {

using Transform = StreamStatus (*)(ByteSource&, ByteSink&);

// The temporary file beside the target: removed when the scope ends, however it ends, unless
// it has become the target.
class TemporaryFile {
public:
    explicit TemporaryFile(FileSystem& files) : m_files(files) {}
    ~TemporaryFile() {
        m_file.reset();
        if (!m_path.empty() && !m_replaced) m_files.Remove(m_path);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // A name can be taken by a leftover of a crashed run or by a concurrent install.
    bool Create(const std::string& target) {
        for (int n = 0; n < kTemporaryNameTries; ++n) {
            std::string path = TemporaryName(target, n);
            m_file = m_files.CreateNew(path);
            if (m_file) {
                m_path = std::move(path);
                return true;
            }
        }
        return false;
    }

    WritableFile& file() { return *m_file; }

    bool Finish() {
        const bool flushed = m_file->Close();
        m_file.reset();
        return flushed;
    }

    bool Replace(const std::string& target) {
        m_replaced = m_files.Replace(m_path, target);
        return m_replaced;
    }

private:
    FileSystem& m_files;
    std::unique_ptr<WritableFile> m_file;
    std::string m_path;
    bool m_replaced = false;
};

FileResult Fail(FileResult::Outcome outcome, StreamStatus stream = StreamStatus::kOk) {
    FileResult result;
    result.outcome = outcome;
    result.stream = stream;
    return result;
}

FileResult Produce(FileSystem& files, std::unique_ptr<ByteSource> source,
                   const std::string& target, Transform transform) {
    if (!source) return Fail(FileResult::kSourceMissing);
    TemporaryFile temporary(files);
    if (!temporary.Create(target)) return Fail(FileResult::kNoTemporaryFile);
    const StreamStatus status = transform(*source, temporary.file());
    // Closed before the rename: Windows does not replace a file that is open (source and
    // target may be one file).
    source.reset();
    if (status != StreamStatus::kOk) return Fail(FileResult::kStreamFailed, status);
    if (!temporary.Finish()) return Fail(FileResult::kNotFlushed);
    if (!temporary.Replace(target)) return Fail(FileResult::kNotReplaced);
    return FileResult();
}

StreamStatus Copy(ByteSource& source, ByteSink& sink) {
    std::vector<uint8_t> buffer(64 * 1024);
    for (;;) {
        size_t got = 0;
        if (!source.Read(buffer.data(), buffer.size(), &got) || got > buffer.size())
            return StreamStatus::kReadError;
        if (got == 0) return StreamStatus::kOk;
        if (!sink.Write(buffer.data(), got)) return StreamStatus::kWriteError;
    }
}

}  // namespace

std::string FileResult::Describe() const {
    switch (outcome) {
        case kDone: return "done";
        case kSourceMissing: return "cannot open the source";
        case kNoTemporaryFile: return "cannot create a temporary file beside the target";
        case kStreamFailed: return StreamStatusText(stream);
        case kNotFlushed: return "cannot write the temporary file to the disk";
        case kNotReplaced: return "cannot replace the target";
    }
    return "unknown failure";
}

std::string TemporaryName(const std::string& target, int n) {
    return target + ".~prynn" + std::to_string(n) + ".tmp";
}

FileResult DecodeFile(FileSystem& files, const std::string& source, const std::string& target) {
    return Produce(files, files.OpenRead(source), target, DecodeStream);
}

FileResult EncodeFile(FileSystem& files, const std::string& source, const std::string& target) {
    return Produce(files, files.OpenRead(source), target, EncodeStream);
}

FileResult WriteFileAtomically(FileSystem& files, const std::string& target,
                               const uint8_t* data, size_t size) {
    return Produce(files, std::make_unique<MemorySource>(data, size), target, Copy);
}

}  // namespace prynn
