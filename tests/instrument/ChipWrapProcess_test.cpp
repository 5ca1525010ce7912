// The audio block as a host drives it through the C record: events in frame
// order at their quantised frames, the sound of a note through the whole
// chain (chip units, stereo filter, resampler, output filters) measured for
// pitch and level, events that arrive while a command holds the mutex, and
// blocks with odd arguments.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "ChipWrapTestSupport.h"
#include "InstrumentTestSupport.h"

using namespace wraptest;

namespace {

NoteController& notes(ChipWrap& w) {
    return *static_cast<NoteController*>(w.getController());
}

// One block of `frames` frames with `events`; returns the echoed events.
std::vector<HDMIDIEvent> block(ChipWrap& w, int32_t frames, const std::vector<HDMIDIEvent>& events,
                               uint64_t outPreset = 0) {
    auto in = std::make_unique<EventList>();
    auto out = std::make_unique<EventList>();
    in->count = events.size();
    std::copy(events.begin(), events.end(), in->events);
    out->count = outPreset;
    std::vector<float> l(std::max(frames, 1)), r(std::max(frames, 1));
    float* outputs[2] = {l.data(), r.data()};
    w.getRecord()->process(w.getRecord(), outputs, frames, in.get(), out.get(), nullptr);
    return std::vector<HDMIDIEvent>(out->events,
                                    out->events + std::min<uint64_t>(out->count, 2048));
}

TEST(ChipWrapProcess, NoteOnPlaysAtItsPitchAtEitherHostRate) {
    for (double rate : {44100.0, 48000.0}) {
        auto w = makeWrap(rate);
        const auto x = render(*w, size_t(rate / 2), 256, {midiEvent(0x90, 69, 100)});
        EXPECT_NEAR(insttest::pitchByZeroCrossings(x, rate, size_t(rate / 10)), 440.0, 1.0) << rate;
        EXPECT_GT(rmsDb(x, size_t(rate / 10)), -30.0) << rate;
    }
}

TEST(ChipWrapProcess, PitchBendIdRaisesTheNoteByTheBend) {
    auto w = makeWrap(48000.0);
    const auto x = render(*w, 24000, 256, {midiEvent(0x90, 69, 100), parameterEvent(128, 1.0f, 8)});
    ASSERT_FALSE(notes(*w).midi.empty());
    const auto& bend = notes(*w).midi.back();
    EXPECT_EQ(bend.status, 0xE0);
    EXPECT_EQ((bend.data2 << 7) | bend.data1, 16383);
    EXPECT_NEAR(insttest::pitchByZeroCrossings(x, 48000.0, 4800), 880.0, 2.0);
}

TEST(ChipWrapProcess, NoteOffSilencesTheNote) {
    auto w = makeWrap(48000.0);
    const auto on = render(*w, 4800, 256, {midiEvent(0x90, 69, 100)});
    const auto off = render(*w, 9600, 256, {midiEvent(0x80, 69, 0)});
    EXPECT_GT(rmsDb(on, 2400), -30.0);
    EXPECT_LT(rmsDb(off, 4800), rmsDb(on, 2400) - 60.0);
}

TEST(ChipWrapProcess, NoteOffSentWhileACommandHoldsTheMutexStillEndsTheNote) {
    auto w = makeWrap(48000.0);
    const auto on = render(*w, 4800, 256, {midiEvent(0x90, 69, 100)});
    ASSERT_TRUE(w->getMutex().lock());
    const auto busy = render(*w, 256, 256, {midiEvent(0x80, 69, 0)});
    EXPECT_EQ(w->carriedEventCount(), 1u);
    w->getMutex().unlock();
    // The busy block is silence: the high-pass, which a command may be
    // rewriting, is left to the next block.
    EXPECT_EQ(std::count(busy.begin(), busy.end(), 0.0f), std::ptrdiff_t(busy.size()));
    const auto after = render(*w, 9600, 256);
    EXPECT_EQ(w->carriedEventCount(), 0u);
    EXPECT_EQ(notes(*w).midi.back().status, 0x80);
    EXPECT_LT(rmsDb(after, 4800), rmsDb(on, 2400) - 60.0);
}

TEST(ChipWrapProcess, CarriedEventsAreBounded) {
    auto w = makeWrap(48000.0);
    std::vector<HDMIDIEvent> many(2048, parameterEvent(5, 0.5f));
    ASSERT_TRUE(w->getMutex().lock());
    for (int i = 0; i < 3; ++i) block(*w, 64, many);
    EXPECT_EQ(w->carriedEventCount(), size_t(ChipWrap::kCarryCapacity));
    w->getMutex().unlock();
    block(*w, 64, {});
    EXPECT_EQ(w->carriedEventCount(), 0u);
}

TEST(ChipWrapProcess, BlockSizesDoNotChangeTheSound) {
    auto whole = makeWrap(48000.0, 1024);
    auto split = makeWrap(48000.0, 1024);
    const std::vector<HDMIDIEvent> note = {midiEvent(0x90, 60, 100)};
    const auto a = render(*whole, 600, 600, note);
    auto b = render(*split, 256, 256, note);
    for (uint32_t n : {256u, 88u}) {
        const auto more = render(*split, n, n);
        b.insert(b.end(), more.begin(), more.end());
    }
    ASSERT_EQ(a.size(), b.size());
    EXPECT_GT(insttest::peakOf(a), 0.01);
    for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(a[i], b[i]) << i;
}

TEST(ChipWrapProcess, LongBlocksRenderWithoutOverrun) {
    // Declared 256 frames, then a host block far longer: pieces keep the
    // buffers bounded and the note still sounds.
    auto w = makeWrap(48000.0, 256);
    const auto x = render(*w, 24000, 12000, {midiEvent(0x90, 69, 100)});
    EXPECT_NEAR(insttest::pitchByZeroCrossings(x, 48000.0, 4800), 440.0, 1.0);
}

TEST(ChipWrapProcess, EventsAreEchoedInFrameOrderAtTheirQuantisedFrames) {
    auto w = makeWrap(48000.0);
    block(*w, 64, {}); // the activation's report goes out first
    const struct {
        int32_t frames;
        std::vector<int32_t> in;  // frame offsets; the id is the position
        std::vector<int32_t> ids; // echoed order
        std::vector<int32_t> at;  // echoed frames
    } cases[] = {
        {256, {6}, {0}, {4}},
        {256, {8, 8}, {0, 1}, {8, 8}},
        {256, {9, 2, 9, 1}, {3, 1, 0, 2}, {0, 0, 8, 8}},
        {256, {300, -5}, {1, 0}, {0, 252}}, // clamped into the block
        {0, {7, 3}, {0, 1}, {0, 0}},
    };
    for (const auto& c : cases) {
        std::vector<HDMIDIEvent> events;
        for (size_t i = 0; i < c.in.size(); ++i)
            events.push_back(parameterEvent(int32_t(i), 0.0f, c.in[i]));
        const auto echo = block(*w, c.frames, events);
        ASSERT_EQ(echo.size(), c.ids.size());
        for (size_t i = 0; i < echo.size(); ++i) {
            EXPECT_EQ(echo[i].id, c.ids[i]) << c.frames << " " << i;
            EXPECT_EQ(echo[i].frameOffset, c.at[i]) << c.frames << " " << i;
        }
    }
}

TEST(ChipWrapProcess, UnusableEventValuesAreIgnored) {
    auto w = makeWrap(48000.0);
    block(*w, 64, {});
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    HDMIDIEvent badTuning = midiEvent(0x90, 60, 100);
    badTuning.tuning = nan;
    HDMIDIEvent minusInf = parameterEvent(768, 0.5f);
    minusInf.tuning = -inf;
    const auto echo = block(*w, 64,
                            {parameterEvent(768, nan), parameterEvent(128, inf), badTuning,
                             minusInf, parameterEvent(769, 0.25f)});
    ASSERT_EQ(echo.size(), 1u);
    EXPECT_EQ(echo[0].id, 769);
    ASSERT_EQ(notes(*w).parameterSets.size(), 1u);
    EXPECT_EQ(notes(*w).parameterSets[0].first, 1);
    EXPECT_TRUE(notes(*w).midi.empty());
}

TEST(ChipWrapProcess, ZeroFrameBlocksApplyEventsAndDeferRawMessagesForNewHosts) {
    for (uint32_t version : {0u, 2114u}) {
        auto w = std::make_unique<ChipWrap>(nullptr, "MD", NoteController::make);
        ActivationRecord a = {};
        a.version = version;
        dispatchEntry(w->getRecord(), PLUGIN_OP_ACTIVATE_RECORD, &a, nullptr);
        block(*w, 0, {midiEvent(0x90, 60, 100), parameterEvent(768, 0.5f)});
        EXPECT_EQ(notes(*w).midi.size(), 1u) << version;
        EXPECT_EQ(notes(*w).parameterSets.size(), 1u) << version;
    }
}

TEST(ChipWrapProcess, OutListIsLeftAloneWhenNothingIsQueued) {
    auto w = makeWrap(48000.0);
    EXPECT_FALSE(block(*w, 64, {}, 0).empty()); // the chip rate reported by the re-rates
    EXPECT_EQ(block(*w, 64, {}, 7).size(), 7u);
}

TEST(ChipWrapProcess, OddArgumentsAreHarmless) {
    auto w = makeWrap(48000.0);
    PluginRecord* r = w->getRecord();
    auto in = std::make_unique<EventList>();
    in->count = 1;
    in->events[0] = midiEvent(0x90, 60, 100);
    r->process(r, nullptr, 256, in.get(), nullptr, nullptr); // events still applied
    EXPECT_EQ(notes(*w).midi.size(), 1u);
    std::vector<float> l(16, 0.5f);
    float* oneMissing[2] = {l.data(), nullptr};
    r->process(r, oneMissing, -4, nullptr, nullptr, nullptr);
    EXPECT_EQ(l[0], 0.5f);
    in->count = UINT64_MAX; // a lying count reads at most the list's capacity
    r->process(r, oneMissing, 16, in.get(), nullptr, nullptr);
    TimeRecord time = {};
    time.tempo = std::numeric_limits<double>::quiet_NaN();
    time.ppqPosition = 3.0;
    r->process(r, oneMissing, 16, nullptr, nullptr, &time);
    EXPECT_EQ(w->getController()->getHostTempo(), 120.0);
    EXPECT_EQ(w->getController()->getHostPosition(), 3.0);
}

TEST(ChipWrapProcess, DefaultFilterBlockPassesTheChipOutputUnchanged) {
    // Without a profile file the unit reports the default block (1, 1, then
    // zeros): the chip-rate stereo filter is transparent, so left and right
    // of a centred note are equal.
    auto w = makeWrap(48000.0);
    std::vector<double> right;
    const auto left = render(*w, 4800, 256, {midiEvent(0x90, 69, 100)}, &right);
    EXPECT_EQ(left, right);
}

} // namespace
