#include "instrument/PatchRecord.h"

#include <algorithm>
#include <limits>

#include "vantor/PlatformTools.h"

namespace {

struct Range {
    int32_t lo, hi;
};

constexpr Range kAny{std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()};

constexpr Range kOperatorRanges[16] = {
    {0, 127}, {0, 15}, {-3, 3}, {0, 31}, {0, 31}, {0, 15}, {0, 31}, {0, 15},
    {0, 1},   {0, 8},  {0, 3},  {0, 7},  {0, 99}, kAny,    kAny,    kAny,
};

Range rangeOf(int word) {
    if (word >= 0 && word < 64) return kOperatorRanges[word & 15];
    switch (word) {
    case PatchRecord::kAlgorithm:
    case PatchRecord::kFeedback:
    case PatchRecord::kVibrato:
        return {0, 7};
    case PatchRecord::kTremoloDepth:
        return {0, 3};
    default:
        return kAny;
    }
}

// A fresh uniform value 0..1 scaled by n, truncated, then taken modulo n.
int32_t pick(int32_t n) {
    return randomBelow(n);
}

} // namespace

int32_t PatchRecord::minimumOf(int word) {
    return rangeOf(word).lo;
}
int32_t PatchRecord::maximumOf(int word) {
    return rangeOf(word).hi;
}

int32_t randomBelow(int32_t n) {
    if (n < 1) return 0;
    return PSaturateToInt32(double(n) * double(PUrandf())) % n;
}

void setImportedVelocities(PatchRecord& record) {
    const uint8_t carriers = record.carriers();
    for (int k = 0; k < 4; ++k) {
        record.op(k, PatchRecord::kVelocity) = (carriers >> k) & 1 ? 4 : 0;
        record.op(k, PatchRecord::kKsLevel) = 0;
    }
}

void patchFromRegisters(PatchRecord& record, const std::array<uint8_t, 256>& r) {
    static constexpr int kOffsets[4] = {0, 8, 4, 12};
    record.words[PatchRecord::kAlgorithm] = r[0xB0] & 7;
    record.words[PatchRecord::kFeedback] = (r[0xB0] >> 3) & 7;
    record.words[PatchRecord::kTremoloDepth] = (r[0xB4] >> 4) & 3;
    record.words[PatchRecord::kVibrato] = r[0xB4] & 7;
    for (int k = 0; k < 4; ++k) {
        const int o = kOffsets[k];
        const int detune = (r[0x30 + o] >> 4) & 7;
        record.op(k, PatchRecord::kMult) = r[0x30 + o] & 15;
        record.op(k, PatchRecord::kDetune) = detune < 4 ? detune : 4 - detune;
        record.op(k, PatchRecord::kLevel) = 127 - (r[0x40 + o] & 127);
        record.op(k, PatchRecord::kKsRate) = r[0x50 + o] >> 6;
        record.op(k, PatchRecord::kAttack) = 31 - (r[0x50 + o] & 31);
        record.op(k, PatchRecord::kDecay) = 31 - (r[0x60 + o] & 31);
        record.op(k, PatchRecord::kTremolo) = 0;
        record.op(k, PatchRecord::kDecay2) = 31 - (r[0x70 + o] & 31);
        record.op(k, PatchRecord::kSustain) = 15 - (r[0x80 + o] >> 4);
        record.op(k, PatchRecord::kRelease) = 15 - (r[0x80 + o] & 15);
        const int ssg = r[0x90 + o] & 15;
        record.op(k, PatchRecord::kSsg) = ssg < 8 ? 0 : ssg - 7;
    }
    setImportedVelocities(record);

    // Loudness compensation: estimate the summed carrier amplitude (about
    // 4096 for one carrier at full level) and raise every carrier by the
    // attenuation steps that bring a quiet capture back to full level.
    const uint8_t carriers = record.carriers();
    int32_t sum = 0;
    int32_t loudest = 0;
    for (int k = 0; k < 4; ++k) {
        if (!((carriers >> k) & 1)) continue;
        const int32_t level = record.op(k, PatchRecord::kLevel);
        sum += (256 * (level % 8) + 2304) >> (15 - level / 8);
        loudest = std::max(loudest, level);
    }
    int32_t boost = 0;
    if (sum < 4096) {
        int32_t s = std::max(sum, 1);
        int32_t n = 0;
        while (s < 2048) {
            s *= 2;
            n += 8;
        }
        boost = std::min(127 - loudest, n - s / 256 + 16);
    }
    for (int k = 0; k < 4; ++k)
        if ((carriers >> k) & 1) record.op(k, PatchRecord::kLevel) += boost;
}

void randomizePatch(PatchRecord& record) {
    const int32_t style = pick(3);
    record.words[PatchRecord::kAlgorithm] = pick(8);
    record.words[PatchRecord::kFeedback] = pick(8);
    record.words[PatchRecord::kTremoloDepth] = pick(4);
    record.words[PatchRecord::kVibrato] = pick(4);
    const uint8_t carriers = record.carriers();
    for (int k = 0; k < 4; ++k) {
        const bool carrier = (carriers >> k) & 1;
        if (style == 2) {
            record.op(k, PatchRecord::kAttack) = 0;
            record.op(k, PatchRecord::kDecay) = pick(28);
            record.op(k, PatchRecord::kSustain) = pick(16);
            record.op(k, PatchRecord::kDecay2) = pick(27);
        } else {
            record.op(k, PatchRecord::kAttack) = style == 0 ? pick(8) : pick(30);
            if (pick(2) == 0) {
                record.op(k, PatchRecord::kDecay) = 24 + pick(8);
                record.op(k, PatchRecord::kSustain) = pick(16);
            } else {
                record.op(k, PatchRecord::kDecay) = pick(32);
                record.op(k, PatchRecord::kSustain) = 12 + pick(4);
            }
            record.op(k, PatchRecord::kDecay2) = style == 0 ? pick(32) : 31;
        }
        record.op(k, PatchRecord::kRelease) = pick(16);
        const int32_t m = pick(3);
        record.op(k, PatchRecord::kMult) = m == 0 ? 1 : m == 1 ? pick(3) : pick(16);
        record.op(k, PatchRecord::kDetune) = pick(7) - 3;
        record.op(k, PatchRecord::kLevel) = carrier ? 120 + pick(8) : 64 + pick(64);
        record.op(k, PatchRecord::kTremolo) = style == 1 ? pick(2) : 0;
        record.op(k, PatchRecord::kSsg) = style == 2 ? pick(9) : 0;
        record.op(k, PatchRecord::kKsLevel) = 0;
        record.op(k, PatchRecord::kKsRate) = 0;
        record.op(k, PatchRecord::kVelocity) = carrier ? 4 : 0;
    }
}

void copyPatch(PatchRecord& target, const PatchRecord& source) {
    for (int i = 0; i < PatchRecord::kParameterCount; ++i) {
        const int w = PatchRecord::wordOfParameter(i);
        target.words[w] = source.words[w];
    }
}
