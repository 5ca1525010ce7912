#include "emulators/FmPhase.h"

#include "emulators/FmEnvelope.h"
#include "emulators/FmTables.h"

int32_t pmOffset(uint16_t fnum, uint8_t pms, uint8_t lfoStep) {
    pms &= 7;
    if (pms == 0) return 0;
    uint32_t i = (lfoStep >> 2) & 7u;
    if (lfoStep & 0x20) i = 7 - i;
    int32_t x = (fnum & 0x7FF) >> 4;
    int32_t v;
    switch (kLfoPmSteps[pms][i]) {
    case 1:
        v = x >> 2;
        break;
    case 2:
        v = x >> 1;
        break;
    case 3:
        v = (x >> 2) + (x >> 1);
        break;
    case 4:
        v = x;
        break;
    case 5:
        v = x + (x >> 2);
        break;
    case 6:
        v = x + (x >> 1);
        break;
    default:
        v = 0;
        break;
    }
    if (pms == 6)
        v >>= 1;
    else if (pms < 6)
        v >>= 2;
    return (lfoStep & 0x40) ? -v : v;
}

void updateFrequencies(FmChannel& channel, uint8_t lfoStep, uint8_t lfoPrevStep) {
    const uint32_t variant = channel.shared ? channel.shared->variant : kFmYM2612;
    const uint32_t pitchScale = channel.shared ? channel.shared->pitchScale : kFmOwnPitch;
    for (int k = 0; k < 4; ++k) {
        FmOperator& op = channel.operators[k];
        int entry = (channel.specialMode && k < 3) ? k : 3;
        uint32_t fnum = channel.fnum[entry] & 0x7FFu;
        uint32_t block = channel.block[entry] & 7u;
        uint8_t step = (k == kOpS1) ? lfoStep : lfoPrevStep;
        int32_t pm = pmOffset(static_cast<uint16_t>(fnum), channel.pms, step);

        uint32_t kc = block * 4 + kKeyCodeNotes[fnum >> 7];
        op.keyCode = static_cast<uint8_t>(kc);
        int32_t dt = kDetune[op.detune & 7][kc];
        // 2 * fnum + pm modulo 4096, computed on the unsigned 16-bit pm.
        uint32_t f = ((2 * fnum + static_cast<uint16_t>(pm)) & 0xFFFu) << block;
        uint32_t mul = kMultiples[op.multiple & 15];
        if (variant == kFmYM2203) {
            int32_t v = static_cast<int32_t>(f >> 1) + 2 * dt;
            op.phaseInc = static_cast<uint32_t>((static_cast<int32_t>(mul) * v) >> 1);
        } else {
            uint32_t v = ((f >> 2) + static_cast<uint32_t>(dt)) & 0x1FFFFu;
            op.phaseInc = (mul * v) & ~1u;
        }
        if (pitchScale != kFmOwnPitch) {
            // The increment is a signed step modulo 2^21 (the YM2203's detune
            // can make it negative); rounded to the nearest.
            const int64_t inc = static_cast<int32_t>(op.phaseInc);
            op.phaseInc = static_cast<uint32_t>((inc * pitchScale + (1 << 23)) >> 24);
        }
        egRates(op);
    }
}

void pgKey(FmOperator& op, uint8_t key) {
    if (key && !op.pgKeyOn) op.phase = 0;
    op.pgKeyOn = key ? 1 : 0;
}

uint32_t pgStep(FmOperator& op, bool phaseReset) {
    uint32_t acc = phaseReset ? 0u : op.phase;
    op.phase = (acc + op.phaseInc) & 0x1FFFFFu;
    return acc >> 11;
}

void pgAdvanceBy(FmOperator& op, uint32_t n) {
    uint64_t adv = static_cast<uint64_t>(op.phaseInc & 0x1FFFFFu) * (n & 0x1FFFFFu);
    op.phase = static_cast<uint32_t>((op.phase + adv) & 0x1FFFFFu);
}

bool lfoTick(FmSharedState& s) {
    const uint32_t period = kLfoPeriods[s.lfoRate & 7];
    bool changed = false;
    if (s.lfoSubCounter >= period) {
        s.lfoStep += 1;
        changed = true;
        s.lfoSubCounter = 0;
    }
    if (s.lfoOn) {
        if (s.lfoPrevStep != s.lfoStep) changed = true;
        s.lfoPrevStep = s.lfoStep;
        s.lfoSubCounter += 1;
        if (s.lfoSubCounter == period) {
            s.lfoSubCounter = 0;
            s.lfoStep += 1;
            changed = true;
        }
        s.lfoPrevAm = s.lfoAm;
        s.lfoAm = lfoAmOf(s.lfoStep);
    } else {
        if (s.lfoStep != 0 || s.lfoPrevStep != 0) changed = true;
        s.lfoPrevStep = s.lfoStep;
        s.lfoPrevAm = s.lfoAm;
        s.lfoSubCounter = 0;
        s.lfoStep = 0;
        s.lfoAm = 0;
    }
    return changed;
}

uint32_t lfoSamplesToEvent(const FmSharedState& s) {
    const uint32_t period = kLfoPeriods[s.lfoRate & 7];
    if (s.lfoSubCounter >= period || s.lfoStep != s.lfoPrevStep) return 1;
    if (s.lfoOn) return s.lfoAm != lfoAmOf(s.lfoStep) ? 1 : period - s.lfoSubCounter;
    return s.lfoStep != 0 ? 1 : UINT32_MAX;
}
