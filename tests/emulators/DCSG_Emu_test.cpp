// Observable behaviour of the SN76489 emulator: tone half-periods, noise shift
// intervals and sequence periods, level tables, mutes, Game Gear stereo and
// the continuity of its generators across render calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <random>
#include <utility>
#include <vector>

#include "emulators/DCSG_Emu.h"

namespace {

using Frames = std::vector<int32_t>;

const int32_t kLevels[16] = {682, 542, 430, 342, 271, 215, 171, 136,
                             108, 85,  68,  54,  43,  34,  27,  0};

class Psg {
public:
    Psg(uint32_t variant, uint64_t factor, uint32_t maxFrames = 4096) : emu(variant, factor) {
        emu.init(maxFrames, nullptr, 0);
    }
    void bytes(std::initializer_list<uint8_t> list) {
        for (uint8_t b : list) emu.write(0, b, 2);
    }
    // Latch and data byte that set tone k's 10-bit period.
    void tonePeriod(int k, uint32_t period) {
        bytes({uint8_t(0x80 | (k << 5) | (period & 0x0F)), uint8_t((period >> 4) & 0x3F)});
    }
    void attenuation(int channel, uint32_t att) { bytes({uint8_t(0x90 | (channel << 5) | att)}); }
    Frames mono(size_t n) {
        Frames out(n);
        int32_t* outs[1] = {out.data()};
        emu.render32(outs, n);
        return out;
    }
    std::pair<Frames, Frames> gameGear(uint8_t stereo, size_t n) {
        Frames left(n), right(n);
        int32_t* outs[2] = {left.data(), right.data()};
        emu.renderGameGear(outs, stereo, n);
        return {left, right};
    }
    DCSG_Emu emu;
};

// (value, length) runs of a frame sequence.
std::vector<std::pair<int32_t, size_t>> runs(const Frames& f) {
    std::vector<std::pair<int32_t, size_t>> r;
    for (int32_t v : f) {
        if (!r.empty() && r.back().first == v)
            ++r.back().second;
        else
            r.push_back({v, 1});
    }
    return r;
}

Frames slice(const Frames& f, size_t from, size_t to) {
    return Frames(f.begin() + long(from), f.begin() + long(to));
}

TEST(DCSG_Emu, InfoPerVariant) {
    const char* names[] = {"SN76489", "SegaPSG", "SegaGG", "SN94624", "NCR8496", "PSSJ", "PS1", ""};
    for (uint32_t v = 0; v < 8; ++v) {
        SCOPED_TRACE(v);
        DCSG_Emu emu(v, 1);
        ChipInfo* info = emu.getInfo();
        EXPECT_EQ(info, emu.getInfo());
        EXPECT_STREQ(info->partName, names[v]);
        EXPECT_STREQ(info->familyName, "DCSG");
        EXPECT_EQ(info->outputCount, 1u);
        EXPECT_EQ(info->clockDivisor, 16u);
        EXPECT_EQ(info->clocks, (std::vector<double>{2000000.0, 3579545.0, 4000000.0}));
        EXPECT_EQ(info->initialClockIndex, 1u);
        EXPECT_FLOAT_EQ(info->outputGains[0], 0.00048804295f);
        EXPECT_EQ(info->outputGains[3], 1.0f / 256);
        ASSERT_EQ(info->parameters.size(), 4u);
        const char* params[] = {"TONE0", "TONE1", "TONE2", "NOISE"};
        for (int k = 0; k < 4; ++k) {
            EXPECT_STREQ(info->parameters[k].label, params[k]);
            EXPECT_EQ(info->parameters[k].valueKind, 2u);
            EXPECT_EQ(info->parameters[k].defaultValue, 1.0f);
        }
    }
}

// A new chip is silent, the noise included, until software sets a level.
TEST(DCSG_Emu, AfterInitEveryChannelIsSilent) {
    for (uint32_t variant = 0; variant < 7; ++variant) {
        Psg psg(variant, 5);
        EXPECT_EQ(psg.mono(1000), Frames(1000, 0)) << variant;
        psg.attenuation(3, 0);
        EXPECT_EQ(psg.mono(1000), Frames(1000, 682)) << variant; // limit 0: never shifts
    }
}

// Half-period lengths in frames, including the zero-period rule per variant
// and the two toggling frames right after init.
TEST(DCSG_Emu, ToneHalfPeriods) {
    struct Case {
        uint32_t variant;
        uint64_t factor;
        uint32_t period;
        size_t half;
    } cases[] = {
        {0, 1, 100, 100}, {1, 5, 100, 500}, {1, 5, 1, 5},    {0, 1, 1023, 1023},
        {0, 1, 0, 1024},  {3, 1, 0, 1024},  {4, 1, 0, 1024}, {5, 1, 0, 1024},
        {6, 1, 0, 1024},  {1, 5, 0, 5},     {2, 1, 0, 1},    {0, 3, 7, 21},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "variant " << c.variant << " factor " << c.factor
                                        << " period " << c.period);
        Psg psg(c.variant, c.factor);
        psg.bytes({0xFF}); // noise off
        psg.attenuation(0, 0);
        psg.tonePeriod(0, c.period);
        const size_t cycles = 3;
        const auto r = runs(psg.mono(2 + 2 * cycles * c.half + 1));
        ASSERT_GE(r.size(), 2 + 2 * cycles);
        if (c.half > 1) {
            EXPECT_EQ(r[0], std::make_pair(0, size_t(1)));
            EXPECT_EQ(r[1], std::make_pair(682, size_t(1)));
            for (size_t i = 2; i < 2 + 2 * cycles; ++i)
                EXPECT_EQ(r[i], std::make_pair(i % 2 ? 682 : 0, c.half)) << "run " << i;
        } else { // toggles on every frame
            EXPECT_EQ(r.size(), 2 + 2 * cycles * c.half + 1);
        }
    }
}

