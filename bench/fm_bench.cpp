// Speed of the FM chips as the console sound system runs them: the YM2612
// through renderSpread (21 output positions per chip sample) and the YM2608
// through renderFramed21. Each iteration renders one second of console time
// (1,118,607.8125 output frames, about 53,267 chip samples) in pieces of one
// host segment (256 frames at 44.1 kHz, 6494 output frames). "x_realtime" is
// seconds of audio rendered per second of wall time on one core.
#include <algorithm>
#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "emulators/OPN2_Emu.h"

namespace {

constexpr double kConsoleRate = 53693175.0 / 48.0;
constexpr uint64_t kOneSecond = 1118608;
constexpr uint64_t kSegment = 6494;
constexpr uint64_t kNoteLength = kOneSecond / 10; // notes change every 100 ms

void write(OPNX_Emu& chip, int port, int address, int data) {
    chip.write(static_cast<uint16_t>(address), static_cast<uint8_t>(data),
               static_cast<uint64_t>(port));
}

// Algorithm 4 with feedback on all six channels, AM on the carriers, LFO on.
void loadPatch(OPNX_Emu& chip) {
    write(chip, 0, 0x22, 0x08 | 3);
    for (int c = 0; c < 6; ++c) {
        const int port = c / 3, ch = c % 3;
        static const int kTl[4] = {0x22, 0x28, 0x08, 0x04};
        static const int kMul[4] = {0x71, 0x32, 0x01, 0x02};
        for (int op = 0; op < 4; ++op) {
            const int reg = ch + 4 * op;
            write(chip, port, 0x30 + reg, kMul[op]);
            write(chip, port, 0x40 + reg, kTl[op]);
            write(chip, port, 0x50 + reg, 0x5F);
            write(chip, port, 0x60 + reg, (op >= 2 ? 0x80 : 0) | 0x0C);
            write(chip, port, 0x70 + reg, 0x04);
            write(chip, port, 0x80 + reg, 0x37);
            write(chip, port, 0x90 + reg, 0);
        }
        write(chip, port, 0xB0 + ch, (5 << 3) | 4);
        write(chip, port, 0xB4 + ch, 0xC0 | (2 << 4) | 3);
    }
}

// Key off, new frequencies, key on: a different chord every note.
void playChord(OPNX_Emu& chip, int note) {
    static const int kKeys[6] = {0, 1, 2, 4, 5, 6};
    for (int c = 0; c < 6; ++c) {
        const int port = c / 3, ch = c % 3;
        write(chip, 0, 0x28, kKeys[c]);
        const int fnum = 600 + ((note * 7 + c * 61) % 500);
        const int block = 3 + (c & 1);
        write(chip, port, 0xA4 + ch, (block << 3) | (fnum >> 8));
        write(chip, port, 0xA0 + ch, fnum & 0xFF);
        write(chip, 0, 0x28, 0xF0 | kKeys[c]);
    }
}

void silence(OPNX_Emu& chip, std::vector<int32_t>& l, std::vector<int32_t>& r) {
    static const int kKeys[6] = {0, 1, 2, 4, 5, 6};
    for (int key : kKeys) write(chip, 0, 0x28, key);
    int32_t* out[2] = {l.data(), r.data()};
    for (int i = 0; i < 200; ++i) chip.renderFramed21(out, kSegment); // let releases finish
}

enum class Chip { Ym2612, Ym2612Silent, Ym2608 };

void renderSecond(Chip kind, OPNX_Emu& chip, std::vector<int32_t>& l, std::vector<int32_t>& r,
                  int& note, uint64_t& sinceNote) {
    int32_t* out[2] = {l.data(), r.data()};
    for (uint64_t done = 0; done < kOneSecond;) {
        const uint64_t n = std::min(kSegment, kOneSecond - done);
        if (kind == Chip::Ym2608)
            chip.renderFramed21(out, n);
        else
            static_cast<OPN2_Emu&>(chip).renderSpread21(out, n, nullptr, 1);
        done += n;
        sinceNote += n;
        if (kind != Chip::Ym2612Silent && sinceNote >= kNoteLength) {
            sinceNote -= kNoteLength;
            playChord(chip, ++note);
        }
    }
}

void runChip(benchmark::State& state, Chip kind) {
    OPN2_Emu opn2;
    OPNX_Emu opna(1);
    OPNX_Emu& chip = kind == Chip::Ym2608 ? static_cast<OPNX_Emu&>(opna) : opn2;
    chip.init(static_cast<uint32_t>(kSegment), nullptr, 0);
    chip.reset();
    loadPatch(chip);
    std::vector<int32_t> l(kSegment), r(kSegment);
    int note = 0;
    uint64_t sinceNote = 0;
    playChord(chip, note);
    if (kind == Chip::Ym2612Silent) silence(chip, l, r);
    for (auto _ : state) {
        renderSecond(kind, chip, l, r, note, sinceNote);
        benchmark::DoNotOptimize(l.data());
        benchmark::ClobberMemory();
    }
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()) * (double(kOneSecond) / kConsoleRate),
                           benchmark::Counter::kIsRate);
    state.counters["chip_samples"] =
        benchmark::Counter(double(state.iterations()) * double(kOneSecond) / 21.0);
}

void BM_OPN2SpreadSixSounding(benchmark::State& state) {
    runChip(state, Chip::Ym2612);
}
void BM_OPN2SpreadSilent(benchmark::State& state) {
    runChip(state, Chip::Ym2612Silent);
}
void BM_OPNAFramed21SixSounding(benchmark::State& state) {
    runChip(state, Chip::Ym2608);
}

} // namespace

BENCHMARK(BM_OPN2SpreadSixSounding)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OPN2SpreadSilent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OPNAFramed21SixSounding)->Unit(benchmark::kMillisecond);
