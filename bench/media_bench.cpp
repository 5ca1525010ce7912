// Playing a VGM: a generated three-minute song with PSG writes, six FM
// channels (each its own voice, the LFO on) keyed off and on every frame and
// drums through a PCM stream (0x95 fast starts of YM2612 data blocks at
// 8 kHz), in host-sized blocks of one console unit (MD_Emu) at its frame rate.
//
// BM_PlayThreeMinutesOnOneUnit plays the song through the media player on a
// chip controller's timer queue; BM_ThreeMinutesOfWritesOnMD_Emu replays the
// register writes that player makes, at the same frames, on one MD_Emu alone.
// The counter "x_realtime" says how many times faster than the song plays
// this runs.
//
// BM_PlayThreeMinutesThroughTheProcessEntry plays the same song through the
// whole engine: one plug-in object at 44.1 kHz in 256-frame blocks, the file
// loaded through the load-file extension and started by a transport event,
// rendered through the process entry (the media unit, the six silent voice
// units, the stereo filter, the resampler and the output filters). "frames"
// counts host frames (for instructions per host frame, run the case under
// callgrind and divide by it).

#include "emulators/MD_Emu.h"
#include "instrument/ChipController.h"
#include "instrument/ChipWrap.h"
#include "vgm/Reader.h"

#include <benchmark/benchmark.h>

#include "BenchInstance.h"
#include "BenchSong.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kFrames = 180 * 60; // three minutes at 60 frames per second
constexpr double kSeconds = kFrames / 60.0;
constexpr uint64_t kBlock = 1024;

std::vector<uint8_t> makeSong() {
    return benchsong::makeSong(kFrames);
}

// One register write of the song as the console unit receives it.
struct UnitWrite {
    uint64_t frame; // output frames rendered before it
    uint16_t address;
    uint8_t data;
    uint8_t port;
};

// Media on unit 6 as the console controller plays it: PSG on port 2, FM on
// its port, the DAC byte of a PCM stream to register 0x2A. With a record
// attached, the writes are kept (at the frame they fall on) instead.
struct Player : ChipController {
    explicit Player(std::vector<ChipEmu*>* units) : ChipController(units, nullptr) {}
    void resetForVersion(uint32_t) override {}
    void mediaRegisterWrite(uint32_t type, uint64_t, uint32_t port, uint32_t reg,
                            uint32_t value) override {
        if (type == 0) toUnit(static_cast<uint16_t>(reg), static_cast<uint8_t>(value), 2);
        if (type == 5) toUnit(static_cast<uint16_t>(reg), static_cast<uint8_t>(value), port & 1);
    }
    void mediaDacWrite(uint32_t, uint8_t, int16_t left, int16_t) override {
        toUnit(0x2A, static_cast<uint8_t>(left), 0);
    }
    void toUnit(uint16_t address, uint8_t data, uint8_t port) {
        if (record)
            record->push_back({now, address, data, port});
        else
            (*units)[kMediaUnit]->write(address, data, port);
    }
    std::vector<UnitWrite>* record = nullptr;
};

// Plays the song on `md` (null: records the writes into `record`) in
// host-sized blocks.
void playSong(const VGM::VGMX& song, MD_Emu* md, std::vector<UnitWrite>* record) {
    MD_Emu clocks;
    const double rate = clocks.getInfo()->clocks[0];
    std::vector<ChipEmu*> units(7, nullptr);
    units[6] = md;
    Player c(&units);
    c.record = record;
    c.setClock(0, rate, 1000000.0);
    c.player = std::make_unique<VGM::Reader>(&c);
    c.player->openCollection(song);
    c.player->selectTrack(0);
    c.setSyncValue(2, 0, 1.0);
    std::vector<int32_t> left(kBlock), right(kBlock);
    int32_t* out[2] = {left.data(), right.data()};
    for (uint64_t done = 0, total = uint64_t(rate * kSeconds); done < total; done += kBlock) {
        c.render(out, 2, kBlock);
        benchmark::DoNotOptimize(left[0]);
    }
}

