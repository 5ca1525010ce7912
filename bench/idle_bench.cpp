// What one plug-in object costs as a host runs it at 48 kHz in 256-frame
// blocks, through its process entry: idle (no note, no media), one note held,
// a six-note chord held, and a song on the media unit (44.1 kHz, the six
// voice units silent). Notes go through the instrument's own controller and
// its default voices. "frames" counts host frames: for instructions per host
// frame, run a case under callgrind collecting processBlock and divide by
// "frames". The argument 1 runs
// with the exact shortcuts of the audio path, 0 with them switched off (the
// output is the same), e.g.
//   valgrind --tool=callgrind --toggle-collect='*processBlock*'
//            bench/idle_bench --benchmark_filter=Idle/1
#include <benchmark/benchmark.h>

#include "BenchInstance.h"
#include "BenchSong.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "emulators/FastPaths.h"
#include "instrument/ChipWrap.h"

using namespace vantor::EnginePluginSDK;

namespace {

constexpr uint32_t kBlock = 256;
// Blocks measured per case (a fixed count, so that a callgrind run divides
// by a known number of frames).
constexpr int kBlocks = 2000;

std::unique_ptr<acme::ChipWrap> makeInstance(double rate) {
    return benchinstance::makeInstance(rate, kBlock);
}

using benchinstance::midi;

vantor::HDMIDIEvent transport(int32_t id, float value) {
    vantor::HDMIDIEvent e{};
    e.kind = 176;
    e.id = 384 + id;
    e.value = value;
    e.tuning = std::numeric_limits<float>::infinity();
    return e;
}

// One block through the process entry: the function to collect under
// callgrind (--toggle-collect=*processBlock*), only the measured blocks.
__attribute__((noinline)) void processBlock(PluginRecord* r, float** outputs, EventList* in) {
    r->process(r, outputs, int32_t(kBlock), in, nullptr, nullptr);
}

// Renders blocks of the instance for the benchmark's iterations (one block
// each), after `lead` blocks with `events` in the first.
void run(benchmark::State& state, acme::ChipWrap& w, double rate,
         const std::vector<vantor::HDMIDIEvent>& events, int lead) {
    FastPaths::Scope shortcuts(state.range(0) != 0);
    PluginRecord* r = w.getRecord();
    auto in = std::make_unique<EventList>();
    for (const auto& e : events) in->events[in->count++] = e;
    std::vector<float> left(kBlock), right(kBlock);
    float* outputs[2] = {left.data(), right.data()};
    for (int i = 0; i < lead; ++i) {
        r->process(r, outputs, int32_t(kBlock), in.get(), nullptr, nullptr);
        in->count = 0;
    }
    uint64_t frames = 0;
    for (auto _ : state) {
        processBlock(r, outputs, in.get());
        benchmark::DoNotOptimize(left.data());
        frames += kBlock;
    }
    state.counters["x_realtime"] =
        benchmark::Counter(double(frames) / rate, benchmark::Counter::kIsRate);
    state.counters["frames"] = double(frames);
}

void BM_Instance_Idle(benchmark::State& state) {
    auto w = makeInstance(48000.0);
    run(state, *w, 48000.0, {}, 400); // past the settling of the chain
}
BENCHMARK(BM_Instance_Idle)->Arg(1)->Arg(0)->Iterations(kBlocks)->Unit(benchmark::kMicrosecond);

void BM_Instance_OneNote(benchmark::State& state) {
    auto w = makeInstance(48000.0);
    run(state, *w, 48000.0, {midi(0x90, 60, 100)}, 8);
}
BENCHMARK(BM_Instance_OneNote)->Arg(1)->Arg(0)->Iterations(kBlocks)->Unit(benchmark::kMicrosecond);

void BM_Instance_Chord(benchmark::State& state) {
    auto w = makeInstance(48000.0);
    std::vector<vantor::HDMIDIEvent> chord;
    for (uint8_t key : {48, 55, 60, 64, 67, 72}) chord.push_back(midi(0x90, key, 100));
    run(state, *w, 48000.0, chord, 8);
}
BENCHMARK(BM_Instance_Chord)->Arg(1)->Arg(0)->Iterations(kBlocks)->Unit(benchmark::kMicrosecond);

void BM_Instance_Song(benchmark::State& state) {
    constexpr double kRate = 44100.0;
    auto w = makeInstance(kRate);
    if (!benchinstance::loadSong(*w, benchsong::makeSong(180 * 60))) {
        state.SkipWithError("the song did not load");
        return;
    }
    run(state, *w, kRate, {transport(2, 1.0f)}, 8);
}
BENCHMARK(BM_Instance_Song)->Arg(1)->Arg(0)->Iterations(kBlocks)->Unit(benchmark::kMicrosecond);

} // namespace
