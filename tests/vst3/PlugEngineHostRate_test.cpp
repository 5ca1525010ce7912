// The whole chain at every session rate a DAW may run: the test host loads
// the built bundle, whose processor starts the real engine host with the real
// "Brevado" behind it. A held note must keep the level and headroom it has at
// 48 kHz, and nothing above 22 kHz may come within 60 dB of it, however high
// the rate.
#include <cstdlib>
#include <memory>

#include "support/HeldSound.h"
#include "support/PlugTestSupport.h"

using namespace plugtest;
using testsupport::HeldSound;
using testsupport::measureHeld;

namespace {

class EngineHostRate : public BuiltChainTest {
protected:
    // Half a second of key 69 at `rate`, left channel, in 512-frame blocks.
    std::vector<float> heldNote(double rate) {
        auto p = makeInstance(rate, 512);
        if (!p) return {};
        HostEventList notes;
        notes.refAdd();
        notes.addNoteOn(0, 69, 0.8f, 1);
        return renderLeft(*p, int(rate / 512) * 3 / 4, 512, &notes);
    }
};

TEST_F(EngineHostRate, AHeldNoteSoundsAlikeAtEverySessionRate) {
    constexpr double kHeld = 0.4;
    const std::vector<float> reference = heldNote(48000.0);
    if (peak(reference) < 1e-4f)
        GTEST_SKIP() << "Brevado renders silence until the console instrument lands";
    const HeldSound ref = measureHeld(reference, 48000.0, kHeld);
    for (double rate : {44100.0, 96000.0, 192000.0, 384000.0}) {
        SCOPED_TRACE(rate);
        const HeldSound m = measureHeld(heldNote(rate), rate, kHeld);
        EXPECT_NEAR(m.levelDb, ref.levelDb, 0.2);
        EXPECT_NEAR(m.peakDb, ref.peakDb, 0.5);
        EXPECT_LT(m.aboveDb, -60.0);
    }
}

} // namespace
