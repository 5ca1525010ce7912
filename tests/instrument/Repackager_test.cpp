// The re-blocking stage between a source at one rate and a host at another:
// frames come out continuous whatever the pull sizes, the source is never
// asked for more than the buffers hold, and a provider that makes no
// progress ends the pull with silence instead of a hang.
#include "instrument/Repackager.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Counts frames: sample n of channel c is n + 1000 c.
struct CountingSource : SRCSubRenderer<float> {
    void renderSub(float** buffers, uint64_t frames) override {
        largest = std::max(largest, frames);
        for (uint64_t i = 0; i < frames; ++i) {
            buffers[0][i] = float(next + i);
            buffers[1][i] = float(next + i + 1000);
        }
        next += frames;
    }
    uint64_t next = 0;
    uint64_t largest = 0;
};

// Keeps every `step`-th input frame; consumes in whole steps. With `stuck`
// it consumes and produces nothing.
struct StepProvider : Provider<float> {
    explicit StepProvider(uint64_t step, bool stuck = false) : step(step), stuck(stuck) {}
    uint64_t process(const float* const* in, float* const* out, uint64_t& inFrames,
                     uint64_t& outFrames) override {
        if (stuck) return inFrames = outFrames = 0;
        const uint64_t n = std::min(inFrames / step, outFrames);
        for (uint64_t c = 0; c < 2; ++c)
            for (uint64_t i = 0; i < n; ++i) out[c][i] = in[c][i * step];
        inFrames = n * step;
        outFrames = n;
        return inFrames;
    }
    uint64_t inputNeeded(uint64_t outFrames) override {
        return std::max<uint64_t>(1, outFrames * step);
    }
    void reset() override {}
    int64_t inputLatency() override { return 0; }
    int64_t outputLatency() override { return 0; }
    uint64_t step;
    bool stuck;
};

std::vector<float> pull(Repackager<float>& r, uint64_t frames,
                        std::vector<float>* right = nullptr) {
    std::vector<float> l(frames, -1.0f), rr(frames, -1.0f);
    float* out[2] = {l.data(), rr.data()};
    r.pull(out, frames);
    if (right) *right = rr;
    return l;
}

TEST(Repackager, FramesAreContinuousAcrossPullsLargerThanTheBuffers) {
    CountingSource source;
    StepProvider provider(3);
    Repackager<float> r;
    ASSERT_TRUE(r.setUp(64, 2));
    r.wire(&provider, &source);
    std::vector<float> all;
    for (uint64_t n : {5u, 200u, 1u, 33u, 1000u}) {
        std::vector<float> right;
        const auto got = pull(r, n, &right);
        for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(right[i], got[i] + 1000.0f);
        all.insert(all.end(), got.begin(), got.end());
    }
    for (size_t i = 0; i < all.size(); ++i) ASSERT_EQ(all[i], float(3 * i)) << i;
    EXPECT_LE(source.largest, 64u);
}

TEST(Repackager, ARatioBeyondTheBuffersStillFits) {
    CountingSource source;
    StepProvider provider(100); // one output frame needs more than the buffer
    Repackager<float> r;
    ASSERT_TRUE(r.setUp(64, 2));
    r.wire(&provider, &source);
    const auto got = pull(r, 4);
    EXPECT_LE(source.largest, 64u);
    for (float v : got) EXPECT_EQ(v, 0.0f); // no progress possible: silence
}

TEST(Repackager, NoProgressOrNoProviderGivesSilence) {
    CountingSource source;
    StepProvider stuck(1, true);
    Repackager<float> r;
    ASSERT_TRUE(r.setUp(64, 2));
    r.wire(&stuck, &source);
    for (float v : pull(r, 300)) EXPECT_EQ(v, 0.0f);
    r.wire(nullptr, &source);
    for (float v : pull(r, 10)) EXPECT_EQ(v, 0.0f);
    Repackager<float> unset;
    EXPECT_FALSE(unset.setUp(0, 2));
    EXPECT_FALSE(unset.setUp(64, 5));
    unset.wire(&stuck, &source);
    float* none[2] = {nullptr, nullptr};
    EXPECT_FALSE(unset.pull(none, 10));
}

TEST(Repackager, ClearForgetsKeptFrames) {
    CountingSource source;
    StepProvider provider(2);
    Repackager<float> r;
    ASSERT_TRUE(r.setUp(16, 2));
    r.wire(&provider, &source);
    pull(r, 7);
    r.clear();
    EXPECT_EQ(r.keptInputFrames(), 0u);
    const uint64_t start = source.next; // nothing kept: fresh frames
    EXPECT_EQ(pull(r, 1)[0], float(start));
}

} // namespace
