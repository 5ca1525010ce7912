#include "emulators/OPNX_Emu.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "emulators/FmChannelRender.h"
#include "emulators/FmChannelRenderTables.h"
#include "emulators/FmFramed.h"
#include "emulators/FmPhase.h"
#include "emulators/FmRegisters.h"
#include "emulators/FmRhythm.h"
#include "emulators/FmTables.h"

namespace {

struct VariantInfo {
    const char* partName;
    const char* familyName;
    uint64_t clockDivisor;
    uint64_t initialClockIndex;
    double clocks[4];
    int clockCount;
};

const VariantInfo kVariants[kFmVariantCount] = {
    {"YM2203C", "OPN", 72, 2, {1500000, 3000000, 3579545, 4000000}, 4},
    {"YM2608", "OPNA", 144, 0, {8000000}, 1},
    {"YM2610", "OPNB", 144, 0, {8000000}, 1},
    {"YM2610B", "OPNB2", 144, 0, {8000000}, 1},
    {"YM2612", "OPN2", 144, 0, {7670454, 7600489, 7680000, 8000000}, 4},
};

// Largest frame count handed to the channel dispatcher at once.
constexpr uint64_t kMaxDispatch = 1u << 24;

} // namespace

int32_t OPNX_Emu::quantizeYm2203(int32_t s) {
    int bits = 0;
    for (int32_t limit = 512; bits < 6 && (s < -limit || s >= limit); limit *= 2) ++bits;
    return s & ~((1 << bits) - 1);
}

OPNX_Emu::OPNX_Emu(uint32_t variant) {
    ensureFmRenderTables();
    fmInitChip(chip_, variant);
    if (variant == kFmYM2612) {
        // Derive key codes, increments and effective rates from the cleared
        // registers, as every later register write does: the block renderers
        // rely on them matching the registers.
        for (FmChannel& ch : chip_.channels) updateFrequencies(ch, 0, 0);
    }
    info_.outputCount = 2;
    if (variant < kFmVariantCount) {
        const VariantInfo& v = kVariants[variant];
        std::strncpy(info_.partName, v.partName, sizeof(info_.partName) - 1);
        std::strncpy(info_.familyName, v.familyName, sizeof(info_.familyName) - 1);
        info_.clockDivisor = v.clockDivisor;
        info_.initialClockIndex = v.initialClockIndex;
        info_.clocks.assign(v.clocks, v.clocks + v.clockCount);
    }
}

OPNX_Emu::~OPNX_Emu() = default;

bool OPNX_Emu::init(uint32_t /*maxFrames*/, const char* context, uint32_t /*flags*/) {
    if (context && variant() == kFmYM2608) {
        loadRhythmSamplesOnce(context);
        rhythmLinkBuffers(chip_.rhythm);
    }
    return true;
}

void OPNX_Emu::reset() {
    settle();
    fmResetChip(chip_);
    framePhase_ = 0;
}

ChipInfo* OPNX_Emu::getInfo() {
    return &info_;
}

void OPNX_Emu::write(uint16_t address, uint8_t data, uint64_t port) {
    settle();
    fmWrite(chip_, address, data, port);
}

void OPNX_Emu::setParameter(uint32_t index, float value) {
    settle();
    if (index < 6) fmSetChannelMute(chip_, index, value);
}

void OPNX_Emu::setClockRatio(double ratio) {
    if (!(ratio > 0.0) || !std::isfinite(ratio)) ratio = 1.0;
    ratio = std::clamp(ratio, 1.0 / 16.0, 16.0);
    settle();
    fmSetPitchScale(chip_, static_cast<uint32_t>(std::lround(ratio * kFmOwnPitch)));
}

void OPNX_Emu::render16(int16_t* /*output*/, uint64_t /*ignored*/, uint64_t /*frames*/) {}

bool OPNX_Emu::setSampleMemory(uint64_t region, const uint8_t* data, uint64_t size) {
    return adpcmSetSampleMemory(chip_.adpcm, region, data, size);
}

int OPNX_Emu::render32(int32_t** outputs, uint64_t frames) {
    settle();
    int32_t* left = outputs[0];
    int32_t* right = outputs[1];
    if (variant() != kFmYM2612) {
        renderSamples(left, right, frames, 1, 1);
        return 0;
    }
    while (frames > 0) {
        const uint64_t n = std::min(frames, kMaxDispatch);
        renderChannels(chip_, FmDispatch::Direct, chip_.shared.timerARunning, chip_.dacEnabled,
                       nullptr, 3, left, right, static_cast<uint32_t>(n));
        left += n;
        right += n;
        frames -= n;
    }
    return 0;
}

void OPNX_Emu::renderSamples(int32_t* left, int32_t* right, uint64_t count, uint64_t stride,
                             int32_t scale) {
    settle();
    const uint32_t v = variant();
    const FmChannelRecords& used = fmChannelRecords(v);
    if (used.count == 0) return;
    FmChannel* ch = chip_.channels;
    for (uint64_t k = 0; k < count; ++k) {
        fmTimerStep(chip_);
        int32_t l = 0, r = 0;
        if (used.count == 3) {
            // The 3-channel chip has no pan; a muted channel still runs but
            // adds nothing.
            FmChannel& c1 = ch[used.records[0]];
            FmChannel& c2 = ch[used.records[1]];
            FmChannel& c3 = ch[used.records[2]];
            const int32_t s1 = renderChannelSampleMono(c1);
            const int32_t s2 = renderChannelSampleMono(c2);
            l = (c1.muted ? 0 : s1) + (c2.muted ? 0 : s2) + chip_.delayedCh3;
            const int32_t s3 = renderChannelSampleCh3(c3);
            chip_.delayedCh3 = c3.muted ? 0 : s3;
        } else {
            const int last = used.count - 1;
            for (int j = 0; j <= last; ++j) {
                FmChannel& c = ch[used.records[j]];
                const int32_t s = j == last ? renderChannelSampleCh6(c) : renderChannelSample(c);
                if (c.pan & 2) l += s;
                if (c.pan & 1) r += s;
            }
        }
        if (v == kFmYM2608) rhythmSample(chip_.rhythm, l, r);
        if (v == kFmYM2610 || v == kFmYM2610B) adpcmSample(chip_.adpcm, l, r);
        l = std::clamp(l, -32768, 32767);
        r = std::clamp(r, -32768, 32767);
        if (v == kFmYM2203) {
            left[k * stride] += quantizeYm2203(l) * scale;
        } else {
            left[k * stride] += l * scale;
            right[k * stride] += r * scale;
        }
        fmEndSample(chip_);
    }
}

int OPNX_Emu::renderFramed21(int32_t** outputs, uint64_t ticks) {
    return renderFramedEntry(outputs, ticks, 21);
}

int OPNX_Emu::renderFramed9(int32_t** outputs, uint64_t ticks) {
    return renderFramedEntry(outputs, ticks, 9);
}

int OPNX_Emu::renderFramedEntry(int32_t** outputs, uint64_t ticks, uint64_t frameLength) {
    // A phase outside 1..N-1 (0, or one left by the other frame length) is a
    // frame boundary.
    const uint64_t p = framePhase_ >= 1 && framePhase_ < frameLength ? framePhase_ : 0;
    const uint64_t lead = p ? frameLength - p : 0;
    framePhase_ = (p + ticks % frameLength) % frameLength;
    if (ticks <= lead) return 0;
    const uint64_t frames = (ticks - lead + frameLength - 1) / frameLength;
    return renderFramed(*this, outputs, frames, lead, frameLength);
}
