#include "emulators/FmEnvelope.h"

#include <algorithm>

#include "emulators/FmTables.h"

namespace {

constexpr uint32_t kCounterCycle = 12285; // counter values per envelope-counter cycle

bool ssgActive(const FmEnvelope& eg) {
    return eg.ssgEg >= 8;
}

// Modes 11 and 13 hold their level above 511 while the key is held.
bool ssgHolds(const FmEnvelope& eg) {
    return (eg.ssgEg == 11 || eg.ssgEg == 13) && eg.egLevel > 511 && eg.egKeyOn;
}

void attackStep(FmEnvelope& eg, int shift) {
    eg.egLevel = eg.egLevel - (eg.egLevel >> shift) - 1;
    if (eg.egLevel <= 0) {
        eg.egLevel = 0;
        eg.egState = kEgDecay;
    }
}

// The rate step of one envelope cycle t.
void rateStep(FmEnvelope& eg, uint32_t t) {
    if (eg.egState == kEgAttack && eg.egLevel == 0) eg.egState = kEgDecay;

    uint32_t r = 0;
    bool attack = false;
    if (!eg.egKeyOn) {
        eg.egState = kEgSustain;
        r = eg.rrRate;
    } else {
        switch (eg.egState) {
        case kEgAttack:
            r = eg.arRate;
            attack = true;
            break;
        case kEgDecay:
            if (eg.egLevel >= eg.sustainLevel10) {
                if (ssgActive(eg) && eg.egLevel > eg.sustainLevel10) {
                    r = eg.d1rRate;
                } else {
                    eg.egState = kEgSustain;
                    r = eg.d2rRate;
                }
            } else {
                r = eg.d1rRate;
            }
            break;
        case kEgSustain:
            r = eg.d2rRate;
            break;
        default: // key-on delay with the key held: release increments
            r = eg.rrRate;
            break;
        }
    }
    if (r == 0) return;

    if (r >= 48) {
        uint32_t b = kEgPatternHigh[r & 3][t & 3];
        if (attack) {
            if (r >= 62) return;
            int shift;
            if (r < 52)
                shift = b ? 3 : 4;
            else if (r < 56)
                shift = b ? 2 : 3;
            else if (r < 60)
                shift = b ? 1 : 2;
            else
                shift = 1;
            attackStep(eg, shift);
            return;
        }
        int32_t inc;
        if (r < 52)
            inc = b ? 2 : 1;
        else if (r < 56)
            inc = b ? 4 : 2;
        else if (r < 60)
            inc = b ? 8 : 4;
        else
            inc = 8;
        if (ssgActive(eg)) {
            if (ssgHolds(eg)) return;
            inc *= 4;
        }
        eg.egLevel = std::min(eg.egLevel + inc, 1023);
        return;
    }

    uint32_t shift = r >> 2;
    if (((t << shift) & 2047) != 0) return;
    if (!kEgPatternLow[r & 3][(t >> (11 - shift)) & 7]) return;
    if (attack) {
        attackStep(eg, 4);
    } else if (!ssgActive(eg)) {
        eg.egLevel = std::min(eg.egLevel + 1, 1023);
    } else if (!ssgHolds(eg)) {
        eg.egLevel = std::min(eg.egLevel, 1019) + 4;
    }
}

// The key-on delay; `ssg` sets the level to 0 only at the first step.
void keyOnDelayStep(FmEnvelope& eg, bool ssg) {
    if (eg.arRate >= 62) {
        if (!ssg || eg.egStateCounter == 0) eg.egLevel = 0;
        if (eg.egStateCounter >= eg.keyOnDelayFast) eg.egState = kEgAttack;
    } else if (eg.egStateCounter >= eg.keyOnDelay) {
        eg.egState = kEgAttack;
    }
    eg.egStateCounter += 1;
}

} // namespace

uint8_t egRate(uint8_t reg, uint8_t ks) {
    if (reg == 0) return 0;
    return static_cast<uint8_t>(std::min(reg * 2 + ks, 62));
}

uint8_t egReleaseRate(uint8_t reg, uint8_t ks) {
    return static_cast<uint8_t>(std::min(reg * 4 + 2 + ks, 62));
}

uint8_t egKeyScaleOffset(const FmOperator& op) {
    return static_cast<uint8_t>(op.keyCode >> (3 - (op.keyScale & 3)));
}

uint16_t egSustainLevel10(uint8_t sustainLevel) {
    return sustainLevel == 15 ? 992 : static_cast<uint16_t>(sustainLevel * 32);
}

