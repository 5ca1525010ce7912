#include "instrument/OPN2_DAC_sub.h"

#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "InstrumentTestSupport.h"

using namespace insttest;

namespace {

constexpr double kRate = 1000.0; // output samples per second of the test queue

// A host sample record: regions of DAC bytes (each sample is stored as
// (byte - 128) x 256, so it plays back as exactly that byte).
struct SampleSet {
    std::vector<uint8_t> bytes;

    explicit SampleSet(const std::vector<std::vector<uint8_t>>& regions, uint32_t rate = 8000) {
        std::vector<int16_t> samples;
        uint32_t slot = 0;
        bytes.assign(OPN2_DAC_sub::kHeaderSize, 0);
        for (const auto& region : regions) {
            putU32(64 + 4 * slot, uint32_t(samples.size()));
            bytes[576 + slot++] = 5;
            for (uint8_t b : region) samples.push_back(int16_t((b - 128) * 256));
        }
        putU32(32, uint32_t(samples.size()));
        putU32(36, rate);
        for (int16_t s : samples) {
            bytes.push_back(uint8_t(s & 0xFF));
            bytes.push_back(uint8_t(uint16_t(s) >> 8));
        }
    }
    void putU32(size_t at, uint32_t v) { std::memcpy(&bytes[at], &v, 4); }
};

const std::vector<std::vector<uint8_t>> kRegions = {{10, 20, 30}, {100, 110}, {200}};

// A DAC channel on its own timer queue; records each sample byte with the
// queue time at which it was written.
struct Rig : ChipSubWriter {
    vantor::QuantumManager queue{32};
    OPN2_shadow mirror;
    OPN2_DAC_sub dac{this, 0, &mirror};
    std::vector<std::pair<uint64_t, uint8_t>> samples;

    explicit Rig(const SampleSet* set = nullptr) {
        queue.rate = kRate;
        dac.setTimerQueue(&queue);
        dac.setFrequency(float(kRate)); // one sample per output sample
        if (set) dac.attachSampleSet(set->bytes.data(), set->bytes.size());
    }
    void writeRegister(uint64_t, uint8_t reg, uint8_t value, uint64_t port) override {
        if (reg == 0x2A && port == 0) samples.push_back({queue.now, value});
    }
    // Runs the queue over `frames` output samples (a sample due at the end
    // is not written yet).
    void run(uint64_t frames) {
        while (frames) frames -= queue.advance(frames);
    }
    std::vector<uint8_t> bytes() const {
        std::vector<uint8_t> v;
        for (auto& s : samples) v.push_back(s.second);
        return v;
    }
    void setInt(uint32_t index, int32_t v) { dac.setParameter(index, &v, nullptr); }
    void setFloat(uint32_t index, float v) { dac.setParameter(index, nullptr, &v); }
};

} // namespace

TEST(OPN2_DAC_sub, LoopModes) {
    const SampleSet set(kRegions);
    struct Case {
        int32_t mode;
        std::vector<uint8_t> bytes; // the first seven samples of key 36
    };
    const Case cases[] = {
        {0, {10, 20, 30, 30, 30, 30, 30}},     // region: rests on its last sample
        {1, {10, 20, 30, 100, 110, 200, 200}}, // continue into the following data
        {2, {10, 20, 30, 10, 20, 30, 10}},     // loop without a gap
        {3, {10, 10, 10, 10, 10, 10, 10}},     // hold
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        Rig rig(&set);
        rig.setInt(4, c.mode);
        rig.dac.noteOn(uint8_t(36), 1.0f);
        rig.run(7);
        EXPECT_EQ(rig.bytes(), c.bytes);
        for (size_t i = 0; i < rig.samples.size(); ++i) EXPECT_EQ(rig.samples[i].first, i);
    }
}

