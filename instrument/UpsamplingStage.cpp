// Base-rate choice, set-up and the source side of the upsampling stage.
#include "instrument/UpsamplingStage.h"

#include <algorithm>
#include <cstdint>

uint32_t UpsamplingStage::baseRateFor(uint32_t hostRate) {
    if (hostRate <= kDirectRateLimit) return hostRate;
    return hostRate % 44100 == 0 ? 44100 : 48000;
}

bool UpsamplingStage::setUp(uint64_t channelCount) {
    channels = 0;
    if (channelCount == 0 || channelCount > Repackager<float>::kMaxChannels) return false;
    if (!repackager.setUp(kCapacity, channelCount)) return false;
    channels = channelCount;
    return true;
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

void UpsamplingStage::renderSub(float** buffers, uint64_t frames) {
    source->pull(buffers, frames);
    for (uint64_t c = 0; c < channels; ++c)
        for (uint64_t done = 0; done < frames;) {
            const uint64_t n = std::min<uint64_t>(frames - done, INT32_MAX);
            filters[c].process(buffers[c] + done, static_cast<int32_t>(n));
            done += n;
        }
}
