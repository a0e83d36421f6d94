// The file operations on POSIX systems, for the native packer and the native tests.
#include "libs/prynn/system_files.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace prynn {
namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { close(); }
    Descriptor(Descriptor&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    // A failed close can mean lost data (on network file systems): report it.
    bool close() {
        if (m_fd < 0) return true;
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0;
    }

private:
    int m_fd;
};

class PosixSource : public ByteSource {
public:
    explicit PosixSource(Descriptor&& fd) : m_fd(std::move(fd)) {}
    bool Read(uint8_t* buffer, size_t size, size_t* got) override {
        *got = 0;
        while (*got < size) {
            const ssize_t n = ::read(m_fd.get(), buffer + *got, size - *got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) break;
            *got += static_cast<size_t>(n);
        }
        return true;
    }

private:
    Descriptor m_fd;
};

class PosixFile : public WritableFile {
public:
    explicit PosixFile(Descriptor&& fd) : m_fd(std::move(fd)) {}
    bool Write(const uint8_t* data, size_t size) override {
        while (size > 0) {
            const ssize_t n = ::write(m_fd.get(), data, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            data += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    bool Close() override {
        const bool synced = ::fsync(m_fd.get()) == 0;
        return m_fd.close() && synced;
    }

private:
    Descriptor m_fd;
};

}  // namespace

std::unique_ptr<ByteSource> SystemFiles::OpenRead(const std::string& path) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return nullptr;
    struct stat info;
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
    return std::make_unique<PosixSource>(std::move(fd));
}

std::unique_ptr<WritableFile> SystemFiles::CreateNew(const std::string& path) {
    Descriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd) return nullptr;
    return std::make_unique<PosixFile>(std::move(fd));
}

bool SystemFiles::Replace(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool SystemFiles::Remove(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace prynn
