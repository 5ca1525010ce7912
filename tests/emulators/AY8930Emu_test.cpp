#include "emulators/AY8930Emu.h"

#include <gtest/gtest.h>

#include "emulators/AYTestSupport.h"

using aytest::envelopeLevels;
using aytest::firstChange;
using aytest::kYM;
using aytest::runsOf;
using Rig = aytest::Rig<AY8930Emu>;

namespace {

constexpr uint8_t kToneA = 0x3E;    // channel A tone only, B and C constant
constexpr uint8_t kNoiseA = 0x37;   // channel A noise only
constexpr uint8_t kConstAll = 0x3F; // every channel a constant 1

} // namespace

TEST(AY8930EmuInfo, LikeTheAYButDividesByFour) {
    AY8930Emu chip(2, 0, 0);
    const ChipInfo* info = chip.getInfo();
    EXPECT_EQ(info->clockDivisor, 4u);
    EXPECT_EQ(info->outputCount, 3u);
    EXPECT_EQ(info->initialClockIndex, 4u);
    EXPECT_EQ(info->clocks.size(), 6u);
    EXPECT_STREQ(info->partName, "AY8910");
    EXPECT_STREQ(info->familyName, "AY");
    EXPECT_FALSE(chip.expanded());
}

// Bits 5-7 of register 13 = 101 select expanded mode; a write that keeps those
// bits keeps the mode; bit 4 picks the bank for the following writes.
TEST(AY8930EmuMode, Register13SelectsTheMode) {
    struct Step {
        uint8_t r13;
        bool expanded;
    };
    const Step steps[] = {{0x0E, false}, {0xA0, true},  {0xA5, true},  {0xB0, true},
                          {0xBF, true},  {0x00, false}, {0x20, false}, {0xA0, true},
                          {0xE0, false}, {0x40, false}, {0xAA, true}};
    Rig rig(2);
    for (const Step& s : steps) {
        rig.w(13, s.r13);
        EXPECT_EQ(rig.emu.expanded(), s.expanded) << std::hex << int(s.r13);
        EXPECT_EQ(rig.emu.readRegister(13), s.r13);
    }
    rig.emu.setExpandedMode(0x00);
    EXPECT_FALSE(rig.emu.expanded());
    rig.emu.setExpandedMode(0xBF);
    EXPECT_TRUE(rig.emu.expanded());
}

// In expanded mode with bank A, 0xA5 sets envelope A's shape 5 (ascending,
// then 0) on the 32-step table with the mode's period scale of 2.
TEST(AY8930EmuMode, ExpandedShapeWriteUsesThe32StepTable) {
    Rig rig(1);
    rig.w(13, 0xA0);
    rig.w(7, kConstAll);
    rig.w(8, 0x20);
    rig.w(11, 1);
    rig.w(13, 0xA5);
    const auto want = envelopeLevels(5, kYM, 32, 2, 2);
    EXPECT_EQ(rig.renderA(want.size()), want);
}

// After entering expanded mode the tones count with scale 1 from their next
// period write on; until then they keep the old scaled period.
TEST(AY8930EmuMode, TonesRescaleAtTheirNextPeriodWrite) {
    Rig rig(2);
    rig.w(7, kToneA);
    rig.w(8, 15);
    rig.w(0, 8); // 16 samples per half cycle in compatibility mode
    rig.w(13, 0xA0);
    // Duty selector 0: the low level lasts P >> 4 samples of a 2P cycle.
    EXPECT_EQ(runsOf(rig.renderA(64)), (aytest::Runs{{0, 1}, {96, 31}, {0, 1}, {96, 31}}));
    rig.w(0, 8);
    EXPECT_EQ(runsOf(rig.renderA(32)), (aytest::Runs{{0, 1}, {96, 15}, {0, 1}, {96, 15}}));
}