// A new period takes effect when a high half ends.
TEST(DCSG_Emu, NewPeriodTakesEffectAfterHighHalf) {
    struct Case {
        size_t writeAt;
        std::vector<size_t> lengths; // runs from frame 2 on
    } cases[] = {
        {5, {10, 10, 4, 4, 4}},  // written in a low half
        {15, {10, 10, 4, 4, 4}}, // written in a high half
        {25, {10, 10, 10, 10, 4, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.writeAt);
        Psg psg(0, 1);
        psg.bytes({0xFF});
        psg.attenuation(0, 0);
        psg.tonePeriod(0, 10);
        Frames f = psg.mono(c.writeAt);
        psg.tonePeriod(0, 4);
        const Frames rest = psg.mono(100);
        f.insert(f.end(), rest.begin(), rest.end());
        const auto r = runs(f);
        for (size_t i = 0; i < c.lengths.size(); ++i)
            EXPECT_EQ(r[2 + i].second, c.lengths[i]) << "run " << i;
    }
}

TEST(DCSG_Emu, LevelPerAttenuation) {
    for (int channel = 0; channel < 4; ++channel) {
        for (uint32_t att = 0; att < 16; ++att) {
            SCOPED_TRACE(testing::Message() << "channel " << channel << " att " << att);
            Psg psg(1, 1);
            psg.bytes({0xFF});
            psg.tonePeriod(channel < 3 ? channel : 2, 3);
            psg.bytes({0xE7}); // white noise following tone 2
            psg.attenuation(channel, att);
            const Frames f = psg.mono(2000);
            EXPECT_EQ(*std::max_element(f.begin(), f.end()), kLevels[att]);
            EXPECT_EQ(*std::min_element(f.begin(), f.end()), 0);
        }
    }
}

// Frames of one shift interval and the periodic-noise period in shifts: the
// output is high on one interval out of every period.
TEST(DCSG_Emu, PeriodicNoiseIntervalsAndPeriods) {
    struct Case {
        uint32_t variant;
        uint64_t factor;
        uint8_t control;
        uint32_t tone2; // period of tone 2 (for rate 3)
        size_t interval;
        size_t period;
    } cases[] = {
        {0, 1, 0xE0, 0, 32, 15},  {0, 1, 0xE1, 0, 64, 15},  {0, 1, 0xE2, 0, 128, 15},
        {3, 2, 0xE0, 0, 64, 15},  {4, 1, 0xE1, 0, 64, 15},  {6, 1, 0xE2, 0, 128, 15},
        {1, 5, 0xE0, 0, 160, 16}, {1, 5, 0xE1, 0, 320, 16}, {1, 5, 0xE2, 0, 640, 16},
        {2, 1, 0xE0, 0, 32, 16},  {0, 1, 0xE3, 7, 14, 15},  {1, 5, 0xE3, 3, 30, 16},
        {1, 5, 0xE3, 0, 10, 16}, // tone 2 period 0 is 1 on the console PSG
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "variant " << c.variant << " control " << int(c.control)
                                        << " tone2 " << c.tone2);
        Psg psg(c.variant, c.factor);
        psg.attenuation(3, 0);
        psg.tonePeriod(2, c.tone2);
        psg.bytes({c.control});
        const Frames f = psg.mono(c.interval * c.period * 3 + 1);
        const auto r = runs(f);
        // Initial output bit 1 for one interval, then 14 low shifts (the
        // register starts at 1), then one high interval per period.
        ASSERT_GE(r.size(), 6u);
        EXPECT_EQ(r[0], std::make_pair(682, c.interval));
        EXPECT_EQ(r[1], std::make_pair(0, 14 * c.interval));
        EXPECT_EQ(r[2], std::make_pair(682, c.interval));
        EXPECT_EQ(r[3], std::make_pair(0, (c.period - 1) * c.interval));
        EXPECT_EQ(r[4], std::make_pair(682, c.interval));
    }
}

