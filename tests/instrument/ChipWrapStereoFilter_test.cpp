// The rotating-state stereo filter against the plain definition: frame i
// goes through state i mod 21, whose 16-pair history (newest first) is
// multiplied with the left taps at even and the right taps at odd positions.
#include "instrument/ChipWrapStereoFilter.h"
#include "instrument/LPFilter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

using acme::ChipWrapStereoFilter;

struct Reference {
    float left[21][16] = {}, right[21][16] = {};
    unsigned index = 0;
    void process(float* l, float* r, size_t frames, const float* c) {
        for (size_t i = 0; i < frames; ++i) {
            float* hl = left[index];
            float* hr = right[index];
            for (int j = 15; j > 0; --j) {
                hl[j] = hl[j - 1];
                hr[j] = hr[j - 1];
            }
            hl[0] = l[i];
            hr[0] = r[i];
            float a = hl[0] * c[0], b = hr[0] * c[1];
            for (int j = 1; j < 16; ++j) {
                a += hl[j] * c[2 * j];
                b += hr[j] * c[2 * j + 1];
            }
            l[i] = a;
            r[i] = b;
            index = (index + 1) % 21;
        }
    }
};

// Runs the stage over `il`/`ir` cut into `pieces` (then the rest) and
// requires the same float bits, and the same low-pass states, as its steps:
// scaling, the frame-by-frame filter and the two low-pass filters in turn;
// the stage leaves its input zero.
void expectScaledStageMatchesItsSteps(std::vector<int32_t> il, std::vector<int32_t> ir,
                                      const float gains[2],
                                      const float taps[32], std::initializer_list<size_t> pieces) {
    LPFilter refLow[2], low[2];
    for (LPFilter* f : {&refLow[0], &refLow[1], &low[0], &low[1]}) {
        f->cutoff = 100.0;
        f->rate = 1118608.0;
        f->setup();
    }
    std::vector<float> el(il.size()), er(ir.size());
    for (size_t i = 0; i < il.size(); ++i) {
        el[i] = static_cast<float>(il[i]) * gains[0];
        er[i] = static_cast<float>(ir[i]) * gains[1];
    }
    Reference ref;
    ref.process(el.data(), er.data(), el.size(), taps);
    refLow[0].process(el.data(), static_cast<int32_t>(el.size()));
    refLow[1].process(er.data(), static_cast<int32_t>(er.size()));

    ChipWrapStereoFilter f;
    std::vector<float> l(il.size()), r(ir.size());
    size_t at = 0;
    for (size_t piece : pieces) {
        f.processScaled(il.data() + at, ir.data() + at, gains, l.data() + at, r.data() + at, piece,
                        taps, low, true);
        at += piece;
    }
    f.processScaled(il.data() + at, ir.data() + at, gains, l.data() + at, r.data() + at,
                    il.size() - at, taps, low, true);
    for (size_t i = 0; i < l.size(); ++i) {
        ASSERT_EQ(std::memcmp(&l[i], &el[i], sizeof(float)), 0) << i;
        ASSERT_EQ(std::memcmp(&r[i], &er[i], sizeof(float)), 0) << i;
    }
    EXPECT_EQ(low[0].state, refLow[0].state);
    EXPECT_EQ(low[1].state, refLow[1].state);
    EXPECT_EQ(std::count(il.begin(), il.end(), 0) + std::count(ir.begin(), ir.end(), 0),
              std::ptrdiff_t(il.size() + ir.size()));
}

TEST(ChipWrapStereoFilter, MatchesTheFrameByFrameDefinitionInAnyPieces) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    float taps[32];
    for (float& t : taps) t = u(rng);
    std::vector<float> l(40000), r(40000);
    for (size_t i = 0; i < l.size(); ++i) {
        l[i] = u(rng);
        r[i] = u(rng);
    }
    std::vector<float> el = l, er = r;
    Reference ref;
    ref.process(el.data(), er.data(), el.size(), taps);

    ChipWrapStereoFilter f;
    size_t at = 0;
    for (size_t piece : {1u, 5u, 20u, 21u, 22u, 300u, 8192u, 9000u}) {
        f.process(l.data() + at, r.data() + at, piece, taps);
        at += piece;
    }
    f.process(l.data() + at, r.data() + at, l.size() - at, taps);
    for (size_t i = 0; i < l.size(); ++i) {
        ASSERT_EQ(l[i], el[i]) << i;
        ASSERT_EQ(r[i], er[i]) << i;
    }
}

