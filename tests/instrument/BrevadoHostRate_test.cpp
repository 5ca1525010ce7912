// "Brevado" at every host rate it takes: a held note rendered through the
// built shared object at 44.1 kHz up to 384 kHz must sound as it does at
// 48 kHz (the same level and headroom) and carry nothing above the audio band:
// the chip's own sample rate of about 53 kHz leaves images there that a
// high host rate must not let through.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "BrevadoLibrary.h"
#include "InstrumentTestSupport.h"
#include "support/HeldSound.h"

using namespace vantor::EnginePluginSDK;
using vantor::HDMIDIEvent;

namespace {

using brevadotest::library;
using insttest::midiEvent;
using insttest::parameterEvent;
using testsupport::HeldSound;
using testsupport::measureHeld;

// Renders `seconds` of one instance at `rate` in 256-frame blocks; `events`
// go with the first block. The left channel.
std::vector<double> renderAt(double rate, double seconds, std::vector<HDMIDIEvent> events) {
    HostRecord host{nullptr};
    PluginRecord* record = library().create("com.Vantor.Emulator.MD", &host);
    if (!record) return {};
    ProcessingInfo info = {};
    info.sampleRate = rate;
    info.sampleRateInt = uint32_t(rate);
    info.maxBlockFrames = 256;
    info.samplePeriod = 1.0 / rate;
    record->dispatcher(record, PLUGIN_OP_SET_PROCESSING_INFO, &info, nullptr);
    const std::string profiles = SX_PRODUCT_DIR "/md_profiles.riff";
    ActivationRecord a = {};
    a.context = reinterpret_cast<uintptr_t>(profiles.c_str());
    record->dispatcher(record, PLUGIN_OP_ACTIVATE_RECORD, &a, nullptr);
    std::vector<double> left, right;
    if (a.result == 1)
        brevadotest::renderBlocks(record, size_t(std::lround(rate * seconds)), 256,
                                  std::move(events), left, right);
    library().destroy(record);
    return left;
}

// A held note at each rate: level within 0.2 dB and peak within 0.5 dB of
// the 48 kHz render, and nothing above 22 kHz within 60 dB of the note.
TEST(BrevadoHostRate, AHeldNoteSoundsAlikeAtEveryHostRate) {
    ASSERT_NE(library().handle, nullptr) << ::dlerror();
    struct Case {
        const char* what;
        std::vector<HDMIDIEvent> events;
    };
    const std::vector<Case> cases = {
        {"FM key 69", {midiEvent(0x90, 69, 100)}},
        // Layer 1 off, layer 7 (the PSG's first tone channel) on.
        {"PSG key 69",
         {parameterEvent(512 + 0, 0.0f), parameterEvent(512 + 6 * 16, 1.0f),
          midiEvent(0x90, 69, 100)}},
    };
    constexpr double kSeconds = 0.75, kHeld = 0.5;
    for (const Case& c : cases) {
        const HeldSound ref = measureHeld(renderAt(48000.0, kSeconds, c.events), 48000.0, kHeld);
        ASSERT_GT(ref.levelDb, -40.0) << c.what;
        for (double rate : {44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0, 384000.0}) {
            const HeldSound m = measureHeld(renderAt(rate, kSeconds, c.events), rate, kHeld);
            EXPECT_NEAR(m.levelDb, ref.levelDb, 0.2) << c.what << " at " << rate;
            EXPECT_NEAR(m.peakDb, ref.peakDb, 0.5) << c.what << " at " << rate;
            EXPECT_LT(m.aboveDb, -60.0) << c.what << " at " << rate;
        }
    }
}

} // namespace
