// Scaffolding for the plug-in tests: the built bundle "sondrix MD.vst3"
// loaded by the test host the way a DAW loads it, with the fake engine host
// named in the preferences (so the processor's start-up finds it), a host
// that offers a run loop, and helpers that build one processing block by
// hand when a test needs buffers or buses the test host does not make.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "support/BridgeTestSupport.h"
#include "support/BuildProduct.h"
#include "support/ZeroCrossings.h"
#include "vst3base/IPluginFactory.h"
#include "vst3base/support/TestHost.h"

namespace plugtest {

using namespace vst3host;

inline const std::string kPlugBundle = SX_VST3_BUNDLE;

using testsupport::pitchByZeroCrossings;

inline float peak(const std::vector<float>& s) {
    float p = 0.f;
    for (float v : s) p = std::max(p, std::fabs(v));
    return p;
}

// The test host with the plug-in's bundle loaded: instances of its processor
// class and objects of its factory.
class PlugHost : protected HostSession {
protected:
    void openPlugHost(const char* hostName) {
        std::string error;
        ASSERT_TRUE(openHost(kPlugBundle, hostName, error)) << error;
    }

    const FUID& processorClass() const { return module->findClass(kVstAudioEffectClass)->cid; }

    // A connected instance, prepared for processing when `rate` > 0.
    std::unique_ptr<PluginInstance> makeInstance(double rate = 48000.0, int32 block = 512) {
        std::string error;
        auto p = PluginInstance::create(*module, processorClass(), host, handler, error);
        EXPECT_TRUE(p) << error;
        if (p && rate > 0) {
            EXPECT_EQ(p->prepare(rate, block), kResultOk);
        }
        return p;
    }

    // A component of the factory, created and initialised but not connected.
    template <class I> IPtr<I> createObject(const FUID& cid) {
        void* obj = nullptr;
        if (module->factory()->createInstance(cid.data(), I::iid.data(), &obj) != kResultOk)
            return IPtr<I>();
        return IPtr<I>::adopt(static_cast<I*>(obj));
    }
};

// The plug-in's bundle in the test host, with the fake engine host in the
// preferences.
class PlugTest : public bridgetest::BridgeTest, protected PlugHost {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        openPlugHost(hostName());
    }
    void TearDown() override {
        closeHost();
        BridgeTest::TearDown();
    }
    virtual const char* hostName() const { return "sondrix test host"; }

    // The events the engine received, in order.
    std::vector<vantor::HDMIDIEvent> delivered() {
        const int n = std::min(engine->deliveredCount, fakeengine::State::kMaxDelivered);
        return std::vector<vantor::HDMIDIEvent>(engine->delivered, engine->delivered + n);
    }
    int countOpcode(int32_t opcode) {
        int n = 0;
        for (int i = 0; i < engine.callCount() && i < fakeengine::State::kMaxCalls; ++i)
            n += engine.call(i).opcode == opcode;
        return n;
    }
};

// One block built by hand: `outputs` buses of `channels` channels, each
// sample preset to `fill` so that unwritten buffers show.
struct HandBlock {
    HandBlock(int32 frames, int32 outputs, int32 channels, float fill = 0.75f)
        : samples(size_t(outputs * channels), std::vector<float>(size_t(frames), fill)),
          pointers(size_t(outputs * channels)), buses(size_t(outputs)) {
        for (size_t i = 0; i < samples.size(); ++i) pointers[i] = samples[i].data();
        for (int32 b = 0; b < outputs; ++b) {
            buses[size_t(b)].numChannels = channels;
            buses[size_t(b)].channelBuffers32 = pointers.data() + b * channels;
        }
        data.processMode = kRealtime;
        data.symbolicSampleSize = kSample32;
        data.numSamples = frames;
        data.numOutputs = outputs;
        data.outputs = outputs ? buses.data() : nullptr;
        changes.refAdd();
        events.refAdd();
        data.inputParameterChanges = &changes;
        data.inputEvents = &events;
    }
    std::vector<std::vector<float>> samples;
    std::vector<float*> pointers;
    std::vector<AudioBusBuffers> buses;
    HostParameterChanges changes;
    HostEventList events;
    ProcessData data{};
};

#ifdef SX_REGISTER_COMMAND
using testsupport::registerBuildProduct;

// The built bundle on the real engine host and engine plug-in.
class BuiltChainTest : public ::testing::Test, protected PlugHost {
protected:
    void SetUp() override {
        ASSERT_TRUE(registerBuildProduct());
        openPlugHost("sondrix test host");
    }
    void TearDown() override { closeHost(); }

    // `blocks` blocks of the left channel, the events in the first.
    std::vector<float> renderLeft(PluginInstance& p, int blocks, int32 block,
                                  HostEventList* events = nullptr) {
        std::vector<float> out;
        for (int b = 0; b < blocks; ++b) {
            EXPECT_EQ(p.process(block, b == 0 ? events : nullptr), kResultOk);
            out.insert(out.end(), p.output(0).begin(), p.output(0).begin() + block);
        }
        return out;
    }
};
#endif

} // namespace plugtest
