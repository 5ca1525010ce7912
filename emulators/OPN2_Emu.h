// The YM2612 form of the OPN-family chip, with the spread renders of the
// console sound system: every chip sample owns a frame of 21 (or 9) output
// positions in which each channel has its own slot or slots.
//
// Music streams the DAC byte (register 0x2A) thousands of times a second,
// which cuts the renders into pieces of a few chip samples. The spread
// renders therefore compute the channels ahead of the output, in runs that
// grow while nothing but DAC bytes is written: the values are kept as the
// channels give them, and the DAC byte, pans, curve and output mode are
// applied when a frame is emitted. Anything else that reads or changes the
// chip first brings the state back to the sample the output has reached
// (settle). Output and state are exactly those of rendering sample by sample.
#pragma once

#include <cstdint>

#include "emulators/OPNX_Emu.h"

class OPN2_Emu : public OPNX_Emu {
public:
    OPN2_Emu();
    ~OPN2_Emu() override;

    // Also clears the spread phase and the held frame.
    void reset() override;
    // A DAC byte (port 0, register 0x2A) leaves the samples computed ahead
    // in place; every other write settles first.
    void write(uint16_t address, uint8_t data, uint64_t port) override;

    // Adds `frames` output positions with each channel in its slots of the
    // 21-slot (or 9-slot) frame; `curve` (512 entries) is read in mode 0 only.
    // With `rows` (and carrying), whole samples on the rows' grid go into
    // their rows instead. Returns whether anything was added into outputs.
    bool renderSpread21(int32_t** outputs, uint64_t frames, const int16_t* curve, uint32_t mode,
                        SpreadRows* rows = nullptr);
    void renderSpread9(int32_t** outputs, uint64_t frames, const int16_t* curve, uint32_t mode);

    // Most chip samples computed ahead at once.
    static constexpr uint32_t kMaxAhead = 128;

    // The next run of up to `count` chip samples computed ahead, unmapped
    // (record r at 6k + r of sample k), for the spread renders that map and
    // place the values in one pass; `n` receives the run's length (at least
    // 1 for a count of 1 or more, at most kMaxAhead). `mode` is an output
    // mode 0-3, 0 only with a curve.
    const int32_t* takeValues(uint32_t count, uint32_t mode, uint32_t& n);
    // takeValues for a caller that needs all `count` values from the run
    // computed ahead already, in the output stage of `truncated` (modes 0,
    // 1): null, with nothing taken, when the run holds fewer or the other
    // stage.
    const int32_t* takeReady(uint32_t count, bool truncated);
    // Whether the DAC replaced record 5 in the runs taken since the chip
    // last computed ahead.
    bool takenWithDac() const { return ahead_.dac; }
    // The pan bits of record r and the DAC byte as the writes left them (a
    // pan write settles the chip first, a DAC byte does not).
    uint8_t pan(int record) const { return chip_.channels[record].pan; }
    uint8_t dacData() const { return chip_.dacData; }

    // Whether the spread renders would add nothing but zeros until the next
    // write: every channel silent, no DAC, no timer A or CSM duty, a zero
    // channel value mapping to 0 in `mode` with `curve`, and no held value
    // left for the frame in progress. Judged at the sample the output has
    // reached: a chip that computed ahead into silence settles first.
    bool isSilent(const int16_t* curve, uint32_t mode);
    // What renderSpread21 (frameLength 21) or renderSpread9 (9) does to a
    // silent chip over `frames` positions, without the output: the spread
    // phase and the chip's phases, EG counter and LFO move in a few steps.
    void advanceSilent(uint64_t frames, uint32_t frameLength);

    // Spread state: the slot of the frame in progress that is emitted next,
    // and that frame's channel values (index c - 1 for channel c).
    uint64_t spreadPhase = 0;
    int32_t heldLeft[6] = {};
    int32_t heldRight[6] = {};

