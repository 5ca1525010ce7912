#include "emulators/AYEmu.h"

#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "emulators/AYTestSupport.h"

using aytest::envelopeLevels;
using aytest::firstChange;
using aytest::kAY;
using aytest::kYM;
using aytest::Rig;
using aytest::runsOf;

namespace {

// Fixed volumes with the YM table: entry 2v.
const uint32_t kYMFixed[16] = {0,   12,  12,  18,  30,  42,  54,  78,
                               114, 162, 228, 324, 456, 642, 912, 1284};

// Mixer bytes (bit set = off): channel A only, with tone, noise or neither.
constexpr uint8_t kToneA = 0x3E;
constexpr uint8_t kNoiseA = 0x37;
constexpr uint8_t kConstAll = 0x3F;

// The AY noise register on its own: the bits it shifts out, from 0x10000.
std::vector<int> noiseBits(size_t count) {
    std::vector<int> bits;
    uint32_t r = 0x10000;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t parity = (r ^ (r >> 2)) & 1;
        bits.push_back(int(r & 1));
        r >>= 1;
        if (parity) r |= 0x10000;
    }
    return bits;
}

} // namespace

TEST(AYEmuInfo, DescribesTheChip) {
    AYEmu ay(2, 1, 0);
    const ChipInfo* info = ay.getInfo();
    ASSERT_EQ(info, ay.getInfo());
    EXPECT_EQ(info->firstWord, 1u);
    EXPECT_EQ(info->inputCount, 0u);
    EXPECT_EQ(info->outputCount, 3u);
    EXPECT_EQ(info->clockDivisor, 8u);
    EXPECT_EQ(info->clocks,
              (std::vector<double>{894886, 1000000, 1500000, 1789772.5, 2005311.75, 1250000}));
    EXPECT_EQ(info->initialClockIndex, 4u);
    EXPECT_STREQ(info->partName, "AY8910");
    EXPECT_STREQ(info->familyName, "AY");
    EXPECT_EQ(info->outputGains[0], 1.0f / 1024);
    EXPECT_EQ(info->outputGains[1], 1.0f / 1024);
    EXPECT_EQ(info->outputGains[2], 1.0f / 1024);
    EXPECT_EQ(info->outputGains[3], 1.0f / 256);
    ASSERT_EQ(info->parameters.size(), 16u);
    const vantor::ParameterInfo& env = info->parameters[0];
    EXPECT_STREQ(env.label, "env type");
    EXPECT_EQ(env.valueKind, 3u);
    EXPECT_STREQ(env.list, "AY (16 steps)|YM (32 steps)");
    EXPECT_EQ(env.minValue, 0.0f);
    EXPECT_EQ(env.maxValue, 1.0f);
    EXPECT_EQ(env.defaultValue, 0.0f);
    EXPECT_EQ(env.factor, 1.0f);
    for (size_t i = 1; i < 16; ++i) {
        const vantor::ParameterInfo& p = info->parameters[i];
        EXPECT_EQ(p.label, nullptr) << i;
        EXPECT_EQ(p.list, nullptr) << i;
        EXPECT_EQ(p.valueKind, 0u) << i;
        EXPECT_EQ(p.maxValue, 1.0f) << i;
        EXPECT_EQ(p.factor, 1.0f) << i;
        EXPECT_EQ(p.id, 0xFFFF) << i;
        EXPECT_EQ(p.layerMask, 0xFFFF) << i;
    }
}

// A tone's level flips every max(1, TP) x periodScale samples; the coarse byte
// keeps 4 bits.
TEST(AYEmuTone, HalfPeriodsInSamples) {
    struct Case {
        uint64_t scale;
        uint8_t fine, coarse;
        size_t half;
    };
    const Case cases[] = {
        {1, 0, 0, 1},  {2, 0, 0, 2},           {2, 1, 0, 2},           {1, 5, 0, 5},
        {3, 5, 0, 15}, {1, 0x34, 0x12, 0x234}, {1, 0x00, 0xFF, 0xF00},
    };
    for (const Case& c : cases) {
        Rig<AYEmu> rig(c.scale, 512);
        rig.w(7, kToneA);
        rig.w(8, 15);
        rig.w(0, c.fine);
        rig.w(1, c.coarse);
        const auto runs = runsOf(rig.renderA(c.half * 6 + 1));
        ASSERT_EQ(runs.size(), 7u) << c.half;
        for (size_t i = 0; i < 6; ++i) {
            EXPECT_EQ(runs[i].first, i % 2 ? 1530 : 0) << c.half;
            EXPECT_EQ(runs[i].second, c.half) << c.half;
        }
    }
}

