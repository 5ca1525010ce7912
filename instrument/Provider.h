// A rate provider: takes planar blocks of frames at one sample rate and
// returns planar frames at another. The instrument renders its chips at their
// own output rate and pulls host-rate audio through one of these; the caller
// serialises every call. Channel buffers are arrays of float pointers, one per
// channel, and frame counts are unsigned 64-bit.
#pragma once

#include <cstdint>

template <typename T> class Provider {
public:
    // Converts up to inFrames input frames into at most outFrames output
    // frames; on return the counts hold the frames consumed and produced.
    // Returns the frames consumed.
    virtual uint64_t process(const T* const* input, T* const* output, uint64_t& inFrames,
                             uint64_t& outFrames) = 0;
    // Input frames to hand in for `outFrames` output frames (at least 1).
    virtual uint64_t inputNeeded(uint64_t outFrames) = 0;
    // Forgets every past frame.
    virtual void reset() = 0;
    // Whether skip() can stand in for process() now.
    virtual bool canSkip() { return false; }
    // Counts as process() would for input frames that are all zeros, while
    // every frame the provider holds is zero too, without converting: the
    // output it stands for is all zeros. False (counts untouched) when the
    // provider cannot.
    virtual bool skip(uint64_t& /*inFrames*/, uint64_t& /*outFrames*/) { return false; }
    // Input frames to hand in for `outFrames` output frames where a call
    // that runs short of input is followed by calls for the outputs still
    // missing (each with what inputNeeded asks for them): the input of all
    // those calls, so that one call takes it at once, as long as it stays
    // within `room` frames. `kept` input frames are given before it. By
    // default (a provider that cannot count ahead) inputNeeded(outFrames).
    virtual uint64_t passesInput(uint64_t outFrames, uint64_t /*kept*/, uint64_t /*room*/) {
        return inputNeeded(outFrames);
    }
    virtual int64_t inputLatency() = 0;
    virtual int64_t outputLatency() = 0;
    virtual ~Provider() = default;
};

// Input frames for n output frames at ratio = input rate / output rate:
// n x ratio truncated toward zero, at least 1, saturating instead of
// overflowing.
inline uint64_t inputFramesForRatio(uint64_t outFrames, double ratio) {
    const double need = static_cast<double>(outFrames) * ratio;
    if (!(need >= 1.0)) return 1; // also NaN
    if (need >= 18446744073709551615.0) return UINT64_MAX;
    return static_cast<uint64_t>(need);
}
