// What opening a hostile media file costs: each row of the hostile table
// (tests/vgm/support/HostileMedia.h: DPCM and bit-packed data blocks, 0xE0
// seeks, PSG writes in a .vgz, a raw log of noise, a VGMX of zeros, a YM song
// in a stored LHA, an LHA and a zip of 70,000 members, a gzip bomb, and a
// DAC-heavy song that is accepted) made at 64 MB unpacked, written once to a
// temporary file and opened the way the player opens a file
// (VGM::VGMX::openFile).
//
// Counters: "s_per_open" is the CPU time of one open, "s_per_100MB" that time
// per 100 MB of what the file unpacks to (the target is about 1 s on an idle
// machine; the gzip bomb counts as 1 byte, as it must be refused before it
// unpacks, and the rows of many members are far smaller), "unpacked_MB"
// that size, "peak_MB" the most the resident size grew over one open and
// "bound_MB" the bound it must stay under, twice the unpacked size plus 64 MB.
// Each open runs in a child process of its own, which measures both; the
// time columns count the parent, which only waits.

#include "vgm/support/HostileMedia.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr uint64_t kMB = 1ull << 20;
constexpr uint64_t kSize = 64 * kMB; // large enough that the fixed costs fade, small enough that the DAC song plays


// The row's file, written once, removed at exit.
struct RowFile {
    std::string path;
    uint64_t unpacked = 0;
    explicit RowFile(const vgmtest::HostileRow& row) {
        path = "/tmp/media_cost_bench_" + std::to_string(::getpid()) + "_" + row.name;
        const vgmtest::HostileFile made = row.make(kSize);
        unpacked = made.unpacked;
        vgmtest::writeFile(path, made.bytes);
    }
    ~RowFile() { std::remove(path.c_str()); }
};

void openRow(benchmark::State& state, size_t index) {
    const vgmtest::HostileRow& row = vgmtest::hostileRows()[index];
    const RowFile file(row);
    double cpu = 0.0;
    uint64_t peak = 0;
    for (auto _ : state) {
        vgmtest::OpenCost c;
        if (!vgmtest::openInChild(file.path, 0, nullptr, c)) {
            state.SkipWithError("the child did not report");
            break;
        }
        if (c.opened != (row.line == nullptr)) {
            state.SkipWithError("the file was not taken or refused as expected");
            break;
        }
        cpu += c.cpu;
        peak = std::max(peak, c.grown);
    }
    const double opens = double(std::max<benchmark::IterationCount>(state.iterations(), 1));
    // The rows of many members are smaller than 100 MB: their rate is scaled.
    const double unpackedMB = double(std::max<uint64_t>(file.unpacked, 1)) / double(kMB);
    state.counters["s_per_open"] = cpu / opens;
    state.counters["s_per_100MB"] = cpu / opens * 100.0 / unpackedMB;
    state.counters["unpacked_MB"] = unpackedMB;
    state.counters["peak_MB"] = double(peak) / double(kMB);
    state.counters["bound_MB"] = 2.0 * unpackedMB + 64.0;
}

const bool registered = [] {
    const auto& rows = vgmtest::hostileRows();
    for (size_t i = 0; i < rows.size(); ++i) {
        std::string name = std::string("BM_Open/") + rows[i].what;
        std::replace(name.begin(), name.end(), ' ', '_');
        benchmark::RegisterBenchmark(name.c_str(), openRow, i)
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
    }
    return true;
}();

} // namespace
