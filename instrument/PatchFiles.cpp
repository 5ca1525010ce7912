#include "instrument/PatchFiles.h"

#include <algorithm>

#include "vantor/PlatformTools.h"

namespace {

using P = PatchRecord;

// File order of the operator blocks in TFI and DMP: operators 0, 2, 1, 3.
constexpr int kFileOrder[4] = {0, 2, 1, 3};

// Detune stored as 0..6 for -3..+3 (7 reads as +3), taken from the low 3
// bits: DMPs of the YM2151 system keep the coarse detune DT2 above them.
int32_t detuneFromOffset(uint8_t v) {
    return std::min<int32_t>(v & 7, 6) - 3;
}
// Detune as the chip's DT1 field: 0..3 up, 5..7 down.
int32_t detuneFromChip(uint8_t v) {
    v &= 7;
    return v < 4 ? v : 4 - v;
}
// SSG-EG byte: values below 8 are "off", 8..15 are shapes 1..8.
int32_t ssgFromFile(uint8_t v) {
    v &= 15;
    return v < 8 ? 0 : v - 7;
}

int32_t clampField(const P& r, int word) {
    return std::clamp(r.words[word], P::minimumOf(word), P::maximumOf(word));
}
int32_t clampOp(const P& r, int k, int field) {
    return clampField(r, 16 * k + field);
}
uint8_t ssgToFile(const P& r, int k) {
    const int32_t s = clampOp(r, k, P::kSsg);
    return uint8_t(s == 0 ? 0 : s + 7);
}

// The 48 DMP data bytes after the header.
void buildDmpData(const P& r, uint8_t* d) {
    d[0] = uint8_t(clampField(r, P::kVibrato));
    d[1] = uint8_t(clampField(r, P::kFeedback));
    d[2] = uint8_t(clampField(r, P::kAlgorithm));
    d[3] = uint8_t(clampField(r, P::kTremoloDepth));
    for (int b = 0; b < 4; ++b) {
        const int k = kFileOrder[b];
        uint8_t* o = d + 4 + 11 * b;
        o[0] = uint8_t(clampOp(r, k, P::kMult));
        o[1] = uint8_t(127 - clampOp(r, k, P::kLevel));
        o[2] = uint8_t(31 - clampOp(r, k, P::kAttack));
        o[3] = uint8_t(31 - clampOp(r, k, P::kDecay));
        o[4] = uint8_t(15 - clampOp(r, k, P::kSustain));
        o[5] = uint8_t(15 - clampOp(r, k, P::kRelease));
        o[6] = uint8_t(clampOp(r, k, P::kTremolo));
        o[7] = uint8_t(clampOp(r, k, P::kKsRate));
        o[8] = uint8_t(clampOp(r, k, P::kDetune) + 3);
        o[9] = uint8_t(31 - clampOp(r, k, P::kDecay2));
        o[10] = ssgToFile(r, k);
    }
}

void buildDmp(const P& r, std::vector<uint8_t>& out) {
    out.assign(kDmpSize, 0);
    out[0] = 11; // version
    out[1] = 2;  // system: YM2612
    out[2] = 1;  // instrument mode: FM
    buildDmpData(r, out.data() + 3);
}

} // namespace

bool readTfiPatch(PatchRecord& r, const uint8_t* b, size_t size) {
    if (!b || size < kTfiSize) return false;
    r.words[P::kAlgorithm] = b[0] & 7;
    r.words[P::kFeedback] = b[1] & 7;
    r.words[P::kVibrato] = 0;
    for (int i = 0; i < 4; ++i) {
        const int k = kFileOrder[i];
        const uint8_t* o = b + 2 + 10 * i;
        r.op(k, P::kMult) = o[0] & 15;
        r.op(k, P::kDetune) = detuneFromOffset(o[1]);
        r.op(k, P::kLevel) = 127 - (o[2] & 127);
        r.op(k, P::kKsRate) = o[3] & 3;
        r.op(k, P::kAttack) = 31 - (o[4] & 31);
        r.op(k, P::kDecay) = 31 - (o[5] & 31);
        r.op(k, P::kDecay2) = 31 - (o[6] & 31);
        r.op(k, P::kRelease) = 15 - (o[7] & 15);
        r.op(k, P::kSustain) = 15 - (o[8] & 15);
        r.op(k, P::kSsg) = ssgFromFile(o[9]);
        r.op(k, P::kTremolo) = 0;
    }
    setImportedVelocities(r);
    return true;
}