TEST(AYEmuTone, StaysLowUntilAPeriodIsWritten) {
    Rig<AYEmu> rig(2);
    rig.w(7, kToneA);
    rig.w(8, 15);
    const auto out = rig.renderA(3000);
    EXPECT_EQ(runsOf(out), (aytest::Runs{{0, 3000}}));
}

// A new period applies at once; the counter keeps its count unless it has
// reached the new period, in which case it restarts at 0.
TEST(AYEmuPeriod, NewPeriodTakesEffectByTheCounterRule) {
    enum Kind { Tone, Noise, Envelope };
    struct Case {
        int kind;
        uint8_t first;
        size_t before;
        uint8_t second;
        size_t untilChange;
    };
    std::vector<Case> cases;
    for (int kind : {Tone, Noise, Envelope}) {
        cases.push_back({kind, 10, 7, 5, 5});
        cases.push_back({kind, 10, 7, 20, 13});
        cases.push_back({kind, 10, 7, 7, 7});
        cases.push_back({kind, 10, 7, 8, 1});
        cases.push_back({kind, 10, 0, 3, 3});
    }
    for (const Case& c : cases) {
        Rig<AYEmu> rig(1);
        uint16_t reg;
        if (c.kind == Tone) {
            rig.w(7, kToneA);
            rig.w(8, 15);
            reg = 0;
        } else if (c.kind == Noise) {
            rig.w(7, kNoiseA);
            rig.w(8, 15);
            reg = 6;
        } else {
            rig.w(7, kConstAll);
            rig.w(8, 0x10);
            rig.emu.setParameter(3, 1.0f); // YM: one step per period count
            rig.w(11, c.first);
            rig.w(13, 12);
            reg = 11;
        }
        if (c.kind != Envelope) rig.w(reg, c.first);
        const auto before = rig.renderA(c.before);
        EXPECT_EQ(firstChange(before), before.size());
        rig.w(reg, c.second);
        EXPECT_EQ(firstChange(rig.renderA(40)), c.untilChange)
            << "kind " << c.kind << " " << int(c.first) << "->" << int(c.second);
    }
}

// The noise holds its output 1 until its first shift, then plays the bits the
// 17-bit register shifts out, one per clamp(R6 & 31, 1, 31) x periodScale samples.
TEST(AYEmuNoise, SequenceAndPeriods) {
    struct Case {
        uint64_t scale;
        uint8_t r6;
        size_t period;
    };
    const Case cases[] = {{1, 1, 1},   {1, 0, 1},     {2, 0, 2},    {2, 5, 10},
                          {1, 31, 31}, {1, 0xFF, 31}, {2, 0x21, 2}, {3, 7, 21}};
    const std::vector<int> bits = noiseBits(200);
    for (const Case& c : cases) {
        Rig<AYEmu> rig(c.scale, 1024);
        rig.w(7, kNoiseA);
        rig.w(8, 15);
        rig.w(6, c.r6);
        const auto out = rig.renderA(c.period * 150);
        for (size_t i = 0; i < out.size(); ++i) {
            const int bit = i < c.period ? 1 : bits[i / c.period - 1];
            ASSERT_EQ(out[i], bit * 1530) << "r6 " << int(c.r6) << " sample " << i;
        }
    }
}

TEST(AYEmuNoise, PeriodOneStartsWithOneThenSixteenZeros) {
    Rig<AYEmu> rig(1);
    rig.w(7, kNoiseA);
    rig.w(8, 15);
    rig.w(6, 1);
    const auto runs = runsOf(rig.renderA(18));
    EXPECT_EQ(runs, (aytest::Runs{{1530, 1}, {0, 16}, {1530, 1}}));
}