void egRates(FmOperator& op) {
    uint8_t ks = egKeyScaleOffset(op);
    op.eg.arRate = egRate(op.attackRate, ks);
    op.eg.d1rRate = egRate(op.decayRate, ks);
    op.eg.d2rRate = egRate(op.sustainRate, ks);
    op.eg.rrRate = egReleaseRate(op.releaseRate, ks);
    op.eg.sustainLevel10 = egSustainLevel10(op.sustainLevel);
}

void egKey(FmEnvelope& eg, uint8_t key, uint8_t totalLevel) {
    if (key) {
        if (!eg.egKeyOn) {
            eg.egState = kEgKeyOnDelay;
            eg.ssgInverted = 0;
            eg.ssgKeyOffLatch = 0;
            eg.egStateCounter = 0;
            eg.egKeyOn = 1;
        }
        return;
    }
    if (ssgActive(eg) && eg.egKeyOn && (eg.ssgInverted != 0) != (eg.ssgEg >= 12) &&
        eg.egLevel != 1023) {
        int32_t v = static_cast<int32_t>(static_cast<uint32_t>(512 - eg.egLevel) & 1023u);
        if (eg.ssgAttackPending) {
            int32_t folded = v - totalLevel * 8;
            eg.egLevel = folded < 0 ? 1023 : folded;
            eg.ssgKeyOffLatch = 1;
        } else {
            eg.egLevel = v;
        }
    }
    eg.ssgInverted = 0;
    eg.egKeyOn = 0;
}

uint32_t egStep(FmEnvelope& eg, uint16_t egCounter, bool& phaseReset) {
    uint32_t s = egCounter & 3u;
    uint32_t t = static_cast<uint32_t>(egCounter) >> 2;

    if (!ssgActive(eg)) {
        if (eg.egState == kEgKeyOnDelay)
            keyOnDelayStep(eg, false);
        else if (s == eg.egSlot)
            rateStep(eg, t);
        return static_cast<uint32_t>(eg.egLevel);
    }

    const int32_t startState = eg.egState;
    bool restarted = false;
    eg.ssgAttackPending =
        (eg.egState == kEgKeyOnDelay && eg.ssgEg >= 12 && eg.egStateCounter == 0) ? 1 : 0;

    if (eg.egLevel >= 512) {
        bool held = eg.egKeyOn && eg.egState == kEgKeyOnDelay && eg.egStateCounter == 0;
        if (eg.egKeyOn && !held && eg.ssgEg < 16) {
            switch (eg.ssgEg) {
            case 8:
            case 12:
                phaseReset = true;
                break;
            case 10:
            case 14:
                eg.ssgInverted ^= 1;
                break;
            case 11:
            case 15:
                eg.ssgInverted = 1;
                break;
            default:
                break;
            }
        }
        if (!held && (eg.egState == kEgDecay || eg.egState == kEgSustain)) {
            if (!eg.egKeyOn) {
                eg.egLevel = 1023;
            } else {
                switch (eg.ssgEg) {
                case 8:
                case 10:
                case 12:
                case 14:
                    eg.egState = kEgKeyOnDelay;
                    if (eg.arRate >= 62) eg.egLevel = 0;
                    restarted = true;
                    break;
                case 9:
                case 15:
                    eg.egLevel = 1023;
                    break;
                default: // 11, 13: held
                    break;
                }
            }
        }
    }

    if (eg.egState == kEgKeyOnDelay) keyOnDelayStep(eg, true);
    if (s == eg.egSlot && (startState != kEgKeyOnDelay || restarted)) rateStep(eg, t);

    bool invert = (eg.ssgInverted != 0) != (eg.egKeyOn && eg.ssgEg >= 12);
    if (invert) return static_cast<uint32_t>(512 - eg.egLevel) & 1023u;
    return static_cast<uint32_t>(eg.egLevel);
}

uint16_t egAdvanceCounter(uint16_t counter) {
    uint32_t c = counter + 1u;
    if ((c & 3) == 3) c += 1;
    if (c == 16384) c = 4;
    return static_cast<uint16_t>(c);
}

uint16_t egAdvanceCounterBy(uint16_t counter, uint32_t n) {
    // A counter outside the cycle (0-2 after construction) steps singly into it.
    while (n > 0 && (counter < 4 || counter > 16382 || (counter & 3) == 3)) {
        counter = egAdvanceCounter(counter);
        --n;
    }
    if (n == 0) return counter;
    uint32_t i = ((3u * counter - 10u) & 0xFFFFu) >> 2; // position in the cycle
    if (n >= kCounterCycle) n %= kCounterCycle;
    uint32_t j = i + n;
    uint32_t c = ((4u * j + (j < kCounterCycle ? 0u : 16396u)) & 0xFFFFu) / 3u + 4u;
    return static_cast<uint16_t>(c);
}
