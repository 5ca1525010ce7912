// Playing a VGM: a generated three-minute song with PSG writes, six FM
// channels keyed every frame and drums through a PCM stream (0x95 fast starts
// of YM2612 data blocks), played by the media player on a chip controller's
// timer queue into one console unit (MD_Emu) at its frame rate, in host-sized
// blocks. The counter "x_realtime" says how many times faster than the song
// plays this runs.

#include "emulators/MD_Emu.h"
#include "instrument/ChipController.h"
#include "vgm/Reader.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kFrames = 180 * 60; // three minutes at 60 frames per second
constexpr double kSeconds = kFrames / 60.0;

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
    op({0x52, 0x2B, 0x80, 0x90, 0x00, 0x02, 0x00, 0x2A, 0x91, 0x00, 0x00, 0x01, 0x00});
    op({0x92, 0x00, 0x40, 0x1F, 0x00, 0x00}); // 8000 Hz
    for (int frame = 0; frame < kFrames; ++frame) {
        for (uint8_t ch = 0; ch < 3; ++ch) {
            op({0x50, static_cast<uint8_t>(0x80 | (ch << 5) | (frame & 15))});
            op({0x50, static_cast<uint8_t>(0x90 | (ch << 5) | ((frame >> 2) & 15))});
        }
        for (uint8_t port = 0; port < 2; ++port) {
            const uint8_t cmd = port ? 0x53 : 0x52;
            for (uint8_t ch = 0; ch < 3; ++ch) {
                op({cmd, static_cast<uint8_t>(0xA4 + ch),
                    static_cast<uint8_t>(0x22 + (frame & 7))});
                op({cmd, static_cast<uint8_t>(0xA0 + ch), static_cast<uint8_t>(frame * (ch + 1))});
                op({cmd, static_cast<uint8_t>(0x40 + ch), static_cast<uint8_t>(frame & 0x3F)});
                op({cmd, static_cast<uint8_t>(0xB4 + ch), 0xC0});
                op({0x52, 0x28, static_cast<uint8_t>(0xF0 | (port << 2) | ch)});
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

// Media on unit 6 as the console controller plays it: PSG on port 2, FM on
// its port, the DAC byte of a PCM stream to register 0x2A.
struct Player : ChipController {
    explicit Player(std::vector<ChipEmu*>* units) : ChipController(units, nullptr) {}
    void resetForVersion(uint32_t) override {}
    void mediaRegisterWrite(uint32_t type, uint64_t, uint32_t port, uint32_t reg,
                            uint32_t value) override {
        ChipEmu* unit = (*units)[kMediaUnit];
        if (type == 0) unit->write(static_cast<uint16_t>(reg), static_cast<uint8_t>(value), 2);
        if (type == 5)
            unit->write(static_cast<uint16_t>(reg), static_cast<uint8_t>(value), port & 1);
    }
    void mediaDacWrite(uint32_t, uint8_t, int16_t left, int16_t) override {
        (*units)[kMediaUnit]->write(0x2A, static_cast<uint8_t>(left), 0);
    }
};

void BM_PlayThreeMinutesOnOneUnit(benchmark::State& state) {
    const std::vector<uint8_t> bytes = makeSong();
    VGM::VGMX song;
    if (!song.parseVgmBuffer(bytes.data(), bytes.size())) state.SkipWithError("song did not parse");
    constexpr uint64_t kBlock = 1024;
    for (auto _ : state) {
        MD_Emu md;
        md.init(kBlock, nullptr, 0);
        std::vector<ChipEmu*> units(7, nullptr);
        units[6] = &md;
        Player c(&units);
        const double rate = md.getInfo()->clocks[0];
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
    state.counters["x_realtime"] = benchmark::Counter(
        kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

} // namespace

BENCHMARK(BM_PlayThreeMinutesOnOneUnit)->Unit(benchmark::kMillisecond)->Iterations(2);
