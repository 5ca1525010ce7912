// Base-rate choice, set-up and the source side of the upsampling stage.
#include "instrument/UpsamplingStage.h"

#include <cstdint>

uint32_t UpsamplingStage::baseRateFor(uint32_t hostRate) {
    if (hostRate <= kDirectRateLimit) return hostRate;
    return hostRate % 44100 == 0 ? 44100 : 48000;
}

bool UpsamplingStage::setUp(uint64_t channelCount) {
    // The re-blocking stage refuses a channel count it cannot hold.
    channels = repackager.setUp(kCapacity, channelCount) ? channelCount : 0;
    return channels > 0;
}

bool UpsamplingStage::tune(uint32_t baseRate, uint32_t hostRate, Repackager<float>* baseFrames,
                           LPFilterInverse* inverse) {
    source = baseFrames;
    filters = inverse;
    // History first: the set-up's skipping of the filter's leading zeros
    // must survive, so the stage adds no more delay than it must.
    upsampler.reset();
    const bool ready = channels > 0 && source && filters &&
                       upsampler.setup(channels, baseRate, hostRate, kQuality, 1);
    repackager.wire(ready ? &upsampler : nullptr, this);
    repackager.clear();
    return ready;
}

uint64_t UpsamplingStage::reach() const {
    using Wide = unsigned __int128;
    // The set-up dropped the filter's leading zeros: the first host frame
    // already takes in half the filter.
    const Wide taken = Wide(repackager.producedFrames()) * upsampler.reducedInputRate /
                       upsampler.reducedOutputRate;
    return static_cast<uint64_t>(taken) + static_cast<uint64_t>(upsampler.inLatency);
}

void UpsamplingStage::renderToReach() {
    const uint64_t target = reach();
    if (target > repackager.renderedFrames())
        repackager.renderAhead(target - repackager.renderedFrames());
}

void UpsamplingStage::renderSub(float** buffers, uint64_t frames) {
    // The stage's own re-blocking asks for at most kCapacity frames.
    source->pull(buffers, frames);
    for (uint64_t c = 0; c < channels; ++c)
        filters[c].process(buffers[c], static_cast<int32_t>(frames));
}