TEST(AYEmuNoise, HoldsOneUntilItsPeriodIsWritten) {
    Rig<AYEmu> rig(2);
    rig.w(7, kNoiseA);
    rig.w(8, 15);
    EXPECT_EQ(runsOf(rig.renderA(5000)), (aytest::Runs{{1530, 5000}}));
}

// Every shape in both table types and two timings: three passes' worth of
// levels heard directly (mixer off, volume = envelope).
TEST(AYEmuEnvelope, AllSixteenShapes) {
    struct Timing {
        uint64_t scale;
        uint8_t period;
    };
    for (const Timing t : {Timing{1, 1}, Timing{2, 3}}) {
        for (int ym = 0; ym < 2; ++ym) {
            const size_t count = ym ? 32 : 16;
            const uint32_t* table = ym ? kYM : kAY;
            const size_t stepLen = t.period * t.scale * (ym ? 1 : 2);
            EXPECT_EQ(count * stepLen, 32u * t.period * t.scale); // pass length
            for (int shape = 0; shape < 16; ++shape) {
                const auto expected = envelopeLevels(shape, table, count, stepLen, 3);
                Rig<AYEmu> rig(t.scale, 256);
                rig.emu.setParameter(3, float(ym));
                rig.w(7, kConstAll);
                rig.w(8, 0x10);
                rig.w(11, t.period);
                rig.w(12, 0);
                rig.w(13, uint8_t(shape | 0xF0)); // upper bits ignored
                EXPECT_EQ(rig.renderA(expected.size()), expected)
                    << "shape " << shape << " ym " << ym << " scale " << t.scale;
            }
        }
    }
}

// R13 changes only the shape (and restarts the envelope): a fine byte written
// alone afterwards keeps the coarse byte written before.
TEST(AYEmuEnvelope, ShapeWriteKeepsThePeriodBytes) {
    Rig<AYEmu> rig(1);
    rig.emu.setParameter(3, 1.0f); // YM: one step per period count
    rig.w(7, kConstAll);
    rig.w(8, 0x10);
    rig.w(11, 0x34);
    rig.w(12, 0x01);
    rig.w(13, 0x0C);
    rig.w(11, 0x35); // period 0x0135 = 309 samples per step
    EXPECT_EQ(runsOf(rig.renderA(309 * 3)), (aytest::Runs{{0, 309}, {6, 309}, {12, 309}}));
}

// A period of 0 steps exactly like a period of 1, in both table types.
TEST(AYEmuEnvelope, ZeroPeriodStepsLikePeriodOne) {
    for (int ym = 0; ym < 2; ++ym) {
        for (int shape : {0, 4, 8, 14}) {
            std::vector<int32_t> out[2];
            for (uint8_t period : {0, 1}) {
                Rig<AYEmu> rig(2);
                rig.emu.setParameter(3, float(ym));
                rig.w(7, kConstAll);
                rig.w(8, 0x10);
                rig.w(11, period);
                rig.w(12, 0);
                rig.w(13, uint8_t(shape));
                out[period] = rig.renderA(300);
            }
            EXPECT_EQ(out[0], out[1]) << "shape " << shape << " ym " << ym;
            EXPECT_GE(runsOf(out[0]).size(), 15u) << "shape " << shape << " ym " << ym;
        }
    }
}