// White noise: the output bit sequence repeats after 32767 shifts on the TI
// family and 57337 on the Sega family.
TEST(DCSG_Emu, WhiteNoisePeriods) {
    struct Case {
        uint32_t variant;
        size_t period;
    } cases[] = {{0, 32767}, {5, 32767}, {1, 57337}, {2, 57337}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variant);
        Psg psg(c.variant, 1, 1 << 16);
        psg.attenuation(3, 0);
        psg.tonePeriod(2, 1);
        psg.bytes({0xE7}); // white, following tone 2: one shift every 2 frames
        const size_t shifts = 2 * c.period + 1000;
        const Frames f = psg.mono(2 * shifts);
        std::vector<uint8_t> bits(shifts);
        for (size_t i = 0; i < shifts; ++i) {
            ASSERT_EQ(f[2 * i], f[2 * i + 1]);
            bits[i] = f[2 * i] != 0;
        }
        // The first interval carries the output bit left by init: skip it.
        size_t found = 0;
        for (size_t p = 1; p < shifts / 2 && !found; ++p) {
            size_t i = 1;
            while (i + p < shifts && bits[i] == bits[i + p]) ++i;
            if (i + p == shifts) found = p;
        }
        EXPECT_EQ(found, c.period);
    }
}

// Rate 3 follows tone 2: a period change is picked up at the start of every
// render call, also a call of zero frames.
TEST(DCSG_Emu, NoiseFollowsToneTwoAtEachCall) {
    for (bool zeroCall : {false, true}) {
        SCOPED_TRACE(zeroCall);
        Psg psg(0, 1);
        psg.attenuation(3, 0);
        psg.tonePeriod(2, 10); // shift every 20 frames
        psg.bytes({0xE3, 0xDF});
        psg.mono(35);         // first shift after 20 frames, counter now 15
        psg.tonePeriod(2, 5); // 10 frames: counter 15 restarts at 0 on the next call
        if (zeroCall) psg.mono(0);
        psg.tonePeriod(2, 10);
        // With the refresh of the zero-frame call the counter restarted, so
        // shift 2 comes after 20 frames, otherwise after 5; the high interval
        // of the periodic pattern follows shift 15, 13 intervals later.
        const auto r = runs(psg.mono(400));
        EXPECT_EQ(r[0], std::make_pair(0, size_t(zeroCall ? 280 : 265)));
        EXPECT_EQ(r[1], std::make_pair(682, size_t(20)));
    }
}

