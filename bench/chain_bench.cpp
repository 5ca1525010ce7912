// Speed and memory of the whole instrument chain as a host runs it: one
// plug-in object through its process entry at 48 kHz in 256-frame blocks,
// with the six voice units sounding (six-note FM chords and three PSG tones
// with noise on each), the model profile's stereo filter, the resampler and
// the output filters. "x_realtime" is seconds of host audio per second of
// wall time on one core; "frames" counts host frames (for instructions per
// host frame, run the case under callgrind and divide by it).
//
// The memory case reports the memory one activated instance holds at the
// host block length given as its argument.
#include <benchmark/benchmark.h>

#include "BenchInstance.h"

#include <malloc.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "instrument/ChipWrap.h"

using namespace vantor::EnginePluginSDK;
using acme::ChipWrap;

namespace {

void fmWrite(ChipEmu& u, int channel, uint8_t base, uint8_t value) {
    u.write(uint16_t(base + channel % 3), value, uint64_t(channel / 3));
}

// A chord on the six FM channels and three PSG tones plus noise, a little
// different per unit.
void playChord(ChipEmu& u, int unit) {
    u.write(0x22, 0x00, 0);
    u.write(0x27, 0x00, 0);
    u.write(0x2B, 0x00, 0);
    for (int ch = 0; ch < 6; ++ch) {
        for (int slot = 0; slot < 4; ++slot) {
            const uint8_t s = uint8_t(4 * slot);
            fmWrite(u, ch, 0x30 + s, uint8_t(0x01 + slot));
            fmWrite(u, ch, 0x40 + s, slot % 2 ? 0x18 : 0x28);
            fmWrite(u, ch, 0x50 + s, 0x1F);
            fmWrite(u, ch, 0x60 + s, 0x05);
            fmWrite(u, ch, 0x70 + s, 0x02);
            fmWrite(u, ch, 0x80 + s, 0x1F);
            fmWrite(u, ch, 0x90 + s, 0x00);
        }
        fmWrite(u, ch, 0xB0, 0x34);
        fmWrite(u, ch, 0xB4, 0xC0);
        const int fnum = 600 + 80 * ch + 10 * unit;
        fmWrite(u, ch, 0xA4, uint8_t((4 << 3) | (fnum >> 8)));
        fmWrite(u, ch, 0xA0, uint8_t(fnum & 0xFF));
        u.write(0x28, uint8_t(0xF0 | (ch < 3 ? ch : ch + 1)), 0);
    }
    const int periods[3] = {0x1AC + unit, 0x0FE + unit, 0x05A + unit};
    for (int k = 0; k < 3; ++k) {
        u.write(0, uint8_t(0x80 | (k << 5) | (periods[k] & 0x0F)), 2);
        u.write(0, uint8_t((periods[k] >> 4) & 0x3F), 2);
        u.write(0, uint8_t(0x90 | (k << 5) | 4), 2);
    }
    u.write(0, 0xE5, 2);
    u.write(0, 0xF6, 2);
}

std::unique_ptr<ChipWrap> makeInstance(double rate, uint32_t block) {
    auto w = benchinstance::makeInstance(rate, block);
    for (int u = 0; u < 6; ++u) playChord(*w->unit(size_t(u)), u);
    return w;
}

void BM_ChipWrap_Process(benchmark::State& state) {
    constexpr double kRate = 48000.0;
    constexpr uint32_t kBlock = 256;
    auto w = makeInstance(kRate, kBlock);
    std::vector<float> left(kBlock), right(kBlock);
    float* outputs[2] = {left.data(), right.data()};
    PluginRecord* r = w->getRecord();
    uint64_t frames = 0;
    for (auto _ : state) {
        r->process(r, outputs, int32_t(kBlock), nullptr, nullptr, nullptr);
        benchmark::DoNotOptimize(left.data());
        frames += kBlock;
    }
    state.counters["x_realtime"] =
        benchmark::Counter(double(frames) / kRate, benchmark::Counter::kIsRate);
    state.counters["frames"] = double(frames);
}
BENCHMARK(BM_ChipWrap_Process)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

size_t heapBytes() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// The heap one activated instance holds after a few blocks ("heap_kb"), and
// how much resident memory it added ("rss_kb"; meaningful when the case runs
// first in its process, as with --benchmark_filter=Memory).
void BM_ChipWrap_Memory(benchmark::State& state) {
    const uint32_t block = uint32_t(state.range(0));
    std::vector<float> left(block), right(block);
    float* outputs[2] = {left.data(), right.data()};
    long rss = 0;
    size_t heap = 0;
    for (auto _ : state) {
        const long rssBefore = residentKb();
        const size_t heapBefore = heapBytes();
        auto w = makeInstance(48000.0, block);
        PluginRecord* r = w->getRecord();
        for (int i = 0; i < 4; ++i)
            r->process(r, outputs, int32_t(block), nullptr, nullptr, nullptr);
        rss = residentKb() - rssBefore;
        heap = heapBytes() - heapBefore;
    }
    state.counters["rss_kb"] = double(rss);
    state.counters["heap_kb"] = double(heap) / 1024.0;
}
BENCHMARK(BM_ChipWrap_Memory)->Arg(256)->Arg(8192)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