// A type change restarts the envelope at its next block with the other table;
// setting the same type again changes nothing.
TEST(AYEmuEnvelope, TypeChangeRestartsWithTheOtherTable) {
    Rig<AYEmu> rig(1);
    rig.w(7, kConstAll);
    rig.w(8, 0x10);
    rig.w(11, 1);
    rig.w(13, 12);
    rig.emu.setParameter(3, 1.0f);
    auto out = rig.renderA(40);
    EXPECT_EQ(std::vector<int32_t>(out.begin(), out.begin() + 32),
              std::vector<int32_t>(kYM, kYM + 32));
    rig.emu.setParameter(3, 0.0f);
    out = rig.renderA(10);
    EXPECT_EQ(out, (std::vector<int32_t>{0, 0, 6, 6, 12, 12, 18, 18, 24, 24}));
    rig.emu.setParameter(3, 0.0f);
    out = rig.renderA(4);
    EXPECT_EQ(out, (std::vector<int32_t>{42, 42, 60, 60}));
    // Type 7 is recorded but keeps the envelope's table; fixed volumes use YM.
    rig.emu.setParameter(3, 7.0f);
    out = rig.renderA(4);
    EXPECT_EQ(out, (std::vector<int32_t>{90, 90, 126, 126}));
    rig.w(9, 15);
    rig.w(7, 0x3F);
    EXPECT_EQ(rig.render(1)[1][0], 1284);
    // The restart at a type change also clears the period bytes: a coarse
    // write alone now gives period 0, which steps like period 1.
    rig.emu.setParameter(3, 1.0f);
    rig.renderA(1);
    rig.emu.setParameter(3, 0.0f);
    out = rig.renderA(4);
    EXPECT_EQ(out, (std::vector<int32_t>{0, 0, 6, 6}));
    rig.w(12, 0);
    out = rig.renderA(4);
    EXPECT_EQ(out, (std::vector<int32_t>{12, 12, 18, 18}));
}

TEST(AYEmuParams, OddEnvelopeTypeValuesAreSafe) {
    const float odd[] = {std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(), -1e20f, 3e9f, -1.0f};
    for (float v : odd) {
        Rig<AYEmu> rig(1);
        rig.w(7, kConstAll);
        rig.w(8, 15);
        rig.emu.setParameter(3, v);
        const int32_t level = rig.renderA(1)[0];
        EXPECT_TRUE(level == 1530 || level == 1284) << v;
    }
}

// Fixed volumes: bits 0-3 index the AY table, or entry 2v of the YM table;
// bits 5-7 of the register are dropped.
TEST(AYEmuMixer, FixedVolumeLevels) {
    for (int ym = 0; ym < 2; ++ym) {
        for (uint8_t v = 0; v < 16; ++v) {
            Rig<AYEmu> rig(2);
            rig.emu.setParameter(3, float(ym));
            rig.w(7, kConstAll);
            rig.w(8, v);
            rig.w(9, uint8_t(v | 0xE0));
            rig.w(10, v);
            const auto out = rig.render(64);
            const int32_t want = int32_t(ym ? kYMFixed[v] : kAY[v]);
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(runsOf(out[c]), (aytest::Runs{{want, 64}})) << "v " << int(v);
        }
    }
}

// Mode 0 is tone AND noise, 1 noise only, 2 tone only, 3 a constant 1; bits 6
// and 7 of the mixer byte change nothing.
TEST(AYEmuMixer, ModesCombineToneAndNoise) {
    for (uint8_t mixer : {uint8_t(0x0A), uint8_t(0xCA)}) {
        Rig<AYEmu> rig(1);
        rig.w(7, mixer); // A tone, B noise, C tone and noise
        for (uint16_t r : {0, 4}) rig.w(r, 3);
        rig.w(6, 2);
        for (uint16_t r : {8, 9, 10}) rig.w(r, 15);
        const auto out = rig.render(600);
        EXPECT_GT(runsOf(out[0]).size(), 100u);
        EXPECT_GT(runsOf(out[1]).size(), 20u);
        for (size_t i = 0; i < out[0].size(); ++i)
            ASSERT_EQ(out[2][i], (out[0][i] && out[1][i]) ? 1530 : 0) << i;
    }
    Rig<AYEmu> silent(1);
    silent.w(7, 0x38); // tones on, noise off, volume 0
    silent.w(0, 2);
    EXPECT_EQ(runsOf(silent.renderA(100)), (aytest::Runs{{0, 100}}));
}

// Volume bit 4 scales the source by the envelope: after a one-shot pass shape
// 13 holds 1530 and shape 9 holds 0 wherever the tone is high.
TEST(AYEmuMixer, EnvelopeVolumeScalesTheSource) {
    for (uint8_t shape : {uint8_t(13), uint8_t(9)}) {
        Rig<AYEmu> rig(1);
        rig.w(7, kToneA);
        rig.w(8, 0x10);
        rig.w(0, 5);
        rig.w(11, 1);
        rig.w(13, shape);
        rig.renderA(32);
        const auto runs = runsOf(rig.renderA(100));
        for (const auto& run : runs)
            EXPECT_TRUE(run.first == 0 || run.first == (shape == 13 ? 1530 : 0));
        if (shape == 13)
            EXPECT_GT(runs.size(), 15u);
        else
            EXPECT_EQ(runs.size(), 1u);
    }
}