// The chip side's stage in one pass: the same floats as scaling the integer
// samples, filtering them and running the two low-pass filters in turn.
TEST(ChipWrapStereoFilter, ScaledStageMatchesItsStepsInAnyPieces) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::uniform_int_distribution<int32_t> samples(-300000, 300000);
    float taps[32];
    for (float& t : taps) t = u(rng);
    const float gains[2] = {1.0f / 4097.0f, 1.0f / 3.0f};
    std::vector<int32_t> il(30000), ir(30000);
    for (size_t i = 0; i < il.size(); ++i) {
        il[i] = samples(rng);
        ir[i] = samples(rng);
    }
    expectScaledStageMatchesItsSteps(il, ir, gains, taps,
                                     {3u, 8u, 21u, 1023u, 1024u, 1025u, 7u, 5000u});
}

// Input shaped as the console's chip side writes it: each chip sample's
// channels in their frames of 21 (frames 0-1 channel 1, 10-11 channel 2,
// 7-8 channel 3, 17-18 channel 4, 3-4 channel 5, 14-15 channel 6, the rest
// empty), with stretches where a second source adds to every frame. The
// stage gives the same floats with the shortcuts on as its steps do.
TEST(ChipWrapStereoFilter, ScaledStageOnChipSamplesMatchesItsSteps) {
    static const int kChannelOfFrame[21] = {1, 1, 0, 5, 5, 0, 0, 3, 3, 0, 2,
                                            2, 0, 0, 6, 6, 0, 4, 4, 0, 0};
    struct Shape {
        const char* name;
        size_t grid;              // frame of the input where a chip sample starts
        bool (*second)(size_t i); // whether the second source sounds at frame i
        float gainLeft;           // negative: empty frames hold -0.0f
    };
    const Shape shapes[] = {
        {"chip samples only", 0, [](size_t) { return false; }, 1.0f / 4097.0f},
        {"second source starts and stops", 0, [](size_t i) { return i >= 9000 && i < 9400; },
         1.0f / 4097.0f},
        // Every 17th chip sample, one frame: each of the 21 in turn.
        {"second source for one frame of a sample", 0,
         [](size_t i) { return (i / 21) % 17 == 0 && i % 21 == (i / (21 * 17)) % 21; },
         -1.0f / 3.0f},
        {"grid not where the filter started", 5, [](size_t) { return false; }, 1.0f / 4097.0f},
        {"second source at the start", 0, [](size_t i) { return i < 700; }, -1.0f / 4097.0f},
    };
    for (const Shape& shape : shapes) {
        SCOPED_TRACE(shape.name);
        std::mt19937 rng(23);
        std::uniform_real_distribution<float> u(-1.0f, 1.0f);
        std::uniform_int_distribution<int32_t> samples(-8000, 8000);
        float taps[32];
        for (float& t : taps) t = u(rng);
        const float gains[2] = {shape.gainLeft, 1.0f / 3.0f};
        std::vector<int32_t> il(30000), ir(30000);
        int32_t vl[7] = {}, vr[7] = {};
        for (size_t i = 0; i < il.size(); ++i) {
            const size_t slot = (i + 21 - shape.grid) % 21;
            if (slot == 0)
                for (int c = 1; c <= 6; ++c) {
                    vl[c] = c == 4 ? 0 : samples(rng); // channel 4 panned right only
                    vr[c] = samples(rng);
                }
            il[i] = vl[kChannelOfFrame[slot]];
            ir[i] = vr[kChannelOfFrame[slot]];
            if (shape.second(i)) {
                const int32_t noise = (i / 7) % 2 ? 900 : -900;
                il[i] += noise;
                ir[i] += noise;
            }
        }
        expectScaledStageMatchesItsSteps(il, ir, gains, taps,
                                         {3u, 8u, 21u, 1023u, 1024u, 1025u, 7u, 5000u, 20u, 4000u});
    }
}

