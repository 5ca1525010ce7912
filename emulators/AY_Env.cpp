#include "emulators/AY_Env.h"

#include "emulators/AY_BlockOps.h"
#include "emulators/FrameScale.h"

namespace {

enum class Pass { Descending, Ascending, AltFirstDescending, AltFirstAscending };

struct ShapeRule {
    Pass pass;
    bool repeats; // false: one pass, then the hold level
    uint32_t hold;
};

constexpr ShapeRule kShapes[16] = {
    {Pass::Descending, false, 0},        {Pass::Descending, false, 0},
    {Pass::Descending, false, 0},        {Pass::Descending, false, 0},
    {Pass::Ascending, false, 0},         {Pass::Ascending, false, 0},
    {Pass::Ascending, false, 0},         {Pass::Ascending, false, 0},
    {Pass::Descending, true, 0},         {Pass::Descending, false, 0},
    {Pass::AltFirstDescending, true, 0}, {Pass::Descending, false, AY_Env::kHoldHigh},
    {Pass::Ascending, true, 0},          {Pass::Ascending, false, AY_Env::kHoldHigh},
    {Pass::AltFirstAscending, true, 0},  {Pass::Ascending, false, 0},
};

} // namespace

AY_Env::AY_Env(uint32_t maxFrames) : levels(new uint32_t[maxFrames]()) {}

AY_Env::~AY_Env() = default;

void AY_Env::writeFine(uint8_t data) {
    periodRegister = uint16_t((periodRegister & 0xFF00) | data);
    applyPeriod();
}

void AY_Env::writeCoarse(uint8_t data) {
    periodRegister = uint16_t((data << 8) | (periodRegister & 0xFF));
    applyPeriod();
}

// A period of 0 steps like a period of 1, as on the chip.
void AY_Env::applyPeriod() {
    rawPeriod = periodRegister ? periodRegister : 1;
    scaleStep();
    if (counter >= scaledPeriod) counter = 0;
}

void AY_Env::scaleStep() {
    scaledPeriod = scaledLength(rawPeriod * stepMultiplier, periodScale, scaleFraction, scaleCarry);
}

void AY_Env::setScale(uint64_t whole, uint32_t fraction) {
    periodScale = whole;
    scaleFraction = fraction;
    scaleStep();
    if (counter >= scaledPeriod && !finished) counter = 0;
}

void AY_Env::writeShape(uint8_t data) {
    shape = data & 15;
    restart();
}

void AY_Env::restart() {
    counter = 0;
    stepIndex = 0;
    direction = 1;
    finished = 0;
}

void AY_Env::applyType() {
    if (type != appliedType && type <= 3) {
        const bool ym = type != 0;
        table = ym ? kYMTable : kAYTable;
        stepCount = ym ? 32 : 16;
        stepMultiplier = ym ? 1 : 2;
        scaleStep();
        periodRegister = 0;
        restart();
    }
    appliedType = type;
}

uint32_t AY_Env::currentLevel() const {
    bool descending;
    switch (kShapes[shape & 15].pass) {
    case Pass::Descending:
        descending = true;
        break;
    case Pass::Ascending:
        descending = false;
        break;
    case Pass::AltFirstDescending:
        descending = direction != 0;
        break;
    default:
        descending = direction == 0;
        break;
    }
    return table[descending ? stepCount - 1 - stepIndex : stepIndex];
}

uint32_t AY_Env::holdLevel() const {
    return kShapes[shape & 15].hold;
}

void AY_Env::endPass() {
    const ShapeRule& rule = kShapes[shape & 15];
    if (!rule.repeats) {
        finished = 1;
        counter = scaledPeriod;
        return;
    }
    stepIndex = 0;
    if (rule.pass == Pass::AltFirstDescending || rule.pass == Pass::AltFirstAscending)
        direction ^= 1;
}

// Each step's level is written for the samples up to and including the one on
// which the counter reaches the scaled period; the distance is taken modulo
// 2^64, and a distance of 0 (only with a period scale of 0) holds the step.
void AY_Env::renderBlock(uint64_t frames) {
    applyType();
    uint32_t* dst = levels.get();
    while (frames > 0) {
        if (finished) {
            ay_ops::fill(dst, frames, holdLevel());
            return;
        }
        const uint32_t level = currentLevel();
        const uint64_t untilStep = scaledPeriod - counter;
        if (untilStep == 0 || untilStep > frames) {
            ay_ops::fill(dst, frames, level);
            counter += frames;
            return;
        }
        ay_ops::fill(dst, untilStep, level);
        dst += untilStep;
        frames -= untilStep;
        counter = 0;
        if (scaleFraction) scaleStep();
        if (++stepIndex >= stepCount) endPass();
    }
}
