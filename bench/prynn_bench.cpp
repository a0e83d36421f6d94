// Decompression speed of the package decoder against Debian's liblzf, memory to memory, on
// 64 MiB of this machine's executables and libraries packed with liblzf into the package
// format. Prints "prynn: ours <MB/s> liblzf <MB/s> ratio <r>". With --write-package FILE it
// also saves the package for the run under Wine (prynn_bench_win) and prints the content's size
// and checksum it must reproduce.
#include <lzf.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/prynn_bench_common.h"
#include "libs/prynn/lzf_stream.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kCorpusSize = size_t{64} << 20;

bool IsElf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    char magic[4] = {};
    return in.read(magic, 4) && std::memcmp(magic, "\x7f" "ELF", 4) == 0;
}

// ELF files under the folders, in name order, concatenated up to the corpus size.
std::vector<uint8_t> BuildCorpus() {
    std::vector<fs::path> files;
    for (const char* root : {"/usr/bin", "/usr/lib", "/usr/libexec"}) {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
             it != end; it.increment(ec)) {
            if (ec) break;
            if (it->is_regular_file(ec) && !it->is_symlink(ec) && it->file_size(ec) > 4096)
                files.push_back(it->path());
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<uint8_t> corpus;
    corpus.reserve(kCorpusSize);
    for (const fs::path& path : files) {
        if (corpus.size() >= kCorpusSize) break;
        if (!IsElf(path)) continue;
        std::error_code ec;
        const size_t take = std::min<size_t>(fs::file_size(path, ec), kCorpusSize - corpus.size());
        if (ec) continue;
        std::ifstream in(path, std::ios::binary);
        const size_t at = corpus.size();
        corpus.resize(at + take);
        if (!in.read(reinterpret_cast<char*>(corpus.data() + at), static_cast<std::streamsize>(take)))
            corpus.resize(at);
    }
    return corpus;
}

// The package format as liblzf's own tool writes it: a block compressed when liblzf makes it
// smaller, stored otherwise.
std::vector<uint8_t> PackWithLiblzf(const std::vector<uint8_t>& corpus) {
    std::vector<uint8_t> package;
    std::vector<uint8_t> out(prynn::kMaxBlockSize);
    for (size_t pos = 0; pos < corpus.size(); pos += prynn::kMaxBlockSize) {
        const unsigned size = static_cast<unsigned>(std::min(prynn::kMaxBlockSize, corpus.size() - pos));
        const unsigned packed = lzf_compress(corpus.data() + pos, size, out.data(), size > 4 ? size - 4 : 0);
        if (packed > 0) {
            const uint8_t header[7] = {'Z', 'V', 1, uint8_t(packed >> 8), uint8_t(packed), uint8_t(size >> 8), uint8_t(size)};
            package.insert(package.end(), header, header + 7);
            package.insert(package.end(), out.begin(), out.begin() + packed);
        } else {
            const uint8_t header[5] = {'Z', 'V', 0, uint8_t(size >> 8), uint8_t(size)};
            package.insert(package.end(), header, header + 5);
            package.insert(package.end(), corpus.begin() + static_cast<std::ptrdiff_t>(pos),
                           corpus.begin() + static_cast<std::ptrdiff_t>(pos + size));
        }
    }
    return package;
}

// liblzf's decoder over the same blocks, as its tool reads them.
bool DecodeWithLiblzf(const std::vector<uint8_t>& package, uint8_t* out, size_t capacity, size_t* produced) {
    size_t pos = 0, done = 0;
    while (pos + 5 <= package.size()) {
        const uint8_t* p = package.data() + pos;
        if (p[2] == 0) {
            const size_t size = size_t{p[3]} << 8 | p[4];
            if (done + size > capacity) return false;
            std::memcpy(out + done, p + 5, size);
            pos += 5 + size;
            done += size;
        } else {
            const size_t packed = size_t{p[3]} << 8 | p[4];
            const size_t size = size_t{p[5]} << 8 | p[6];
            if (done + size > capacity) return false;
            if (lzf_decompress(p + 7, static_cast<unsigned>(packed), out + done, static_cast<unsigned>(size)) != size)
                return false;
            pos += 7 + packed;
            done += size;
        }
    }
    *produced = done;
    return pos == package.size();
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<uint8_t> corpus = BuildCorpus();
    if (corpus.size() < kCorpusSize) {
        std::fprintf(stderr, "prynn_bench: only %zu bytes of executables found\n", corpus.size());
        return 1;
    }
    const std::vector<uint8_t> package = PackWithLiblzf(corpus);
    std::vector<uint8_t> out(corpus.size());

    // Each round: one decode by each, checked outside the timing; the best round counts.
    auto round = [&](auto decode) {
        std::fill(out.begin(), out.end(), uint8_t{0});
        size_t produced = 0;
        const double seconds = prynn_bench::TimeSeconds([&] { return decode(&produced); });
        const bool right = seconds > 0 && produced == corpus.size() &&
                           std::memcmp(out.data(), corpus.data(), produced) == 0;
        return right ? static_cast<double>(produced) / 1e6 / seconds : -1.0;
    };
    auto ours = [&](size_t* produced) {
        return prynn::DecodeStreamInto(package.data(), package.size(), out.data(), out.size(),
                                       produced) == prynn::StreamStatus::kOk;
    };
    auto theirs = [&](size_t* produced) {
        return DecodeWithLiblzf(package, out.data(), out.size(), produced);
    };

    double oursBest = 0, theirsBest = 0;
    for (int i = 0; i < 7; ++i) {
        const double a = round(ours);
        const double b = round(theirs);
        if (a < 0 || b < 0) {
            std::fprintf(stderr, "prynn_bench: %s decoder got the content wrong\n",
                         a < 0 ? "our" : "liblzf's");
            return 1;
        }
        oursBest = std::max(oursBest, a);
        theirsBest = std::max(theirsBest, b);
    }
    std::printf("prynn: ours %.0f MB/s liblzf %.0f MB/s ratio %.2f (%zu MiB packed to %.1f MiB)\n", oursBest,
                theirsBest, oursBest / theirsBest, corpus.size() >> 20, package.size() / 1048576.0);

    if (argc == 3 && std::strcmp(argv[1], "--write-package") == 0) {
        std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(package.data()), static_cast<std::streamsize>(package.size()));
        if (!file.flush()) {
            std::fprintf(stderr, "prynn_bench: cannot write %s\n", argv[2]);
            return 1;
        }
        std::printf("package %s size %zu checksum %016llx\n", argv[2], corpus.size(),
                    static_cast<unsigned long long>(prynn_bench::Checksum(corpus.data(), corpus.size())));
    }
    return 0;
}
