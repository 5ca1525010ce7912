// The OPN-family chip object: what each variant reports, writes, mutes,
// reset, sample memory and the render entries at the chip's own rate.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "emulators/FmRandomSession.h"
#include "emulators/FmReferenceModel.h"
#include "emulators/FmRegisters.h"
#include "emulators/FmTables.h"
#include "emulators/FmTypes.h"
#include "emulators/OPN2_Emu.h"

namespace {

// Where a variant's first FM channel sits: register group and key-on select.
struct FirstChannel {
    int group;
    int keySelect;
};
FirstChannel firstChannel(uint32_t variant) {
    return variant == kFmYM2610 ? FirstChannel{1, 1} : FirstChannel{0, 0};
}

// Algorithm 7 with one loud carrier (S4) at a middle frequency, keyed on.
void playNote(ChipEmu& chip, uint32_t variant, int port = 0) {
    const FirstChannel f = firstChannel(variant);
    const int g = f.group;
    for (int op = 0; op < 4; ++op) {
        chip.write(0x30 + g + 4 * op, 0x01, port);
        chip.write(0x40 + g + 4 * op, op == 3 ? 0x00 : 0x7F, port);
        chip.write(0x50 + g + 4 * op, 0x1F, port);
        chip.write(0x80 + g + 4 * op, 0x0F, port);
    }
    chip.write(0xB0 + g, 0x07, port);
    chip.write(0xB4 + g, 0xC0, port);
    chip.write(0xA4 + g, 0x22, port);
    chip.write(0xA0 + g, 0x69, port);
    chip.write(0x28, 0xF0 | (f.keySelect + (port ? 4 : 0)), 0);
}

struct Buffers {
    explicit Buffers(size_t n, int32_t fill = 0) : left(n, fill), right(n, fill) {}
    int32_t* out[2];
    int32_t** outputs() {
        out[0] = left.data();
        out[1] = right.data();
        return out;
    }
    bool leftSounds() const {
        for (int32_t v : left)
            if (v) return true;
        return false;
    }
    std::vector<int32_t> left, right;
};

TEST(OPNX_Emu, InfoByVariant) {
    struct Case {
        uint32_t variant;
        const char* part;
        const char* family;
        uint64_t divisor;
        uint64_t initialClock;
        std::vector<double> clocks;
    };
    const Case cases[] = {
        {0, "YM2203C", "OPN", 72, 2, {1500000, 3000000, 3579545, 4000000}},
        {1, "YM2608", "OPNA", 144, 0, {8000000}},
        {2, "YM2610", "OPNB", 144, 0, {8000000}},
        {3, "YM2610B", "OPNB2", 144, 0, {8000000}},
        {4, "YM2612", "OPN2", 144, 0, {7670454, 7600489, 7680000, 8000000}},
        {9, "", "", 1, 0, {}},
    };
    for (const Case& c : cases) {
        OPNX_Emu chip(c.variant);
        ChipInfo* info = chip.getInfo();
        EXPECT_EQ(info, chip.getInfo());
        EXPECT_STREQ(info->partName, c.part);
        EXPECT_STREQ(info->familyName, c.family);
        EXPECT_EQ(info->outputCount, 2u);
        EXPECT_EQ(info->inputCount, 0u);
        EXPECT_EQ(info->clockDivisor, c.divisor);
        EXPECT_EQ(info->initialClockIndex, c.initialClock);
        EXPECT_EQ(info->clocks, c.clocks);
        EXPECT_TRUE(info->parameters.empty());
        EXPECT_FLOAT_EQ(info->outputGains[0], 1.0f / 256);
        EXPECT_TRUE(chip.init(1024, nullptr, 0));
    }
}

class Variants : public ::testing::TestWithParam<uint32_t> {};

TEST_P(Variants, NoteSoundsAtOwnRateAndMuteSilencesIt) {
    const uint32_t v = GetParam();
    OPNX_Emu chip(v), muted(v);
    for (OPNX_Emu* c : {&chip, &muted}) {
        c->init(4096, nullptr, 0);
        c->reset();
        playNote(*c, v);
    }
    muted.setParameter(0, 1.0f);
    Buffers a(2000), b(2000);
    EXPECT_EQ(chip.render32(a.outputs(), 2000), 0);
    muted.render32(b.outputs(), 2000);
    EXPECT_TRUE(a.leftSounds());
    EXPECT_FALSE(b.leftSounds());
    // The muted channel's envelopes kept running.
    const int rec = fmChannelRecords(v).records[0];
    EXPECT_EQ(chip.state().channels[rec].operators[kOpS4].eg.egLevel,
              muted.state().channels[rec].operators[kOpS4].eg.egLevel);
    EXPECT_EQ(chip.state().channels[rec].operators[kOpS4].phase,
              muted.state().channels[rec].operators[kOpS4].phase);
    // Unmuting restores the pan bits last written: both sides sound again.
    muted.setParameter(0, 0.0f);
    Buffers c(500), d(500);
    chip.render32(c.outputs(), 500);
    muted.render32(d.outputs(), 500);
    EXPECT_EQ(c.left, d.left);
    if (v != kFmYM2203) {
        EXPECT_EQ(c.right, d.right);
    }
}

TEST_P(Variants, ResetSilencesAndRestartsTheFramePhase) {
    const uint32_t v = GetParam();
    OPNX_Emu chip(v);
    chip.init(4096, nullptr, 0);
    chip.reset();
    playNote(chip, v);
    Buffers a(100);
    chip.renderFramed21(a.outputs(), 30);
    EXPECT_EQ(chip.framePhase(), 9u);
    chip.reset();
    EXPECT_EQ(chip.framePhase(), 0u);
    Buffers b(3000);
    chip.render32(b.outputs(), 3000);
    EXPECT_FALSE(b.leftSounds());
}

// Every variant but the YM2612 (which renders through the block renderers).
class PerSampleVariants : public ::testing::TestWithParam<uint32_t> {};

TEST_P(PerSampleVariants, RandomBlocksMatchThePerSampleModel) {
    const uint32_t v = GetParam();
    const uint64_t length = 12000;
    const auto events = fmsession::Builder(50 + v).session(length, false);
    OPNX_Emu chip(v), model(v);
    chip.reset();
    model.reset();
    std::vector<int32_t> l(length, 0), r(length, 0), ml(length, 0), mr(length, 0);
    std::mt19937 rng(v);
    size_t e = 0;
    for (uint64_t t = 0; t < length;) {
        for (; e < events.size() && events[e].at == t; ++e) fmsession::apply(chip, events[e]);
        const uint64_t next = e < events.size() ? events[e].at : length;
        const uint64_t n =
            std::min<uint64_t>(next - t, std::uniform_int_distribution<int>(1, 300)(rng));
        int32_t* out[2] = {&l[t], &r[t]};
        chip.render32(out, n);
        t += n;
    }
    e = 0;
    for (uint64_t t = 0; t < length; ++t) {
        for (; e < events.size() && events[e].at == t; ++e) fmsession::apply(model, events[e]);
        FmChipState& st = model.state();
        int32_t left, right;
        fmref::sampleLoopChannels(st, left, right);
        if (v == kFmYM2608) rhythmSample(st.rhythm, left, right);
        if (v == kFmYM2610 || v == kFmYM2610B) adpcmSample(st.adpcm, left, right);
        left = std::clamp(left, -32768, 32767);
        right = std::clamp(right, -32768, 32767);
        if (v == kFmYM2203) {
            ml[t] = OPNX_Emu::quantizeYm2203(left);
        } else {
            ml[t] = left;
            mr[t] = right;
        }
        fmEndSample(st);
    }
    EXPECT_EQ(l, ml);
    EXPECT_EQ(r, mr);
    EXPECT_TRUE(std::any_of(l.begin(), l.end(), [](int32_t x) { return x != 0; }));
    EXPECT_EQ(fmref::diffState(chip.state(), model.state()), "");
}

INSTANTIATE_TEST_SUITE_P(AllVariants, Variants, ::testing::Values(0u, 1u, 2u, 3u, 4u));
INSTANTIATE_TEST_SUITE_P(Variants, PerSampleVariants, ::testing::Values(0u, 1u, 2u, 3u));

// ---- LFO direction ---------------------------------------------------------------

// The test note an octave and more higher (block 7), with `b4` (pan, AMS, PMS)
// and the carrier's AM enable; the LFO is switched on at its slowest rate
// (108 samples per step, a half cycle of 6912 samples) just before the first
// sample, or left off.
std::vector<int32_t> lfoNote(uint32_t v, uint8_t b4, bool amOn, bool lfoOn, size_t frames) {
    OPNX_Emu chip(v);
    chip.init(1024, nullptr, 0);
    chip.reset();
    playNote(chip, v);
    const int g = firstChannel(v).group;
    chip.write(0xA4 + g, 0x3A, 0);
    chip.write(0xA0 + g, 0x69, 0);
    chip.write(0xB4 + g, b4, 0);
    if (amOn) chip.write(0x60 + g + 12, 0x80, 0); // S4
    chip.write(0x22, lfoOn ? 0x08 : 0x00, 0);
    Buffers out(frames);
    int32_t* outputs[2];
    for (size_t done = 0; done < frames; done += 1024) {
        outputs[0] = out.left.data() + done;
        outputs[1] = out.right.data() + done;
        chip.render32(outputs, std::min<size_t>(1024, frames - done));
    }
    return out.left;
}

size_t upwardCrossings(const std::vector<int32_t>& x, size_t from, size_t to) {
    size_t n = 0;
    for (size_t i = from + 1; i < to; ++i) n += x[i - 1] < 0 && x[i] >= 0;
    return n;
}

int32_t peakOf(const std::vector<int32_t>& x, size_t from, size_t to) {
    int32_t m = 0;
    for (size_t i = from; i < to; ++i) m = std::max(m, std::abs(x[i]));
    return m;
}

double dB(int32_t a, int32_t b) {
    return 20.0 * std::log10(double(a) / double(b));
}

class LfoVariants : public ::testing::TestWithParam<uint32_t> {};
INSTANTIATE_TEST_SUITE_P(WithLfo, LfoVariants, ::testing::Values(1u, 2u, 3u, 4u));

// As on the chip: vibrato raises the pitch through the first half cycle of
// the LFO (steps 0-63) and lowers it through the second.
TEST_P(LfoVariants, VibratoRisesFirst) {
    const size_t half = 64 * 108;
    const auto plain = lfoNote(GetParam(), 0xC0, false, false, 2 * half);
    const auto vibrato = lfoNote(GetParam(), 0xC7, false, true, 2 * half); // PMS 7
    const size_t plainFirst = upwardCrossings(plain, 0, half);
    EXPECT_GT(plainFirst, 200u);
    EXPECT_GT(upwardCrossings(vibrato, 0, half), plainFirst + 4);
    EXPECT_LT(upwardCrossings(vibrato, half, 2 * half), upwardCrossings(plain, half, 2 * half) - 4);
}

// As on the chip: tremolo starts at its deepest attenuation when the LFO is
// switched on and lets go through the first half cycle (AMS 3: about 11.8 dB).
TEST_P(LfoVariants, TremoloStartsAtItsDeepest) {
    const size_t half = 64 * 108, window = 512;
    const auto plain = lfoNote(GetParam(), 0xC0, true, false, half);
    const auto tremolo = lfoNote(GetParam(), 0xF0, true, true, half); // AMS 3
    const int32_t full = peakOf(plain, 0, window);
    const int32_t start = peakOf(tremolo, 0, window);
    const int32_t end = peakOf(tremolo, half - window, half);
    EXPECT_GT(full, 1000);
    EXPECT_LT(dB(start, full), -9.0);
    EXPECT_GT(dB(end, full), -1.0);
}

TEST(OPNX_Emu, RenderAddsAndZeroFramesAddsNothing) {
    OPN2_Emu a, b;
    for (OPN2_Emu* c : {&a, &b}) {
        c->reset();
        playNote(*c, kFmYM2612);
    }
    Buffers once(300), twice(300);
    a.render32(once.outputs(), 300);
    b.render32(twice.outputs(), 0);
    EXPECT_FALSE(twice.leftSounds());
    b.render32(twice.outputs(), 300);
    OPN2_Emu c;
    c.reset();
    playNote(c, kFmYM2612);
    c.render32(twice.outputs(), 300);
    for (size_t i = 0; i < 300; ++i) EXPECT_EQ(twice.left[i], 2 * once.left[i]) << i;
}

TEST(OPNX_Emu, Ym2203WritesOnlyTheLeftBufferAndIgnoresPort1) {
    OPNX_Emu chip(kFmYM2203), quiet(kFmYM2203);
    chip.reset();
    quiet.reset();
    playNote(chip, kFmYM2203);
    playNote(quiet, kFmYM2203, 1); // port 1 does not exist on this chip
    Buffers a(1000, 7), b(1000, 7);
    chip.render32(a.outputs(), 1000);
    quiet.render32(b.outputs(), 1000);
    EXPECT_TRUE(std::any_of(a.left.begin(), a.left.end(), [](int32_t x) { return x != 7; }));
    EXPECT_EQ(a.right, std::vector<int32_t>(1000, 7));
    EXPECT_EQ(b.left, std::vector<int32_t>(1000, 7));
}

TEST(OPNX_Emu, Ym2203Quantization) {
    const int32_t cases[][2] = {{0, 0},           {511, 511},     {-512, -512},   {600, 600},
                                {601, 600},       {-3000, -3000}, {-3001, -3008}, {1023, 1022},
                                {2047, 2044},     {8191, 8176},   {16383, 16352}, {32767, 32704},
                                {-32768, -32768}, {-513, -514}};
    for (const auto& c : cases) EXPECT_EQ(OPNX_Emu::quantizeYm2203(c[0]), c[1]) << c[0];
}

TEST(OPNX_Emu, Ym2608WithoutRhythmFilesAcceptsRhythmKeyOnsSilently) {
    OPNX_Emu chip(kFmYM2608);
    chip.init(1024, nullptr, 0);
    chip.reset();
    chip.write(0x11, 0x3F, 0);
    for (int k = 0; k < 6; ++k) chip.write(0x18 + k, 0xDF, 0);
    chip.write(0x10, 0x3F, 0);
    Buffers a(3000);
    chip.render32(a.outputs(), 3000);
    EXPECT_FALSE(a.leftSounds());
    for (const FmRhythmVoice& voice : chip.state().rhythm.voices) EXPECT_EQ(voice.playing, 0);
}

TEST(OPNX_Emu, SampleMemoryRegions) {
    OPNX_Emu chip(kFmYM2610);
    const uint8_t bytes[16] = {};
    EXPECT_TRUE(chip.setSampleMemory(0, bytes, sizeof(bytes)));
    EXPECT_TRUE(chip.setSampleMemory(1, bytes, sizeof(bytes)));
    EXPECT_FALSE(chip.setSampleMemory(2, bytes, sizeof(bytes)));
    EXPECT_FALSE(chip.setSampleMemory(1, bytes, (1ull << 30) + 1));
}

TEST(OPNX_Emu, UnknownVariantIgnoresWritesAndRendersNothing) {
    OPNX_Emu chip(7);
    chip.init(1024, nullptr, 0);
    chip.reset();
    playNote(chip, kFmYM2612);
    Buffers a(500, 3);
    chip.render32(a.outputs(), 500);
    chip.renderFramed21(a.outputs(), 500);
    chip.renderFramed9(a.outputs(), 500);
    EXPECT_EQ(a.left, std::vector<int32_t>(500, 3));
    EXPECT_EQ(a.right, std::vector<int32_t>(500, 3));
}

TEST(OPN2_Emu, ResetClearsDacAndSpreadState) {
    OPN2_Emu chip;
    chip.reset();
    chip.write(0x2B, 0x80, 0);
    chip.write(0x2A, 0xFF, 0);
    Buffers a(50);
    chip.renderSpread21(a.outputs(), 10, nullptr, 1);
    EXPECT_EQ(chip.spreadPhase, 10u);
    EXPECT_NE(chip.heldLeft[5], 0);
    chip.reset();
    EXPECT_EQ(chip.spreadPhase, 0u);
    EXPECT_EQ(chip.heldLeft[5], 0);
    EXPECT_EQ(chip.state().dacEnabled, 0);
    EXPECT_EQ(chip.state().dacData, 0);
    // Both pan bits on every channel after a YM2612 reset.
    for (const FmChannel& ch : chip.state().channels) EXPECT_EQ(ch.pan, 3);
}

} // namespace
