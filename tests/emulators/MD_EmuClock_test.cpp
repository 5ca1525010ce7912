// The console unit's chips at clocks other than their own (parameters 31-33):
// tones, the AY envelope and the PSG's periodic noise are measured at the
// unit's frame rate against the pitch the clock and registers give; a ratio
// of 1.0 changes no sample.
#include "emulators/MD_Emu.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "support/ZeroCrossings.h"

namespace {

constexpr uint32_t kMaxFrames = 1024;

std::unique_ptr<MD_Emu> makeUnit() {
    auto md = std::make_unique<MD_Emu>();
    md->init(kMaxFrames, nullptr, 0);
    return md;
}

double frameRate(MD_Emu& md) {
    return md.getInfo()->clocks[0];
}

// The left output of `frames` frames.
std::vector<double> renderLeft(MD_Emu& md, size_t frames) {
    std::vector<int32_t> left(frames), right(frames);
    for (size_t at = 0; at < frames; at += kMaxFrames) {
        int32_t* out[2] = {left.data() + at, right.data() + at};
        md.render32(out, std::min<size_t>(kMaxFrames, frames - at));
    }
    return std::vector<double>(left.begin(), left.end());
}

// The pitch of `x` at `rate`, its mean removed and its first tenth skipped.
double pitchOf(std::vector<double> x, double rate) {
    double mean = 0.0;
    for (double v : x) mean += v;
    mean /= double(x.size());
    for (double& v : x) v -= mean;
    return testsupport::pitchByZeroCrossings(x, rate, x.size() / 10);
}

double cents(double measured, double expected) {
    return 1200.0 * std::log2(measured / expected);
}

void fmSine(MD_Emu& md, int fnum) {
    md.write(0x22, 0x00, 0);
    md.write(0x27, 0x00, 0);
    for (uint8_t s : {0, 4, 8, 12}) {
        md.write(0x30 + s, 0x01, 0);
        md.write(0x40 + s, s == 12 ? 0x00 : 0x7F, 0);
        md.write(0x50 + s, 0x1F, 0);
        md.write(0x60 + s, 0x00, 0);
        md.write(0x70 + s, 0x00, 0);
        md.write(0x80 + s, 0x0F, 0);
    }
    md.write(0xB0, 0x07, 0);
    md.write(0xB4, 0xC0, 0);
    md.write(0xA4, uint8_t((4 << 3) | (fnum >> 8)), 0);
    md.write(0xA0, uint8_t(fnum & 0xFF), 0);
    md.write(0x28, 0xF0, 0);
}

void psgByte(MD_Emu& md, uint8_t b) {
    md.write(0, b, 2);
}

void ay(MD_Emu& md, uint8_t reg, uint8_t value) {
    md.write(reg, value, 3);
}

struct Case {
    const char* what;
    uint32_t parameter; // 31 FM, 32 PSG, 33 AY
    double ratio;
    std::function<void(MD_Emu&)> play;
    // The pitch at the unit's frame rate `r` and the ratio.
    std::function<double(double r, double ratio)> pitch;
    bool fmSamples; // measured per FM sample (21 frames) rather than per frame
};

const int kFnum = 1083;
const int kPsgPeriod = 254;
const int kAyPeriod = 284;

const std::vector<Case>& cases() {
    static const std::vector<Case> table = {
        {"YM2612 at the PAL clock", MD_Emu::kFmClockRatio, 7600489.0 / 7670453.0,
         [](MD_Emu& md) { fmSine(md, kFnum); },
         [](double r, double k) { return kFnum * 8.0 * r / 21.0 * k / 1048576.0; }, true},
        {"YM2608 playing a YM2203 at 3.9936 MHz", MD_Emu::kFmClockRatio, 1.041292,
         [](MD_Emu& md) {
             md.setParameter(30, 1.0f);
             fmSine(md, kFnum);
         },
         [](double r, double k) { return kFnum * 8.0 * r / 21.0 * k / 1048576.0; }, true},
        {"PSG tone at the PAL clock", MD_Emu::kPsgClockRatio, 3546893.0 / 3579545.0,
         [](MD_Emu& md) {
             psgByte(md, uint8_t(0x80 | (kPsgPeriod & 15)));
             psgByte(md, uint8_t(kPsgPeriod >> 4));
             psgByte(md, 0x90);
         },
         [](double r, double k) { return r * 16.0 / 5.0 * k / (32.0 * kPsgPeriod); }, false},
        {"PSG periodic noise following tone 2", MD_Emu::kPsgClockRatio, 0.7,
         [](MD_Emu& md) {
             psgByte(md, uint8_t(0xC0 | (40 & 15)));
             psgByte(md, uint8_t(40 >> 4));
             psgByte(md, 0xDF);
             psgByte(md, 0xE3);
             psgByte(md, 0xF0);
         },
         // A shift per cycle of tone 2; 16 shifts per cycle of the register.
         [](double r, double k) { return r * 16.0 / 5.0 * k / (32.0 * 40) / 16.0; }, false},
        {"AY tone at 2 MHz", MD_Emu::kAyClockRatio, 2000000.0 / (4.0 * 53693175.0 / 48.0),
         [](MD_Emu& md) {
             md.setParameter(15, 4.0f);
             ay(md, 0, kAyPeriod & 0xFF);
             ay(md, 1, kAyPeriod >> 8);
             ay(md, 7, 0x3E);
             ay(md, 8, 0x0F);
         },
         [](double r, double k) { return 4.0 * r * k / (16.0 * kAyPeriod); }, false},
        {"AY sawtooth envelope at 1.7734 MHz", MD_Emu::kAyClockRatio,
         1773400.0 / (4.0 * 53693175.0 / 48.0),
         [](MD_Emu& md) {
             md.setParameter(15, 4.0f);
             ay(md, 7, 0x3F);
             ay(md, 8, 0x10);
             ay(md, 11, 16);
             ay(md, 12, 0);
             ay(md, 13, 8);
         },
         [](double r, double k) { return 4.0 * r * k / (256.0 * 16); }, false},
    };
    return table;
}

// The pitch of a quarter second of the case's sound on a unit.
double measuredPitch(MD_Emu& md, const Case& c) {
    const double r = frameRate(md);
    std::vector<double> x = renderLeft(md, size_t(r * 0.25));
    if (!c.fmSamples) return pitchOf(x, r);
    std::vector<double> fm(x.size() / 21, 0.0);
    for (size_t i = 0; i < fm.size(); ++i)
        for (size_t k = 0; k < 21; ++k) fm[i] += x[21 * i + k];
    return pitchOf(fm, r / 21.0);
}

} // namespace

