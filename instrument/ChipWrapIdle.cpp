// The instrument object while nothing sounds. Once every chip is silent and
// the chip-rate stage (stereo filter history, low-pass states) and the
// resampler's memory hold only zeros, the chain would turn zeros into zeros:
// the chips then only move on in a few steps (timers keep their times) and
// the resampler counts its frames instead of converting them. The first
// event or setting that can make a chip sound ends it; the output is the same
// as when every frame is rendered.
#include <algorithm>

#include "instrument/ChipWrap.h"

namespace acme {

void ChipWrap::noteTail(float* const* buffers, uint32_t channels, uint64_t frames) {
    uint64_t zeros = 0;
    while (zeros < frames) {
        const uint64_t i = frames - 1 - zeros;
        bool zero = true;
        for (uint32_t c = 0; c < channels && zero; ++c) zero = buffers[c][i] == 0.0f;
        if (!zero) break;
        ++zeros;
    }
    shortcut.zeroTail =
        zeros == frames ? std::min<uint64_t>(shortcut.zeroTail + frames, UINT64_MAX / 2) : zeros;
}

bool ChipWrap::carryZero() const {
    if (!accumulators) return true;
    if (shortcut.restOwed)
        for (const int32_t(&side)[8] : shortcut.pendingRow)
            for (int32_t v : side)
                if (v != 0) return false;
    for (uint32_t c = 0; c < kMaxChannels; ++c)
        for (uint32_t k = 0; k < kSpreadCarry; ++k)
            if (carry(c)[k] != 0) return false;
    return true;
}

bool ChipWrap::chainSettled() {
    if (shortcut.settled) return true;
    if (!provider) return false;
    // The resampler holds at most its filter's length of consumed input and
    // a render's worth it has not consumed yet.
    const uint64_t held =
        uint64_t(chipSamples) + 2 * uint64_t(std::max<int64_t>(provider->inputLatency(), 0)) + 2;
    if (shortcut.zeroTail < held) return false;
    const uint32_t channels = outputCount();
    for (uint32_t c = 0; c < channels; ++c)
        if (lp[c].state != 0.0) return false;
    if (!carryZero()) return false;
    shortcut.settled = stereoFir.steadyOnZero();
    return shortcut.settled;
}

bool ChipWrap::renderOrSkip(float** buffers, uint64_t frames) {
    // While sound plays the zero tail stays shorter than a render: the chain
    // cannot have settled (chainSettled asks for more).
    if (fastPaths && controller && (shortcut.settled || shortcut.zeroTail >= chipSamples) &&
        chainSettled())
        return skipWhileSettled(buffers, frames);
    ChipWrap::renderSub(buffers, frames);
    return false;
}

bool ChipWrap::skipWhileSettled(float** buffers, uint64_t frames) {
    const uint64_t silent = controller->skipSilent(frames);
    shortcut.zeroTail = std::min<uint64_t>(shortcut.zeroTail + silent, UINT64_MAX / 2);
    stereoFir.skipped(silent);
    if (silent > 0) {
        // The sample in progress is no longer pendingRow's (whose rest was zero).
        shortcut.leaveRow();
    }
    if (silent == frames) return true;
    // A chip sounds from here on: the frames before are zeros, which the
    // settled stages would only have kept at zero.
    const uint32_t channels = outputCount();
    for (uint32_t c = 0; c < channels; ++c) std::fill(buffers[c], buffers[c] + silent, 0.0f);
    float* rest[kMaxChannels] = {};
    for (uint32_t c = 0; c < channels; ++c) rest[c] = buffers[c] + silent;
    ChipWrap::renderSub(rest, frames - silent);
    return false;
}

} // namespace acme
