// The package decoder's speed in a Windows build under Wine, on the package the native
// benchmark wrote: prynn_bench_win PACKAGE SIZE CHECKSUM. Prints "prynn-win32: ours <MB/s>"
// (prynn-win64 in the 64-bit build).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/prynn_bench_common.h"
#include "libs/prynn/lzf_stream.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: prynn_bench_win PACKAGE SIZE CHECKSUM\n");
        return 2;
    }
    std::vector<uint8_t> package;
    if (FILE* file = std::fopen(argv[1], "rb")) {
        uint8_t buffer[1 << 16];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
            package.insert(package.end(), buffer, buffer + got);
        std::fclose(file);
    }
    const size_t size = std::strtoul(argv[2], nullptr, 10);
    const unsigned long long checksum = std::strtoull(argv[3], nullptr, 16);
    if (package.empty() || size == 0) {
        std::fprintf(stderr, "prynn_bench_win: cannot read %s\n", argv[1]);
        return 1;
    }

    std::vector<uint8_t> out(size);
    double best = 0;
    for (int round = 0; round < 7; ++round) {
        size_t produced = 0;
        const double seconds = prynn_bench::TimeSeconds([&] {
            return prynn::DecodeStreamInto(package.data(), package.size(), out.data(), out.size(),
                                           &produced) == prynn::StreamStatus::kOk;
        });
        if (seconds < 0 || produced != size || prynn_bench::Checksum(out.data(), size) != checksum) {
            std::fprintf(stderr, "prynn_bench_win: the content came out wrong\n");
            return 1;
        }
        best = std::max(best, static_cast<double>(size) / 1e6 / seconds);
    }
    std::printf("prynn-%s: ours %.0f MB/s\n", sizeof(void*) == 8 ? "win64" : "win32", best);
    return 0;
}
