// speexdsp resampler owner: set-up, per-channel processing and the binary
// greatest common divisor that reduces the rate pair.
#include "instrument/SpeexProvider.h"

#include <speex/speex_resampler.h>

#include <algorithm>
#include <bit>

uint64_t steinGcd(uint64_t a, uint64_t b) {
    if (a == b) return a;
    if (a == 0) return b;
    if (b == 0) return a;
    // Factors of two common to both are set aside and restored at the end.
    const int shift = std::countr_zero(a | b);
    a >>= std::countr_zero(a);
    while (b != 0) {
        b >>= std::countr_zero(b);
        // Both odd: the larger becomes their difference, which is even.
        if (a > b) std::swap(a, b);
        b -= a;
    }
    return a << shift;
}

SpeexProvider::~SpeexProvider() {
    if (state) speex_resampler_destroy(state);
}

void SpeexProvider::clear() {
    if (state) speex_resampler_destroy(state);
    state = nullptr;
    ratio = 1.0;
    reducedInputRate = reducedOutputRate = 1;
    channels = 0;
    inLatency = outLatency = 0;
}

bool SpeexProvider::setup(uint64_t channelCount, uint64_t inputRate, uint64_t outputRate,
                          int32_t quality, int32_t skipZeros) {
    const bool valid = channelCount >= 1 && channelCount <= kMaxChannels && inputRate >= 1 &&
                       inputRate <= UINT32_MAX && outputRate >= 1 && outputRate <= UINT32_MAX &&
                       quality >= 0 && quality <= 10 && (!state || channelCount == channels);
    if (!valid) {
        clear();
        return false;
    }

    channels = channelCount;
    const uint64_t g = steinGcd(inputRate, outputRate);
    reducedInputRate = inputRate / g;
    reducedOutputRate = outputRate / g;

    int ok = RESAMPLER_ERR_SUCCESS;
    if (!state) {
        int error = 0;
        state = speex_resampler_init(static_cast<spx_uint32_t>(channels), 1024, 192000, quality,
                                     &error);
        if (!state) {
            clear();
            return false;
        }
        ok = speex_resampler_set_rate(state, 192000, 1024);
    } else {
        ok = speex_resampler_set_quality(state, quality);
    }
    if (ok == RESAMPLER_ERR_SUCCESS)
        ok = speex_resampler_set_rate(state, static_cast<spx_uint32_t>(inputRate),
                                      static_cast<spx_uint32_t>(outputRate));
    if (ok != RESAMPLER_ERR_SUCCESS) {
        clear();
        return false;
    }
    ratio = static_cast<double>(inputRate) / static_cast<double>(outputRate);
    if (skipZeros != 0) speex_resampler_skip_zeros(state);
    inLatency = speex_resampler_get_input_latency(state);
    outLatency = speex_resampler_get_output_latency(state);
    return true;
}

uint64_t SpeexProvider::process(const float* const* input, float* const* output, uint64_t& inFrames,
                                uint64_t& outFrames) {
    if (!state || channels == 0) {
        inFrames = outFrames = 0;
        return 0;
    }
    // speexdsp counts in 32 bits: larger requests are served in part.
    const auto in32 = static_cast<spx_uint32_t>(std::min<uint64_t>(inFrames, UINT32_MAX));
    const auto out32 = static_cast<spx_uint32_t>(std::min<uint64_t>(outFrames, UINT32_MAX));
    spx_uint32_t consumed = 0, produced = 0;
    for (uint64_t c = 0; c < channels; ++c) {
        consumed = in32;
        produced = out32;
        speex_resampler_process_float(state, static_cast<spx_uint32_t>(c), input[c], &consumed,
                                      output[c], &produced);
    }
    inFrames = consumed;
    outFrames = produced;
    return consumed;
}

uint64_t SpeexProvider::inputNeeded(uint64_t outFrames) {
    return inputFramesForRatio(outFrames, ratio);
}

void SpeexProvider::reset() {
    if (state) speex_resampler_reset_mem(state);
}
