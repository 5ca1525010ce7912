// Generated songs for the media playback tests, written command by command,
// and the measurements that check them: a pitch per section of a song, and
// where a sound starts.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "InstrumentTestSupport.h"
#include "vgm/support/VgmFixtures.h"

namespace mediatest {

using vgmtest::Bytes;
using vgmtest::VgmFile;

constexpr uint32_t kPsgClock = 3579545;
constexpr uint32_t kFmClock = 7670453;
constexpr double kFmRate = kFmClock / 144.0;

// A VGM with the console's two chips.
inline VgmFile consoleVgm() {
    VgmFile v;
    v.set32(0x0C, kPsgClock).set32(0x2C, kFmClock);
    return v;
}

// A write to the YM2612 (`command` 0x52; 0x55 addresses a YM2203, which has
// port 0 only).
inline void fm(VgmFile& v, uint8_t reg, uint8_t value, uint8_t port = 0, uint8_t command = 0x52) {
    v.op({uint8_t(command + port), reg, value});
}

// The F-number of `hz` at block 4 for an FM chip whose samples run at `rate`.
inline int fnumOf(double hz, double rate) {
    return int(std::lround(hz * 1048576.0 / rate / 8.0));
}

// FM channel `ch` (0-2 of port 0) as a sine: algorithm 7 with only operator 1
// sounding, pan bits `pan` (not for a YM2203), frequency `hz` (block 4) for a
// chip whose samples run at `rate`, written with `command`.
inline void sineChannel(VgmFile& v, uint8_t ch, double hz, uint8_t pan = 0xC0,
                        double rate = kFmRate, uint8_t command = 0x52) {
    auto put = [&](uint8_t reg, uint8_t value) { fm(v, reg, value, 0, command); };
    put(0x22, 0);
    put(0x27, 0);
    put(0xB0 + ch, 7);
    if (command != 0x55) put(0xB4 + ch, pan); // the YM2203 has no pan registers
    for (uint8_t slot : {0, 4, 8, 12}) {
        put(0x30 + slot + ch, 0x01);
        put(0x40 + slot + ch, slot == 0 ? 0x00 : 0x7F);
        put(0x50 + slot + ch, 0x1F);
        put(0x60 + slot + ch, 0);
        put(0x70 + slot + ch, 0);
        put(0x80 + slot + ch, 0x0F);
    }
    const int f = fnumOf(hz, rate);
    put(0xA4 + ch, uint8_t((4 << 3) | (f >> 8)));
    put(0xA0 + ch, uint8_t(f & 0xFF));
}

// The F-number rounding of sineChannel: the pitch the chip plays.
inline double sinePitch(double hz, double rate = kFmRate) {
    return fnumOf(hz, rate) * rate * 8.0 / 1048576.0;
}

// Sections of the song below, in seconds from its start.
constexpr double kFmFrom = 0.0, kPsgFrom = 0.5, kDacFrom = 1.0, kSongEnd = 1.5;
constexpr double kFmHz = 440.0;
constexpr uint16_t kPsgPeriod = 254;
constexpr double kPsgHz = kPsgClock / (32.0 * kPsgPeriod);
constexpr double kDacHz = 441.0; // 100 ticks of 44100 per period

// Half a second each of an FM sine, a PSG tone and a DAC square played by
// 0x8n writes from a data block.
inline Bytes fmPsgDacSong() {
    VgmFile v = consoleVgm();
    Bytes square(50, 0xC0);
    square.insert(square.end(), 50, 0x40);
    v.block(0x00, square);
    sineChannel(v, 0, kFmHz);
    fm(v, 0x28, 0xF0);
    v.wait(22050);
    fm(v, 0x28, 0x00);
    v.op({0x50, uint8_t(0x80 | (kPsgPeriod & 15))}).op({0x50, uint8_t(kPsgPeriod >> 4)});
    v.op({0x50, 0x90}).wait(22050).op({0x50, 0x9F});
    fm(v, 0x2B, 0x80);
    fm(v, 0xB6, 0xC0, 1);
    for (int period = 0; period < 220; ++period) {
        v.op({0xE0}).u32(0);
        for (int i = 0; i < 100; ++i) v.op({0x81});
    }
    fm(v, 0x2B, 0x00);
    v.wait(441);
    return v.end().bytes();
}

// Sections of the looping song, in seconds.
constexpr double kIntro = 0.05, kLoopLength = 0.2, kSoundLength = 0.1;
constexpr double kStreamRate = 8000.0;

// An intro, then a loop that keys an FM sine on the left and starts a PCM
// stream of a DAC square on the right together, both a tenth of a second
// long, then a tenth of a second of silence.
inline Bytes loopingSong() {
    VgmFile v = consoleVgm();
    Bytes square;
    for (int i = 0; i < int(kStreamRate * kSoundLength); ++i)
        square.push_back((i / 10) % 2 ? 0x30 : 0xD0);
    square.back() = 0x80;
    v.block(0x00, square);
    sineChannel(v, 0, kFmHz, 0x80);
    fm(v, 0x2B, 0x80);
    fm(v, 0xB6, 0x40, 1);
    fm(v, 0x2A, 0x80);
    // Stream 0 on the YM2612's DAC register, data bank 0, 8000 Hz.
    v.op({0x90, 0x00, 0x02, 0x00, 0x2A}).op({0x91, 0x00, 0x00, 0x01, 0x00});
    v.op({0x92, 0x00}).u32(uint32_t(kStreamRate));
    v.wait(uint16_t(kIntro * 44100));
    v.loopHere();
    fm(v, 0x28, 0xF0);
    v.op({0x95, 0x00, 0x00, 0x00, 0x00});
    v.wait(uint16_t(kSoundLength * 44100));
    fm(v, 0x28, 0x00);
    v.wait(uint16_t((kLoopLength - kSoundLength) * 44100));
    return v.end().bytes();
}

// [from, to) seconds of `x` at `rate`, without its mean.
inline std::vector<double> section(const std::vector<double>& x, double rate, double from,
                                   double to) {
    const size_t a = std::min(x.size(), size_t(from * rate));
    const size_t b = std::min(x.size(), size_t(to * rate));
    std::vector<double> out(x.begin() + a, x.begin() + b);
    double mean = 0.0;
    for (double v : out) mean += v;
    if (!out.empty()) mean /= double(out.size());
    for (double& v : out) v -= mean;
    return out;
}

// The pitch of [from, to) seconds, its first fifth skipped.
inline double pitchOf(const std::vector<double>& x, double rate, double from, double to) {
    const std::vector<double> s = section(x, rate, from, to);
    return insttest::pitchByZeroCrossings(s, rate, s.size() / 5);
}

// Seconds at which `x` first leaves the level it has at `from` by more than
// a tenth of its peak within [from, to); -1 when it does not.
inline double onsetOf(const std::vector<double>& x, double rate, double from, double to) {
    const size_t a = std::min(x.size(), size_t(from * rate));
    const size_t b = std::min(x.size(), size_t(to * rate));
    if (a >= b) return -1.0;
    double peak = 0.0;
    for (size_t i = a; i < b; ++i) peak = std::max(peak, std::fabs(x[i] - x[a]));
    for (size_t i = a; i < b; ++i)
        if (std::fabs(x[i] - x[a]) > 0.1 * peak) return double(i) / rate;
    return -1.0;
}

} // namespace mediatest
