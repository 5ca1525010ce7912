#include "emulators/FmTables.h"

#include <cmath>
#include <mutex>

uint32_t kLogSin[256];
uint32_t kExpTable[256];
uint16_t kWaveforms[1024];

void buildFmTables() {
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < 256; ++i) {
        double y = (i + 0.5) * 0.25 * (1.0 / 256.0) * pi * 2.0;
        double v = std::floor(-std::log(std::sin(y)) / std::log(2.0) * 256.0 + 0.5);
        kLogSin[i] = static_cast<uint32_t>(v);
    }
    for (int k = 0; k < 256; ++k) {
        double v = std::floor((std::exp2((255 - k) / 256.0) - 1.0) * 1024.0 + 0.5);
        kExpTable[k] = static_cast<uint32_t>(v);
    }
    for (int p = 0; p < 1024; ++p) {
        int x = p & 255;
        int q = p >> 8;
        uint32_t mag = (q & 1) ? kLogSin[255 - x] : kLogSin[x];
        kWaveforms[p] = static_cast<uint16_t>(mag + ((q & 2) ? 0x8000u : 0u));
    }
}

void ensureFmTables() {
    static std::once_flag once;
    std::call_once(once, buildFmTables);
}

const uint8_t kLfoPeriods[8] = {108, 77, 71, 67, 62, 44, 8, 5};

const uint8_t kLfoPmSteps[8][8] = {
    {0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 1, 1, 1, 1}, {0, 0, 0, 1, 1, 1, 2, 2},
    {0, 0, 1, 1, 2, 2, 3, 3}, {0, 0, 1, 2, 2, 2, 3, 4}, {0, 0, 2, 3, 4, 4, 5, 6},
    {0, 0, 2, 3, 4, 4, 5, 6}, {0, 0, 2, 3, 4, 4, 5, 6},
};

const uint16_t kMultiples[16] = {1, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30};

const uint16_t kKeyCodeNotes[16] = {0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 3, 3, 3, 3, 3, 3};

const int8_t kDetune[8][32] = {
    {0},
    {0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 2, 2, 2, 2,
     2, 3, 3, 3, 4, 4, 4, 5, 5, 6, 6, 7, 8, 8, 8, 8},
    {1, 1, 1, 1, 2, 2, 2, 2,  2,  3,  3,  3,  4,  4,  4,  5,
     5, 6, 6, 7, 8, 8, 9, 10, 11, 12, 13, 14, 16, 16, 16, 16},
    {2, 2, 2, 2,  2,  3,  3,  3,  4,  4,  4,  5,  5,  6,  6,  7,
     8, 8, 9, 10, 11, 12, 13, 14, 16, 17, 19, 20, 22, 22, 22, 22},
    {0},
    {-0, -0, -0, -0, -1, -1, -1, -1, -1, -1, -1, -1, -2, -2, -2, -2,
     -2, -3, -3, -3, -4, -4, -4, -5, -5, -6, -6, -7, -8, -8, -8, -8},
    {-1, -1, -1, -1, -2, -2, -2, -2,  -2,  -3,  -3,  -3,  -4,  -4,  -4,  -5,
     -5, -6, -6, -7, -8, -8, -9, -10, -11, -12, -13, -14, -16, -16, -16, -16},
    {-2, -2, -2, -2,  -2,  -3,  -3,  -3,  -4,  -4,  -4,  -5,  -5,  -6,  -6,  -7,
     -8, -8, -9, -10, -11, -12, -13, -14, -16, -17, -19, -20, -22, -22, -22, -22},
};

const uint8_t kEgPatternLow[4][8] = {
    {0, 1, 0, 1, 0, 1, 0, 1},
    {0, 1, 0, 1, 1, 1, 0, 1},
    {0, 1, 1, 1, 0, 1, 1, 1},
    {0, 1, 1, 1, 1, 1, 1, 1},
};

const uint8_t kEgPatternHigh[4][4] = {
    {0, 0, 0, 0},
    {1, 0, 0, 0},
    {1, 0, 1, 0},
    {1, 1, 1, 0},
};

const uint8_t kSpecialFnumSlot[3] = {1, 0, 2};

const int8_t kKeyOnChannelMap[5][8] = {
    {0, 1, 2, -1, -1, -1, -1, -1}, {0, 1, 2, -1, 3, 4, 5, -1},
    {-1, 1, 2, -1, -1, 4, 5, -1}, // YM2610: records 1, 2, 4, 5
    {0, 1, 2, -1, 3, 4, 5, -1},    {0, 1, 2, -1, 3, 4, 5, -1},
};

const int8_t kPortChannelMap[5][2][4] = {
    {{0, 1, 2, -1}, {-1, -1, -1, -1}}, {{0, 1, 2, -1}, {3, 4, 5, -1}},
    {{-1, 1, 2, -1}, {-1, 4, 5, -1}}, // YM2610: records 1, 2, 4, 5
    {{0, 1, 2, -1}, {3, 4, 5, -1}},    {{0, 1, 2, -1}, {3, 4, 5, -1}},
};

namespace {
const FmChannelRecords kChannelRecords[5] = {
    {3, {0, 1, 2, 0, 0, 0}}, {6, {0, 1, 2, 3, 4, 5}}, {4, {1, 2, 4, 5, 0, 0}},
    {6, {0, 1, 2, 3, 4, 5}}, {6, {0, 1, 2, 3, 4, 5}},
};
const FmChannelRecords kNoRecords = {0, {0, 0, 0, 0, 0, 0}};
} // namespace

const FmChannelRecords& fmChannelRecords(uint32_t variant) {
    return variant < 5 ? kChannelRecords[variant] : kNoRecords;
}
