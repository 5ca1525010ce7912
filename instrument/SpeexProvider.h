// The rate provider the instrument uses: a thin owner of one speexdsp
// resampler. set-up reduces the two whole-hertz rates by their greatest common
// divisor and tunes the resampler to them; process runs it over every channel
// in turn. The resampler state is created by the first set-up and kept by
// later set-ups, which only change its quality and rates; its channel count
// never changes. speexdsp grows its filter table and memory whenever a
// filter needs more than it had: the state is sized in advance, for a
// 192000 : 1024 conversion or the ratio reserved, whichever is larger, at the
// quality of the first set-up or the one reserved, so that set-ups within
// those (a quality changed while audio runs) and the passing rates of a
// catch-up allocate nothing.
#pragma once

#include <cstdint>

#include "instrument/Provider.h"

struct SpeexResamplerState_;

class SpeexProvider : public Provider<float> {
public:
    SpeexProvider() = default;
    ~SpeexProvider() override;
    SpeexProvider(const SpeexProvider&) = delete;
    SpeexProvider& operator=(const SpeexProvider&) = delete;

    // Tunes the resampler to inputRate -> outputRate at `quality` (0-10);
    // skipZeros non-zero drops the filter's leading silence. A set-up that
    // fails (no channels or more than kMaxChannels, a rate of 0 or above
    // 2^32 - 1, a quality outside 0-10, another channel count than the
    // existing state's, or speexdsp refusing) returns false and leaves the
    // provider as new, without a state: it then produces nothing.
    bool setup(uint64_t channels, uint64_t inputRate, uint64_t outputRate, int32_t quality,
               int32_t skipZeros);
    // The largest ratio (input rate / output rate) and quality later
    // set-ups will ask for; the next set-up that finds the state smaller
    // sizes it for them (and allocates).
    void reserve(double largestRatio, int32_t highestQuality) {
        reservedRatio = largestRatio;
        reservedQuality = highestQuality;
    }

    // Runs every channel from the caller's two counts; the counts receive the
    // last channel's consumed and produced frames (all channels move alike).
    uint64_t process(const float* const* input, float* const* output, uint64_t& inFrames,
                     uint64_t& outFrames) override;
    // n x ratio truncated toward zero; 0 becomes 1.
    uint64_t inputNeeded(uint64_t outFrames) override;
    // Clears the resampler's history.
    void reset() override;
    // Silence is counted instead of converted from a reset on, while the
    // resampler's position is followed (not after a set-up without reset).
    bool canSkip() override { return tracked; }
    // The counts of process() for zero input into a resampler holding only
    // zeros, from the followed position; the resampler itself is brought to
    // that position by the next process() call (a few outputs at a passing
    // rate, or, where the filter length forbids that, zeros converted from a
    // reset: at most one period of the reduced ratio's output frames).
    bool skip(uint64_t& inFrames, uint64_t& outFrames) override;
    // Counted from the followed position, while the resampler is there.
    uint64_t passesInput(uint64_t outFrames, uint64_t kept, uint64_t room) override;
    // How many of `outFrames` output frames process() would make from
    // `inFrames` input frames given in one call, converting nothing and
    // changing nothing; a call that makes fewer consumes all its input.
    // False when the resampler is not at the followed position.
    bool outputsAhead(uint64_t inFrames, uint64_t outFrames, uint64_t& made) const;
    int64_t inputLatency() override { return inLatency; }
    int64_t outputLatency() override { return outLatency; }

    // Zero outputs the last catch-up converted to bring the resampler to the
    // followed position: a few at a passing rate, or up to a period.
    uint64_t catchUpOutputs() const { return caughtUp; }

    // The resampler state, null before the first set-up and after a failed one.
    SpeexResamplerState_* resampler() const { return state; }

    static constexpr uint64_t kMaxChannels = 32;