// A rate write restarts the counter only when it is already at or past the
// new limit; a counter past the limit would otherwise never meet it.
TEST(DCSG_Emu, NoiseRateWriteRestartsCounterPastLimit) {
    struct Case {
        const char* what;
        uint8_t first; // 0 = no rate written (limit 0)
        size_t before;
        size_t untilShift; // frames until the output falls to 0
    } cases[] = {
        {"after frames without a rate", 0, 1000, 32},
        {"slower to faster rate", 0xE2, 100, 32},
        {"faster to slower rate keeps the count", 0xE0, 10, 118},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Psg psg(0, 1);
        psg.attenuation(3, 0);
        if (c.first) psg.bytes({c.first});
        EXPECT_EQ(psg.mono(c.before), Frames(c.before, 682));
        psg.bytes({uint8_t(c.first == 0xE0 ? 0xE2 : 0xE0)}); // periodic: next output is 0
        const auto r = runs(psg.mono(500));
        EXPECT_EQ(r[0], std::make_pair(682, c.untilShift));
    }
}

// A noise-control write that repeats the mode restarts the register except
// on the NCR8496 and PSSJ variants.
TEST(DCSG_Emu, RepeatedNoiseModeRestart) {
    for (uint32_t variant = 0; variant < 7; ++variant) {
        SCOPED_TRACE(variant);
        const bool keeps = variant == 4 || variant == 5;
        const uint64_t factor = 1;
        const size_t interval = 32;
        auto setup = [&](Psg& p) {
            p.attenuation(3, 0);
            p.bytes({0xE4}); // white, rate 16
        };
        Psg a(variant, factor), b(variant, factor), fresh(variant, factor);
        setup(a);
        setup(b);
        setup(fresh);
        a.mono(40 * interval);
        b.mono(40 * interval);
        a.bytes({0xE4});
        const Frames fa = a.mono(200 * interval);
        const Frames fb = b.mono(200 * interval);
        const Frames ff = fresh.mono(200 * interval);
        if (keeps) {
            EXPECT_EQ(fa, fb);
        } else { // the register starts over at 1; the output bit is kept
            EXPECT_NE(fa, fb);
            EXPECT_EQ(slice(fa, interval, fa.size()), slice(ff, interval, ff.size()));
        }
    }
}

TEST(DCSG_Emu, MutesStopChannelsInMonoRender) {
    Psg ref(1, 1), muted(1, 1);
    for (Psg* p : {&ref, &muted}) {
        p->bytes({0xFF, 0x9F});
        p->tonePeriod(1, 7);
        p->attenuation(1, 2);
    }
    muted.emu.setParameter(1, 0.5f);
    EXPECT_EQ(muted.mono(100), Frames(100, 0));
    muted.emu.setParameter(1, 0.0f);
    EXPECT_EQ(muted.mono(300), ref.mono(300)); // the muted tone did not advance

    // A muted noise does not advance either.
    Psg n1(1, 1), n2(1, 1);
    for (Psg* p : {&n1, &n2}) p->bytes({0xF0, 0xE4});
    n1.emu.setParameter(3, 1.0f);
    EXPECT_EQ(n1.mono(500), Frames(500, 0));
    n1.emu.setParameter(3, -1.0f);
    EXPECT_EQ(n1.mono(3000), n2.mono(3000));
}

TEST(DCSG_Emu, ResetSilencesEveryChannel) {
    Psg psg(1, 1);
    for (int k = 0; k < 4; ++k) {
        if (k < 3) psg.tonePeriod(k, 5 + k);
        psg.attenuation(k, 0);
    }
    EXPECT_NE(psg.mono(300), Frames(300, 0));
    psg.emu.reset();
    EXPECT_EQ(psg.mono(300), Frames(300, 0));
}

TEST(DCSG_Emu, StereoByteAddressIsIgnored) {
    Psg psg(2, 1);
    psg.attenuation(3, 0);
    psg.emu.write(1, 0xFF, 2); // would be noise attenuation 15 as a command
    EXPECT_EQ(psg.mono(10), Frames(10, 682));
    psg.emu.write(0, 0xFF, 7); // any other address decodes; the port is ignored
    EXPECT_EQ(psg.mono(10), Frames(10, 0));
}

