#include "synth/StepActionVoice.h"

#include <algorithm>

#include "synth/AutomSlot.h"

namespace VSX {

uint64_t StepActionVoice::stepCount() const {
    uint64_t n = std::min<uint64_t>(owner->slot->stepCount, kMaxStepsPerLane);
    if (n == 0) return 1;
    // Positions wrap with a mask, so a count in between is taken down to a
    // power of two.
    while (n & (n - 1)) n &= n - 1;
    return n;
}

uint64_t StepActionVoice::laneBase() const {
    const uint64_t lane = owner->part < AutomSlot::kLanes ? owner->part : 0;
    return lane * stepCount();
}

float StepActionVoice::getMin() {
    if (!owner->block || owner->blockSize < StepBlock::kMaxOffset + 2) return 0.0f;
    return static_cast<float>(readBlockI16(owner->block, StepBlock::kMinOffset));
}

float StepActionVoice::getMax() {
    if (!owner->block || owner->blockSize < StepBlock::kMaxOffset + 2) return 1.0f;
    return static_cast<float>(readBlockI16(owner->block, StepBlock::kMaxOffset));
}

float StepActionVoice::currentStep() {
    const size_t at = StepBlock::kStepsOffset + (position & (StepBlock::kSteps - 1));
    // A block shorter than its layout reads as silent steps past its end.
    if (!owner->block || at >= owner->blockSize) return 0.0f;
    float v = static_cast<float>(static_cast<int8_t>(owner->block[at]));
    if (ramp < 1.0f) {
        v *= ramp;
        if (delay == 0) ramp += owner->lane->rampFactor;
    }
    return v;
}

void StepActionVoice::start() {
    position = laneBase();
    ticks = 0;
    const int16_t d = owner->lane->delay;
    delay = static_cast<uint16_t>(d > 0 ? d : 0);
    ramp = owner->lane->rampFactor;
    update(0.0f, true);
}

void StepActionVoice::startAt(uint64_t offset) {
    start();
    position = laneBase() + (offset & (stepCount() - 1));
    update(currentStep(), false);
    advance();
}

void StepActionVoice::reset() {
    position = laneBase();
    ticks = 0;
    delay = 0;
    carry = 0.0f;
}

void StepActionVoice::advance() {
    const uint64_t steps = stepCount();
    const uint64_t base = laneBase();
    const uint64_t p = position & (steps - 1);
    const uint64_t last = steps - 1;
    const uint64_t loopOut = std::min<uint64_t>(owner->lane->loopOut, last);
    const uint64_t loopIn = std::min<uint64_t>(owner->lane->loopIn, loopOut);
    const int32_t mode = owner->slot->loopMode;
    auto toEnd = [&] { position = base + std::min(p + 1, last); };
    auto loop = [&] { position = base + (p + 1 > loopOut ? loopIn : p + 1); };

    if (delay > 0) {
        --delay;
    } else if (mode == 0) {
        toEnd();
    } else if (mode == 1) {
        if (gate)
            loop();
        else if (previousGate) // just released: leave the loop
            position = base + std::min(loopOut + 1, last);
        else
            toEnd();
    } else if (mode == 2) {
        loop();
    } // modes 3 and above hold the step
    previousGate = gate;
}

uint64_t StepActionVoice::onQuantum(double rate) {
    update(currentStep(), false);
    advance();
    double duration = owner->getStepDuration(index);
    const float swing = owner->slot->swing;
    if (swing != 0.0f && swing == swing) duration *= (ticks & 1) ? 1.0 - swing : 1.0 + swing;
    ++ticks;
    return samplesWithCarry(duration * rate, carry);
}

} // namespace VSX
