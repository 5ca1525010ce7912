// The model profile's stereo output filter at the chip's rate: 16 taps per
// channel (left taps at the even, right taps at the odd positions of the
// profile's 32 floats) over 21 filter states that take turns frame by frame,
// so each state filters every 21st frame with its own history. The console
// renders one FM sample as 21 frames; the rotating states shape each of the
// 21 phases alike.
//
// Because state (i mod 21) saw exactly the frames i - 21, i - 42, ... before
// frame i, the 21 histories together are the last 315 input frames: frame i
// becomes the sum of tap j times input i - 21 j, j from 0 up, and the filter
// keeps one line of past inputs per channel instead of 21 separate histories.
//
// The console's chip side puts each chip sample's six channels into fixed
// frames of the 21 (two each, the rest empty). While the input holds exactly
// that layout (no other source adds to it), the frames of one channel see
// the same past inputs, so one sum per channel gives all of them; with the
// shortcuts switched on, such samples are filtered that way. Where the chip
// side hands its samples over as rows (one value per channel and side, see
// SpreadRows) and nothing else adds to the input, whole pieces are filtered
// from the rows without the input frames being written at all; the frames
// are made from the rows again when the filter next needs them.
#pragma once

#include <cstdint>

class LPFilter;

namespace acme {

class ChipWrapStereoFilter {
public:
    static constexpr uint32_t kStates = 21;
    static constexpr uint32_t kTaps = 16;
    // Past input frames a new frame reaches back to.
    static constexpr uint32_t kReach = kStates * (kTaps - 1);
    // Frames filtered in one pass (the work lines stay in the first-level cache).
    static constexpr uint32_t kSpan = 2048;

    // Filters `frames` frames of both channels in place.
    void process(float* left, float* right, uint64_t frames, const float* taps);
    // The chip side's whole chip-rate stage for both channels: the integer
    // samples times their gains, filtered, then each through its low-pass
    // (lowPass[0] left, lowPass[1] right), into `left` and `right`. The same
    // results as scaling, process() and the two low-pass filters in turn.
    // The integer samples are left zero. With `fast` (the shortcuts on) the
    // samples are also recorded for processRows.
    void processScaled(int32_t* inLeft, int32_t* inRight, const float gains[2],
                       float* left, float* right, uint64_t frames, const float* taps,
                       LPFilter* lowPass, bool fast);
    // The chip-rate stage (as processScaled) for a piece of `frames` frames
    // that holds nothing but chip samples in the spread layout: `count` rows
    // (SpreadRows layout) of the samples starting in the piece, the first
    // at frame (21 - samplePhase()) % 21, and, when the piece starts inside
    // a sample, that sample's row `pending` (its frames before the piece
    // held nothing else either). Gives what processScaled gives for those
    // frames. Returns false, changing nothing, where it cannot: the samples
    // the piece reaches back to are not all known to hold the layout, or
    // the taps or gains differ from the last piece's.
    bool processRows(const int32_t (*rows)[2][8], uint64_t count, const int32_t (*pending)[8],
                     const float gains[2], float* left, float* right, uint64_t frames,
                     const float* taps, LPFilter* lowPass);
    // The place of the next input frame in its chip sample's 21 frames.
    uint32_t samplePhase() const { return phase; }
    // Clears the past inputs: every state starts again from silence.
    void clear();
    // Whether every past input a new frame reaches back to is zero: zero
    // input then gives zero output.
    bool steadyOnZero() const;
    // The chip moved on by `frames` frames the filter did not see (its past
    // inputs all zero): keeps the filter's place in the chip's sample grid.
    void skipped(uint64_t frames);

private:
    // The newest kReach inputs are kept at [kLead + head - kReach, kLead + head),
    // the frames of a pass go on from kLead + head; only when a pass would run
    // past the room are the past inputs moved back to end at kLead (kLead:
    // kReach rounded up to whole vectors). Short calls so share one move.
    static constexpr uint32_t kLead = (kReach + 3) & ~3u;
    static constexpr uint32_t kGroup = 8; // frames a step of the filter loop computes
    static constexpr uint32_t kRoom = kLead + kSpan + kGroup;

    // Runs the filter in passes: fill(xl, xr, at, n) writes input frames
    // [at, at + n) to the work lines, emit(l, r, at, n) takes the filtered
    // frames [at, at + n) (n at most kGroup) from two small arrays.
    // With `held`, chip samples whose 21 frames carry the spread layout
    // (see noteSample) are filtered once per channel instead of per frame:
    // hold(l0, l1, r0, r1, at) then takes the 8 sums a side (channels 1-4,
    // then 5, 6 and the empty frames twice) for the 21 frames from `at`.
    template <class Fill, class Emit, class Hold>
    void run(uint64_t frames, const float* taps, bool held, Fill fill, Emit emit, Hold hold);
    // Records the chip sample whose 21 frames start at wl / wr in the line
    // if both sides hold the spread layout bit for bit (each channel's two
    // frames equal, every empty frame equal); otherwise starts the count of
    // such samples again.
    void noteSample(const float* wl, const float* wr);
    // Records a row (SpreadRows layout) scaled by `gains` as noteSample
    // records a sample that holds the layout.
    void noteRow(const int32_t (*row)[8], const float gains[2]);
    void record(const float (*row)[8]);
    // Makes the work lines hold the newest kReach inputs again after pieces
    // filtered from rows (from the recorded rows); the sample in progress
    // is then recorded again when it ends.
    void restoreLines();

    // Chip samples recorded by noteSample, as their 8 sums' inputs a side;
    // row k is kept at k and k + kRing, so that the newest row (newestRow())
    // and the kRing - 1 before it lie in one piece.
    static constexpr uint32_t kRing = 16;

    // The taps as the filter loop uses them (each broadcast to a vector),
    // made again only when the profile's taps differ from `tapsSeen`.
    void takeTaps(const float* taps);
    // Whether `taps` and `gains` are bit for bit the ones seen last.
    bool sameBits(const float* taps, const float gains[2]) const;
    using Lanes = float __attribute__((vector_size(16)));
    alignas(16) float tapsSeen[2 * kTaps] = {};
    Lanes tapLanes[2][kTaps] = {};

    alignas(16) float lines[2][kRoom] = {};
    alignas(16) float ring[2 * kRing][2][8] = {};
    const float (*newestRow() const)[2][8] { return ring + (samples - 1) % kRing + kRing; }
    uint32_t head = 0;    // frames written since the past inputs last moved back
    uint32_t phase = 0;   // place of the next input frame in its chip sample's 21
    uint32_t samples = 0; // chip samples recorded (the ring's next row, modulo kRing)
    uint32_t quiet = 0;   // of them, the newest that all held the layout (at most kTaps)

    // After pieces filtered from rows the work lines are behind (`behind`);
    // a sample in progress is then recorded already, its 7 low-pass inputs
    // (left and right side by side) kept in pendingInputs (`pendingKept`).
    bool behind = false;
    bool pendingKept = false;
    using Pair = double __attribute__((vector_size(16)));
    Pair pendingInputs[7] = {};
    alignas(8) float gainsSeen[2] = {};
};

} // namespace acme