// Compatibility mode is AYEmu with YM-table fixed volumes (entry 2v) and a
// period scale of 2 for tones and envelope.
TEST(AY8930EmuMode, CompatibilityModeMatchesAYEmu) {
    AYEmu ay(2, 0, 0);
    ay.init(1000, nullptr, 0);
    ay.setParameter(3, 5.0f); // YM fixed volumes, envelope kept on the AY table
    Rig rig(7, 1000);
    const uint8_t writes[][2] = {{7, 0x38}, {0, 5},    {1, 1},  {2, 9},  {4, 0x30},
                                 {8, 15},   {9, 0x10}, {10, 7}, {11, 3}, {13, 10}};
    for (const auto& wr : writes) {
        ay.write(wr[0], wr[1], 0);
        rig.w(wr[0], wr[1]);
    }
    std::vector<int32_t> a(3000, 0), b(3000, 0), c(3000, 0);
    int32_t* p[3] = {a.data(), b.data(), c.data()};
    ay.render32(p, 3000);
    const auto out = rig.render(3000);
    EXPECT_EQ(out[0], a);
    EXPECT_EQ(out[1], b);
    EXPECT_EQ(out[2], c);
    Rig fixed(2);
    fixed.w(7, kConstAll);
    fixed.w(8, 15);
    EXPECT_EQ(fixed.renderA(1)[0], 1284);
}

// Duty selectors: the level after the wrap lasts T samples, the other 2P - T.
TEST(AY8930EmuTone, DutyCycles) {
    struct Case {
        uint8_t period;
        uint8_t selector;
        size_t low, high;
    };
    const Case cases[] = {
        {16, 0, 1, 31}, {16, 1, 2, 30}, {16, 2, 4, 28}, {16, 3, 8, 24}, {16, 4, 16, 16},
        {16, 5, 24, 8}, {16, 6, 28, 4}, {16, 7, 30, 2}, {16, 8, 31, 1}, {16, 15, 31, 1},
        {4, 0, 1, 7},   {4, 4, 4, 4},   {4, 3, 2, 6},   {4, 8, 7, 1},   {1, 0, 1, 1},
        {1, 9, 1, 1},   {0, 4, 1, 1},
    };
    for (const Case& c : cases) {
        Rig rig(2);
        rig.w(13, 0xB0); // expanded; the following writes go to bank B
        rig.w(6, c.selector);
        rig.w(13, 0xA0); // back to bank A
        rig.w(7, kToneA);
        rig.w(8, 0x1F);
        rig.w(0, c.period);
        rig.w(1, 0);
        const auto runs = runsOf(rig.renderA(4 * (c.low + c.high)));
        const aytest::Runs want = {{0, c.low}, {1530, c.high}, {0, c.low}, {1530, c.high},
                                   {0, c.low}, {1530, c.high}, {0, c.low}, {1530, c.high}};
        EXPECT_EQ(runs, want) << "period " << int(c.period) << " selector " << int(c.selector);
    }
}

// Bank B register 6 sets tone A's duty selector and leaves the noise alone.
TEST(AY8930EmuBanks, BankBRegister6IsToneADuty) {
    Rig rig(2);
    rig.w(13, 0xA0);
    rig.w(7, 0x2E); // A tone, B noise, C constant
    rig.w(8, 0x1F);
    rig.w(9, 0x1F);
    rig.w(0, 4);
    rig.w(13, 0xB0);
    rig.w(6, 4);
    const auto out = rig.render(32);
    EXPECT_EQ(
        runsOf(out[0]),
        (aytest::Runs{{0, 4}, {1530, 4}, {0, 4}, {1530, 4}, {0, 4}, {1530, 4}, {0, 4}, {1530, 4}}));
    EXPECT_EQ(runsOf(out[1]), (aytest::Runs{{1530, 32}})); // noise period never written
}

