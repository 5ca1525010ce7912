// Rendering onto 21- and 9-position grids (one chip sample per frame, in the
// frame's first slot): positions and frame phase across blocks, the scale of
// the per-sample path, and any cutting of a stretch into blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "emulators/FmRandomSession.h"
#include "emulators/FmTypes.h"
#include "emulators/OPN2_Emu.h"

namespace {

constexpr int32_t kSentinel = 5;

// Renders `blocks` through the framed entry of chip A and checks every
// position against chip B rendered at its own rate: sample k (times 8, or 1
// for the YM2612) at position k x N, nothing elsewhere. Events of the session
// apply before the frame of their chip sample begins.
void checkFramed(uint32_t variant, uint64_t n, const std::vector<uint64_t>& blocks,
                 const std::vector<fmsession::Event>& events) {
    OPNX_Emu a(variant), b(variant);
    a.reset();
    b.reset();
    uint64_t total = 0;
    for (uint64_t len : blocks) total += len;
    std::vector<int32_t> al(total, kSentinel), ar(total, kSentinel);
    std::vector<int32_t> el(total, kSentinel), er(total, kSentinel);
    const int32_t scale = variant == kFmYM2612 ? 1 : 8;

    // Expected: B at its own rate.
    size_t e = 0;
    for (uint64_t k = 0; k * n < total; ++k) {
        for (; e < events.size() && events[e].at == k; ++e) fmsession::apply(b, events[e]);
        int32_t l = 0, r = 0;
        int32_t* out[2] = {&l, &r};
        b.render32(out, 1);
        el[k * n] += l * scale;
        er[k * n] += r * scale;
    }
    // A in the given blocks, cut further at the frame starts where events apply.
    e = 0;
    uint64_t pos = 0;
    for (uint64_t len : blocks) {
        const uint64_t end = pos + len;
        while (pos < end) {
            for (; e < events.size() && events[e].at * n == pos; ++e)
                fmsession::apply(a, events[e]);
            uint64_t stop = end;
            if (e < events.size()) stop = std::min(stop, events[e].at * n);
            if (stop == pos) stop = end; // events further on apply later
            int32_t* out[2] = {&al[pos], &ar[pos]};
            if (n == 21)
                a.renderFramed21(out, stop - pos);
            else
                a.renderFramed9(out, stop - pos);
            pos = stop;
        }
        ASSERT_EQ(a.framePhase(), pos % n);
    }
    EXPECT_TRUE(total == 0 ||
                std::any_of(el.begin(), el.end(), [](int32_t x) { return x != kSentinel; }));
    for (uint64_t i = 0; i < total; ++i) {
        ASSERT_EQ(al[i], el[i]) << "left " << i;
        ASSERT_EQ(ar[i], er[i]) << "right " << i;
    }
}

std::vector<fmsession::Event> oneNote() {
    return fmsession::Builder(3).session(1, false);
}

TEST(FmFramed, FramePhaseAcrossBlocks) {
    struct Case {
        uint64_t n;
        std::vector<uint64_t> blocks;
    };
    const Case cases[] = {
        {21, {20, 1, 1}},      // one sample at 0, none for one tick, the next at 21
        {21, {10, 32}},        // values at 0 and 21 (position 11 of the second block)
        {21, {5, 30}},         // from phase 5 the next value is 16 positions on
        {21, {21, 21, 0, 42}}, // whole frames; a block of 0 changes nothing
        {9, {10, 4, 13}},      // values at 0 and 9, then none, then 18 and 27
        {9, {9, 1, 8, 17, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        for (uint32_t v : {kFmYM2608, kFmYM2612, kFmYM2610B})
            checkFramed(v, c.n, c.blocks, oneNote());
    }
}

TEST(FmFramed, Ym2203WritesOnlyTheLeftOutput) {
    OPNX_Emu a(kFmYM2203);
    a.reset();
    a.write(0x28, 0xF0, 0); // keys S1-S4 of channel 1 (default patch is loud)
    a.write(0xA4, 0x22, 0);
    a.write(0xA0, 0x69, 0);
    std::vector<int32_t> l(210, kSentinel), r(210, kSentinel);
    int32_t* out[2] = {l.data(), r.data()};
    a.renderFramed21(out, 210);
    EXPECT_EQ(r, std::vector<int32_t>(210, kSentinel));
    checkFramed(kFmYM2203, 21, {30, 200}, oneNote());
    checkFramed(kFmYM2203, 9, {30, 200}, oneNote());
}

TEST(FmFramed, TwentyOneSlotPhaseCountsAsZeroForNineSlots) {
    OPNX_Emu a(kFmYM2608), b(kFmYM2608);
    for (OPNX_Emu* c : {&a, &b}) {
        c->reset();
        for (const auto& ev : oneNote()) fmsession::apply(*c, ev);
    }
    std::vector<int32_t> l(40), r(40);
    int32_t* out[2] = {l.data(), r.data()};
    a.renderFramed21(out, 12);
    EXPECT_EQ(a.framePhase(), 12u);
    std::vector<int32_t> l2(9), r2(9);
    int32_t* out2[2] = {l2.data(), r2.data()};
    a.renderFramed9(out2, 9); // a new frame at once
    EXPECT_EQ(a.framePhase(), 0u);
    int32_t x[2] = {}, y[2] = {};
    int32_t* own[2] = {x, y};
    b.render32(own, 2);
    EXPECT_EQ(l[0], 8 * x[0]);
    EXPECT_EQ(l2[0], 8 * x[1]);
    for (int i = 1; i < 9; ++i) EXPECT_EQ(l2[i], 0);
}

class FramedCuts : public ::testing::TestWithParam<std::tuple<uint32_t, uint64_t, uint32_t>> {};

TEST_P(FramedCuts, RandomBlocksMatchTheChipRate) {
    const auto [variant, n, seed] = GetParam();
    std::mt19937 rng(seed);
    std::vector<uint64_t> blocks;
    uint64_t total = 0;
    while (total < 6000 * n) {
        const uint64_t len =
            std::uniform_int_distribution<int>(0, 3 * static_cast<int>(n) + 40)(rng);
        blocks.push_back(len);
        total += len;
    }
    const bool dac = variant == kFmYM2612;
    checkFramed(variant, n, blocks, fmsession::Builder(seed).session(6000, dac));
}

INSTANTIATE_TEST_SUITE_P(Variants, FramedCuts,
                         ::testing::Values(std::make_tuple(kFmYM2612, 21ull, 11u),
                                           std::make_tuple(kFmYM2612, 9ull, 12u),
                                           std::make_tuple(kFmYM2608, 21ull, 13u),
                                           std::make_tuple(kFmYM2608, 9ull, 14u),
                                           std::make_tuple(kFmYM2610B, 21ull, 15u),
                                           std::make_tuple(kFmYM2610, 9ull, 16u),
                                           std::make_tuple(kFmYM2203, 9ull, 17u)));

} // namespace
