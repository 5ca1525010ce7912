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
#include "vst3base/IPluginFactory.h"
#include "vst3base/support/TestHost.h"

namespace plugtest {

using namespace vst3host;

inline const std::string kPlugBundle = SX_VST3_BUNDLE;

// Frequency from the first and last rising zero crossings (interpolated).
inline double measureFrequency(const std::vector<float>& s, double rate) {
    double first = -1, last = -1;
    int crossings = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i - 1] < 0.f && s[i] >= 0.f) {
            const double t = double(i - 1) + s[i - 1] / (s[i - 1] - s[i]);
            if (first < 0) first = t;
            last = t;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * rate / (last - first);
}

inline float peak(const std::vector<float>& s) {
    float p = 0.f;
    for (float v : s) p = std::max(p, std::fabs(v));
    return p;
}

// The test host with the plug-in's bundle loaded and the fake engine host in
// the preferences.
class PlugTest : public bridgetest::BridgeTest {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        runLoop = new HostRunLoop;
        host = new HostApplication(hostName(), runLoop);
        handler = new HostComponentHandler;
        std::string error;
        module = Vst3Module::load(kPlugBundle, static_cast<IHostApplication*>(host), error);
        ASSERT_TRUE(module) << error;
    }
    void TearDown() override {
        module.reset();
        handler->release();
        host->release();
        runLoop->release();
        BridgeTest::TearDown();
    }
    virtual const char* hostName() const { return "sondrix test host"; }

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

    HostRunLoop* runLoop = nullptr;
    HostApplication* host = nullptr;
    HostComponentHandler* handler = nullptr;
    std::unique_ptr<Vst3Module> module;
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

} // namespace plugtest
