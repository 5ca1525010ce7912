#include "instrument/OPN2_sub.h"

#include <algorithm>
#include <cmath>

namespace {

using P = PatchRecord;

constexpr uint8_t kOperatorOffsets[4] = {0, 8, 4, 12};

// A value that is not a number counts as 0 wherever it would become an
// integer; infinities are clamped like any other large value.
double nanTo0(double x) {
    return std::isnan(x) ? 0.0 : x;
}

} // namespace

const int32_t OPN2_sub::kLevelTable[128] = {
    223, 223, 191, 173, 159, 149, 141, 134, 127, 122, 117, 112, 109, 105, 102, 98, 95, 93, 90,
    87,  85,  83,  80,  79,  77,  75,  73,  71,  70,  68,  66,  65,  63,  62,  61, 59, 58, 56,
    55,  54,  53,  52,  51,  50,  48,  48,  47,  46,  45,  44,  43,  42,  41,  40, 39, 38, 38,
    37,  36,  35,  34,  34,  33,  32,  31,  31,  30,  29,  29,  28,  27,  27,  26, 25, 24, 24,
    23,  23,  22,  22,  21,  20,  20,  19,  19,  18,  18,  17,  16,  16,  16,  15, 15, 14, 14,
    13,  13,  12,  12,  11,  11,  10,  10,  9,   9,   8,   8,   8,   7,   7,   6,  6,  6,  5,
    5,   4,   4,   4,   3,   3,   2,   2,   2,   1,   1,   0,   0,   0,
};

uint8_t OPN2_sub::opReg(uint8_t base, int k) const {
    return uint8_t(base + kOperatorOffsets[k & 3] + offset());
}

int32_t OPN2_sub::clampedWord(int word) const {
    return std::clamp(patchWord(word), P::minimumOf(word), P::maximumOf(word));
}

int32_t OPN2_sub::ch3Mode() const {
    return ch3 ? std::clamp(ch3->mode, 0, 2) : 0;
}

void OPN2_sub::writeRegister(uint8_t reg, uint8_t value, bool port) {
    sendRegister(reg, value, port ? 1 : 0);
}

void OPN2_sub::writeOperatorField(int k, int field) {
    const int32_t v = clampedWord(16 * k + field);
    const uint64_t p = port();
    switch (field) {
    case P::kMult:
        sendBits(opReg(0x30, k), 0x0F, uint8_t(v), p);
        break;
    case P::kDetune:
        sendBits(opReg(0x30, k), 0x70, uint8_t((v >= 0 ? v : 4 - v) << 4), p);
        break;
    case P::kAttack:
        sendBits(opReg(0x50, k), 0x1F, uint8_t(31 - v), p);
        break;
    case P::kKsRate:
        sendBits(opReg(0x50, k), 0xC0, uint8_t(v << 6), p);
        break;
    case P::kDecay:
        sendBits(opReg(0x60, k), 0x1F, uint8_t(31 - v), p);
        break;
    case P::kTremolo:
        sendBits(opReg(0x60, k), 0x80, uint8_t(v << 7), p);
        break;
    case P::kDecay2:
        sendBits(opReg(0x70, k), 0x1F, uint8_t(31 - v), p);
        break;
    case P::kRelease:
        sendBits(opReg(0x80, k), 0x0F, uint8_t(15 - v), p);
        break;
    case P::kSustain:
        sendBits(opReg(0x80, k), 0xF0, uint8_t((15 - v) << 4), p);
        break;
    case P::kSsg:
        sendBits(opReg(0x90, k), 0x0F, uint8_t(v < 1 ? 0 : (v + 7) & 15), p);
        break;
    default:
        break;
    }
}

void OPN2_sub::writeChannelField(int word) {
    const int32_t v = clampedWord(word);
    const uint64_t p = port();
    const uint8_t o = offset();
    switch (word) {
    case P::kAlgorithm:
        algorithm = v;
        sendBits(uint8_t(0xB0 + o), 0x07, uint8_t(v), p);
        break;
    case P::kFeedback:
        sendBits(uint8_t(0xB0 + o), 0x38, uint8_t(v << 3), p);
        break;
    case P::kVibrato:
        sendBits(uint8_t(0xB4 + o), 0x07, uint8_t(v), p);
        break;
    case P::kTremoloDepth:
        sendBits(uint8_t(0xB4 + o), 0x30, uint8_t(v << 4), p);
        break;
    default:
        break;
    }
}

bool OPN2_sub::refreshAll() {
    if (!patch) return true;
    static constexpr int kOrder[] = {P::kMult,    P::kDetune, P::kAttack,  P::kKsRate,  P::kDecay,
                                     P::kTremolo, P::kDecay2, P::kRelease, P::kSustain, P::kSsg};
    for (int k = 0; k < 4; ++k)
        for (int field : kOrder) writeOperatorField(k, field);
    writeChannelField(P::kAlgorithm);
    writeChannelField(P::kFeedback);
    writeChannelField(P::kVibrato);
    writeChannelField(P::kTremoloDepth);
    if (ch3) sendIfChanged(0x27, uint8_t((ch3Mode() << 6) | (mirrored(0x27, 0) & 0x3F)), 0);
    updateFrequency();
    updateLevels();
    updatePan();
    return true;
}