TEST(DCSG_Emu, VolumeCurvesAreTheTruncatedMean) {
    int16_t c[4][16] = {}; // level 15 stays 0 in every curve: the idle tones are silent
    for (int j = 0; j < 15; ++j) {
        c[0][j] = int16_t(1000 * j + 3);
        c[1][j] = int16_t(-8);
        c[2][j] = int16_t(2 * j);
        c[3][j] = int16_t(j % 3);
    }
    Psg psg(1, 1);
    psg.emu.setVolumeCurves(c[0], c[1], c[2], c[3]);
    for (int j = 0; j < 16; ++j) {
        const int32_t sum = c[0][j] + c[1][j] + c[2][j] + c[3][j];
        EXPECT_EQ(psg.emu.volumeCurve[j], sum / 4);
    }
    EXPECT_EQ(psg.emu.volumeCurve[0], -1); // (3 - 8) / 4 toward zero
    psg.attenuation(3, 2);
    EXPECT_EQ(psg.mono(5), Frames(5, psg.emu.volumeCurve[2]));

    psg.emu.init(64, nullptr, 0); // back to the built-in table
    psg.attenuation(3, 2);
    EXPECT_EQ(psg.mono(5), Frames(5, 430));
}

TEST(DCSG_Emu, RenderAddsIntoTheBuffer) {
    Psg psg(1, 1);
    psg.attenuation(3, 0);
    Frames buf(50, 1000);
    int32_t* outs[1] = {buf.data()};
    psg.emu.render32(outs, 50);
    psg.emu.render32(outs, 0);
    EXPECT_EQ(buf, Frames(50, 1682));
}

// Each of the four channels alone in mono, then every stereo byte of the
// table routes the channels' frames to the sides its bits name.
TEST(DCSG_Emu, GameGearStereoRouting) {
    auto setup = [](Psg& p) {
        p.tonePeriod(0, 3);
        p.tonePeriod(1, 5);
        p.tonePeriod(2, 11);
        for (int k = 0; k < 3; ++k) p.attenuation(k, k);
        p.bytes({0xE5, 0xF1}); // white, rate 32, attenuation 1
    };
    const size_t n = 3000;
    Frames alone[4];
    for (int k = 0; k < 4; ++k) {
        Psg p(2, 1);
        setup(p);
        for (int m = 0; m < 4; ++m)
            if (m != k) p.emu.setParameter(m, 1.0f);
        alone[k] = p.mono(n);
    }
    for (uint8_t stereo : {0xFF, 0xF0, 0x0F, 0x00, 0x11, 0x84, 0x28, 0x42, 0x96}) {
        SCOPED_TRACE(int(stereo));
        Psg p(2, 1, 256);
        setup(p);
        const auto [left, right] = p.gameGear(stereo, n);
        Frames expectL(n, 0), expectR(n, 0);
        for (int k = 0; k < 4; ++k) {
            const int leftBit = k < 3 ? 4 + k : 7, rightBit = k < 3 ? k : 3;
            for (size_t i = 0; i < n; ++i) {
                if (stereo >> leftBit & 1) expectL[i] += alone[k][i];
                if (stereo >> rightBit & 1) expectR[i] += alone[k][i];
            }
        }
        EXPECT_EQ(left, expectL);
        EXPECT_EQ(right, expectR);
    }
    // A muted tone adds nothing; the others are unaffected.
    Psg p(2, 1);
    setup(p);
    p.emu.setParameter(1, 1.0f);
    Frames expect(n, 0);
    for (size_t i = 0; i < n; ++i) expect[i] = alone[0][i] + alone[2][i] + alone[3][i];
    EXPECT_EQ(p.gameGear(0xFF, n), std::make_pair(expect, expect));
}

