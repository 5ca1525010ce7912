#include "emulators/FmAdpcm.h"

#include <algorithm>

const uint8_t kAdpcmLevelMult[8] = {15, 14, 13, 12, 11, 10, 9, 8};

const uint16_t kAdpcmASteps[49] = {
    16,  17,  19,  21,  23,  25,  28,  31,  34,  37,  41,   45,   50,   55,   60,   66,  73,
    80,  88,  97,  107, 118, 130, 143, 157, 173, 190, 209,  230,  253,  279,  307,  337, 371,
    408, 449, 494, 544, 598, 658, 724, 796, 876, 963, 1060, 1166, 1282, 1411, 1552,
};

const int8_t kAdpcmAIndexShift[16] = {-1, -1, -1, -1, 2, 5, 7, 9, -1, -1, -1, -1, 2, 5, 7, 9};

const uint8_t kAdpcmBScale[16] = {57, 57, 57, 57, 77, 102, 128, 153,
                                  57, 57, 57, 57, 77, 102, 128, 153};

namespace {

constexpr uint64_t kMaxSampleMemory = 1073741824; // 1 GiB

bool hasData(const FmAdpcmVoice& v) {
    return v.memory.data != nullptr && v.memory.size != 0;
}

uint8_t readByte(const FmAdpcmVoice& v) {
    uint64_t offset = v.address & v.memory.mask;
    return (v.memory.data && offset < v.memory.size) ? v.memory.data[offset] : 0;
}

// Advances the byte address, wrapping inside its bank of 2^bits bytes.
void nextAddress(FmAdpcmVoice& v, int bits) {
    const uint64_t bank = uint64_t{1} << bits;
    v.address += 1;
    if ((v.address & (bank - 1)) == 0) v.address -= bank;
}

void updateAttenuation(FmAdpcm& adpcm, FmAdpcmVoice& v) {
    v.attenuation = static_cast<uint8_t>(94 - (v.instrumentLevel + adpcm.totalLevel));
}

void startA(FmAdpcmVoice& v) {
    v.accumulator = 0;
    v.step = 0;
    v.address = uint64_t{v.start} * 256;
    v.secondNibble = 0;
    v.ratePhase = 2;
    v.restartPending = 0;
    v.playing = 1;
    v.ended = 0;
}

void restartB(FmAdpcmVoice& v) {
    v.accumulator = 0;
    v.step = 127;
    v.current = v.previous = v.delta = 0;
    v.address = uint64_t{v.start} * 256;
    v.secondNibble = 0;
    v.ratePhase = 0;
    v.restartPending = 0;
    v.holdCount = 2;
    v.playing = 1;
    v.ended = 0;
}

void decodeA(FmAdpcmVoice& v, uint32_t n) {
    int32_t diff = (kAdpcmASteps[v.step] * static_cast<int32_t>((n & 7) * 2 + 1)) >> 3;
    uint32_t sum = static_cast<uint32_t>(v.accumulator + (n < 8 ? diff : -diff));
    v.accumulator = static_cast<int32_t>((sum & 0xFFF) ^ 0x800) - 0x800; // low 12 bits, signed
    v.step = std::clamp(v.step + kAdpcmAIndexShift[n], 0, 48);
}

void decodeB(FmAdpcmVoice& v, uint32_t n) {
    const int32_t s = v.step;
    int32_t diff = (s >> 3) + ((n & 1) ? s >> 2 : 0) + ((n & 2) ? s >> 1 : 0) + ((n & 4) ? s : 0);
    diff = std::min(diff, 32767);
    if (n >= 8) diff = -diff;
    const int32_t half = diff / 2;
    const int32_t x = diff - half + v.accumulator;
    v.delta = x - v.current;
    v.previous = v.current;
    v.current = std::clamp(x, -32768, 32767);
    v.accumulator = v.current + half;
    v.step = std::min(std::max(127, (kAdpcmBScale[n] * s) >> 6), 24576);
}

void addByPan(const FmAdpcmVoice& v, int32_t value, int32_t& left, int32_t& right) {
    if (v.panBits & 2) left += value;
    if (v.panBits & 1) right += value;
}

void stepA(FmAdpcmVoice& v) {
    if (v.secondNibble) {
        v.secondNibble = 0;
        decodeA(v, v.currentByte & 15);
        return;
    }
    if ((v.address & 0xFFFFF) == (uint64_t{v.end} & 0xFFF) * 256 + 255) {
        v.playing = 0;
        return;
    }
    v.currentByte = readByte(v);
    v.secondNibble = 1;
    decodeA(v, v.currentByte >> 4);
    nextAddress(v, 20);
}

void stepB(FmAdpcmVoice& v) {
    if (v.restartPending) {
        v.restartPending = 0;
        if (!v.repeat) {
            v.ended = 1;
            return;
        }
        restartB(v);
        v.holdCount = 0;
    }
    if (!(v.ratePhase < v.deltaN)) return;
    if (v.secondNibble) {
        v.secondNibble = 0;
        if ((v.address & 0xFFFFFF) == uint64_t{v.end} * 256 + 255) v.restartPending = 1;
        decodeB(v, v.currentByte & 15);
    } else {
        v.currentByte = readByte(v);
        v.secondNibble = 1;
        decodeB(v, v.currentByte >> 4);
        nextAddress(v, 24);
    }
}

void outputA(const FmAdpcmVoice& v, int32_t& left, int32_t& right) {
    const uint32_t att = v.attenuation;
    int32_t value = 0;
    if (att < 63) value = ((kAdpcmLevelMult[att & 7] * v.accumulator) >> ((att >> 3) + 3)) * 4;
    addByPan(v, value, left, right);
}

void outputB(FmAdpcmVoice& v, int32_t& left, int32_t& right) {
    if (!v.ended) {
        if (v.holdCount >= 1) {
            v.holdCount -= 1;
        } else {
            int32_t y = (((v.ratePhase >> 8) * v.delta) >> 8) + v.previous;
            y = std::clamp(y, -32768, 32767);
            int32_t held = (v.volume * y) >> 11;
            v.heldOutput = (held == 1 || held == -1) ? 0 : held;
        }
        if (!v.restartPending) v.ratePhase = static_cast<uint16_t>(v.ratePhase + v.deltaN);
    }
    addByPan(v, v.heldOutput * 4, left, right);
}

void writeBControl(FmAdpcmVoice& v, uint8_t d) {
    const bool s = d & 0x80;
    const bool r = d & 0x01;
    const bool k = (d & 0x50) != 0;
    if (d & 0x10) v.repeat = 1;
    if (s) {
        const bool wasPlaying = v.playing;
        bool restarted = false;
        if (!v.playing && v.ended && !v.stoppedByWrite && hasData(v)) {
            restartB(v);
            restarted = true;
        }
        if (r) {
            if (!wasPlaying && !restarted) v.stoppedByWrite = 0;
            v.playing = 1;
            v.ended = 1;
            if (!k) v.playing = 0;
            return;
        }
        v.playing = 1;
    } else if (v.playing && !v.ended && !r) {
        v.stoppedByWrite = 1;
        v.ended = 1;
        v.heldOutput = 32767;
        v.playing = 0;
    } else if (r) {
        v.playing = 0;
        v.ended = 1;
        v.stoppedByWrite = 0;
        return;
    } else {
        v.playing = 0;
    }
    if (!k) {
        v.playing = 0;
        v.ended = 1;
        v.previous = 32767;
        v.delta = 0;
    }
    if (s && hasData(v)) restartB(v);
}

} // namespace

