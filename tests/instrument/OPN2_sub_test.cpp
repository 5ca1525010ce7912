#include "instrument/OPN2_sub.h"

#include <cmath>
#include <limits>
#include <set>

#include <gtest/gtest.h>

#include "InstrumentTestSupport.h"
#include "instrument/OPN2Ch3_sub.h"

using namespace insttest;
using P = PatchRecord;

namespace {

// An FM clock of 144 x 53267.04 Hz: 440 Hz is block 4, F-number 1083.
constexpr float kClock = 7670454.0f;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Four operators that differ in every field the registers carry.
PatchRecord distinctPatch() {
    PatchRecord p;
    static constexpr int kDetune[4] = {1, -1, -3, 3};
    for (int k = 0; k < 4; ++k) {
        p.op(k, P::kLevel) = 100 + k;
        p.op(k, P::kMult) = k + 1;
        p.op(k, P::kDetune) = kDetune[k];
        p.op(k, P::kAttack) = 31 - k;
        p.op(k, P::kDecay) = 20 + k;
        p.op(k, P::kSustain) = 10 + k;
        p.op(k, P::kDecay2) = 5 + k;
        p.op(k, P::kRelease) = 12 + k;
        p.op(k, P::kTremolo) = k & 1;
        p.op(k, P::kSsg) = k == 2 ? 3 : 0;
        p.op(k, P::kKsRate) = k;
    }
    p.words[P::kAlgorithm] = 4;
    p.words[P::kFeedback] = 5;
    p.words[P::kVibrato] = 3;
    p.words[P::kTremoloDepth] = 2;
    return p;
}

struct Channel {
    RecordingWriter writer;
    OPN2_shadow mirror;
    PatchRecord patch = distinctPatch();
    int32_t pan = 0;
    std::unique_ptr<OPN2_sub> sub;

    explicit Channel(uint8_t c, uint64_t unit = 3) {
        sub = std::make_unique<OPN2_sub>(&writer, unit, c, &mirror);
        sub->patch = &patch;
        sub->pan = &pan;
        sub->setClock(kClock);
    }
    uint8_t reg(uint8_t base) const {
        return mirror.get(sub->channel / 3, uint8_t(base + sub->channel % 3));
    }
    // The four TL bytes, operator blocks 0-3.
    std::array<int, 4> tl() const { return {reg(0x40), reg(0x48), reg(0x44), reg(0x4C)}; }
};

} // namespace

// A note's life on each of the six FM channels, read back from the mirror:
// the channel's port and offset, the key code, pitch and carrier level.
TEST(OPN2_sub, NoteLifecycleOnEverySixChannels) {
    static constexpr uint8_t kKeyCode[6] = {0, 1, 2, 4, 5, 6};
    for (uint8_t c = 0; c < 6; ++c) {
        SCOPED_TRACE(int(c));
        Channel ch(c);
        ch.sub->refreshAll();
        ch.sub->setAmplitude(1.0f);
        ch.sub->setFrequency(440.0f);
        ch.writer.writes.clear();
        ch.sub->noteOn(1.0f);
        EXPECT_EQ(ch.reg(0xA4), (4 << 3) | (1083 >> 8));
        EXPECT_EQ(ch.reg(0xA0), 1083 & 0xFF);
        // Retriggered: all operators off, then on.
        EXPECT_EQ(ch.writer.valuesOf(0x28),
                  (std::vector<uint8_t>{kKeyCode[c], uint8_t(0xF0 | kKeyCode[c])}));
        // Algorithm 4: blocks 1 and 3 are carriers, full velocity and
        // amplitude add nothing.
        EXPECT_EQ(ch.tl(), (std::array<int, 4>{27, 26, 25, 24}));
        for (const Write& w : ch.writer.writes) {
            EXPECT_EQ(w.unit, 3u);
            EXPECT_EQ(w.port, w.reg == 0x28 ? 0u : uint64_t(c / 3));
        }

        ch.sub->setFrequency(880.0f);
        EXPECT_EQ(ch.reg(0xA4), (5 << 3) | (1083 >> 8));
        EXPECT_EQ(ch.reg(0xA0), 1083 & 0xFF);

        ch.sub->setAmplitude(0.0f);
        EXPECT_EQ(ch.tl(), (std::array<int, 4>{27, 127, 25, 127}));

        ch.writer.writes.clear();
        ch.sub->noteOff();
        EXPECT_EQ(ch.writer.valuesOf(0x28), std::vector<uint8_t>{kKeyCode[c]});
    }
}

