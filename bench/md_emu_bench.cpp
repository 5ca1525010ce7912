// Rendering speed of the console sound system: one second of console time at
// clock index 0 (1,118,607.8125 frames) per iteration, with the six YM2612
// channels and the four PSG channels sounding, in pieces the size of a render
// call. The "x_realtime" counter is seconds of audio rendered per second of
// wall time on one core. A silent unit under the fastest LFO, every channel
// with vibrato, owing its frames as the instrument's controller makes it owe
// them in 16-frame host blocks at 48 kHz: the cost of its most expensive
// block against the median one ("worst_over_median"; the time of the
// payments the unit makes in that block).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <vector>

#include "emulators/MD_Emu.h"

namespace {

constexpr uint64_t kConsoleFramesPerSecond = 1118608; // 53693175 / 48, rounded
constexpr uint32_t kMaxFrames = 4096;

void fmWrite(MD_Emu& md, int channel, uint8_t base, uint8_t value) {
    md.write(uint16_t(base + channel % 3), value, uint64_t(channel / 3));
}

// Six FM voices of two-operator-pair algorithm 4 with some feedback, at
// different pitches, keyed on and held.
void setupFm(MD_Emu& md) {
    md.write(0x22, 0x00, 0);
    md.write(0x27, 0x00, 0);
    md.write(0x2B, 0x00, 0);
    for (int ch = 0; ch < 6; ++ch) {
        for (int slot = 0; slot < 4; ++slot) {
            const uint8_t s = uint8_t(4 * slot);
            fmWrite(md, ch, 0x30 + s, uint8_t(0x01 + slot));   // MUL 1-4
            fmWrite(md, ch, 0x40 + s, slot % 2 ? 0x08 : 0x20); // carriers louder
            fmWrite(md, ch, 0x50 + s, 0x1F);
            fmWrite(md, ch, 0x60 + s, 0x05);
            fmWrite(md, ch, 0x70 + s, 0x02);
            fmWrite(md, ch, 0x80 + s, 0x1F);
            fmWrite(md, ch, 0x90 + s, 0x00);
        }
        fmWrite(md, ch, 0xB0, 0x34); // feedback 6, algorithm 4
        fmWrite(md, ch, 0xB4, 0xC0);
        const int fnum = 600 + 80 * ch;
        fmWrite(md, ch, 0xA4, uint8_t((4 << 3) | (fnum >> 8)));
        fmWrite(md, ch, 0xA0, uint8_t(fnum & 0xFF));
        md.write(0x28, uint8_t(0xF0 | (ch < 3 ? ch : ch + 1)), 0);
    }
}

void setupPsg(MD_Emu& md) {
    const int periods[3] = {0x1AC, 0x0FE, 0x05A};
    for (int k = 0; k < 3; ++k) {
        md.write(0, uint8_t(0x80 | (k << 5) | (periods[k] & 0x0F)), 2);
        md.write(0, uint8_t((periods[k] >> 4) & 0x3F), 2);
        md.write(0, uint8_t(0x90 | (k << 5) | (k + 1)), 2);
    }
    md.write(0, 0xE5, 2); // white noise, rate 32
    md.write(0, 0xF2, 2);
}

void BM_MD_Emu_OneSecond(benchmark::State& state) {
    MD_Emu md;
    md.init(kMaxFrames, nullptr, 0);
    md.setClockIndex(0);
    setupFm(md);
    setupPsg(md);
    const uint64_t piece = uint64_t(state.range(0));
    std::vector<int32_t> left(piece), right(piece);
    int32_t* outs[2] = {left.data(), right.data()};
    md.render32(outs, piece);
    if (*std::max_element(left.begin(), left.end()) <= 0) state.SkipWithError("silent");
    for (auto _ : state) {
        for (uint64_t done = 0; done < kConsoleFramesPerSecond; done += piece) {
            const uint64_t n = std::min(piece, kConsoleFramesPerSecond - done);
            std::fill_n(left.data(), n, 0);
            std::fill_n(right.data(), n, 0);
            md.render32(outs, n);
            benchmark::DoNotOptimize(left.data());
            benchmark::DoNotOptimize(right.data());
        }
        benchmark::ClobberMemory();
    }
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_MD_Emu_SilentFastLfo(benchmark::State& state) {
    MD_Emu md;
    md.init(kMaxFrames, nullptr, 0);
    setupFm(md);
    md.write(0x22, 0x0F, 0); // LFO on, rate 7
    for (int ch = 0; ch < 6; ++ch) {
        fmWrite(md, ch, 0xB4, 0xC7); // PMS 7
        md.write(0x28, uint8_t(ch < 3 ? ch : ch + 1), 0);
    }
    // Released into silence.
    std::vector<int32_t> left(kMaxFrames), right(kMaxFrames);
    int32_t* outs[2] = {left.data(), right.data()};
    for (int i = 0; i < 200 && !md.isSilent(); ++i) md.render32(outs, kMaxFrames);
    if (!md.isSilent()) state.SkipWithError("not silent");
    const uint64_t block = 373; // 16 frames at 48 kHz, in console frames
    const int blocks = 8192;
    std::vector<double> costs(blocks);
    for (auto _ : state) {
        for (int b = 0; b < blocks; ++b) {
            const auto t0 = std::chrono::steady_clock::now();
            md.oweSilent(block);
            const auto t1 = std::chrono::steady_clock::now();
            costs[size_t(b)] = std::chrono::duration<double, std::nano>(t1 - t0).count();
        }
        benchmark::ClobberMemory();
    }
    std::vector<double> sorted = costs;
    std::nth_element(sorted.begin(), sorted.begin() + blocks / 2, sorted.end());
    const double median = std::max(sorted[size_t(blocks / 2)], 1.0);
    const double worst = *std::max_element(costs.begin(), costs.end());
    state.counters["worst_ns"] = worst;
    state.counters["median_ns"] = median;
    state.counters["worst_over_median"] = worst / median;
}

} // namespace

BENCHMARK(BM_MD_Emu_OneSecond)->Arg(1024)->Arg(4096)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MD_Emu_SilentFastLfo)->Iterations(1)->Unit(benchmark::kMillisecond);
