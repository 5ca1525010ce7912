// Rendering speed of the PSG emulators: one second of console time
// (1,118,607.8125 frames at console clock / 48) per iteration, in pieces the
// size of a typical render call. The "x_realtime" counter is seconds of audio
// rendered per second of wall time on one core.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "emulators/DCSG_Emu.h"

namespace {

constexpr uint64_t kConsoleFramesPerSecond = 1118608; // 53693175 / 48, rounded
constexpr uint32_t kMaxFrames = 4096;

// Console PSG (variant 1, factor 5) with all four channels sounding.
void setupFourChannels(DCSG_Emu& psg, bool fastest) {
    psg.init(kMaxFrames, nullptr, 0);
    const uint32_t periods[3] = {fastest ? 1u : 0x1ACu, fastest ? 1u : 0x0FEu,
                                 fastest ? 1u : 0x05Au};
    for (uint8_t k = 0; k < 3; ++k) {
        psg.write(0, uint8_t(0x80 | (k << 5) | (periods[k] & 0x0F)), 2);
        psg.write(0, uint8_t((periods[k] >> 4) & 0x3F), 2);
        psg.write(0, uint8_t(0x90 | (k << 5) | (k + 1)), 2);
    }
    psg.write(0, fastest ? 0xE7 : 0xE5, 2); // white noise: follow tone 2 / rate 32
    psg.write(0, 0xF2, 2);
}

void renderSecond(benchmark::State& state, bool stereo, bool fastest) {
    DCSG_Emu psg(1, 5);
    setupFourChannels(psg, fastest);
    const uint64_t piece = uint64_t(state.range(0));
    std::vector<int32_t> left(piece), right(piece);
    int32_t* outs[2] = {left.data(), right.data()};
    for (auto _ : state) {
        for (uint64_t done = 0; done < kConsoleFramesPerSecond; done += piece) {
            const uint64_t n = std::min(piece, kConsoleFramesPerSecond - done);
            std::fill_n(left.data(), n, 0);
            if (stereo) {
                std::fill_n(right.data(), n, 0);
                psg.renderGameGear(outs, 0xF6, n);
            } else {
                psg.render32(outs, n);
            }
            benchmark::DoNotOptimize(left.data());
        }
        benchmark::ClobberMemory();
    }
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_SN76489_Mono(benchmark::State& state) {
    renderSecond(state, false, false);
}
void BM_SN76489_GameGear(benchmark::State& state) {
    renderSecond(state, true, false);
}
void BM_SN76489_MonoShortestPeriods(benchmark::State& state) {
    renderSecond(state, false, true);
}

} // namespace

BENCHMARK(BM_SN76489_Mono)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SN76489_GameGear)->Arg(256)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SN76489_MonoShortestPeriods)->Arg(4096)->Unit(benchmark::kMillisecond);
