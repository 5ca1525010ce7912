// The chain from the chip rate to the host rate. Up to 48 kHz it is one
// resampler straight to the host rate, with the inverse low-pass and the
// high-pass after it: the plug-in's output equals that chain built here from
// its parts, sample for sample. Above 48 kHz an upsampling stage follows a
// resampler to the base rate; it must switch in and out as the rate changes.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "ChipWrapTestSupport.h"
#include "instrument/HPFilter.h"
#include "instrument/LPFilterInverse.h"
#include "instrument/Repackager.h"
#include "instrument/SpeexProvider.h"

using namespace wraptest;

namespace {

// Applies `events` in a block of 0 frames: nothing renders.
void applyEvents(ChipWrap& w, const std::vector<HDMIDIEvent>& events) {
    auto in = std::make_unique<EventList>();
    in->count = events.size();
    std::copy(events.begin(), events.end(), in->events);
    float l = 0.0f, r = 0.0f;
    float* outputs[2] = {&l, &r};
    w.getRecord()->process(w.getRecord(), outputs, 0, in.get(), nullptr, nullptr);
}

TEST(ChipWrapHostRate, UpTo48kHzTheOutputIsTheDirectChainSampleForSample) {
    for (double rate : {32000.0, 44100.0, 48000.0}) {
        SCOPED_TRACE(rate);
        const std::vector<HDMIDIEvent> note = {midiEvent(0x90, 69, 100)};
        auto played = makeWrap(rate);
        std::vector<double> right;
        const std::vector<double> left = render(*played, 40 * 256, 256, note, &right);

        // The same chips, rendered through a chain built from the parts.
        auto chips = makeWrap(rate);
        applyEvents(*chips, note);
        SpeexProvider resampler;
        ASSERT_TRUE(resampler.setup(2, uint64_t(std::floor(chips->getChipRate() + 0.5)),
                                    uint64_t(rate), chips->getQuality(), 1));
        resampler.reset(); // as a re-rate leaves it: the leading zeros stay
        Repackager<float> chain;
        ASSERT_TRUE(chain.setUp(chips->maxChipSamples(), 2));
        chain.wire(&resampler, chips.get());
        LPFilterInverse inverse[2];
        HPFilter highPass[2];
        for (int c = 0; c < 2; ++c) {
            inverse[c].cutoff = 100.0;
            highPass[c].cutoff = 7.5;
            for (Filter* f :
                 {static_cast<Filter*>(&inverse[c]), static_cast<Filter*>(&highPass[c])}) {
                f->rate = rate;
                f->setup();
            }
        }
        std::vector<double> expected[2];
        std::vector<float> block[2] = {std::vector<float>(256), std::vector<float>(256)};
        for (size_t done = 0; done < left.size(); done += 256) {
            float* outputs[2] = {block[0].data(), block[1].data()};
            chain.pull(outputs, 256);
            for (int c = 0; c < 2; ++c) {
                inverse[c].process(outputs[c], 256);
                highPass[c].process(outputs[c], 256);
                expected[c].insert(expected[c].end(), block[c].begin(), block[c].end());
            }
        }
        EXPECT_GT(insttest::peakOf(left), 0.01);
        EXPECT_EQ(left, expected[0]);
        EXPECT_EQ(right, expected[1]);
    }
}

// Re-rating an active instance between direct and upsampled rates: each
// rate plays the note at its pitch and the level of the 48 kHz render.
TEST(ChipWrapHostRate, RateChangesSwitchTheUpsamplingStageInAndOut) {
    auto reference = makeWrap(48000.0);
    const double level = rmsDb(render(*reference, 24000, 256, {midiEvent(0x90, 69, 100)}), 12000);
    auto w = makeWrap(48000.0);
    for (double rate : {96000.0, 44100.0, 384000.0, 88200.0, 48000.0, 192000.0}) {
        SCOPED_TRACE(rate);
        setProcessing(*w, rate, 256);
        const auto x = render(*w, size_t(rate / 2), 256, {midiEvent(0x90, 69, 100)});
        EXPECT_NEAR(insttest::pitchByZeroCrossings(x, rate, size_t(rate / 4)), 440.0, 1.0);
        EXPECT_NEAR(rmsDb(x, size_t(rate / 4)), level, 0.2);
        render(*w, size_t(rate / 10), 256, {midiEvent(0x80, 69, 0)});
    }
}

} // namespace