bool writeTfiPatch(const PatchRecord& r, std::vector<uint8_t>& out) {
    out.assign(kTfiSize, 0);
    out[0] = uint8_t(clampField(r, P::kAlgorithm));
    out[1] = uint8_t(clampField(r, P::kFeedback));
    for (int i = 0; i < 4; ++i) {
        const int k = kFileOrder[i];
        uint8_t* o = out.data() + 2 + 10 * i;
        o[0] = uint8_t(clampOp(r, k, P::kMult));
        o[1] = uint8_t(clampOp(r, k, P::kDetune) + 3);
        o[2] = uint8_t(127 - clampOp(r, k, P::kLevel));
        o[3] = uint8_t(clampOp(r, k, P::kKsRate));
        o[4] = uint8_t(31 - clampOp(r, k, P::kAttack));
        o[5] = uint8_t(31 - clampOp(r, k, P::kDecay));
        o[6] = uint8_t(31 - clampOp(r, k, P::kDecay2));
        o[7] = uint8_t(15 - clampOp(r, k, P::kRelease));
        o[8] = uint8_t(15 - clampOp(r, k, P::kSustain));
        o[9] = ssgToFile(r, k);
    }
    return true;
}

int readDmpPatch(PatchRecord& r, const uint8_t* b, size_t size) {
    if (!b) return 0;
    const uint8_t* d = nullptr;
    bool readSsg = true;
    if (size == kDmpOldSize) {
        if (b[0] != 0) return 0;
        d = b + 1;
    } else if (size == kDmpSize) {
        const uint8_t version = b[0], system = b[1], mode = b[2];
        if (version == 9) {
            if (system == 1) {
                readSsg = mode == 0;
            } else {
                if (mode != 1) return 0;
                readSsg = false;
            }
        } else if (version == 10) {
            if (system != 1 && mode != 0) return 0;
        } else if (version >= 11) {
            if (system == 2) {
                if (mode != 1) return 0;
            } else if (system == 8) {
                readSsg = false;
            } else {
                if (mode != 1) return 0;
                readSsg = false;
            }
        }
        d = b + 3;
    } else {
        return 0;
    }

    r.words[P::kVibrato] = d[0] & 7;
    r.words[P::kFeedback] = d[1] & 7;
    r.words[P::kAlgorithm] = d[2] & 7;
    r.words[P::kTremoloDepth] = d[3] & 3;
    for (int i = 0; i < 4; ++i) {
        const int k = kFileOrder[i];
        const uint8_t* o = d + 4 + 11 * i;
        r.op(k, P::kMult) = o[0] & 15;
        r.op(k, P::kLevel) = 127 - (o[1] & 127);
        r.op(k, P::kAttack) = 31 - (o[2] & 31);
        r.op(k, P::kDecay) = 31 - (o[3] & 31);
        r.op(k, P::kSustain) = 15 - (o[4] & 15);
        r.op(k, P::kRelease) = 15 - (o[5] & 15);
        r.op(k, P::kTremolo) = o[6] & 1;
        r.op(k, P::kKsRate) = o[7] & 3;
        r.op(k, P::kDetune) = detuneFromOffset(o[8]);
        r.op(k, P::kDecay2) = 31 - (o[9] & 31);
        r.op(k, P::kSsg) = readSsg ? ssgFromFile(o[10]) : 0;
    }
    setImportedVelocities(r);
    return 1;
}

bool writeDmpPatch(const PatchRecord& r, std::vector<uint8_t>& out) {
    buildDmp(r, out);
    return true;
}

bool decodePackedPatch(PatchRecord& r, const uint8_t* b, size_t size) {
    if (!b || size < kY12Size) return false;
    static constexpr int kBlockAt[4] = {0x00, 0x20, 0x10, 0x30};
    r.words[P::kAlgorithm] = b[64] & 7;
    r.words[P::kFeedback] = b[65] & 7;
    r.words[P::kVibrato] = 0;
    for (int k = 0; k < 4; ++k) {
        const uint8_t* o = b + kBlockAt[k];
        r.op(k, P::kMult) = o[0] & 15;
        r.op(k, P::kDetune) = detuneFromChip(uint8_t(o[0] >> 4));
        r.op(k, P::kLevel) = 127 - (o[1] & 127);
        r.op(k, P::kKsRate) = o[2] >> 6;
        r.op(k, P::kAttack) = 31 - (o[2] & 31);
        r.op(k, P::kTremolo) = o[3] >> 7;
        r.op(k, P::kDecay) = 31 - (o[3] & 31);
        r.op(k, P::kDecay2) = 31 - (o[4] & 31);
        r.op(k, P::kSustain) = 15 - (o[5] >> 4);
        r.op(k, P::kRelease) = 15 - (o[5] & 15);
        r.op(k, P::kSsg) = ssgFromFile(o[6]);
    }
    setImportedVelocities(r);
    return true;
}

void dumpPatch(const PatchRecord& record) {
    std::vector<uint8_t> image;
    buildDmp(record, image);
    PDebugLog("-----------------------\n");
    for (size_t i = 0; i < image.size(); ++i) PDebugLog("patchdump%02d %02X\n", int(i), image[i]);
}
