#include "synth/PedalMachine.h"

namespace VSX {

namespace {

struct Transition {
    int8_t next; // -1: the state stays
    uint8_t result;
};

constexpr Transition kStay = {-1, kPedalNothing};

// [state][input]: key down, key up, sustain up, sustain down, sostenuto up,
// sostenuto down.
constexpr Transition kPedalTable[kPedalStateCount][kPedalInputCount] = {
    /* 0 */ {{1, 1}, kStay, kStay, {2, 0}, kStay, kStay},
    /* 1 */ {kStay, {0, 2}, kStay, {8, 0}, kStay, {6, 0}},
    /* 2 */ {{8, 1}, kStay, {0, 0}, kStay, kStay, {4, 0}},
    /* 3 */ {{6, 1}, kStay, kStay, {4, 0}, {0, 0}, kStay},
    /* 4 */ {{7, 1}, kStay, {3, 0}, kStay, {2, 0}, kStay},
    /* 5 */ {{6, 0}, kStay, kStay, {9, 0}, {0, 2}, kStay},
    /* 6 */ {kStay, {5, 0}, kStay, {7, 0}, {1, 0}, kStay},
    /* 7 */ {kStay, {9, 0}, {6, 0}, kStay, {8, 0}, kStay},
    /* 8 */ {kStay, {10, 0}, {1, 0}, kStay, kStay, {7, 0}},
    /* 9 */ {{7, 0}, kStay, {5, 0}, kStay, {10, 0}, kStay},
    /* 10 */ {{8, 0}, kStay, {0, 2}, kStay, kStay, {9, 0}},
};

} // namespace

PedalResult pedalStep(uint8_t& state, uint8_t input) {
    if (state >= kPedalStateCount || input >= kPedalInputCount) return kPedalNothing;
    const Transition t = kPedalTable[state][input];
    if (t.next >= 0) state = static_cast<uint8_t>(t.next);
    return static_cast<PedalResult>(t.result);
}

} // namespace VSX