// Mutes take value > 0; a muted channel's tone keeps running.
TEST(AYEmuParams, MutesKeepTheTonePhase) {
    struct Case {
        float value;
        bool muted;
    };
    const Case cases[] = {{1.0f, true},   {0.5f, true},
                          {1e-30f, true}, {0.0f, false},
                          {-1.0f, false}, {std::numeric_limits<float>::quiet_NaN(), false}};
    Rig<AYEmu> reference(1);
    reference.w(7, 0x38);
    for (uint16_t r : {0, 2, 4}) reference.w(r, 7);
    for (uint16_t r : {8, 9, 10}) reference.w(r, 15);
    const auto want = reference.render(100);
    for (const Case& c : cases) {
        for (uint32_t ch = 0; ch < 3; ++ch) {
            Rig<AYEmu> rig(1);
            rig.w(7, 0x38);
            for (uint16_t r : {0, 2, 4}) rig.w(r, 7);
            for (uint16_t r : {8, 9, 10}) rig.w(r, 15);
            rig.emu.setParameter(ch, c.value);
            const auto first = rig.render(50);
            rig.emu.setParameter(ch, 0.0f);
            const auto second = rig.render(50);
            for (uint32_t k = 0; k < 3; ++k) {
                const bool silent = c.muted && k == ch;
                for (size_t i = 0; i < 50; ++i) {
                    ASSERT_EQ(first[k][i], silent ? 0 : want[k][i]) << c.value << " ch " << ch;
                    ASSERT_EQ(second[k][i], want[k][50 + i]) << c.value << " ch " << ch;
                }
            }
        }
    }
}

// The mirror keeps the last byte written to each address & 15; addresses above
// 13 touch nothing else.
TEST(AYEmuRegisters, ReadBackTheMirror) {
    Rig<AYEmu> rig(1);
    rig.w(7, kToneA);
    rig.w(8, 15);
    rig.w(0, 4);
    for (uint16_t a = 0; a < 16; ++a)
        EXPECT_EQ(rig.emu.readRegister(a), a == 7 ? kToneA : a == 8 ? 15 : a == 0 ? 4 : 0);
    rig.w(0x13, 0x5A);
    rig.w(14, 0x77);
    rig.w(16, 0x99); // mirror entry 0 only: tone A keeps period 4
    EXPECT_EQ(rig.emu.readRegister(3), 0x5A);
    EXPECT_EQ(rig.emu.readRegister(0x13), 0x5A);
    EXPECT_EQ(rig.emu.readRegister(14), 0x77);
    EXPECT_EQ(rig.emu.readRegister(0), 0x99);
    EXPECT_EQ(runsOf(rig.renderA(16)), (aytest::Runs{{0, 4}, {1530, 4}, {0, 4}, {1530, 4}}));
}

// The console's mapping puts all channels into output 0; render16 ignores the
// mapping, overwrites its buffer and keeps the low 16 bits of the same sums.
TEST(AYEmuOutput, MonoMappingAndRender16) {
    auto setup = [](AYEmu& ay) {
        ay.init(300, nullptr, 0);
        ay.write(7, 0x30, 0);
        ay.write(0, 3, 0);
        ay.write(2, 5, 0);
        ay.write(4, 9, 0);
        ay.write(6, 4, 0);
        ay.write(8, 15, 0);
        ay.write(9, 0x10, 0);
        ay.write(10, 11, 0);
        ay.write(11, 2, 0);
        ay.write(13, 14, 0);
    };
    AYEmu mono(2, 1, 0), stereo(2, 0, 0), sixteen(2, 0, 0);
    setup(mono);
    setup(stereo);
    setup(sixteen);
    const size_t n = 1000;
    std::vector<int32_t> m(n, 0), s0(n, 0), s1(n, 0), s2(n, 0), unused(n, 7);
    int32_t* mp[3] = {m.data(), unused.data(), unused.data()};
    int32_t* sp[3] = {s0.data(), s1.data(), s2.data()};
    std::vector<int16_t> h(n, 12345);
    mono.render32(mp, n);
    stereo.render32(sp, n);
    sixteen.render16(h.data(), 0, n);
    EXPECT_EQ(runsOf(unused), (aytest::Runs{{7, n}}));
    for (size_t i = 0; i < n; ++i) {
        ASSERT_EQ(m[i], s0[i] + s1[i] + s2[i]) << i;
        ASSERT_EQ(h[i], int16_t(m[i])) << i;
    }
    EXPECT_GT(runsOf(m).size(), 50u);
}