    // Carrying (set by the caller for each render): a frame cut by the end
    // of a block is added whole, its rest into the frames past the block,
    // instead of being held back for the next call. restInCarry: the rest
    // of the frame in progress went out that way (for frame length
    // carryLength); the held values stay, to take it back if needed.
    bool spreadCarry = false;
    bool restInCarry = false;
    uint32_t carryLength = 21;
    // Takes back from outputs (the start of the next block) what went out
    // past the last block and will not be emitted now: the rest of a frame
    // dropped by reset(), or the rest of the frame in progress (which is
    // then held back as without carrying).
    // Returns whether anything was taken back.
    bool retractRest(int32_t* const* outputs);
    bool retractPending() const { return retract_.pending; }

    // The spread renders' pan masks (all ones where a record's pan sends it
    // to that side), made again after the chip settled: pans change only by
    // what settles the chip first (writes, mutes, reset, state()).
    struct PanMasks {
        int32_t left[6] = {};
        int32_t right[6] = {};
    };
    inline const PanMasks& panMasks();

protected:
    void settle() override;

private:
    // Takes the next n samples of the run computed ahead (there are as many).
    const int32_t* takeAhead(uint32_t n);
    // Computes the next run of samples ahead (at least `need`).
    void computeAhead(uint32_t need, bool truncated);
    // Renders n samples from the live state into ahead_.values.
    void renderAhead(uint32_t n, bool truncated);

    // What the chip keeps ahead of its output, in one record with one
    // invalidate, settle(), which brings the live state back to the sample
    // the output has reached: whatever reads or changes the chip settles
    // first, and the spread renders take only from the run.
    struct Ahead {
        // Channel values (by record, six per sample) of the samples computed
        // ahead; `used` of `count` have been taken.
        int32_t values[6 * kMaxAhead] = {};
        uint32_t count = 0;
        uint32_t used = 0;
        bool truncated = false; // computed with the 9-bit output stage (modes 0, 1)
        bool dac = false;       // the DAC replaced channel 6
        // Samples taken since the chip last settled (the next run is as
        // long, up to kMaxAhead), and between the two settles before: music
        // writes at a steady rate, so a run stops where the next write is
        // likely to fall. Kept over a settle, which ends a span.
        uint32_t steadyRun = 0;
        uint32_t lastSpan = 0;
        // Channels and shared state where the run began.
        FmChannel savedChannels[6];
        FmSharedState savedShared;
        bool panMasksStale = true;
        PanMasks panMasks;
    } ahead_;
    // The rest of a frame that went out past a block before a reset
    // dropped it: taken back at the start of the next block.
    struct Retract {
        bool pending = false;
        uint32_t length = 21;
        uint64_t phase = 0;
        int32_t left[6] = {};
        int32_t right[6] = {};
    } retract_;
};

// Inline: the spread renders take a run or two per call.
inline const int32_t* OPN2_Emu::takeValues(uint32_t count, uint32_t mode, uint32_t& n) {
    const bool truncated = mode < 2;
    if (ahead_.used < ahead_.count && truncated != ahead_.truncated) settle();
    count = count < kMaxAhead ? count : kMaxAhead;
    if (count > 0 && ahead_.used == ahead_.count) computeAhead(count, truncated);
    const uint32_t left = ahead_.count - ahead_.used;
    n = count < left ? count : left;
    return takeAhead(n);
}

inline const int32_t* OPN2_Emu::takeReady(uint32_t count, bool truncated) {
    if (ahead_.count - ahead_.used < count || truncated != ahead_.truncated) return nullptr;
    return takeAhead(count);
}

inline const int32_t* OPN2_Emu::takeAhead(uint32_t n) {
    const int32_t* values = ahead_.values + 6 * ahead_.used;
    ahead_.used += n;
    ahead_.steadyRun = ahead_.steadyRun > UINT32_MAX - n ? UINT32_MAX : ahead_.steadyRun + n;
    return values;
}

inline const OPN2_Emu::PanMasks& OPN2_Emu::panMasks() {
    if (ahead_.panMasksStale) {
        ahead_.panMasksStale = false;
        for (int r = 0; r < 6; ++r) {
            ahead_.panMasks.left[r] = pan(r) & 2 ? -1 : 0;
            ahead_.panMasks.right[r] = pan(r) & 1 ? -1 : 0;
        }
    }
    return ahead_.panMasks;
}
