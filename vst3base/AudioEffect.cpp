// IAudioProcessor defaults: bus arrangements, sample size and set-up.
#include "vst3base/AudioEffect.h"

namespace Steinberg::Vst {

AudioEffect::AudioEffect() {
    processSetup_.processMode = kRealtime;
    processSetup_.symbolicSampleSize = kSample32;
    processSetup_.maxSamplesPerBlock = 1024;
    processSetup_.sampleRate = 44100.0;
}

tresult AudioEffect::setBusArrangements(SpeakerArrangement* inputs, int32 numIns,
                                        SpeakerArrangement* outputs, int32 numOuts) {
    if (numIns < 0 || numOuts < 0) return kInvalidArgument;
    if ((numIns > 0 && !inputs) || (numOuts > 0 && !outputs)) return kInvalidArgument;
    if (numIns > static_cast<int32>(audioInputs_.size()) ||
        numOuts > static_cast<int32>(audioOutputs_.size()))
        return kResultFalse;
    for (int32 i = 0; i < numIns; ++i) {
        audioInputs_[static_cast<size_t>(i)].arrangement = inputs[i];
        audioInputs_[static_cast<size_t>(i)].channelCount = SpeakerArr::getChannelCount(inputs[i]);
    }
    for (int32 i = 0; i < numOuts; ++i) {
        audioOutputs_[static_cast<size_t>(i)].arrangement = outputs[i];
        audioOutputs_[static_cast<size_t>(i)].channelCount =
            SpeakerArr::getChannelCount(outputs[i]);
    }
    return kResultOk;
}

tresult AudioEffect::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) {
    const auto* list = getBusList(kAudio, dir);
    if (!list || index < 0 || index >= static_cast<int32>(list->size())) return kInvalidArgument;
    arr = (*list)[static_cast<size_t>(index)].arrangement;
    return kResultOk;
}

tresult AudioEffect::canProcessSampleSize(int32 symbolicSampleSize) {
    return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

uint32 AudioEffect::getLatencySamples() {
    return 0;
}

tresult AudioEffect::setupProcessing(ProcessSetup& setup) {
    if (canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue) return kResultFalse;
    processSetup_ = setup;
    return kResultOk;
}

tresult AudioEffect::setProcessing(TBool) {
    return kNotImplemented;
}
tresult AudioEffect::process(ProcessData&) {
    return kNotImplemented;
}
uint32 AudioEffect::getTailSamples() {
    return kNoTail;
}

tresult AudioEffect::queryInterface(const TUID iid, void** obj) {
    if (!obj) return kInvalidArgument;
    if (answerInterface<IAudioProcessor>(iid, this, obj) ||
        answerInterface<IProcessContextRequirements>(iid, this, obj))
        return kResultOk;
    return Component::queryInterface(iid, obj);
}

} // namespace Steinberg::Vst