// Every operator block lands at its register offset (0, 8, 4, 12) with each
// field encoded as the chip wants it; channel fields in 0xB0/0xB4.
TEST(OPN2_sub, RefreshAllEncodesEveryField) {
    Channel ch(4); // port 1, offset 1
    ch.pan = -1;
    ch.sub->refreshAll();
    struct Expected {
        int k;
        uint8_t r30, r50, r60, r70, r80, r90;
    };
    // Detune +1 -> 1, -1 -> 5, -3 -> 7, +3 -> 3; SSG 3 -> 10.
    const Expected table[] = {
        {0, 0x11, 0x00, 0x0B, 0x1A, 0x53, 0x00},
        {1, 0x52, 0x41, 0x8A, 0x19, 0x42, 0x00},
        {2, 0x73, 0x82, 0x09, 0x18, 0x31, 0x0A},
        {3, 0x34, 0xC3, 0x88, 0x17, 0x20, 0x00},
    };
    static constexpr uint8_t kOffset[4] = {0, 8, 4, 12};
    for (const Expected& e : table) {
        SCOPED_TRACE(e.k);
        const uint8_t o = kOffset[e.k];
        EXPECT_EQ(ch.reg(0x30 + o), e.r30);
        EXPECT_EQ(ch.reg(0x50 + o), e.r50);
        EXPECT_EQ(ch.reg(0x60 + o), e.r60);
        EXPECT_EQ(ch.reg(0x70 + o), e.r70);
        EXPECT_EQ(ch.reg(0x80 + o), e.r80);
        EXPECT_EQ(ch.reg(0x90 + o), e.r90);
    }
    EXPECT_EQ(ch.reg(0xB0), (5 << 3) | 4);
    EXPECT_EQ(ch.reg(0xB4), 0x80 | (2 << 4) | 3);
}

// Patch values outside their ranges are clamped, not wrapped into other
// register bits.
TEST(OPN2_sub, OutOfRangeFieldsAreClamped) {
    Channel ch(0);
    for (int k = 0; k < 4; ++k) {
        ch.patch.op(k, P::kMult) = 20;
        ch.patch.op(k, P::kDetune) = -9;
        ch.patch.op(k, P::kAttack) = -5;
        ch.patch.op(k, P::kKsRate) = 6;
        ch.patch.op(k, P::kSustain) = 40;
        ch.patch.op(k, P::kRelease) = -1;
        ch.patch.op(k, P::kSsg) = 12;
        ch.patch.op(k, P::kLevel) = 300;
    }
    ch.patch.words[P::kAlgorithm] = 11;
    ch.patch.words[P::kFeedback] = -2;
    ch.sub->refreshAll();
    ch.sub->setAmplitude(1.0f);
    ch.sub->noteOn(1.0f);
    EXPECT_EQ(ch.reg(0x30), 0x7F); // detune -3, mult 15
    EXPECT_EQ(ch.reg(0x50), 0xDF); // KS 3, attack rate 31
    EXPECT_EQ(ch.reg(0x80), 0x0F); // sustain level 0, release rate 15
    EXPECT_EQ(ch.reg(0x90), 0x0F); // SSG shape 8
    EXPECT_EQ(ch.reg(0xB0), 0x07); // algorithm 7, feedback 0
    EXPECT_EQ(ch.tl(), (std::array<int, 4>{0, 0, 0, 0}));
}

// A second refresh sends only what is never compared: frequency and levels.
TEST(OPN2_sub, UnchangedBytesAreNotSentAgain) {
    Channel ch(1);
    ch.sub->refreshAll();
    ch.writer.writes.clear();
    ch.sub->refreshAll();
    std::set<int> regs;
    for (const Write& w : ch.writer.writes) regs.insert(w.reg);
    EXPECT_EQ(regs, (std::set<int>{0xA5, 0xA1, 0x41, 0x49, 0x45, 0x4D}));

    // A single field change sends only its register.
    ch.writer.writes.clear();
    ch.patch.op(2, P::kMult) = 9;
    ch.sub->updatePatchField(2 * 16 + P::kMult);
    ASSERT_EQ(ch.writer.writes.size(), 1u);
    EXPECT_EQ(ch.writer.writes[0].reg, 0x35);
    EXPECT_EQ(ch.writer.writes[0].value, 0x79);
}

