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

#include "BuildTreeData.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kFrames = 180 * 60; // three minutes at 60 frames per second
constexpr double kSeconds = kFrames / 60.0;
constexpr uint64_t kBlock = 1024;

std::vector<uint8_t> makeSong() {
    std::vector<uint8_t> b(0x100, 0);
    auto op = [&](std::initializer_list<uint8_t> bytes) { b.insert(b.end(), bytes); };
    auto at32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    std::memcpy(b.data(), "Vgm ", 4);
    at32(0x08, 0x171);
    at32(0x0C, 3579545);
    at32(0x2C, 7670453);
    at32(0x34, 0x100 - 0x34);
    for (int s = 0; s < 4; ++s) {
        op({0x67, 0x66, 0x00, 0x00, 0x10, 0x00, 0x00}); // 4 KiB
        for (int i = 0; i < 4096; ++i)
            b.push_back(static_cast<uint8_t>(128 + ((i * (s + 3)) & 63)));
    }
    // A voice per channel: every algorithm but 2 and 6, feedback, fast
    // attacks, decays and releases, AM on the last operator.
    static constexpr uint8_t kAlgorithms[6] = {0, 1, 3, 4, 5, 7};
    op({0x52, 0x22, 0x0B}); // LFO on, rate 3
    for (uint8_t ch = 0; ch < 6; ++ch) {
        const uint8_t cmd = ch < 3 ? 0x52 : 0x53;
        const uint8_t c = ch % 3;
        for (uint8_t slot = 0; slot < 4; ++slot) {
            const uint8_t s = static_cast<uint8_t>(4 * slot + c);
            op({cmd, static_cast<uint8_t>(0x30 + s),
                static_cast<uint8_t>((slot << 4) | (1 + slot))});
            op({cmd, static_cast<uint8_t>(0x40 + s), static_cast<uint8_t>(0x24 - 8 * slot)});
            op({cmd, static_cast<uint8_t>(0x50 + s), static_cast<uint8_t>(0x5F - ch)});
            op({cmd, static_cast<uint8_t>(0x60 + s),
                static_cast<uint8_t>(slot == 3 ? 0x87 : 0x05)});
            op({cmd, static_cast<uint8_t>(0x70 + s), 0x03});
            op({cmd, static_cast<uint8_t>(0x80 + s), 0x36});
        }
        op({cmd, static_cast<uint8_t>(0xB0 + c),
            static_cast<uint8_t>(((ch + 1) << 3) | kAlgorithms[ch])});
        op({cmd, static_cast<uint8_t>(0xB4 + c), static_cast<uint8_t>(0xC0 | 0x10 | (ch & 3))});
    }
    op({0x52, 0x2B, 0x80, 0x90, 0x00, 0x02, 0x00, 0x2A, 0x91, 0x00, 0x00, 0x01, 0x00});
    op({0x92, 0x00, 0x40, 0x1F, 0x00, 0x00}); // 8000 Hz
    op({0x50, 0xE6});                         // white noise at the slowest fixed rate
    for (int frame = 0; frame < kFrames; ++frame) {
        for (uint8_t ch = 0; ch < 3; ++ch) {
            const int period = 0x80 + ((frame * 37 * (ch + 1)) & 0x37F);
            op({0x50, static_cast<uint8_t>(0x80 | (ch << 5) | (period & 15))});
            op({0x50, static_cast<uint8_t>(period >> 4)});
            op({0x50, static_cast<uint8_t>(0x90 | (ch << 5) | ((frame >> 2) & 15))});
        }
        if (frame % 8 == 0) op({0x50, static_cast<uint8_t>(0xF0 | ((frame >> 3) & 15))});
        for (uint8_t port = 0; port < 2; ++port) {
            const uint8_t cmd = port ? 0x53 : 0x52;
            for (uint8_t ch = 0; ch < 3; ++ch) {
                const uint8_t key = static_cast<uint8_t>((port << 2) | ch);
                op({cmd, static_cast<uint8_t>(0xA4 + ch),
                    static_cast<uint8_t>(0x22 + (frame & 7))});
                op({cmd, static_cast<uint8_t>(0xA0 + ch), static_cast<uint8_t>(frame * (ch + 1))});
                op({cmd, static_cast<uint8_t>(0x40 + ch), static_cast<uint8_t>(frame & 0x3F)});
                op({0x52, 0x28, key});
                op({0x52, 0x28, static_cast<uint8_t>(0xF0 | key)});
            }
        }
        if (frame % 15 == 0) op({0x95, 0x00, static_cast<uint8_t>((frame / 15) % 4), 0x00, 0x00});
        op({0x62});
    }
    op({0x66});
    at32(0x04, static_cast<uint32_t>(b.size() - 4));
    at32(0x18, static_cast<uint32_t>(kFrames * 735));
    return b;
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
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/media-bench-XXXXXX";
    if (!mkdtemp(dir.data())) {
        state.SkipWithError("no scratch folder");
        return;
    }
    const std::string song = dir + "/song.vgm";
    const std::vector<uint8_t> bytes = makeSong();
    std::ofstream(song, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const std::string profiles = profilePath();

    acme::ChipWrap w(nullptr, "MD");
    PluginRecord* r = w.getRecord();
    ProcessingInfo info = {};
    info.sampleRate = kRate;
    info.sampleRateInt = uint32_t(kRate);
    info.maxBlockFrames = kBlock;
    dispatchEntry(r, PLUGIN_OP_SET_PROCESSING_INFO, &info, nullptr);
    ActivationRecord a = {};
    a.context = reinterpret_cast<uintptr_t>(profiles.c_str());
    dispatchEntry(r, PLUGIN_OP_ACTIVATE_RECORD, &a, nullptr);
    auto load = std::make_unique<LoadFileRecord>();
    std::memset(load.get(), 0, sizeof *load);
    load->header.id = EXT_LOAD_FILE;
    std::memcpy(load->path, song.data(), std::min<size_t>(song.size(), 511));
    ExtensionCommand c = {};
    c.record = load.get();
    c.action = 1;
    int32_t result = -1;
    dispatchEntry(r, PLUGIN_OP_EXTENSION, &c, &result);
    std::remove(song.c_str());
    rmdir(dir.c_str());
    if (result != 0) {
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
