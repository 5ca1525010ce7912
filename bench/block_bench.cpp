// What a host's block length costs, and what release tails cost when the host
// leaves flush-to-zero off. One plug-in object at 48 kHz through its process
// entry, notes through the instrument's own controller and default voices.
//
// Blocks: one note held or a six-note chord held, rendered in host blocks of
// 1, 16 or 256 frames (the argument); every iteration renders 256 frames, so
// the cases compare per frame. For instructions per host frame run a case
// under callgrind collecting processBlock and divide by "frames":
//   valgrind --tool=callgrind --toggle-collect='*processBlock*'
//            bench/block_bench --benchmark_filter='Blocks_Chord/16$'
//
// Release tails: a chord struck every 4 s and released 0.4 s later, so that
// most blocks hold decaying voices and the filters' long tails towards
// silence, with the host's MXCSR cleared of flush-to-zero and
// denormals-are-zero. Each iteration is one 256-frame block; the case reports
// the slowest block against the median one (wall time per block, where
// denormal arithmetic shows). For instructions per block, let callgrind dump
// after every block and compare the dumps' totals:
//   valgrind --tool=callgrind --collect-atstart=no --toggle-collect='*tailBlock*'
//            --dump-after='(anonymous namespace)::tailBlock(vantor::EnginePluginSDK::PluginRecord*,
//            float**, vantor::EnginePluginSDK::EventList*)' bench/block_bench
//            --benchmark_filter=ReleaseTails
// (--dump-after takes the full name, no wildcards).
#include <benchmark/benchmark.h>

#include "BenchInstance.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "instrument/ChipWrap.h"
#include "vantor/DenormalScope.h"

using namespace vantor::EnginePluginSDK;

namespace {

constexpr double kRate = 48000.0;
constexpr uint32_t kFramesPerIteration = 256;
constexpr int kIterations = 400;

std::unique_ptr<acme::ChipWrap> makeInstance(uint32_t block) {
    return benchinstance::makeInstance(kRate, block);
}

using benchinstance::midi;

// One host block through the process entry: what callgrind collects.
__attribute__((noinline)) void processBlock(PluginRecord* r, float** outputs, uint32_t frames,
                                            EventList* in) {
    r->process(r, outputs, int32_t(frames), in, nullptr, nullptr);
}

void runBlocks(benchmark::State& state, const std::vector<uint8_t>& keys) {
    const uint32_t block = uint32_t(state.range(0));
    auto w = makeInstance(block);
    PluginRecord* r = w->getRecord();
    auto in = std::make_unique<EventList>();
    for (uint8_t key : keys) in->events[in->count++] = midi(0x90, key, 100);
    std::vector<float> left(block), right(block);
    float* outputs[2] = {left.data(), right.data()};
    for (uint32_t done = 0; done < 8 * 256; done += block) { // the attack is past
        r->process(r, outputs, int32_t(block), in.get(), nullptr, nullptr);
        in->count = 0;
    }
    uint64_t frames = 0;
    for (auto _ : state) {
        for (uint32_t done = 0; done < kFramesPerIteration; done += block)
            processBlock(r, outputs, block, in.get());
        benchmark::DoNotOptimize(left.data());
        frames += kFramesPerIteration;
    }
    state.counters["frames"] = double(frames);
    state.counters["ns_per_frame"] = benchmark::Counter(
        double(frames), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Blocks_OneNote(benchmark::State& state) {
    runBlocks(state, {60});
}
BENCHMARK(BM_Blocks_OneNote)->Arg(1)->Arg(16)->Arg(256)->Iterations(kIterations);

void BM_Blocks_Chord(benchmark::State& state) {
    runBlocks(state, {48, 55, 60, 64, 67, 72});
}
BENCHMARK(BM_Blocks_Chord)->Arg(1)->Arg(16)->Arg(256)->Iterations(kIterations);

// Blocks from one chord to the next (4 s).
constexpr int kTailBlocks = 750;

// One release-tail block: what callgrind dumps after.
__attribute__((noinline)) void tailBlock(PluginRecord* r, float** outputs, EventList* in) {
    r->process(r, outputs, int32_t(kFramesPerIteration), in, nullptr, nullptr);
}

void BM_ReleaseTails(benchmark::State& state) {
    // The host's mode: no flush-to-zero, no denormals-are-zero.
    const auto hostWord = vantor::DenormalScope::read();
    vantor::DenormalScope::write(hostWord & ~vantor::DenormalScope::kBits);
    auto w = makeInstance(kFramesPerIteration);
    PluginRecord* r = w->getRecord();
    auto in = std::make_unique<EventList>();
    std::vector<float> left(kFramesPerIteration), right(kFramesPerIteration);
    float* outputs[2] = {left.data(), right.data()};
    const uint8_t chords[4][3] = {{48, 52, 55}, {53, 57, 60}, {55, 59, 62}, {52, 55, 60}};
    std::vector<double> nanoseconds;
    nanoseconds.reserve(2 * kTailBlocks);
    int index = 0;
    for (auto _ : state) {
        in->count = 0;
        const int beat = index % kTailBlocks, chord = (index / kTailBlocks) % 4;
        for (int k = 0; k < 3 && (beat == 0 || beat == 75); ++k)
            in->events[in->count++] = midi(beat == 0 ? 0x90 : 0x80, chords[chord][k], 100);
        const auto start = std::chrono::steady_clock::now();
        tailBlock(r, outputs, in.get());
        const auto stop = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(left.data());
        nanoseconds.push_back(std::chrono::duration<double, std::nano>(stop - start).count());
        ++index;
    }
    vantor::DenormalScope::write(hostWord);
    std::vector<double> sorted = nanoseconds;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    state.counters["frames"] = double(nanoseconds.size() * kFramesPerIteration);
    state.counters["median_ns_per_frame"] = median / kFramesPerIteration;
    state.counters["worst_ns_per_frame"] = sorted.back() / kFramesPerIteration;
    state.counters["worst_to_median"] = sorted.back() / median;
}
BENCHMARK(BM_ReleaseTails)->Iterations(2 * kTailBlocks)->Unit(benchmark::kMicrosecond);

} // namespace