TEST(OPN2_sub, FrequencyEdgeCases) {
    struct Case {
        float hz;
        int32_t limit;
        int block, fnum, pitchIndex;
    };
    const Case cases[] = {
        {440.0f, 1920, 4, 1083, 4 * 1024 + 1083 - 1024},
        {0.0f, 1920, 0, 0, 0},
        {-20.0f, 1920, 0, 0, 0},
        {kNaN, 1920, 0, 0, 0},
        {1.0e9f, 1920, 7, 2047, 7 * 1024 + 2047 - 1024},
        {std::numeric_limits<float>::infinity(), 1920, 7, 2047, 7 * 1024 + 2047 - 1024},
        {440.0f, 1000, 5, 541, 5 * 1024 + 541 - 1024}, // a lowered F-number limit
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hz);
        Channel ch(0);
        ch.sub->fnumLimit = c.limit;
        ch.sub->setFrequency(c.hz);
        EXPECT_EQ(ch.reg(0xA4), (c.block << 3) | (c.fnum >> 8));
        EXPECT_EQ(ch.reg(0xA0), c.fnum & 0xFF);
        for (int32_t p : ch.sub->pitchIndex) EXPECT_EQ(p, c.pitchIndex);
    }
}

TEST(OPN2_sub, LevelsFromVelocityAmplitudeAndPatch) {
    struct Case {
        const char* what;
        int algorithm;
        float velocity, amplitude;
        int velocityField, ksLevel;
        std::array<int, 4> tl; // blocks 0-3, every Level field 127
    };
    const Case cases[] = {
        {"full scale adds nothing", 0, 1.0f, 1.0f, 0, 0, {0, 0, 0, 0}},
        {"amplitude 0 silences the one carrier of algorithm 0",
         0,
         1.0f,
         0.0f,
         0,
         0,
         {0, 0, 0, 127}},
        {"amplitude 0 silences every carrier of algorithm 7",
         7,
         1.0f,
         0.0f,
         0,
         0,
         {127, 127, 127, 127}},
        {"algorithm 5 carriers", 5, 1.0f, 0.0f, 0, 0, {0, 127, 127, 127}},
        {"amplitude 0.5", 4, 1.0f, 0.5f, 0, 0, {0, 7, 0, 7}},
        {"velocity 0 uses the table's first step", 0, 0.0f, 1.0f, 7, 0, {97, 97, 97, 97}},
        {"a velocity that is not a number counts as 0", 0, kNaN, 1.0f, 7, 0, {97, 97, 97, 97}},
        {"an amplitude that is not a number is silence", 7, 1.0f, kNaN, 0, 0, {127, 127, 127, 127}},
        {"level key scaling follows the pitch index", 0, 1.0f, 1.0f, 0, 99, {64, 64, 64, 64}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Channel ch(0);
        ch.patch.words[P::kAlgorithm] = c.algorithm;
        for (int k = 0; k < 4; ++k) {
            ch.patch.op(k, P::kLevel) = 127;
            ch.patch.op(k, P::kVelocity) = c.velocityField;
            ch.patch.op(k, P::kKsLevel) = c.ksLevel;
        }
        ch.sub->refreshAll();
        ch.sub->setFrequency(440.0f); // pitch index 4155: 4155 x 99 / 6400 = 64
        ch.sub->setAmplitude(c.amplitude);
        ch.sub->noteOn(c.velocity);
        EXPECT_EQ(ch.tl(), c.tl);
    }
}

TEST(OPN2_sub, PanBits) {
    const std::pair<int32_t, uint8_t> cases[] = {{-1, 0x80}, {0, 0xC0}, {1, 0x40}, {-7, 0x80}};
    for (auto [pan, bits] : cases) {
        Channel ch(5);
        ch.pan = pan;
        ch.sub->refreshAll();
        EXPECT_EQ(ch.reg(0xB4) & 0xC0, bits) << pan;
    }
}

// Channel 3 in special mode: each operator block gets its own pitch, an
// offset from the played note or a fixed middle C.
TEST(OPN2Ch3_sub, FourOperatorFrequencies) {
    RecordingWriter writer;
    OPN2_shadow mirror;
    PatchRecord patch = distinctPatch();
    Ch3Settings ch3{1, {0, 12, 0, 0}, {0, 0, 0, 50}, {0, 0, 1, 0}};
    OPN2Ch3_sub sub(&writer, 0, &mirror);
    sub.patch = &patch;
    sub.ch3 = &ch3;
    sub.setClock(kClock);
    sub.refreshAll();
    EXPECT_EQ(mirror.get(0, 0x27), 0x40);

    writer.writes.clear();
    sub.setFrequency(440.0f);
    struct Pair {
        uint8_t high, low;
        int block, fnum;
    };
    const Pair pairs[4] = {
        {0xAD, 0xA9, 4, 1083}, // the played note
        {0xAE, 0xAA, 5, 1083}, // an octave up
        {0xAC, 0xA8, 3, 1288}, // fixed middle C
        {0xA6, 0xA2, 4, 1114}, // 50 cents up
    };
    for (const Pair& p : pairs) {
        SCOPED_TRACE(int(p.high));
        EXPECT_EQ(mirror.get(0, p.high), (p.block << 3) | (p.fnum >> 8));
        EXPECT_EQ(mirror.get(0, p.low), p.fnum & 0xFF);
    }
    // The register holding block and F-number high bits goes first.
    ASSERT_GE(writer.writes.size(), 8u);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(writer.writes[2 * k].reg, pairs[k].high);
        EXPECT_EQ(writer.writes[2 * k + 1].reg, pairs[k].low);
    }
    EXPECT_EQ(sub.pitchIndex[1], 5 * 1024 + 1083 - 1024);

    writer.writes.clear();
    sub.noteOn(1.0f);
    EXPECT_EQ(writer.valuesOf(0x28), (std::vector<uint8_t>{0x02, 0xF2}));
    EXPECT_EQ(mirror.get(0, 0x27), 0x40);
}