void BM_PlayThreeMinutesOnOneUnit(benchmark::State& state) {
    const std::vector<uint8_t> bytes = makeSong();
    VGM::VGMX song;
    if (!song.parseVgmBuffer(bytes.data(), bytes.size())) state.SkipWithError("song did not parse");
    for (auto _ : state) {
        MD_Emu md;
        md.init(kBlock, nullptr, 0);
        playSong(song, &md, nullptr);
    }
    state.counters["x_realtime"] = benchmark::Counter(
        kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ThreeMinutesOfWritesOnMD_Emu(benchmark::State& state) {
    const std::vector<uint8_t> bytes = makeSong();
    VGM::VGMX song;
    if (!song.parseVgmBuffer(bytes.data(), bytes.size())) state.SkipWithError("song did not parse");
    std::vector<UnitWrite> writes;
    playSong(song, nullptr, &writes);
    if (writes.empty()) state.SkipWithError("the song made no writes");
    for (auto _ : state) {
        MD_Emu md;
        md.init(kBlock, nullptr, 0);
        const uint64_t total = uint64_t(md.getInfo()->clocks[0] * kSeconds);
        std::vector<int32_t> left(kBlock), right(kBlock);
        // Blocks of the host's size, each cut at the frames writes fall on.
        uint64_t at = 0;
        size_t next = 0;
        for (uint64_t done = 0; done < total; done += kBlock) {
            const uint64_t end = done + kBlock;
            while (at < end) {
                while (next < writes.size() && writes[next].frame <= at) {
                    const UnitWrite& w = writes[next++];
                    md.write(w.address, w.data, w.port);
                }
                const uint64_t until =
                    next < writes.size() ? std::min(end, writes[next].frame) : end;
                int32_t* piece[2] = {left.data() + (at - done), right.data() + (at - done)};
                md.render32(piece, until - at);
                at = until;
            }
            benchmark::DoNotOptimize(left[0]);
        }
    }
    state.counters["x_realtime"] = benchmark::Counter(
        kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

using namespace vantor::EnginePluginSDK;

void BM_PlayThreeMinutesThroughTheProcessEntry(benchmark::State& state) {
    constexpr double kRate = 44100.0;
    constexpr uint32_t kBlock = 256;
    auto instance = benchinstance::makeInstance(kRate, kBlock);
    PluginRecord* r = instance->getRecord();
    if (!benchinstance::loadSong(*instance, makeSong())) {
        state.SkipWithError("the song did not load");
        return;
    }

    auto events = std::make_unique<EventList>();
    std::vector<float> left(kBlock), right(kBlock);
    float* outputs[2] = {left.data(), right.data()};
    uint64_t frames = 0;
    for (auto _ : state) {
        // The transport starts the song again from its beginning.
        vantor::HDMIDIEvent& play = events->events[0];
        play = {};
        play.kind = 176;
        play.id = 384 + 9; // the same track again
        play.value = 1.0f;
        play.tuning = std::numeric_limits<float>::infinity();
        events->events[1] = play;
        events->events[1].id = 384 + 2; // play
        events->count = 2;
        for (uint64_t done = 0, total = uint64_t(kRate * kSeconds); done < total; done += kBlock) {
            r->process(r, outputs, int32_t(kBlock), events.get(), nullptr, nullptr);
            events->count = 0;
            benchmark::DoNotOptimize(left.data());
        }
        frames += uint64_t(kRate * kSeconds);
    }
    state.counters["x_realtime"] = benchmark::Counter(
        kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["frames"] = double(frames);
}

} // namespace

BENCHMARK(BM_PlayThreeMinutesOnOneUnit)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ThreeMinutesOfWritesOnMD_Emu)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PlayThreeMinutesThroughTheProcessEntry)->Unit(benchmark::kMillisecond)->Iterations(1);