void OPN2_sub::updatePatchField(int index) {
    if (index < 0 || index >= P::kParameterCount) return;
    if (index < 64) {
        const int field = index & 15;
        if (field >= 1 && field <= 10)
            writeOperatorField(index / 16, field);
        else
            refreshAll();
        return;
    }
    if (index == P::kAlgorithm)
        refreshAll();
    else if (index <= P::kTremoloDepth)
        writeChannelField(index);
}

void OPN2_sub::updatePan() {
    const int32_t v = pan ? *pan : 0;
    const uint8_t bits = v < 0 ? 0x80 : v == 0 ? 0xC0 : 0x40;
    sendBits(uint8_t(0xB4 + offset()), 0xC0, bits, port());
}

void OPN2_sub::setClock(float clock) {
    // A clock that is not a positive number leaves the factor unchanged.
    if (!(clock > 0.0f) || !std::isfinite(clock)) return;
    factor = float(2097152.0 / (double(clock) / 144.0));
}

void OPN2_sub::fnumberOf(double x, int32_t& block, int32_t& fnum, int32_t& pitch) const {
    x = nanTo0(x);
    if (x < 0.0) x = 0.0;
    block = 0;
    while (x >= double(fnumLimit) && block < 7) {
        x /= 2.0;
        ++block;
    }
    fnum = int32_t(std::min(std::floor(x + 0.5), 2047.0));
    pitch = std::max(block * 1024 + fnum, 1024) - 1024;
}

void OPN2_sub::writeFrequencyPair(uint8_t high, uint8_t low, int32_t block, int32_t fnum) {
    const uint64_t p = port();
    sendRegister(high, uint8_t((block << 3) | ((fnum >> 8) & 7)), p);
    sendRegister(low, uint8_t(fnum & 0xFF), p);
}

void OPN2_sub::updateFrequency() {
    int32_t block, fnum, pitch;
    fnumberOf(double(factor) * double(frequency), block, fnum, pitch);
    for (int32_t& p : pitchIndex) p = pitch;
    writeFrequencyPair(uint8_t(0xA4 + offset()), uint8_t(0xA0 + offset()), block, fnum);
}

void OPN2_sub::updateLevels() {
    const double v = nanTo0(double(velocity));
    const double a = nanTo0(double(amplitude));
    const int32_t velIndex = int32_t(std::clamp(std::floor(v * 127.0 + 0.5), 1.0, 127.0));
    const int32_t V = kLevelTable[velIndex];
    const double n = std::floor(a * 128.0 + 0.5);
    const int32_t A = n == 0.0 ? 127 : kLevelTable[int32_t(std::clamp(n, 1.0, 127.0))] >> 2;

    const int32_t alg = std::clamp(algorithm, 0, 7);
    const bool carrier[4] = {alg == 7, (alg & 4) != 0, alg >= 5, true};
    static constexpr uint8_t kTlBase[4] = {0x40, 0x48, 0x44, 0x4C};
    const uint64_t p = port();
    for (int k = 0; k < 4; ++k) {
        const int64_t velocityField = clampedWord(16 * k + P::kVelocity);
        const int64_t level = clampedWord(16 * k + P::kLevel);
        const int64_t ksAmp = clampedWord(16 * k + P::kKsLevel);
        const int64_t tl = ((velocityField * V) >> 4) - level +
                           (int64_t(pitchIndex[k]) * ksAmp) / 6400 + (carrier[k] ? A : 0) + 127;
        const uint8_t reg = uint8_t(kTlBase[k] + offset());
        const uint8_t byte = uint8_t(std::clamp<int64_t>(tl, 0, 127));
        sendRegister(reg, uint8_t((mirrored(reg, p) & 0x80) | byte), p);
    }
}

void OPN2_sub::refreshPitchAndLevel() {
    updateFrequency();
    updateLevels();
    updatePan();
}

void OPN2_sub::noteOn(float v) {
    velocity = v;
    refreshPitchAndLevel();
    setKey(true, true);
}

void OPN2_sub::setVelocity(float v) {
    velocity = v;
    refreshPitchAndLevel();
}

void OPN2_sub::setFrequency(float hz) {
    frequency = hz;
    refreshPitchAndLevel();
}

void OPN2_sub::setAmplitude(float a) {
    amplitude = a;
    refreshPitchAndLevel();
}

void OPN2_sub::setKey(bool on, bool retrig) {
    const uint8_t code = keyCode();
    if (on && !retrig) {
        sendRegister(0x28, uint8_t(0xF0 | code), 0);
        return;
    }
    sendRegister(0x28, code, 0);
    if (on) sendRegister(0x28, uint8_t(0xF0 | code), 0);
}
