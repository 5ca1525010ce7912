// Reading a VGM file: a generated three-minute song with PSG and FM writes
// every frame and drums on the YM2612 DAC, either through a PCM stream (0x90
// set-up, 0x95 fast starts of data blocks) or, as most console rips do, byte
// by byte from the data bank (0x80-0x8F at about 8 kHz). The counter
// "songs_per_s" says how many three-minute songs are read per second.

#include "vgm/VGMX.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr int kFrames = 180 * 60; // three minutes at 60 frames per second

struct Writer {
    std::vector<uint8_t> b;
    void op(std::initializer_list<uint8_t> bytes) { b.insert(b.end(), bytes); }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    void at32(size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
};

std::vector<uint8_t> makeSong(bool dacBank) {
    Writer w;
    w.b.assign(0x100, 0);
    std::memcpy(w.b.data(), "Vgm ", 4);
    w.at32(0x08, 0x171);
    w.at32(0x0C, 3579545);
    w.at32(0x2C, 7670453);
    w.at32(0x34, 0x100 - 0x34);
    // Four drum samples of 4 KiB each in the YM2612 bank.
    for (int s = 0; s < 4; ++s) {
        w.op({0x67, 0x66, 0x00});
        w.u32(4096);
        for (int i = 0; i < 4096; ++i)
            w.b.push_back(static_cast<uint8_t>(128 + ((i * (s + 3)) & 63)));
    }
    w.op({0x52, 0x2B, 0x80});
    if (!dacBank) {
        w.op({0x90, 0x00, 0x02, 0x00, 0x2A, 0x91, 0x00, 0x00, 0x01, 0x00});
        w.op({0x92, 0x00});
        w.u32(8000);
    }
    uint64_t samples = 0;
    for (int frame = 0; frame < kFrames; ++frame) {
        // PSG: three tones and the noise, frequency and volume.
        for (uint8_t ch = 0; ch < 4; ++ch) {
            w.op({0x50, static_cast<uint8_t>(0x80 | (ch << 5) | (frame & 15))});
            w.op({0x50, static_cast<uint8_t>(0x90 | (ch << 5) | ((frame >> 2) & 15))});
        }
        // FM: frequency and key on both ports, some operator levels.
        for (uint8_t ch = 0; ch < 3; ++ch) {
            w.op({0x52, static_cast<uint8_t>(0xA4 + ch), static_cast<uint8_t>(0x22 + (frame & 7))});
            w.op({0x52, static_cast<uint8_t>(0xA0 + ch), static_cast<uint8_t>(frame)});
            w.op({0x53, static_cast<uint8_t>(0xA4 + ch), 0x1A});
            w.op({0x53, static_cast<uint8_t>(0xA0 + ch), static_cast<uint8_t>(frame * 3)});
            w.op({0x52, static_cast<uint8_t>(0x40 + ch), static_cast<uint8_t>(frame & 0x7F)});
            w.op({0x52, 0x28, static_cast<uint8_t>(0xF0 | ch)});
        }
        if (dacBank) {
            // 133 DAC bytes five ticks apart, then the rest of the frame;
            // a seek every quarter second.
            if (frame % 15 == 0) {
                w.op({0xE0});
                w.u32(static_cast<uint32_t>((frame / 15) % 4) * 4096);
            }
            for (int i = 0; i < 133; ++i) w.op({0x85});
            w.op({0x61, 70, 0x00});
            samples += 133 * 5 + 70;
        } else {
            if (frame % 15 == 0)
                w.op({0x95, 0x00, static_cast<uint8_t>((frame / 15) % 4), 0x00, 0x00});
            w.op({0x62});
            samples += 735;
        }
    }
    w.op({0x66});
    w.at32(0x04, static_cast<uint32_t>(w.b.size() - 4));
    w.at32(0x18, static_cast<uint32_t>(samples));
    return w.b;
}

void parse(benchmark::State& state, bool dacBank) {
    const std::vector<uint8_t> song = makeSong(dacBank);
    for (auto _ : state) {
        VGM::VGMX vgm;
        const bool ok = vgm.parseVgmBuffer(song.data(), song.size());
        if (!ok || !vgm.logText().empty()) state.SkipWithError("song did not parse cleanly");
        benchmark::DoNotOptimize(vgm.track().chips.size());
    }
    state.counters["songs_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["file_MB"] = static_cast<double>(song.size()) / 1e6;
}

void BM_ParseThreeMinutesDacStream(benchmark::State& state) {
    parse(state, false);
}
void BM_ParseThreeMinutesDacBank(benchmark::State& state) {
    parse(state, true);
}

} // namespace

BENCHMARK(BM_ParseThreeMinutesDacStream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ParseThreeMinutesDacBank)->Unit(benchmark::kMillisecond);
