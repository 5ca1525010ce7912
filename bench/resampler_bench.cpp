// Speed of the output chain around the chip units: the speexdsp provider
// converting one second of console chip-rate stereo (53693175 / 48 Hz) to
// the host rate, pulled 256 host frames at a time as the instrument pulls,
// at the instrument's resampler quality 0 and at a few higher ones; and the
// one-pole filters over one second of their stream (the low-pass at the chip
// rate, the inverse low-pass and the high-pass at 48 kHz). The "x_realtime"
// counter is seconds of audio processed per second of wall time on one core.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "instrument/HPFilter.h"
#include "instrument/LPFilter.h"
#include "instrument/LPFilterInverse.h"
#include "instrument/SpeexProvider.h"

namespace {

constexpr uint64_t kChipRate = 1118608; // 53693175 / 48, rounded

std::vector<float> tone(uint64_t frames, double hz, double rate) {
    std::vector<float> v(frames);
    for (uint64_t n = 0; n < frames; ++n)
        v[n] = float(0.4 * std::sin(2.0 * std::numbers::pi * hz * double(n) / rate));
    return v;
}

// range(0): host rate; range(1): quality.
void BM_SpeexProvider_ChipRateStereo(benchmark::State& state) {
    const uint64_t hostRate = uint64_t(state.range(0));
    SpeexProvider provider;
    if (!provider.setup(2, kChipRate, hostRate, int32_t(state.range(1)), 1)) {
        state.SkipWithError("set-up refused");
        return;
    }
    // One second of input plus room for what a pull may ask beyond it.
    const uint64_t room = kChipRate + provider.inputNeeded(256) + 1;
    const std::vector<float> left = tone(room, 440.0, double(kChipRate));
    const std::vector<float> right = tone(room, 660.0, double(kChipRate));
    std::vector<float> outL(256), outR(256);
    for (auto _ : state) {
        uint64_t read = 0;
        while (read < kChipRate) {
            const float* in[2] = {left.data() + read, right.data() + read};
            float* out[2] = {outL.data(), outR.data()};
            uint64_t inFrames = provider.inputNeeded(256), outFrames = 256;
            provider.process(in, out, inFrames, outFrames);
            read += inFrames;
            benchmark::DoNotOptimize(outL.data());
            benchmark::DoNotOptimize(outR.data());
        }
        benchmark::ClobberMemory();
    }
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

// One second of a stereo stream through one filter kind per channel, in
// blocks the size the instrument uses. range(0): 0 low-pass at the chip rate
// in 4096-frame renders, 1 inverse low-pass and 2 high-pass at 48 kHz in
// 256-frame blocks.
void BM_Filters_OneSecondStereo(benchmark::State& state) {
    const int kind = int(state.range(0));
    const uint64_t rate = kind == 0 ? kChipRate : 48000;
    const uint64_t block = kind == 0 ? 4096 : 256;
    LPFilter lp[2];
    LPFilterInverse inv[2];
    HPFilter hp[2];
    Filter* filters[2] = {kind == 0   ? static_cast<Filter*>(&lp[0])
                          : kind == 1 ? static_cast<Filter*>(&inv[0])
                                      : static_cast<Filter*>(&hp[0]),
                          kind == 0   ? static_cast<Filter*>(&lp[1])
                          : kind == 1 ? static_cast<Filter*>(&inv[1])
                                      : static_cast<Filter*>(&hp[1])};
    for (Filter* f : filters) {
        f->cutoff = kind == 2 ? 7.5 : 100.0;
        f->rate = double(rate);
        f->setup();
    }
    const std::vector<float> source = tone(block, 440.0, double(rate));
    std::vector<float> buf[2] = {source, source};
    for (auto _ : state) {
        for (uint64_t done = 0; done < rate; done += block) {
            const auto n = int32_t(std::min(block, rate - done));
            for (int c = 0; c < 2; ++c) {
                filters[c]->process(buf[c].data(), n);
                benchmark::DoNotOptimize(buf[c].data());
            }
        }
        benchmark::ClobberMemory();
    }
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_SpeexProvider_ChipRateStereo)
    ->Args({48000, 0})
    ->Args({44100, 0})
    ->Args({96000, 0})
    ->Args({48000, 3})
    ->Args({48000, 5})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Filters_OneSecondStereo)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);