    double ratio = 1.0; // input rate / output rate
    uint64_t reducedInputRate = 1;
    uint64_t reducedOutputRate = 1;
    uint64_t channels = 0;
    int64_t inLatency = 0;
    int64_t outLatency = 0;

private:
    void clear();
    // Creates the state or grows it to the sizes reserved: the filter
    // memory is largest at the largest ratio, the filter table also at a
    // ratio just under 2 (the finest table speexdsp interpolates).
    bool size(int32_t quality);
    // Notes the current filter: one of the conversion's, or one passed
    // through only to size the memory.
    void noteFilter(bool conversion = true);
    // Input frames between output frames `phase` and `phase + count` of a
    // period (their first input frames' distance).
    uint64_t advanceOf(uint64_t from, uint64_t count) const {
        // In 64 bits where the products fit (every call of a running stream).
        uint64_t before = 0, after = 0;
        if (!__builtin_mul_overflow(from + count, num, &after) &&
            !__builtin_mul_overflow(from, num, &before))
            return after / den - before / den;
        return wideAdvanceOf(from, count);
    }
    uint64_t wideAdvanceOf(uint64_t from, uint64_t count) const;
    // Whether the resampler is at the followed position and one call given
    // `inFrames` input frames makes all `outFrames` outputs: output j's
    // newest input lies lag + advanceOf(phase, j) from the first input given.
    bool makesAll(uint64_t inFrames, uint64_t outFrames) const {
        return tracked && !behind && state && outFrames > 0 && inFrames <= UINT32_MAX &&
               outFrames <= UINT32_MAX && lag + advanceOf(phase, outFrames - 1) < inFrames;
    }
    // The calls passesInput counted for its last answer, where it counted
    // more than one: the input of each call after the first starts at
    // starts[i] of the `total` frames given at once. As each call would,
    // the one conversion (or count) of those frames cuts its pieces afresh
    // where a call's input starts, so that it consumes what the last call
    // would have consumed: the input kept back and the resampler's memory
    // stay as they would be.
    struct Passes {
        static constexpr int kMost = 4; // calls counted at most
        uint64_t starts[kMost - 1] = {};
        int count = 0;
        uint64_t total = 0;
    };
    // The passes counted for `inFrames` input frames (none for another
    // count); the next call finds none.
    Passes takePasses(uint64_t inFrames);
    // The end of the piece that starts at input frame `from` of `given`.
    uint64_t pieceEnd(uint64_t from, uint64_t given, const Passes& cuts) const;
    // What process() consumes and produces of the counts given, from the
    // followed position, with the pieces cut at `cuts`.
    void count(uint64_t& inFrames, uint64_t& outFrames, const Passes& cuts) const;
    // How many outputs from output `from` of a period on have their newest
    // input less than `distance` inputs beyond that of output `from`.
    uint64_t outputsBefore(uint64_t from, uint64_t distance) const;
    // Moves the followed position past `produced` outputs and `consumed`
    // inputs; no longer followed when they do not fit it.
    void follow(uint64_t produced, uint64_t consumed) {
        const uint64_t reach = lag + advanceOf(phase, produced);
        if (consumed > reach) {
            tracked = false;
            return;
        }
        lag = reach - consumed;
        phase = (phase + produced) % den;
    }
    // Brings the resampler to the followed position.
    void catchUp();
    // The same after a reset in a few outputs at a passing rate (one that
    // keeps the filter); false (the resampler reset) when no such rate is
    // found.
    bool jumpToPhase();
    // From a reset, `outputs` outputs of zeros at the ratio rateNum / rateDen,
    // ending `lag` inputs before the next output's newest input, then the
    // set-up's rates again; false (the resampler reset) when the filter
    // would change length or the counts differ.
    bool runAtRate(uint64_t rateNum, uint64_t rateDen, uint64_t outputs);

    // The resampler's position as speexdsp keeps it: output frames since the
    // reset modulo the period (`den` outputs take `num` inputs), and how far
    // the next output's newest input lies beyond the input consumed so far.
    bool tracked = false;
    bool behind = false; // skipped: the resampler has not moved with `phase`
    uint64_t num = 1;
    uint64_t den = 1;
    uint64_t phase = 0;
    uint64_t lag = 0;
    // The pieces speexdsp cuts its input into: the memory it allocated for
    // the longest filter it has had, less the current filter, plus 160.
    uint64_t chunk = 160;
    uint64_t inputRateHz = 0; // the rates of the last set-up
    uint64_t outputRateHz = 0;
    uint64_t longestFilter = 0;
    // The pieces the memory holds, from the longest filter it was sized for.
    uint64_t longestInMemory = 0;
    uint64_t memoryChunk = 160;
    int32_t filterQuality = 0; // of the last set-up
    uint64_t caughtUp = 0;
    double reservedRatio = 0.0;
    int32_t reservedQuality = 0;
    // What the state is sized for: every quality up to sizedQuality at
    // ratios up to sizedRatio.
    double sizedRatio = 0.0;
    int32_t sizedQuality = -1;
    float scratch[256] = {};
    Passes passes; // counted by the last passesInput

    SpeexResamplerState_* state = nullptr;
};

// Greatest common divisor by Stein's binary algorithm; gcd(a, 0) = a.
uint64_t steinGcd(uint64_t a, uint64_t b);