void adpcmInit(FmAdpcm& adpcm) {
    for (FmAdpcmVoice& v : adpcm.a) v.isA = 1;
    adpcm.b.isA = 0;
}

bool adpcmSetSampleMemory(FmAdpcm& adpcm, uint64_t region, const uint8_t* data, uint64_t size) {
    if (size > kMaxSampleMemory || region > 1) return false;
    FmAdpcmMemory view;
    view.data = data;
    view.size = size;
    uint64_t pow2 = 1;
    while (pow2 < size) pow2 <<= 1;
    view.mask = pow2 - 1;
    if (region == 1) {
        adpcm.b.memory = view;
    } else {
        for (FmAdpcmVoice& v : adpcm.a) v.memory = view;
    }
    return true;
}

void adpcmAWrite(FmAdpcm& adpcm, uint8_t address, uint8_t d) {
    if (address == 0x00) {
        for (int k = 0; k < 6; ++k) {
            if (!(d & (1 << k))) continue;
            FmAdpcmVoice& v = adpcm.a[k];
            if (d & 0x80)
                v.playing = 0;
            else if (hasData(v))
                startA(v);
        }
        return;
    }
    if (address == 0x01) {
        adpcm.totalLevel = d & 63;
        for (FmAdpcmVoice& v : adpcm.a) updateAttenuation(adpcm, v);
        return;
    }
    const int k = address & 7;
    if (address < 0x08 || address > 0x2D || k > 5) return;
    FmAdpcmVoice& v = adpcm.a[k];
    switch (address & 0x38) {
    case 0x08:
        v.panBits = d >> 6;
        v.instrumentLevel = d & 31;
        updateAttenuation(adpcm, v);
        break;
    case 0x10:
        v.start = static_cast<uint16_t>((v.start & 0xFF00) | d);
        break;
    case 0x18:
        v.start = static_cast<uint16_t>((v.start & 0x00FF) | (d << 8));
        break;
    case 0x20:
        v.end = static_cast<uint16_t>((v.end & 0xFF00) | d);
        break;
    case 0x28:
        v.end = static_cast<uint16_t>((v.end & 0x00FF) | (d << 8));
        break;
    default:
        break;
    }
}