// Stereo 0x00 and a muted noise silence the output; the generators keep
// running in the Game Gear render.
TEST(DCSG_Emu, GameGearKeepsSilencedChannelsRunning) {
    auto setup = [](Psg& p) {
        p.tonePeriod(0, 9);
        p.attenuation(0, 0);
        p.bytes({0xE4});
    };
    Psg ref(2, 1), quiet(2, 1);
    setup(ref);
    setup(quiet);
    ref.gameGear(0xFF, 700);
    quiet.emu.setParameter(3, 1.0f);
    const auto [l0, r0] = quiet.gameGear(0x00, 700);
    EXPECT_EQ(l0, Frames(700, 0));
    EXPECT_EQ(r0, Frames(700, 0));
    quiet.emu.setParameter(3, 0.0f);
    EXPECT_EQ(quiet.gameGear(0xFF, 2000), ref.gameGear(0xFF, 2000));
}

// Any split of a stretch into calls (with register writes at fixed frames)
// gives the same output as one call per stretch between writes. The scratch
// buffer of the 16-bit render is smaller than the stretches.
TEST(DCSG_Emu, OutputIndependentOfCallSplits) {
    struct Write {
        size_t at;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Write> script = {
        {0, {0x83, 0x02, 0x90, 0xA7, 0x01, 0xB3, 0xC0, 0x01, 0xD5, 0xE3, 0xF0}},
        {1500, {0xC9, 0x3F}},
        {1501, {0xE6, 0x81, 0x05}},
        {2999, {0xE1, 0xC2}},
        {4000, {0x9F, 0xE7, 0xC1, 0x00}},
        {6000, {}},
    };
    enum Mode { Mono, Stereo, Render16 };
    auto play = [&](uint32_t variant, Mode mode, std::mt19937* rng) {
        Psg p(variant, variant == 1 ? 5 : 1, 97);
        Frames left(6000), right(6000);
        std::vector<int16_t> out16(6000);
        size_t pos = 0;
        for (const auto& w : script) {
            while (pos < w.at) {
                size_t n = w.at - pos;
                if (rng) n = std::min<size_t>(n, (*rng)() % 300); // includes 0
                int32_t* outs[2] = {left.data() + pos, right.data() + pos};
                if (mode == Mono) p.emu.render32(outs, n);
                if (mode == Stereo) p.emu.renderGameGear(outs, 0xB6, n);
                if (mode == Render16) p.emu.render16(out16.data() + pos, 0, n);
                pos += n;
            }
            for (uint8_t b : w.bytes) p.emu.write(0, b, 0);
        }
        if (mode == Render16)
            for (size_t i = 0; i < left.size(); ++i) left[i] = out16[i];
        return std::make_pair(left, right);
    };
    std::mt19937 rng(76489);
    for (uint32_t variant : {0u, 1u, 4u}) {
        for (Mode mode : {Mono, Stereo, Render16}) {
            SCOPED_TRACE(testing::Message() << "variant " << variant << " mode " << mode);
            const auto whole = play(variant, mode, nullptr);
            EXPECT_NE(whole.first, Frames(6000, 0));
            for (int trial = 0; trial < 5; ++trial) EXPECT_EQ(play(variant, mode, &rng), whole);
        }
    }
}

// The mono render adds the channel sum a stretch at a time; it must equal each
// channel run on its own (the Game Gear render with every channel on the
// left), with tones muted and unmuted on the way and calls cut anywhere.
// renderBoth adds that sum to both sides.
TEST(DCSG_Emu, MonoSumEqualsTheChannelsRunOneByOne) {
    struct Step {
        size_t at;
        std::vector<uint8_t> bytes;
        int mute = -1; // tone to toggle, -1 none
    };
    const std::vector<Step> script = {
        {0, {0x85, 0x01, 0x91, 0xA3, 0x00, 0xB0, 0xCF, 0x03, 0xD4, 0xE5, 0xF2}},
        {700, {0xE7}, 1}, // noise follows tone 2
        {1900, {0xC1, 0x00}, 0},
        {2600, {0xE0, 0x9F}, 1},
        // Silent channels (attenuation 15) still move on: tone 2 at the
        // fastest period and the noise, then both audible again.
        {3200, {0xBF, 0xA0, 0x00}},
        {3600, {0xFF}},
        {4000, {}, 0},
        {4300, {0xB2, 0xF3}},
        {5000, {}},
    };
    std::mt19937 rng(2612);
    for (uint32_t variant : {0u, 1u, 4u}) {
        SCOPED_TRACE(testing::Message() << "variant " << variant);
        Psg mono(variant, 3), both(variant, 3), each(variant, 3);
        Frames m(5000), bl(5000), br(5000), el(5000), er(5000);
        size_t pos = 0;
        for (const Step& step : script) {
            while (pos < step.at) {
                const size_t n = std::min<size_t>(step.at - pos, rng() % 400);
                int32_t* mo[1] = {m.data() + pos};
                int32_t* eo[2] = {el.data() + pos, er.data() + pos};
                mono.emu.render32(mo, n);
                both.emu.renderBoth(bl.data() + pos, br.data() + pos, n);
                each.emu.renderGameGear(eo, 0xF0, n);
                pos += n;
            }
            for (Psg* p : {&mono, &both, &each}) {
                for (uint8_t b : step.bytes) p->emu.write(0, b, 2);
                if (step.mute >= 0)
                    p->emu.setParameter(uint32_t(step.mute), p->emu.mutes[step.mute] ? 0.0f : 1.0f);
            }
        }
        EXPECT_NE(m, Frames(5000, 0));
        EXPECT_EQ(m, el);
        EXPECT_EQ(bl, m);
        EXPECT_EQ(br, m);
    }
}

TEST(DCSG_Emu, Render16IsTheLowBitsOfTheMonoSum) {
    Psg a(0, 1, 64), b(0, 1, 64);
    int16_t c[16];
    for (int j = 0; j < 16; ++j) c[j] = int16_t(j == 15 ? 0 : 12000); // sums wrap in 16 bits
    for (Psg* p : {&a, &b}) {
        p->emu.setVolumeCurves(c, c, c, c);
        for (int k = 0; k < 3; ++k) {
            p->tonePeriod(k, 3 + 2 * k);
            p->attenuation(k, 0);
        }
        p->bytes({0xE4});
    }
    const Frames mono = a.mono(500);
    std::vector<int16_t> out16(500, 0x5555);
    b.emu.render16(out16.data(), 0, 500);
    for (size_t i = 0; i < mono.size(); ++i)
        ASSERT_EQ(out16[i], int16_t(uint16_t(uint32_t(mono[i])))) << i;
    EXPECT_GT(*std::max_element(mono.begin(), mono.end()), 32767);
}

} // namespace

