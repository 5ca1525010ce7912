// Quick and dense MIDI through the whole chain (the built bundle, the real
// engine host and "Brevado"), measured by the level of what sounds after it:
// a sustain pedal lifted and pressed again within one block releases the
// notes it held, and a note-off that comes after more events than one engine
// list holds still ends its note.
#include <cmath>
#include <string>
#include <vector>

#include "support/PlugTestSupport.h"

using namespace plugtest;

namespace {

constexpr double kRate = 48000.0;

class HostMIDI : public BuiltChainTest {
protected:
    // The RMS level in dB of `frames` frames of `s` from `from`.
    static double levelDb(const std::vector<float>& s, size_t from, size_t frames) {
        double sum = 0.0;
        for (size_t i = from; i < from + frames && i < s.size(); ++i) sum += double(s[i]) * s[i];
        return 10.0 * std::log10(sum / double(frames) + 1e-30);
    }
};

// Two keys held by the pedal after their note-offs, then, in one 1024-frame
// block, the pedal lifted at frame 100 and pressed again at frame 600. The
// keys fade as when the pedal is only lifted, not as when it stays down.
TEST_F(HostMIDI, APedalLiftedAndPressedAgainWithinABlockReleasesTheNotes) {
    constexpr int32 kBlock = 1024;
    constexpr int kLiftBlock = 24; // about half a second in
    constexpr ParamID kSustain = 10000 + 64;
    enum Pedal { kLiftedAndPressed, kLifted, kHeld };
    std::vector<float> out[3];
    for (int pedal : {kLiftedAndPressed, kLifted, kHeld}) {
        auto p = makeInstance(kRate, kBlock);
        ASSERT_TRUE(p);
        for (int b = 0; b < kLiftBlock + 4; ++b) {
            HostEventList events;
            events.refAdd();
            HostParameterChanges changes;
            changes.refAdd();
            if (b == 0) {
                changes.add(kSustain, 0, 1.0);
                events.addNoteOn(10, 60, 0.9f);
                events.addNoteOn(10, 64, 0.9f);
            }
            if (b == 4) {
                events.addNoteOff(0, 60);
                events.addNoteOff(0, 64);
            }
            if (b == kLiftBlock && pedal != kHeld) {
                changes.add(kSustain, 100, 0.0);
                if (pedal == kLiftedAndPressed) changes.add(kSustain, 600, 1.0);
            }
            ASSERT_EQ(p->process(kBlock, &events, &changes), kResultOk);
            out[pedal].insert(out[pedal].end(), p->output(0).begin(),
                              p->output(0).begin() + kBlock);
        }
    }
    const size_t lift = size_t(kLiftBlock) * kBlock + 100;
    const double before = levelDb(out[kHeld], lift - 4800, 4800);
    ASSERT_GT(before, -40.0) << "the held keys should sound";
    for (double seconds : {0.01, 0.02, 0.05}) {
        const size_t at = lift + size_t(seconds * kRate);
        const double repedalled = levelDb(out[kLiftedAndPressed], at, 480);
        const double lifted = levelDb(out[kLifted], at, 480);
        const double held = levelDb(out[kHeld], at, 480);
        SCOPED_TRACE(seconds);
        EXPECT_NEAR(repedalled, lifted, 1.0);
        EXPECT_LT(repedalled, held - 20.0);
    }
}

// A note-off after 2,100 polyphonic-pressure events (on keys not held) in
// one 4096-frame block, or as the 2,048th event of a block that also writes
// a parameter: the note fades as without the crowd.
TEST_F(HostMIDI, ANoteOffAfterAFullEventListEndsItsNote) {
    constexpr int32 kBlock = 4096;
    const struct {
        const char* name;
        int32 crowd;    // events before the note-off
        bool noteOff;
    } cases[] = {{"alone", 0, true}, {"never off", 0, false}, {"after 2100", 2100, true},
                 {"2048th", 2047, true}};
    std::vector<float> out[4];
    for (size_t c = 0; c < 4; ++c) {
        auto p = makeInstance(kRate, kBlock);
        ASSERT_TRUE(p);
        // A parameter written with the value it has.
        const ParamValue value = p->controller()->getParamNormalized(0);
        for (int b = 0; b < 4; ++b) {
            HostEventList events;
            events.refAdd();
            HostParameterChanges changes;
            changes.refAdd();
            if (b == 0) events.addNoteOn(0, 69, 0.9f);
            if (b == 2) {
                changes.add(0, 0, value);
                for (int32 i = 0; i < cases[c].crowd; ++i) {
                    Event e{};
                    e.type = Event::kPolyPressureEvent;
                    e.sampleOffset = i / 3;
                    e.polyPressure = {1, int16(i % 128), 0.5f, -1};
                    events.addEvent(e);
                }
                if (cases[c].noteOff) events.addNoteOff(1000, 69);
            }
            ASSERT_EQ(p->process(kBlock, &events, &changes), kResultOk);
            out[c].insert(out[c].end(), p->output(0).begin(), p->output(0).begin() + kBlock);
        }
    }
    const size_t off = 2 * kBlock + 1000;
    ASSERT_GT(levelDb(out[1], off - 4800, 4800), -40.0) << "the note should sound";
    for (size_t c : {2, 3})
        for (double seconds : {0.01, 0.02, 0.05}) {
            const size_t at = off + size_t(seconds * kRate);
            SCOPED_TRACE(std::string(cases[c].name) + " " + std::to_string(seconds));
            const double crowded = levelDb(out[c], at, 480);
            EXPECT_NEAR(crowded, levelDb(out[0], at, 480), 1.0);
            EXPECT_LT(crowded, levelDb(out[1], at, 480) - 20.0);
        }
}

} // namespace