void adpcmBWrite(FmAdpcm& adpcm, uint8_t address, uint8_t d) {
    FmAdpcmVoice& v = adpcm.b;
    switch (address) {
    case 0x10:
        writeBControl(v, d);
        break;
    case 0x11:
        v.panBits = d >> 6;
        break;
    case 0x12:
        v.start = static_cast<uint16_t>((v.start & 0xFF00) | d);
        break;
    case 0x13:
        v.start = static_cast<uint16_t>((v.start & 0x00FF) | (d << 8));
        break;
    case 0x14:
        v.end = static_cast<uint16_t>((v.end & 0xFF00) | d);
        break;
    case 0x15:
        v.end = static_cast<uint16_t>((v.end & 0x00FF) | (d << 8));
        break;
    case 0x19:
        v.deltaN = static_cast<uint16_t>((v.deltaN & 0xFF00) | d);
        break;
    case 0x1A:
        v.deltaN = static_cast<uint16_t>((v.deltaN & 0x00FF) | (d << 8));
        break;
    case 0x1B:
        v.volume = d;
        break;
    default:
        break;
    }
}

void adpcmReset(FmAdpcm& adpcm) {
    for (FmAdpcmVoice& v : adpcm.a) v.playing = 0;
    adpcm.b.playing = 0;
    adpcm.divider = 0;
    adpcm.heldLeft = 0;
    adpcm.heldRight = 0;
}

void adpcmStep(FmAdpcmVoice& voice) {
    if (!voice.playing || voice.ended) return;
    if (voice.isA)
        stepA(voice);
    else
        stepB(voice);
}

void adpcmOutput(FmAdpcmVoice& voice, int32_t& left, int32_t& right) {
    if (!voice.playing) return;
    if (voice.isA)
        outputA(voice, left, right);
    else
        outputB(voice, left, right);
}

void adpcmSample(FmAdpcm& adpcm, int32_t& left, int32_t& right) {
    if (adpcm.divider != 0) {
        --adpcm.divider;
    } else {
        adpcm.divider = 2;
        int32_t sumL = 0;
        int32_t sumR = 0;
        for (FmAdpcmVoice& v : adpcm.a) adpcmOutput(v, sumL, sumR);
        for (FmAdpcmVoice& v : adpcm.a) adpcmStep(v);
        // Six loud voices exceed 16 bits: the sum saturates rather than wrap
        // to the other sign.
        adpcm.heldLeft = static_cast<int16_t>(std::clamp(sumL, -32768, 32767));
        adpcm.heldRight = static_cast<int16_t>(std::clamp(sumR, -32768, 32767));
    }
    left += adpcm.heldLeft;
    right += adpcm.heldRight;
    adpcmStep(adpcm.b);
    adpcmOutput(adpcm.b, left, right);
}
