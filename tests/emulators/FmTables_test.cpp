#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "emulators/FmTables.h"

namespace {

class FmTablesTest : public ::testing::Test {
protected:
    void SetUp() override { ensureFmTables(); }
};

TEST_F(FmTablesTest, LogSinMatchesKnownEntriesAndIsMonotone) {
    EXPECT_EQ(kLogSin[0], 2137u);
    EXPECT_EQ(kLogSin[128], 127u);
    for (int i = 248; i < 256; ++i) EXPECT_EQ(kLogSin[i], 0u) << i;
    for (int i = 1; i < 256; ++i) EXPECT_LE(kLogSin[i], kLogSin[i - 1]) << i;
    EXPECT_EQ(*std::max_element(kLogSin, kLogSin + 256), 2137u);
}

TEST_F(FmTablesTest, ExpTableMatchesKnownEntries) {
    EXPECT_EQ(kExpTable[0], 1018u);
    EXPECT_EQ(kExpTable[128], 420u);
    EXPECT_EQ(kExpTable[255], 0u);
    // A log value of 0 is the full-scale magnitude.
    EXPECT_EQ(((kExpTable[0] * 4) + 4096) >> 0, 8168u);
}

TEST_F(FmTablesTest, WaveformHoldsSignInBit15AndMirroredQuarters) {
    struct Case {
        int index;
        uint16_t value;
    };
    const Case cases[] = {
        {0, 2137},     {511, 2137},           {255, 0}, {256, 0}, {512, 0x8000 + 2137},
        {768, 0x8000}, {1023, 0x8000 + 2137},
    };
    for (const Case& c : cases) EXPECT_EQ(kWaveforms[c.index], c.value) << c.index;
    for (int x = 0; x < 256; ++x) {
        EXPECT_EQ(kWaveforms[x], kLogSin[x]);
        EXPECT_EQ(kWaveforms[256 + x], kLogSin[255 - x]);
        EXPECT_EQ(kWaveforms[512 + x], kLogSin[x] + 0x8000u);
        EXPECT_EQ(kWaveforms[768 + x], kLogSin[255 - x] + 0x8000u);
    }
}

TEST_F(FmTablesTest, RebuildingGivesTheSameValues) {
    uint16_t before[1024];
    std::copy(kWaveforms, kWaveforms + 1024, before);
    buildFmTables();
    EXPECT_TRUE(std::equal(before, before + 1024, kWaveforms));
}

TEST(FmConstTables, DetuneRowsFiveToSevenAreNegatedRowsOneToThree) {
    for (int kc = 0; kc < 32; ++kc) {
        EXPECT_EQ(kDetune[0][kc], 0);
        EXPECT_EQ(kDetune[4][kc], 0);
        for (int d = 1; d < 4; ++d)
            EXPECT_EQ(kDetune[d + 4][kc], -kDetune[d][kc]) << d << " " << kc;
    }
    EXPECT_EQ(kDetune[1][31], 8);
    EXPECT_EQ(kDetune[2][27], 14);
    EXPECT_EQ(kDetune[3][24], 16);
    EXPECT_EQ(kDetune[3][31], 22);
}

TEST(FmConstTables, SpotValues) {
    EXPECT_EQ(kMultiples[0], 1);
    EXPECT_EQ(kMultiples[1], 2);
    EXPECT_EQ(kMultiples[15], 30);
    EXPECT_EQ(kKeyCodeNotes[6], 0);
    EXPECT_EQ(kKeyCodeNotes[7], 1);
    EXPECT_EQ(kKeyCodeNotes[8], 2);
    EXPECT_EQ(kKeyCodeNotes[9], 3);
    EXPECT_EQ(kLfoPeriods[0], 108);
    EXPECT_EQ(kLfoPeriods[7], 5);
    EXPECT_EQ(kLfoPmSteps[4][7], 4);
    EXPECT_EQ(kLfoPmSteps[7][7], 6);
    EXPECT_EQ(kSpecialFnumSlot[0], 1);
    EXPECT_EQ(kSpecialFnumSlot[1], 0);
    EXPECT_EQ(kSpecialFnumSlot[2], 2);
}

// Key-on map, port maps and the mixed records of each variant name the same
// channel records, so every channel is keyed, programmed and mixed as one.
TEST(FmConstTables, ChannelMapsAgreeWithTheUsedRecords) {
    for (uint32_t v = 0; v < 5; ++v) {
        const FmChannelRecords& used = fmChannelRecords(v);
        std::set<int> mixed(used.records, used.records + used.count);
        std::set<int> keyed, programmed;
        for (int d = 0; d < 8; ++d)
            if (kKeyOnChannelMap[v][d] >= 0) keyed.insert(kKeyOnChannelMap[v][d]);
        for (int port = 0; port < 2; ++port)
            for (int g = 0; g < 4; ++g)
                if (kPortChannelMap[v][port][g] >= 0)
                    programmed.insert(kPortChannelMap[v][port][g]);
        EXPECT_EQ(mixed.size(), used.count) << v;
        EXPECT_EQ(keyed, mixed) << v;
        EXPECT_EQ(programmed, mixed) << v;
        EXPECT_TRUE(mixed.count(kFmChannel3Record)) << v;
    }
    EXPECT_EQ(fmChannelRecords(7).count, 0);
}

TEST(FmConstTables, Ym2610UsesRecordsOneTwoFourFive) {
    const FmChannelRecords& r = fmChannelRecords(2);
    ASSERT_EQ(r.count, 4);
    EXPECT_EQ(r.records[0], 1);
    EXPECT_EQ(r.records[1], 2);
    EXPECT_EQ(r.records[2], 4);
    EXPECT_EQ(r.records[3], 5);
    // Key-on codes 1, 2, 5, 6 and register groups 1, 2 of each port.
    EXPECT_EQ(kKeyOnChannelMap[2][1], 1);
    EXPECT_EQ(kKeyOnChannelMap[2][2], 2);
    EXPECT_EQ(kKeyOnChannelMap[2][5], 4);
    EXPECT_EQ(kKeyOnChannelMap[2][6], 5);
    EXPECT_EQ(kPortChannelMap[2][0][1], 1);
    EXPECT_EQ(kPortChannelMap[2][1][2], 5);
    EXPECT_EQ(kPortChannelMap[2][0][0], -1);
}

} // namespace