TEST(OPN2_DAC_sub, KeysChooseRegionsAndWrap) {
    const SampleSet set(kRegions);
    const SampleSet empty({});
    struct Case {
        const SampleSet* set;
        uint8_t key;
        std::vector<uint8_t> bytes; // first two samples, none when nothing plays
    };
    const Case cases[] = {
        {&set, 36, {10, 20}},   {&set, 37, {100, 110}},
        {&set, 38, {200, 200}}, {&set, 39, {10, 20}}, // above the last region: wraps down by three
        {&set, 41, {200, 200}},                       // twice that
        {&set, 35, {}},                               // below the base key
        {&empty, 36, {}},       {nullptr, 36, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.key));
        Rig rig(c.set);
        rig.dac.noteOn(c.key, 1.0f);
        rig.run(2);
        EXPECT_EQ(rig.bytes(), c.bytes);
    }
}

// The playback rate sets the spacing of the samples; the fraction is carried
// so the average rate is exact.
TEST(OPN2_DAC_sub, RateAndLevel) {
    const SampleSet set({{255, 0, 128, 200}});
    Rig rig(&set);
    rig.setInt(4, 2);
    rig.dac.setFrequency(float(kRate * 2.0 / 3.0));
    rig.dac.noteOn(uint8_t(36), 1.0f);
    rig.run(300);
    EXPECT_NEAR(double(rig.samples.size()), 200.0, 1.0);
    for (size_t i = 1; i < rig.samples.size(); ++i) {
        const uint64_t gap = rig.samples[i].first - rig.samples[i - 1].first;
        EXPECT_TRUE(gap == 1 || gap == 2) << gap;
    }

    // Rates that are not a positive number leave the rate alone.
    for (float bad : {0.0f, -5.0f, std::numeric_limits<float>::quiet_NaN(),
                      std::numeric_limits<float>::infinity()}) {
        rig.dac.setFrequency(bad);
        EXPECT_FLOAT_EQ(rig.dac.step, float(3.0 / (2.0 * kRate)));
    }

    // Gain, velocity and resolution shape each byte.
    struct Level {
        float gain, velocity;
        int32_t bits;
        std::vector<uint8_t> bytes;
    };
    const Level levels[] = {
        {1.0f, 1.0f, 8, {255, 0, 128, 200}},
        {1.0f, 1.0f, 4, {240, 0, 128, 192}},
        {2.0f, 1.0f, 8, {255, 0, 128, 255}},
        {1.0f, 0.5f, 8, {191, 64, 128, 164}},
    };
    for (const Level& l : levels) {
        Rig r(&set);
        r.setFloat(3, l.gain);
        r.setInt(2, l.bits);
        r.dac.noteOn(uint8_t(36), l.velocity);
        r.run(4);
        EXPECT_EQ(r.bytes(), l.bytes) << l.gain << " " << l.velocity << " " << l.bits;
    }
}

TEST(OPN2_DAC_sub, NoteOffStopsAndRetriggerRestarts) {
    const SampleSet set(kRegions);
    Rig rig(&set);
    rig.dac.retrigger(); // no key yet: nothing to play
    rig.dac.noteOn(1.0f);
    EXPECT_TRUE(rig.queue.queue.empty());
    rig.dac.noteOn(uint8_t(37), 1.0f);
    rig.run(2);
    rig.dac.noteOff();
    rig.run(10);
    EXPECT_EQ(rig.bytes(), (std::vector<uint8_t>{100, 110}));
    EXPECT_TRUE(rig.queue.queue.empty());
    rig.dac.retrigger();
    rig.run(2);
    EXPECT_EQ(rig.bytes(), (std::vector<uint8_t>{100, 110, 100, 110}));
}