// Expanded coarse writes keep all 8 bits (16-bit periods); compatibility mode
// keeps 4.
TEST(AY8930EmuTone, SixteenBitPeriodsOnlyInExpandedMode) {
    Rig compat(2, 8192);
    compat.w(7, kToneA);
    compat.w(8, 15);
    compat.w(0, 0xFF);
    compat.w(1, 0xFF);
    EXPECT_EQ(firstChange(compat.renderA(9000)), 0x0FFFu * 2);

    Rig expanded(2, 8192);
    expanded.w(13, 0xB0);
    expanded.w(6, 4);
    expanded.w(13, 0xA0);
    expanded.w(7, kToneA);
    expanded.w(8, 0x1F);
    expanded.w(0, 0xFF);
    expanded.w(1, 0xFF);
    EXPECT_EQ(firstChange(expanded.renderA(0x10000 + 10)), 0xFFFFu);
}

// Expanded volumes: bits 0-4 index the 32-step table, bit 5 selects the
// channel's envelope, bits 6-7 are dropped.
TEST(AY8930EmuVolume, ExpandedLevels) {
    Rig rig(2);
    rig.w(13, 0xA0);
    rig.w(7, kConstAll);
    for (uint8_t v = 0; v < 32; ++v) {
        rig.w(8, v);
        rig.w(9, uint8_t(v | 0xC0));
        const auto out = rig.render(8);
        EXPECT_EQ(runsOf(out[0]), (aytest::Runs{{int32_t(kYM[v]), 8}})) << int(v);
        EXPECT_EQ(runsOf(out[1]), (aytest::Runs{{int32_t(kYM[v]), 8}})) << int(v);
    }
    // Volume bit 5: envelope A, here held at its first step by the longest period.
    rig.w(11, 0xFF);
    rig.w(12, 0xFF);
    rig.w(13, 0xA4); // shape 4: ascending, first step 0
    rig.w(8, 0x20);
    EXPECT_EQ(runsOf(rig.renderA(16)), (aytest::Runs{{0, 16}}));
    rig.w(13, 0xA0); // shape 0: descending, first step 1530
    EXPECT_EQ(runsOf(rig.renderA(16)), (aytest::Runs{{1530, 16}}));
}

// In expanded mode each channel follows its own envelope (type 3: 32 steps,
// period scale 2); envelopes B and C are set in bank B.
TEST(AY8930EmuEnvelope, OnePerChannel) {
    Rig rig(1);
    rig.w(13, 0xB0); // expanded; bank B from the next write on
    rig.w(0, 2);     // envelope B period 2
    rig.w(1, 0);
    rig.w(4, 14); // envelope B shape 14
    rig.w(2, 3);  // envelope C period 3
    rig.w(3, 0);
    rig.w(5, 8);     // envelope C shape 8
    rig.w(13, 0xAC); // envelope A shape 12; bank A from the next write on
    rig.w(11, 1);
    rig.w(12, 0);
    rig.w(7, kConstAll);
    for (uint16_t r : {8, 9, 10}) rig.w(r, 0x20);
    const size_t n = 32 * 6 * 2;
    const auto out = rig.render(n);
    auto head = [n](std::vector<int32_t> v) {
        v.resize(n);
        return v;
    };
    EXPECT_EQ(out[0], head(envelopeLevels(12, kYM, 32, 2, 6)));
    EXPECT_EQ(out[1], head(envelopeLevels(14, kYM, 32, 4, 3)));
    EXPECT_EQ(out[2], head(envelopeLevels(8, kYM, 32, 6, 2)));
}

// Expanded writes reach the mirror only through register 13; addresses above
// 13 are ignored.
TEST(AY8930EmuRegisters, ExpandedWritesLeaveTheMirror) {
    Rig rig(2);
    rig.w(8, 0x0C);
    rig.w(14, 0x11);
    rig.w(13, 0xA0);
    rig.w(8, 0x1F);
    rig.w(14, 0x55);
    rig.w(0x18, 0x66);
    EXPECT_EQ(rig.emu.readRegister(8), 0x0C);
    EXPECT_EQ(rig.emu.readRegister(14), 0x11);
    EXPECT_EQ(rig.emu.readRegister(13), 0xA0);
    rig.w(13, 0xB3);
    rig.w(9, 0x42); // bank B noise AND mask: no sound, no mirror
    EXPECT_EQ(rig.emu.readRegister(9), 0);
    EXPECT_EQ(rig.emu.readRegister(13), 0xB3);
}

