// The rotating-state stereo filter against the plain definition: frame i
// goes through state i mod 21, whose 16-pair history (newest first) is
// multiplied with the left taps at even and the right taps at odd positions.
#include "instrument/ChipWrapStereoFilter.h"

#include <gtest/gtest.h>

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