// Frame-stall jitter holds one sample per video frame for the stall lines.
TEST(OPN2_DAC_sub, FrameStallJitter) {
    const SampleSet set({{10, 20}});
    Rig rig(&set);
    rig.setInt(4, 2);
    rig.setInt(0, 1);
    rig.setFloat(1, 1.0f); // 262 lines: a whole frame
    EXPECT_EQ(rig.dac.stallLines, 262);
    rig.dac.noteOn(uint8_t(36), 1.0f);
    rig.run(200);
    std::vector<uint64_t> stalls;
    for (size_t i = 1; i < rig.samples.size(); ++i) {
        const uint64_t gap = rig.samples[i].first - rig.samples[i - 1].first;
        if (gap != 1) stalls.push_back(gap);
    }
    // A frame is 16.7 samples at this rate; each stall adds 262 lines (16.7).
    ASSERT_FALSE(stalls.empty());
    for (uint64_t g : stalls) EXPECT_EQ(g, 17u);
}

// Records that lie about their contents play silence or what they hold,
// never anything outside the record, and never hang the audio thread.
TEST(OPN2_DAC_sub, MalformedSampleSets) {
    using Damage = void (*)(SampleSet&);
    const Damage gapAtSlot1 = [](SampleSet& s) { s.bytes[577] = 0; };
    const Damage hugeCount = [](SampleSet& s) { s.putU32(32, 100000); };
    const Damage countOf6 = [](SampleSet& s) { s.putU32(32, 6); };
    const Damage slot1PastEnd = [](SampleSet& s) { s.putU32(68, 50); };
    const Damage slot1BeforeSlot0 = [](SampleSet& s) { s.putU32(68, 1); };
    const Damage onlyLastSlot = [](SampleSet& s) {
        s.bytes[576] = s.bytes[577] = s.bytes[578] = 0;
        s.bytes[576 + 127] = 5;
        s.putU32(64 + 4 * 127, 5);
    };
    const Damage shortHeader = [](SampleSet& s) { s.bytes.resize(700); };
    struct Case {
        const char* what;
        Damage damage;
        size_t cut; // bytes cut from the end of the record
        int32_t baseKey;
        uint8_t key;
        std::vector<uint8_t> bytes; // loop mode 1 ("continue"), four samples
    };
    const Case cases[] = {
        {"a gap in the slot markers", gapAtSlot1, 0, 36, 37, {}},
        {"a gap met while wrapping down", gapAtSlot1, 0, 36, 39, {}},
        {"a sample count beyond the record", hugeCount, 0, 36, 38, {200, 200, 200, 200}},
        {"the last sample cut off", countOf6, 2, 36, 37, {100, 110, 110, 110}},
        {"a region past the samples", slot1PastEnd, 0, 36, 37, {}},
        {"the next region before this one", slot1BeforeSlot0, 0, 36, 36, {10, 20, 30, 100}},
        {"a region at the last slot", onlyLastSlot, 0, 0, 127, {200, 200, 200, 200}},
        {"a record too short for its header", shortHeader, 0, 36, 36, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SampleSet set(kRegions);
        c.damage(set);
        set.bytes.resize(set.bytes.size() - c.cut);
        set.bytes.shrink_to_fit(); // so the sanitizer sees any read past the end
        Rig rig;
        rig.dac.attachSampleSet(set.bytes.data(), set.bytes.size());
        rig.setInt(4, 1);
        rig.setInt(5, c.baseKey);
        rig.dac.noteOn(c.key, 1.0f);
        rig.run(4);
        EXPECT_EQ(rig.bytes(), c.bytes);
    }
}

TEST(OPN2_DAC_sub, SampleRateOfTheSet) {
    const SampleSet set(kRegions, 22050);
    const SampleSet zero(kRegions, 0);
    Rig rig;
    EXPECT_EQ(rig.dac.sampleRate(), 15734u);
    rig.dac.attachSampleSet(set.bytes.data(), set.bytes.size());
    EXPECT_EQ(rig.dac.sampleRate(), 22050u);
    rig.dac.attachSampleSet(zero.bytes.data(), zero.bytes.size());
    EXPECT_EQ(rig.dac.sampleRate(), 15734u); // 0 would make a step of 1/0
}