// init rebuilds the generators but keeps mixer, volumes, mirror and table type.
TEST(AYEmuLifecycle, ReinitRestartsGeneratorsOnly) {
    Rig<AYEmu> rig(1);
    rig.emu.setParameter(3, 1.0f);
    rig.w(7, 0x3E);
    rig.w(8, 15);
    rig.w(9, 15);
    rig.w(0, 3);
    EXPECT_GT(runsOf(rig.renderA(30)).size(), 5u);
    rig.emu.init(128, nullptr, 0);
    EXPECT_EQ(rig.emu.readRegister(0), 3);
    const auto out = rig.render(30);
    EXPECT_EQ(runsOf(out[0]), (aytest::Runs{{0, 30}}));    // tone period forgotten
    EXPECT_EQ(runsOf(out[1]), (aytest::Runs{{1284, 30}})); // B constant, YM table kept
}

TEST(AYEmuLifecycle, UseBeforeInitIsHarmless) {
    AYEmu ay(2, 1, 0);
    ay.setParameter(0, 1.0f);
    ay.setParameter(3, 1.0f);
    for (uint16_t a = 0; a < 16; ++a) ay.write(a, 0x5F, 0);
    EXPECT_EQ(ay.readRegister(13), 0x5F);
    std::vector<int32_t> out(64, 3);
    int32_t* p[3] = {out.data(), out.data(), out.data()};
    EXPECT_EQ(ay.render32(p, 64), 0);
    EXPECT_EQ(runsOf(out), (aytest::Runs{{3, 64}}));
    std::vector<int16_t> h(64, 3);
    ay.render16(h.data(), 0, 64);
    EXPECT_EQ(h, std::vector<int16_t>(64, 0));
}

// Rendering a stretch in one call or in any pieces adds the same samples,
// with writes and parameter changes between the pieces.
TEST(AYEmuRender, AnySplitGivesTheSameSamples) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> pos(0, 5999), byte(0, 255), small(0, 40), reg(0, 15);
        std::vector<aytest::Event> events;
        // A sounding start: every channel, noise and envelope.
        events.push_back({0, false, 7, uint8_t(byte(rng) & 0x3F)});
        for (uint16_t r : {0, 2, 4}) events.push_back({0, false, r, uint8_t(small(rng))});
        events.push_back({0, false, 6, uint8_t(small(rng))});
        for (uint16_t r : {8, 9, 10}) events.push_back({0, false, r, uint8_t(byte(rng) & 31)});
        events.push_back({0, false, 11, uint8_t(small(rng) / 4)});
        events.push_back({0, false, 13, uint8_t(byte(rng) & 15)});
        for (int i = 0; i < 40; ++i) {
            const size_t at = size_t(pos(rng));
            if (i % 8 == 7) {
                events.push_back({at, true, uint16_t(byte(rng) & 3), uint8_t(byte(rng) & 1)});
                continue;
            }
            const uint16_t r = uint16_t(reg(rng));
            const uint8_t d = (r <= 6 || r == 11) ? uint8_t(small(rng)) : uint8_t(byte(rng));
            events.push_back({at, false, r, d});
        }
        std::stable_sort(events.begin(), events.end(),
                         [](const auto& a, const auto& b) { return a.at < b.at; });
        aytest::expectSplitInvariant<AYEmu>(seed % 3 + 1, events, 6000, rng);
    }
}
