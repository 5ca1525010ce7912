#include "instrument/PatchRecord.h"

#include <cstring>

#include <gtest/gtest.h>

#include "vantor/PlatformTools.h"

using P = PatchRecord;

namespace {

// A channel's register image: operator k at base + (0, 8, 4, 12)[k].
struct Image {
    std::array<uint8_t, 256> r{};
    void op(int k, uint8_t base, uint8_t value) {
        static constexpr int kOffset[4] = {0, 8, 4, 12};
        r[base + kOffset[k]] = value;
    }
};

} // namespace

TEST(PatchRecord, CaptureFromRegistersPinsOperatorOrder) {
    Image img;
    img.r[0xB0] = (5 << 3) | 4;
    img.r[0xB4] = 0xC0 | (2 << 4) | 3;
    static constexpr uint8_t kDetune[4] = {1, 5, 7, 3}; // +1, -1, -3, +3
    for (int k = 0; k < 4; ++k) {
        img.op(k, 0x30, uint8_t(kDetune[k] << 4 | (k + 1)));
        img.op(k, 0x40, uint8_t(k == 1 || k == 3 ? 0 : 20 + k)); // carriers loud
        img.op(k, 0x50, uint8_t(k << 6 | (31 - k)));
        img.op(k, 0x60, uint8_t(0x80 | (10 + k)));
        img.op(k, 0x70, uint8_t(3 + k));
        img.op(k, 0x80, uint8_t((2 + k) << 4 | (7 + k)));
        img.op(k, 0x90, uint8_t(k == 2 ? 9 : 5));
    }
    PatchRecord rec;
    patchFromRegisters(rec, img.r);
    EXPECT_EQ(rec.words[P::kAlgorithm], 4);
    EXPECT_EQ(rec.words[P::kFeedback], 5);
    EXPECT_EQ(rec.words[P::kTremoloDepth], 2);
    EXPECT_EQ(rec.words[P::kVibrato], 3);
    static constexpr int kDetuneValue[4] = {1, -1, -3, 3};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(rec.op(k, P::kMult), k + 1);
        EXPECT_EQ(rec.op(k, P::kDetune), kDetuneValue[k]);
        EXPECT_EQ(rec.op(k, P::kLevel), k == 1 || k == 3 ? 127 : 107 - k);
        EXPECT_EQ(rec.op(k, P::kKsRate), k);
        EXPECT_EQ(rec.op(k, P::kAttack), k);
        EXPECT_EQ(rec.op(k, P::kDecay), 21 - k);
        EXPECT_EQ(rec.op(k, P::kTremolo), 0);
        EXPECT_EQ(rec.op(k, P::kDecay2), 28 - k);
        EXPECT_EQ(rec.op(k, P::kSustain), 13 - k);
        EXPECT_EQ(rec.op(k, P::kRelease), 8 - k);
        EXPECT_EQ(rec.op(k, P::kSsg), k == 2 ? 2 : 0);
        EXPECT_EQ(rec.op(k, P::kVelocity), k == 1 || k == 3 ? 4 : 0);
        EXPECT_EQ(rec.op(k, P::kKsLevel), 0);
    }
}

// Quiet captured carriers are raised back towards full level.
TEST(PatchRecord, CaptureBoostsQuietCarriers) {
    struct Case {
        int algorithm;
        std::array<uint8_t, 4> tl;
        std::array<int, 4> levels;
    };
    const Case cases[] = {
        {7, {0, 0, 0, 0}, {127, 127, 127, 127}},   // sum 4 x 4096: no boost
        {0, {0, 0, 0, 0}, {127, 127, 127, 127}},   // one full carrier: 4096
        {0, {60, 50, 10, 40}, {67, 77, 117, 127}}, // carrier at TL 40 regains 40
        {0, {60, 50, 10, 20}, {67, 77, 117, 127}}, // TL 20 regains 20
        // Two carriers: 320 + 768 = 1088, one doubling short of 2048: +16.
        {4, {60, 30, 10, 20}, {67, 113, 117, 123}},
    };
    for (const Case& c : cases) {
        Image img;
        img.r[0xB0] = uint8_t(c.algorithm);
        for (int k = 0; k < 4; ++k) img.op(k, 0x40, c.tl[k]);
        PatchRecord rec;
        patchFromRegisters(rec, img.r);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(rec.op(k, P::kLevel), c.levels[k]) << k;
    }
}

TEST(PatchRecord, RandomPatchesStayInRange) {
    for (uint32_t seed = 1; seed <= 300; ++seed) {
        Psrand(seed);
        PatchRecord rec;
        randomizePatch(rec);
        for (int w = 0; w < 68; ++w) {
            if (w < 64 && (w & 15) >= 13) continue;
            EXPECT_GE(rec.words[w], P::minimumOf(w)) << seed << " " << w;
            EXPECT_LE(rec.words[w], P::maximumOf(w)) << seed << " " << w;
        }
        EXPECT_LE(rec.words[P::kVibrato], 3);
        const uint8_t carriers = rec.carriers();
        for (int k = 0; k < 4; ++k) {
            const bool carrier = (carriers >> k) & 1;
            EXPECT_EQ(rec.op(k, P::kVelocity), carrier ? 4 : 0);
            EXPECT_GE(rec.op(k, P::kLevel), carrier ? 120 : 64);
        }
    }
    for (int32_t n : {-3, 0, 1, 7}) {
        const int32_t v = randomBelow(n);
        EXPECT_GE(v, 0);
        EXPECT_LT(v, std::max(n, 1));
    }
}

TEST(PatchRecord, CopyTakesParameterWordsOnly) {
    PatchRecord source, target;
    for (int w = 0; w < 128; ++w) source.words[w] = w + 1, target.words[w] = -1;
    copyPatch(target, source);
    for (int w = 0; w < 128; ++w) EXPECT_EQ(target.words[w], w <= 68 ? w + 1 : -1) << w;
}
