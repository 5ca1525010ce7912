// A voice that plays its part's lane of a step sequence: one signed 8-bit
// step per tick of the slot's step length, with a start delay counted in
// steps, a ramp-in that scales the first steps up to full size, swing that
// lengthens and shortens alternate steps, and the slot's loop modes (run to
// the end, loop while the note is held, loop always, hold). Ticks are counted
// in samples; the fraction of a sample each tick leaves is carried into the
// next, so the grid does not drift.
#pragma once

#include "synth/ModAction.h"

namespace VSX {

class StepActionVoice : public ModActionVoice {
public:
    static constexpr uint64_t kMaxStepsPerLane = 1024; // ten lanes fit the 16384 steps

    using ModActionVoice::ModActionVoice;

    // Publishes the current step, moves on, and returns the samples the step
    // lasts (at least 1).
    uint64_t onQuantum(double rate) override;
    // Back to the lane's first step: value 0, delay and ramp from the lane.
    void start() override;
    // As start, then on step `offset` of the lane (taken within the lane),
    // published at once and moved past.
    void startAt(uint64_t offset) override;
    void reset() override;
    // The lowest and highest step value the block declares.
    float getMin() override;
    float getMax() override;

    // The slot's step count as the voice uses it: a power of two, 1..1024.
    uint64_t stepCount() const;
    // The index of the lane's first step in the block.
    uint64_t laneBase() const;

private:
    float currentStep();
    void advance();
};

} // namespace VSX
