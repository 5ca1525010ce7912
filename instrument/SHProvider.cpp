// Sample-and-hold up-sampling.
#include "instrument/SHProvider.h"

#include <algorithm>

bool SHProvider::setup(uint64_t channelCount, uint64_t inputRate, uint64_t outputRate) {
    channels = 0;
    factor = 1;
    carriedRepeats = 0;
    if (channelCount == 0 || channelCount > kMaxChannels || inputRate == 0 ||
        outputRate < inputRate)
        return false;
    factor = outputRate / inputRate;
    channels = channelCount;
    return true;
}

SHProvider::Plan SHProvider::plan(uint64_t inFrames, uint64_t outFrames) const {
    Plan p;
    if (channels == 0) return p;
    p.carried = std::min(carriedRepeats, outFrames);
    const uint64_t room = outFrames - p.carried;
    const uint64_t wanted = room / factor + (room % factor != 0 ? 1 : 0);
    p.taken = std::min(inFrames, wanted);
    if (p.taken > 0) p.lastRepeats = std::min(factor, room - (p.taken - 1) * factor);
    p.produced = p.carried + (p.taken > 0 ? (p.taken - 1) * factor + p.lastRepeats : 0);
    return p;
}

void SHProvider::finish(const Plan& p) {
    if (p.taken > 0)
        carriedRepeats = factor - p.lastRepeats;
    else
        carriedRepeats -= p.carried;
}

uint64_t SHProvider::process(const float* const* input, float* const* output, uint64_t& inFrames,
                             uint64_t& outFrames) {
    const Plan p = plan(inFrames, outFrames);
    for (uint64_t c = 0; c < channels; ++c) {
        float* out = std::fill_n(output[c], p.carried, held[c]);
        for (uint64_t i = 0; i < p.taken; ++i)
            out = std::fill_n(out, i + 1 < p.taken ? factor : p.lastRepeats, input[c][i]);
        if (p.taken > 0) held[c] = input[c][p.taken - 1];
    }
    finish(p);
    inFrames = p.taken;
    outFrames = p.produced;
    return p.taken;
}

uint64_t SHProvider::inputNeeded(uint64_t outFrames) {
    return std::max<uint64_t>(1, outFrames / factor);
}

void SHProvider::reset() {
    carriedRepeats = 0;
}
