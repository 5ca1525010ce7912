// The base of an audio processor: a Component that also answers
// `IAudioProcessor` and `IProcessContextRequirements`. It keeps the speaker
// arrangements the host sets on the audio buses and the last `ProcessSetup`;
// `process` and `setProcessing` are the derived class's (kNotImplemented here).
#pragma once

#include "vst3base/Component.h"
#include "vst3base/IAudioProcessor.h"

namespace Steinberg::Vst {

class AudioEffect : public Component, public IAudioProcessor, public IProcessContextRequirements {
public:
    AudioEffect();

    // Sets the arrangement of the first numIns/numOuts audio buses; more than
    // the buses there are is refused.
    tresult setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                               SpeakerArrangement* outputs, int32 numOuts) override;
    tresult getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) override;
    // 32-bit samples only.
    tresult canProcessSampleSize(int32 symbolicSampleSize) override;
    uint32 getLatencySamples() override;
    // Stores the set-up; refuses a sample size it cannot process.
    tresult setupProcessing(ProcessSetup& setup) override;
    tresult setProcessing(TBool state) override;
    tresult process(ProcessData& data) override;
    uint32 getTailSamples() override;

    uint32 getProcessContextRequirements() override { return processContextRequirements_; }

    tresult queryInterface(const TUID iid, void** obj) override;
    SX_REFCOUNT_FORWARD(ComponentBase)

    const ProcessSetup& getProcessSetup() const { return processSetup_; }

protected:
    ProcessSetup processSetup_;
    uint32 processContextRequirements_ = 0; // IProcessContextRequirements flags
};

} // namespace Steinberg::Vst
