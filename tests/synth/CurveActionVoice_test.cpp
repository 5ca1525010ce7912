// The curve sequencer voice: the default envelope of a fresh curve block
// measured over time, jumps, bipolar output, tick lengths, and blocks that
// are empty, short or filled with rubbish.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "synth/AutomSlot.h"
#include "synth/CurveActionVoice.h"
#include "synth/ModAction.h"
#include "synth/ModMatrix.h"
#include "synth/SynthStub.h"

namespace {

struct Segment {
    float time, level, curvature;
    uint8_t type;
};

std::vector<uint8_t> curveBlock(const std::vector<Segment>& segments) {
    std::vector<uint8_t> b(VSX::CurveBlock::kSize, 0);
    b[0] = 0x65;
    b[1] = 0xC6;
    const uint32_t n = static_cast<uint32_t>(segments.size());
    std::memcpy(&b[32], &n, 4);
    for (size_t i = 0; i < segments.size(); ++i) {
        uint8_t* p = &b[36 + 16 * i];
        std::memcpy(p, &segments[i].time, 4);
        std::memcpy(p + 4, &segments[i].level, 4);
        std::memcpy(p + 8, &segments[i].curvature, 4);
        p[12] = segments[i].type;
    }
    return b;
}

// One curve voice of part 0 at 120 BPM (a step of 0.125 s stretches curve
// times by 0.125 / 0.12).
struct Rig {
    explicit Rig(std::vector<uint8_t> data, bool bipolar = false) : block(std::move(data)) {
        slot.initAutomSlotParams(0, nullptr);
        action = std::make_unique<VSX::ModAction>(&slot, &slot.lanes[0], block.data(), block.size(),
                                                  0, 1, bipolar, &sync, nullptr);
        voice = static_cast<VSX::CurveActionVoice*>(action->getVoice(0));
    }
    // Runs ticks until `until` samples have passed; the value at that time.
    float runTo(uint64_t until) {
        while (now < until) now += voice->onQuantum(48000.0);
        return voice->value;
    }

    VSX::AutomSlot slot;
    testsupport::FixedSync sync;
    std::vector<uint8_t> block;
    std::unique_ptr<VSX::ModAction> action;
    VSX::CurveActionVoice* voice = nullptr;
    uint64_t now = 0;
};

TEST(CurveActionVoice, DefaultEnvelope) {
    std::vector<uint8_t> block(VSX::CurveBlock::kSize, 0);
    block[12] = 1; // asks for the default curve
    VSX::resetCurveBlock(block.data(), block.size());
    Rig r(block);
    ASSERT_NE(r.voice, nullptr);
    r.voice->start();
    EXPECT_EQ(r.voice->value, 0.0f);
    // Attack 0.4 x 0.125/0.12 s = 20000 samples to 1.0, a decay of 15000
    // samples to 0.6, a hold of 15000, a release of 50000 to 0.
    struct Point {
        uint64_t at;
        float value;
        float tolerance;
    };
    const Point points[] = {
        {10001, 0.5f, 0.01f},  {20001, 1.0f, 0.001f}, {27000, 0.62f, 0.05f},
        {40000, 0.6f, 0.001f}, {75000, 0.05f, 0.05f}, {150000, 0.0f, 0.001f},
    };
    for (const Point& p : points) {
        SCOPED_TRACE(p.at);
        EXPECT_NEAR(r.runTo(p.at), p.value, p.tolerance);
    }
    // A chain at rest on its last segment ticks at its normal pace.
    const uint64_t before = r.now;
    r.runTo(r.now + 48000);
    EXPECT_LT(r.now - before, 48000u + 1000u);
    EXPECT_GE(r.voice->onQuantum(48000.0), 200u);
}

TEST(CurveActionVoice, JumpsBipolarAndTicks) {
    // A segment of time 0 jumps to its target; bipolar output is (level - 0.5) x 2.
    Rig jump(curveBlock({{0, 0.75f, 0, 0xFE}, {0, 0.25f, 0, 0xFF}, {10, 0.25f, 0, 0xFE}}), true);
    jump.voice->start();
    EXPECT_FLOAT_EQ(jump.voice->value, 0.5f);
    jump.voice->onQuantum(48000.0);
    jump.voice->onQuantum(48000.0);
    EXPECT_FLOAT_EQ(jump.voice->value, -0.5f);

    // Ticks are 1/240 s with the fraction carried: 183.75 samples at 44.1 kHz.
    Rig hold(curveBlock({{100, 0.5f, 0, 0xFE}}));
    hold.voice->start();
    hold.voice->onQuantum(44100.0); // enters the long hold
    uint64_t total = 0;
    for (int i = 0; i < 240; ++i) total += hold.voice->onQuantum(44100.0);
    EXPECT_EQ(total, 44100u);
}

TEST(CurveActionVoice, EmptyAndDamagedBlocks) {
    struct Case {
        const char* name;
        std::vector<uint8_t> block;
        bool bipolar;
        bool checkStart;
        float startValue;
    };
    std::vector<uint8_t> rubbish(VSX::CurveBlock::kSize);
    for (size_t i = 0; i < rubbish.size(); ++i) rubbish[i] = static_cast<uint8_t>(i * 37 + 11);
    rubbish[0] = 0x65;
    rubbish[1] = 0xC6;
    rubbish[2] = rubbish[3] = 0;
    std::memset(&rubbish[32], 0xFF, 4); // 4294967295 segments
    const float inf = INFINITY, nan = NAN;
    std::vector<uint8_t> nonFinite = curveBlock(
        {{nan, inf, nan, 10}, {inf, nan, -inf, 11}, {-inf, 2, 5, 10}, {1e30f, -5, 0, 2}});
    std::vector<uint8_t> shortBlock = curveBlock({{0, 1, 0, 0xFF}});
    shortBlock.resize(40); // the count says 1, the block holds none
    const Case cases[] = {
        {"no segments", curveBlock({}), false, true, 0.0f},
        {"no segments, bipolar", curveBlock({}), true, true, -1.0f},
        {"rubbish", rubbish, false, false, 0.0f},
        {"non-finite numbers", nonFinite, false, true, 0.0f},
        {"short block", shortBlock, true, true, -1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r(c.block, c.bipolar);
        ASSERT_NE(r.voice, nullptr);
        EXPECT_LE(r.voice->segmentCount(), VSX::CurveBlock::kMaxSegments);
        r.voice->start();
        if (c.checkStart) {
            EXPECT_EQ(r.voice->value, c.startValue);
        }
        for (int i = 0; i < 3000; ++i) {
            ASSERT_GE(r.voice->onQuantum(48000.0), 1u);
            ASSERT_TRUE(std::isfinite(r.voice->value));
            ASSERT_GE(r.voice->value, c.bipolar ? -1.0f : 0.0f);
            ASSERT_LE(r.voice->value, 1.0f);
        }
    }
}

TEST(CurveActionVoice, QuantisedRender) {
    Rig r(curveBlock({{1, 1, 0, 11}}));
    r.voice->segment.time = 1.0f;
    r.voice->segment.level = 1.0f;
    r.voice->segment.type = 11;
    r.voice->setUpSegment(0.0, 48000.0, false);
    std::vector<float> out(48000);
    r.voice->renderSegment(out.data(), out.size());
    for (float v : out) ASSERT_FLOAT_EQ(std::round(v * 15.0f), v * 15.0f);
    EXPECT_FLOAT_EQ(out.back(), 1.0f);
}

} // namespace
