#include "instrument/DCSG_tone_sub.h"

#include <limits>

#include <gtest/gtest.h>

#include "InstrumentTestSupport.h"
#include "instrument/DCSG_group.h"
#include "instrument/DCSG_noise_sub.h"

using namespace insttest;

namespace {

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Every PSG byte goes to address 0 of port 2 of the sub-controller's unit.
void expectPsgWrites(const RecordingWriter& w, const std::vector<uint8_t>& bytes,
                     uint64_t unit = 4) {
    ASSERT_EQ(w.writes.size(), bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i)
        EXPECT_EQ(w.writes[i], (Write{unit, 0, bytes[i], 2})) << i;
}

} // namespace

TEST(DCSG_tone_sub, AttenuationFromVelocityAndAmplitude) {
    struct Case {
        float velocity, amplitude;
        uint8_t attenuation;
    };
    const Case cases[] = {
        {1.0f, 1.0f, 0},   {0.0f, 1.0f, 15}, {1.0f, 0.0f, 15},
        {1.0f, 0.5f, 2},                                      // 0.5 unscaled is below 0.63
        {1.0f, 0.7f, 1},   {1.0f, 0.9f, 0},  {1.0f, 0.3f, 5}, // 0.3 x 2 = 0.6
        {0.5f, 1.0f, 5},                                      // 0.25 x 4 = 1.0
        {1.0f, 0.04f, 13},                                    // 0.04 x 16 = 0.64
        {1.0f, kNaN, 15},  {kNaN, 1.0f, 15}, {2.0f, 1.0f, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.velocity << " " << c.amplitude);
        RecordingWriter w;
        DCSG_tone_sub tone(&w, 1, 4, 1);
        tone.setAmplitude(c.amplitude);
        w.writes.clear();
        tone.noteOn(c.velocity);
        expectPsgWrites(w, {uint8_t(0xB0 | c.attenuation)});
    }
}

TEST(DCSG_tone_sub, PeriodBytes) {
    struct Case {
        float hz;
        uint8_t channel;
        std::vector<uint8_t> bytes;
    };
    // NTSC clock / 32 = 111860.78 Hz.
    const Case cases[] = {
        {440.0f, 0, {0x80 | (254 & 15), 254 >> 4}}, // 254.2
        {440.0f, 2, {0xC0 | (254 & 15), 254 >> 4}},
        {20.0f, 1, {0xA0 | (699 & 15), 699 >> 4}}, // 5593 folded by octaves to 699
        {200000.0f, 0, {0x81, 0x00}},              // at least a period of 1
        {0.5f, 0, {}},                             // below 1 Hz: nothing
        {kNaN, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hz);
        RecordingWriter w;
        DCSG_tone_sub tone(&w, 1, 4, c.channel);
        tone.setClock(3579545.0f);
        tone.setFrequency(c.hz);
        expectPsgWrites(w, c.bytes);
    }
}

// Noise control: white noise unless the periodic flag is set; rate 3 follows
// tone channel 3. Frequency changes write nothing.
TEST(DCSG_noise_sub, ControlByte) {
    RecordingWriter w;
    DCSG_noise_sub noise(&w, 1, 4);
    const int32_t periodic = 1, ch3 = 3, white = 0;
    noise.setParameter(1, &ch3, nullptr);
    noise.setParameter(0, &periodic, nullptr);
    noise.setParameter(0, &white, nullptr);
    const float lowF = 2.0f;
    noise.setParameter(1, nullptr, &lowF);
    noise.setFrequency(440.0f);
    noise.noteOn(1.0f);
    expectPsgWrites(w, {0xE7, 0xE3, 0xE7, 0xE6, 0xF0});
}

// A note's life on the four PSG channels of a group: the level byte on
// note-on and level change, period bytes on pitch changes (tone channels
// only), nothing on note-off (silence comes through the amplitude).
TEST(DCSG_group, NoteLifecycleOnFourChannels) {
    RecordingWriter w;
    DCSG_group group;
    group.build(&w, 1, 2);
    group.build(&w, 1, 4); // building again replaces the members
    EXPECT_NE(dynamic_cast<DCSG_noise_sub*>(group.members[3].get()), nullptr);
    for (uint8_t c = 0; c < 4; ++c) {
        SCOPED_TRACE(int(c));
        ChipSubController& sub = *group.members[c];
        EXPECT_EQ(sub.channel, c);
        sub.setClock(3579545.0f);
        w.writes.clear();
        sub.noteOn(1.0f);
        sub.setFrequency(440.0f);
        sub.setFrequency(880.0f);
        sub.setAmplitude(0.5f);
        sub.noteOff();
        sub.retrigger();
        const uint8_t ch = uint8_t(c << 5);
        if (c < 3)
            expectPsgWrites(w, {uint8_t(0x90 | ch), uint8_t(0x80 | ch | 0xE), 0x0F,
                                uint8_t(0x80 | ch | 0xF), 0x07, uint8_t(0x92 | ch)});
        else
            expectPsgWrites(w, {0xF0, 0xF2});
    }
}