// Chip samples handed over as rows (one value per channel and side) give
// the same floats, and low-pass states, as their frames through the
// frame-by-frame steps: pieces of every length from 1 to 50 start and end at
// every frame of a sample, now and then one given as frames in between.
TEST(ChipWrapStereoFilter, RowsGiveWhatTheirFramesGive) {
    // Which value of its row each of a chip sample's 21 frames holds (6: none).
    static const int kSlotOfFrame[21] = {0, 0, 6, 4, 4, 6, 6, 2, 2, 6, 1,
                                         1, 6, 6, 5, 5, 6, 3, 3, 6, 6};
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    std::uniform_int_distribution<int32_t> values(-8000, 8000);
    float taps[32];
    for (float& t : taps) t = u(rng);
    const float gains[2] = {1.0f / 4097.0f, -1.0f / 3.0f};
    const size_t samples = 2400, frames = 21 * samples;
    std::vector<int32_t> rowData(samples * 16, 0);
    const auto rows = reinterpret_cast<const int32_t(*)[2][8]>(rowData.data());
    for (size_t k = 0; k < samples; ++k)
        for (size_t side = 0; side < 2; ++side)
            for (size_t slot = 0; slot < 6; ++slot) rowData[16 * k + 8 * side + slot] = values(rng);
    std::vector<int32_t> il(frames), ir(frames);
    for (size_t i = 0; i < frames; ++i) {
        il[i] = rows[i / 21][0][kSlotOfFrame[i % 21]];
        ir[i] = rows[i / 21][1][kSlotOfFrame[i % 21]];
    }

    LPFilter refLow[2], low[2];
    for (LPFilter* f : {&refLow[0], &refLow[1], &low[0], &low[1]}) {
        f->cutoff = 100.0;
        f->rate = 1118608.0;
        f->setup();
    }
    std::vector<float> el(frames), er(frames);
    for (size_t i = 0; i < frames; ++i) {
        el[i] = static_cast<float>(il[i]) * gains[0];
        er[i] = static_cast<float>(ir[i]) * gains[1];
    }
    Reference ref;
    ref.process(el.data(), er.data(), frames, taps);
    refLow[0].process(el.data(), static_cast<int32_t>(frames));
    refLow[1].process(er.data(), static_cast<int32_t>(frames));

    ChipWrapStereoFilter f;
    std::vector<float> l(frames), r(frames);
    size_t at = 0;
    auto asFrames = [&](size_t n) {
        f.processScaled(il.data() + at, ir.data() + at, gains, l.data() + at, r.data() + at, n,
                        taps, low, true);
        at += n;
    };
    // The rows of the samples starting in the piece, and the row of the
    // sample the piece starts in.
    auto asRows = [&](size_t n) {
        const size_t first = at % 21 == 0 ? 0 : 21 - at % 21;
        const size_t count = n > first ? (n - first + 20) / 21 : 0;
        const int32_t(*pending)[8] = at % 21 != 0 ? rows[at / 21] : nullptr;
        ASSERT_EQ(f.samplePhase(), at % 21);
        ASSERT_TRUE(f.processRows(rows + (at + first) / 21, count, pending, gains, l.data() + at,
                                  r.data() + at, n, taps, low))
            << "at " << at << ", " << n << " frames";
        at += n;
    };
    asFrames(21 * 17 + 5); // the filter's reach holds the layout
    std::uniform_int_distribution<size_t> length(1, 50);
    while (at + 50 < frames) {
        const size_t n = length(rng);
        if (rng() % 16 == 0)
            asFrames(n);
        else
            asRows(n);
        if (HasFatalFailure()) return;
    }
    asFrames(frames - at);
    for (size_t i = 0; i < frames; ++i) {
        ASSERT_EQ(std::memcmp(&l[i], &el[i], sizeof(float)), 0) << i;
        ASSERT_EQ(std::memcmp(&r[i], &er[i], sizeof(float)), 0) << i;
    }
    EXPECT_EQ(low[0].state, refLow[0].state);
    EXPECT_EQ(low[1].state, refLow[1].state);
}

TEST(ChipWrapStereoFilter, ClearForgetsThePast) {
    float taps[32] = {};
    for (int j = 0; j < 16; ++j) taps[2 * j] = taps[2 * j + 1] = 1.0f;
    ChipWrapStereoFilter f;
    std::vector<float> l(400, 1.0f), r(400, 1.0f);
    f.process(l.data(), r.data(), l.size(), taps);
    f.clear();
    std::vector<float> z(400, 0.0f), z2(400, 0.0f);
    f.process(z.data(), z2.data(), z.size(), taps);
    for (size_t i = 0; i < z.size(); ++i) ASSERT_EQ(z[i], 0.0f) << i;
}

TEST(ChipWrapStereoFilter, DefaultBlockPassesTheSignal) {
    const float taps[32] = {1.0f, 1.0f};
    std::vector<float> l = {0.5f, -0.25f, 1.0f}, r = {0.1f, 0.2f, 0.3f};
    const auto l0 = l, r0 = r;
    ChipWrapStereoFilter f;
    f.process(l.data(), r.data(), l.size(), taps);
    EXPECT_EQ(l, l0);
    EXPECT_EQ(r, r0);
}

} // namespace