TEST(MD_EmuClock, ChipsPlayAtTheClockOfTheirRatio) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        // Set on a running unit, and before a new init, which keeps it.
        for (bool reinit : {false, true}) {
            SCOPED_TRACE(reinit);
            auto md = makeUnit();
            md->setParameter(c.parameter, float(c.ratio));
            if (reinit) md->init(kMaxFrames, nullptr, 0);
            c.play(*md);
            const double expected = c.pitch(frameRate(*md), double(float(c.ratio)));
            const double hz = measuredPitch(*md, c);
            EXPECT_LT(std::fabs(cents(hz, expected)), 0.1) << hz << " Hz for " << expected;
        }
    }
}

// Back at 1.0 the chips play at their own clocks again; a unit told 1.0
// without ever leaving it gives the same samples as one never told.
TEST(MD_EmuClock, RatioOneIsTheOwnClock) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        auto md = makeUnit();
        md->setParameter(c.parameter, float(c.ratio));
        c.play(*md);
        renderLeft(*md, 5000);
        md->setParameter(c.parameter, 1.0f);
        const double expected = c.pitch(frameRate(*md), 1.0);
        EXPECT_LT(std::fabs(cents(measuredPitch(*md, c), expected)), 0.1);

        auto plain = makeUnit();
        auto told = makeUnit();
        for (uint32_t p : {MD_Emu::kFmClockRatio, MD_Emu::kPsgClockRatio, MD_Emu::kAyClockRatio})
            told->setParameter(p, 1.0f);
        told->setParameter(c.parameter, std::nanf(""));
        c.play(*plain);
        c.play(*told);
        EXPECT_EQ(renderLeft(*told, 50000), renderLeft(*plain, 50000));
    }
}