// The AY8930 noise counts one period step per sample whatever the period scale;
// expanded register 6 is clamped to 31 instead of masked.
TEST(AY8930EmuNoise, PeriodsInSamples) {
    struct Case {
        bool expanded;
        uint8_t r6;
        size_t firstShift;
    };
    const Case cases[] = {
        {false, 1, 1}, {false, 0x25, 5}, {true, 0x25, 31}, {true, 5, 5}, {true, 0, 1}};
    for (const Case& c : cases) {
        Rig rig(2);
        if (c.expanded) rig.w(13, 0xA0);
        rig.w(7, kNoiseA);
        rig.w(8, c.expanded ? 0x1F : 15);
        rig.w(6, c.r6);
        EXPECT_EQ(firstChange(rig.renderA(64)), c.firstShift) << int(c.r6);
    }
    Rig rig(2);
    rig.w(7, kNoiseA);
    rig.w(8, 0x0F);
    rig.w(6, 1);
    EXPECT_EQ(runsOf(rig.renderA(18)), (aytest::Runs{{1284, 1}, {0, 16}, {1284, 1}}));
}

// render16 keeps to the compatibility path: volume 15 is YM entry 30 there.
TEST(AY8930EmuRender, Render16UsesTheCompatibilityPath) {
    Rig rig(2);
    rig.w(13, 0xA0);
    rig.w(7, kConstAll);
    rig.w(8, 15);
    EXPECT_EQ(rig.renderA(4), (std::vector<int32_t>(4, 96)));
    std::vector<int16_t> h(4, -1);
    rig.emu.render16(h.data(), 0, 4);
    EXPECT_EQ(h, (std::vector<int16_t>(4, 1284)));
}

TEST(AY8930EmuRender, AnySplitGivesTheSameSamples) {
    for (uint32_t seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<int> pos(0, 5999), byte(0, 255), small(0, 40), reg(0, 13);
        std::vector<aytest::Event> events;
        events.push_back({0, false, 13, 0xB0});
        for (uint16_t r : {6, 7, 8}) events.push_back({0, false, r, uint8_t(byte(rng) & 15)});
        for (uint16_t r : {0, 2}) events.push_back({0, false, r, uint8_t(small(rng) / 4)});
        for (uint16_t r : {4, 5}) events.push_back({0, false, r, uint8_t(byte(rng) & 15)});
        events.push_back({0, false, 13, uint8_t(0xA0 | (byte(rng) & 15))});
        events.push_back({0, false, 7, uint8_t(byte(rng) & 0x3F)});
        for (uint16_t r : {0, 2, 4, 6}) events.push_back({0, false, r, uint8_t(small(rng))});
        for (uint16_t r : {8, 9, 10}) events.push_back({0, false, r, uint8_t(byte(rng) & 63)});
        events.push_back({0, false, 11, uint8_t(small(rng) / 4)});
        for (int i = 0; i < 40; ++i) {
            const size_t at = size_t(pos(rng));
            if (i % 10 == 9) {
                events.push_back({at, true, uint16_t(byte(rng) & 3), uint8_t(byte(rng) & 1)});
                continue;
            }
            const uint16_t r = uint16_t(reg(rng));
            uint8_t d = uint8_t(byte(rng));
            if (r == 13)
                d = uint8_t((i % 5 ? 0xA0 : 0x00) | (d & 0x1F));
            else if (r != 7 && r != 12)
                d = uint8_t(small(rng));
            events.push_back({at, false, r, d});
        }
        std::stable_sort(events.begin(), events.end(),
                         [](const auto& a, const auto& b) { return a.at < b.at; });
        aytest::expectSplitInvariant<AY8930Emu>(seed % 3 + 1, events, 6000, rng);
    }
}
