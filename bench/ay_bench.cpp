// Speed of the AY emulator as the console sound system runs it: period scale 2,
// mono output, one output frame per console clock period. Each iteration
// renders one second of console time, so the iteration rate is the real-time
// factor ("x_realtime").
#include <algorithm>
#include <vector>

#include <benchmark/benchmark.h>

#include "emulators/AYEmu.h"

namespace {

constexpr double kConsoleRate = 53693175.0 / 48.0; // 1,118,607.8125 frames per second
constexpr uint64_t kOneSecond = 1118608;

// Three tones, each mixed with the noise; A and C follow the envelope
// (a triangle, shape 14), B plays at a fixed volume.
void startSounding(AYEmu& ay) {
    const uint8_t writes[][2] = {
        {0, 0x1C}, {1, 0x01}, {2, 0xE1}, {3, 0x00},  {4, 0xBD},  {5, 0x00},  {6, 0x06},
        {7, 0x00}, {8, 0x10}, {9, 0x0C}, {10, 0x10}, {11, 0x40}, {12, 0x00}, {13, 0x0E},
    };
    for (const auto& w : writes) ay.write(w[0], w[1], 3);
}

void BM_AYEmuOneSecond(benchmark::State& state) {
    const uint32_t block = uint32_t(state.range(0));
    AYEmu ay(2, 1, 0);
    ay.init(block, nullptr, 0);
    ay.setParameter(3, 1.0f);
    startSounding(ay);
    std::vector<int32_t> out(block, 0);
    int32_t* outputs[3] = {out.data(), out.data(), out.data()};
    for (auto _ : state) {
        for (uint64_t left = kOneSecond; left > 0;) {
            const uint64_t n = std::min<uint64_t>(left, block);
            ay.render32(outputs, n);
            left -= n;
        }
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()) * (double(kOneSecond) / kConsoleRate),
                           benchmark::Counter::kIsRate);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(kOneSecond));
}

} // namespace

// 256 frames: short pieces between timer events; 6000: about one host segment
// of 256 frames at 48 kHz.
BENCHMARK(BM_AYEmuOneSecond)->Arg(256)->Arg(6000)->Unit(benchmark::kMillisecond);
