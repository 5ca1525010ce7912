// Sample-and-hold up-sampling.
#include "instrument/SHProvider.h"

#include <algorithm>

bool SHProvider::setup(uint64_t channelCount, uint64_t inputRate, uint64_t outputRate) {
    channels = 0;
    factor = 1;
    if (channelCount == 0 || channelCount > kMaxChannels || inputRate == 0 ||
        outputRate < inputRate)
        return false;
    factor = outputRate / inputRate;
    channels = channelCount;
    return true;
}

uint64_t SHProvider::process(const float* const* input, float* const* output, uint64_t& inFrames,
                             uint64_t& outFrames) {
    const uint64_t taken = framesToTake(inFrames, outFrames);
    for (uint64_t c = 0; c < channels; ++c) {
        float* out = output[c];
        for (uint64_t i = 0; i < taken; ++i) {
            std::fill(out, out + factor, input[c][i]);
            out += factor;
        }
    }
    inFrames = taken;
    outFrames = taken * factor;
    return taken;
}

uint64_t SHProvider::framesToTake(uint64_t inFrames, uint64_t outFrames) const {
    const uint64_t whole = outFrames / factor + (outFrames % factor != 0 ? 1 : 0);
    return channels == 0 ? 0 : std::min(inFrames, whole);
}

uint64_t SHProvider::inputNeeded(uint64_t outFrames) {
    return std::max<uint64_t>(1, outFrames / factor);
}
