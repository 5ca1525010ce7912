// The YM2612's spread renders: each channel's slots within the 21- and 9-slot
// frames, frames cut by block boundaries, and any cutting of a stretch into
// calls against the per-sample model.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "emulators/FmChannelRender.h"
#include "emulators/FmRandomSession.h"
#include "emulators/FmReferenceModel.h"
#include "emulators/FmSpread.h"
#include "emulators/OPN2_Emu.h"

namespace {

// Slots of channels 1-6 (second slot: -1 when a value takes one slot).
struct Slots {
    int first[6];
    int width;
};
const Slots kSlots21 = {{0, 10, 7, 17, 3, 14}, 2};
const Slots kSlots9 = {{0, 4, 3, 7, 1, 6}, 1};

void render(OPN2_Emu& chip, uint64_t n, int32_t* l, int32_t* r, uint64_t frames,
            const int16_t* curve, uint32_t mode) {
    int32_t* out[2] = {l, r};
    if (n == 21)
        chip.renderSpread21(out, frames, curve, mode);
    else
        chip.renderSpread9(out, frames, curve, mode);
}

std::vector<int16_t> testCurve() {
    std::vector<int16_t> c(512);
    for (int i = 0; i < 512; ++i) c[i] = static_cast<int16_t>((i - 256) * 60 + 7);
    return c;
}

// Renders `events` (a session of `samples` chip samples) through
// renderSpread in random pieces of up to `maxPiece` chip samples (cut at the
// frames where events apply) and compares with the per-sample model's channel
// values placed in their slots. After every `checkEvery`-th piece (0: only at
// the end) the chip state must also be the model's at the same sample.
void checkSpread(uint64_t n, uint32_t mode, const std::vector<fmsession::Event>& events,
                 uint64_t samples, uint64_t maxPiece, uint32_t seed, uint32_t checkEvery = 0) {
    const std::vector<int16_t> curve = testCurve();
    const Slots& slots = n == 21 ? kSlots21 : kSlots9;
    OPN2_Emu chip, model;
    chip.reset();
    model.reset();
    const uint64_t total = samples * n;
    std::vector<int32_t> l(total, 1), r(total, 1), el(total, 1), er(total, 1);
    size_t me = 0;
    uint64_t modelAt = 0;
    auto stepModel = [&](uint64_t to) {
        for (; modelAt < to; ++modelAt) {
            const uint64_t t = modelAt;
            for (; me < events.size() && events[me].at == t; ++me)
                fmsession::apply(model, events[me]);
            const fmref::Sample s = fmref::step(model.state(), mode, curve.data());
            for (int c = 0; c < 6; ++c) {
                for (int w = 0; w < slots.width; ++w) {
                    el[t * n + slots.first[c] + w] += s.left[c];
                    er[t * n + slots.first[c] + w] += s.right[c];
                }
            }
        }
    };
    std::mt19937 rng(seed + 100);
    size_t e = 0;
    uint64_t pos = 0;
    for (uint32_t piece = 1; pos < total; ++piece) {
        for (; e < events.size() && events[e].at * n == pos; ++e) fmsession::apply(chip, events[e]);
        const uint64_t next = e < events.size() ? events[e].at * n : total;
        const uint64_t len = std::min<uint64_t>(
            next - pos, std::uniform_int_distribution<int>(0, static_cast<int>(maxPiece * n))(rng));
        render(chip, n, &l[pos], &r[pos], len, curve.data(), mode);
        pos += len;
        if (checkEvery && piece % checkEvery == 0) {
            stepModel((pos + n - 1) / n); // the frames begun so far
            ASSERT_EQ(fmref::diffState(chip.state(), model.state()), "") << "at " << pos;
        }
    }
    stepModel(samples);
    for (uint64_t i = 0; i < total; ++i) {
        ASSERT_EQ(l[i], el[i]) << "left " << i;
        ASSERT_EQ(r[i], er[i]) << "right " << i;
    }
    EXPECT_EQ(fmref::diffState(chip.state(), model.state()), "");
}

// Frame length, output mode, session seed, longest piece in chip samples
// (short pieces cut most frames; long ones span many frames per call).
class SpreadCuts
    : public ::testing::TestWithParam<std::tuple<uint64_t, uint32_t, uint32_t, uint64_t>> {};

TEST_P(SpreadCuts, RandomPiecesMatchTheModelInTheirSlots) {
    const auto [n, mode, seed, maxPiece] = GetParam();
    checkSpread(n, mode, fmsession::Builder(seed).session(5000), 5000, maxPiece, seed);
}

INSTANTIATE_TEST_SUITE_P(
    Sessions, SpreadCuts,
    ::testing::Values(std::make_tuple(21ull, 0u, 21u, 4ull), std::make_tuple(21ull, 1u, 22u, 4ull),
                      std::make_tuple(21ull, 2u, 23u, 4ull), std::make_tuple(21ull, 3u, 24u, 4ull),
                      std::make_tuple(9ull, 0u, 25u, 4ull), std::make_tuple(9ull, 1u, 26u, 4ull),
                      std::make_tuple(9ull, 2u, 27u, 4ull), std::make_tuple(9ull, 3u, 28u, 4ull),
                      std::make_tuple(21ull, 0u, 29u, 600ull),
                      std::make_tuple(9ull, 3u, 30u, 600ull)));

// A DAC byte every few samples cuts the renders into pieces of a few frames
// while the other events stay sparse, as music that streams samples does:
// the output and, every so often, the state must still be the model's.
TEST(FmSpread, DacStreamCutAtEveryByte) {
    const struct {
        uint64_t n;
        uint32_t mode, seed, checkEvery;
    } cases[] = {{21, 0, 41, 37}, {21, 1, 42, 0}, {9, 2, 43, 53}, {9, 3, 44, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "frame " << c.n << " mode " << c.mode);
        const auto events = fmsession::Builder(c.seed).dacStream(6000);
        checkSpread(c.n, c.mode, events, 6000, 1000, c.seed, c.checkEvery);
    }
}

// One channel sounding (algorithm 7, all operators loud), panned both ways.
void soloChannel(OPN2_Emu& chip, int channel) {
    chip.reset();
    const int port = channel / 3, g = channel % 3;
    for (int op = 0; op < 4; ++op) {
        chip.write(0x30 + g + 4 * op, 0x01, port);
        chip.write(0x40 + g + 4 * op, 0x00, port);
        chip.write(0x50 + g + 4 * op, 0x1F, port);
    }
    chip.write(0xB0 + g, 0x07, port);
    chip.write(0xA4 + g, 0x22, port);
    chip.write(0xA0 + g, 0x69, port);
    chip.write(0x28, 0xF0 | (g + 4 * port), 0);
    // A few samples so that the operators are past their key-on delay.
    std::vector<int32_t> scratch(42);
    int32_t* out[2] = {scratch.data(), scratch.data() + 21};
    chip.renderSpread21(out, 21, nullptr, 3);
}

TEST(FmSpread, EachChannelLandsInItsSlots) {
    for (uint64_t n : {21ull, 9ull}) {
        const Slots& slots = n == 21 ? kSlots21 : kSlots9;
        for (int c = 0; c < 6; ++c) {
            OPN2_Emu chip;
            soloChannel(chip, c);
            std::vector<int32_t> l(4 * n), r(4 * n);
            render(chip, n, l.data(), r.data(), 4 * n, nullptr, 3);
            for (uint64_t i = 0; i < 4 * n; ++i) {
                const int slot = static_cast<int>(i % n);
                const bool mine = slot >= slots.first[c] && slot < slots.first[c] + slots.width;
                EXPECT_EQ(l[i] != 0, mine) << "N " << n << " channel " << c + 1 << " pos " << i;
                EXPECT_EQ(l[i], r[i]);
            }
        }
    }
}

TEST(FmSpread, FrameCutByTheBlockIsFinishedFromTheHeldFrame) {
    // N = 21: a block of 10 computes one chip sample and emits slots 0-9; a
    // block of 11 emits slots 10-20 without computing another.
    OPN2_Emu chip;
    soloChannel(chip, 1); // channel 2: slots 10 and 11
    std::vector<int32_t> l(21), r(21);
    render(chip, 21, l.data(), r.data(), 10, nullptr, 3);
    EXPECT_EQ(chip.spreadPhase, 10u);
    const uint16_t counter = chip.state().shared.egCounter;
    render(chip, 21, l.data() + 10, r.data() + 10, 11, nullptr, 3);
    EXPECT_EQ(chip.spreadPhase, 0u);
    EXPECT_EQ(chip.state().shared.egCounter, counter);
    EXPECT_NE(l[10], 0);
    EXPECT_EQ(l[10], l[11]);
    EXPECT_EQ(l[10], chip.heldLeft[1]);
}

TEST(FmSpread, NineSlotsFromPhaseFive) {
    // Indices 0-3 finish the held frame (channel 6 at 1, channel 4 at 2),
    // 4-12 are one whole frame, a new frame starts at 13; phase ends at 7.
    OPN2_Emu chip;
    chip.reset();
    chip.write(0x2B, 0x80, 0); // DAC on channel 6: a constant that is easy to find
    chip.write(0x2A, 0xC0, 0);
    std::vector<int32_t> l(25), r(25);
    render(chip, 9, l.data(), r.data(), 5, nullptr, 3);
    EXPECT_EQ(chip.spreadPhase, 5u);
    std::fill(l.begin(), l.end(), 0);
    render(chip, 9, l.data(), r.data(), 20, nullptr, 3);
    EXPECT_EQ(chip.spreadPhase, 7u);
    const int32_t dac = 0xC0 * 32 - 4096;
    for (int i = 0; i < 25; ++i) EXPECT_EQ(l[i], (i == 1 || i == 10 || i == 19) ? dac : 0) << i;
}

TEST(FmSpread, PhaseLeftByTheOtherFormIsItsLastSlot) {
    OPN2_Emu chip;
    chip.reset();
    chip.write(0x2B, 0x80, 0);
    chip.write(0x2A, 0xFF, 0);
    std::vector<int32_t> l(40), r(40);
    render(chip, 21, l.data(), r.data(), 12, nullptr, 3);
    EXPECT_EQ(chip.spreadPhase, 12u);
    std::fill(l.begin(), l.end(), 0);
    render(chip, 9, l.data(), r.data(), 1, nullptr, 3); // slot 8 of 9: nothing
    EXPECT_EQ(chip.spreadPhase, 0u);
    EXPECT_EQ(l[0], 0);
    render(chip, 9, l.data() + 1, r.data() + 1, 9, nullptr, 3);
    EXPECT_EQ(l[1 + 6], 0xFF * 32 - 4096); // channel 6 in slot 6 of the new frame
}

TEST(FmSpread, DacInItsSlotsOnBothPaths) {
    // Whole frames and frames emitted slot by slot give the DAC the same slots.
    for (uint64_t n : {21ull, 9ull}) {
        OPN2_Emu chip;
        chip.reset();
        chip.write(0x2B, 0x80, 0);
        chip.write(0x2A, 0x10, 0);
        std::vector<int32_t> l(5 * n), r(5 * n);
        const uint64_t cuts[] = {n + 3, 2 * n, n - 3, n};
        uint64_t pos = 0;
        for (uint64_t len : cuts) {
            render(chip, n, l.data() + pos, r.data() + pos, len, nullptr, 2);
            pos += len;
        }
        const int first = n == 21 ? 14 : 6;
        for (uint64_t i = 0; i < 5 * n; ++i) {
            const int slot = static_cast<int>(i % n);
            const bool dac = slot == first || (n == 21 && slot == first + 1);
            EXPECT_EQ(l[i], dac ? 0x10 * 128 - 16384 : 0) << i;
        }
    }
}

TEST(FmSpread, ZeroFramesChangesNothing) {
    OPN2_Emu chip;
    soloChannel(chip, 0);
    std::vector<int32_t> l(5, 9), r(5, 9);
    int32_t* out[2] = {l.data(), r.data()};
    chip.renderSpread21(out, 5, nullptr, 3);
    const FmSharedState before = chip.state().shared;
    const uint64_t phase = chip.spreadPhase;
    chip.renderSpread21(out, 0, nullptr, 3);
    chip.renderSpread9(out, 0, nullptr, 3);
    EXPECT_EQ(chip.spreadPhase, phase);
    EXPECT_EQ(chip.state().shared.egCounter, before.egCounter);
    EXPECT_EQ(l[0], 9 + chip.heldLeft[0]);
}

} // namespace