// CSM mode: timer A runs at the played pitch and keys channel 3 at each
// overflow, while the key register itself stays off.
TEST(OPN2Ch3_sub, TimerAKeysTheChannelInCsmMode) {
    auto md = makeUnit();
    md->setParameter(15, 9.0f); // no PSG
    RecordingWriter writer;
    writer.units = {md.get()};
    OPN2_shadow mirror;
    PatchRecord patch;
    patch.words[P::kAlgorithm] = 7;
    for (int k = 0; k < 4; ++k) {
        patch.op(k, P::kMult) = 1;
        patch.op(k, P::kLevel) = k == 3 ? 127 : 0;
        patch.op(k, P::kAttack) = 0; // fastest attack
        patch.op(k, P::kDecay) = 31; // no decay
        patch.op(k, P::kSustain) = 15;
        patch.op(k, P::kDecay2) = 31;
    }
    int32_t pan = 0;
    Ch3Settings ch3{2, {}, {}, {}};
    OPN2Ch3_sub sub(&writer, 0, &mirror);
    sub.patch = &patch;
    sub.pan = &pan;
    sub.ch3 = &ch3;
    sub.setClock(fmClock(*md));
    sub.refreshAll();
    sub.setAmplitude(1.0f);
    sub.setFrequency(440.0f);
    EXPECT_LT(peakOf(renderFmSamples(*md, 2000)), 1.0) << "no note yet";

    writer.writes.clear();
    sub.noteOn(1.0f);
    // 2^21 / 17323 = 121 chip samples per period: timer value 1024 - 121.
    EXPECT_EQ(mirror.get(0, 0x24), (1024 - 121) >> 2);
    EXPECT_EQ(mirror.get(0, 0x25), (1024 - 121) & 3);
    EXPECT_EQ(mirror.get(0, 0x27), 0x81);
    EXPECT_EQ(writer.valuesOf(0x28), std::vector<uint8_t>{0x02});
    EXPECT_GT(peakOf(renderFmSamples(*md, 2000)), 1000.0);

    sub.noteOff();
    EXPECT_EQ(mirror.get(0, 0x27), 0x80);
}

// A pitch that is not a number gives the lowest settings, never garbage.
TEST(OPN2Ch3_sub, PitchThatIsNotANumber) {
    RecordingWriter writer;
    OPN2_shadow mirror;
    PatchRecord patch;
    Ch3Settings ch3{2, {0, 12, 0, 0}, {}, {0, 0, 0, 0}};
    OPN2Ch3_sub sub(&writer, 0, &mirror);
    sub.patch = &patch;
    sub.ch3 = &ch3;
    sub.setClock(kClock);
    sub.setFrequency(440.0f);
    sub.setFrequency(kNaN);
    // Timer A at its longest period (value 0): 2^21 chip samples folded to 1024 steps.
    EXPECT_EQ(mirror.get(0, 0x24), 0);
    EXPECT_EQ(mirror.get(0, 0x25), 0);
    for (uint8_t r : {0xAD, 0xA9, 0xAE, 0xAA, 0xAC, 0xA8, 0xA6, 0xA2})
        EXPECT_EQ(mirror.get(0, r), 0) << int(r);
}