// Moving a tone on without output lands where running it edge by edge does,
// from any point of its cycle, with a period change still pending.
TEST(DCSGTone, AdvanceEqualsRunningWithoutOutputs) {
    struct Case {
        uint64_t factor, period, pending, counter, length, phase, frames;
    };
    const Case cases[] = {
        {5, 1, 1, 0, 5, 0, 0},          {5, 1, 1, 3, 5, 1, 1},
        {5, 1, 1, 4, 5, 0, 1024},       {5, 1024, 7, 100, 5120, 1, 99999},
        {16, 3, 200, 2, 48, 0, 12345},  {16, 3, 200, 47, 48, 1, 12345},
        {1, 1, 1, 0, 0, 0, 77},         {3, 9, 9, 30, 27, 1, 5000}, // counter past length
        {7, 2, 5, 0, 14, 1, 14},        {7, 2, 5, 13, 14, 0, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "factor " << c.factor << " period " << c.period
                                        << " counter " << c.counter << " frames " << c.frames);
        DCSGTone a(1, c.factor), b(1, c.factor);
        for (DCSGTone* t : {&a, &b}) {
            t->period = c.period;
            t->counter = c.counter;
            t->length = c.length;
            t->phase = c.phase;
            t->setPeriod(uint32_t(c.pending));
        }
        a.advance(c.frames);
        b.run(nullptr, nullptr, c.frames);
        EXPECT_EQ(a.counter, b.counter);
        EXPECT_EQ(a.length, b.length);
        EXPECT_EQ(a.phase, b.phase);
    }
}
