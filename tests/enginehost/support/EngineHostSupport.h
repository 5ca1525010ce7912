// Scaffolding for the tests that drive the real engine host bundle through
// the VST3 side's engine bridge: a private home for the whole test process,
// the preferences written there by the install step's own command, alerts
// captured, a started bridge, and blocks of events to process.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/AlertHandler.h"
#include "support/AlertCapture.h"
#include "support/BuildProduct.h"
#include "vantor/support/PrivateHome.h"
#include "vst3/SamplerPluginConfig.h"
#include "vst3/ZEFAWrapper.h"

namespace enginehosttest {

inline const std::string kProductDir = SX_PRODUCT_DIR;
inline const std::string kBundle = kProductDir + "/Morvane Engine.bundle";
inline const std::string kExecutable = kBundle + "/Contents/x86_64-linux/Morvane Engine.so";

using testsupport::alerts;
using testsupport::captureAlert;

using testsupport::registerBuildProduct;

// A block of the VST3 side's events with its output buffers.
struct Block {
    static constexpr int32_t kChannels = 2;
    static constexpr int32_t kFrames = 256;

    Block() : events(new vantor::MIDIEvents{}), samples(kChannels * kFrames, 1.0f) {
        events->word1 = 1;
        for (int c = 0; c < kChannels; ++c) channels[c] = samples.data() + c * kFrames;
        record.version = vantor::ZefaEngineProcessEx::kVersionEx;
        record.events = events.get();
        record.outputs = channels;
        record.frames = kFrames;
    }
    void note(int32_t kind, int32_t key, float velocity, int32_t offset) {
        vantor::HDMIDIEvent& e = events->events[events->count++];
        e = vantor::HDMIDIEvent{};
        e.kind = kind;
        e.id = key;
        e.value = velocity;
        e.noteId = key;
        e.frameOffset = offset;
    }

    std::unique_ptr<vantor::MIDIEvents> events;
    std::vector<float> samples;
    float* channels[kChannels];
    vantor::ZefaEngineProcessEx record{};
};

// Per test: the preferences in place, alerts captured, one started bridge.
class EngineHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(registerBuildProduct());
        alerts().clear();
        previous = platform::setAlertHandler(captureAlert);
        ASSERT_TRUE(bridge.init(44100, 1024, &SamplerPluginConfig, false));
    }
    void TearDown() override { platform::setAlertHandler(previous); }

    vantor::ZEFAWrapper bridge{vantor::ZEFAWrapper::kFormatVST3, vantor::kZefaInterfaceVersion,
                               SamplerPluginConfig.parameterCount};

private:
    platform::AlertHandler previous = nullptr;
};

} // namespace enginehosttest
