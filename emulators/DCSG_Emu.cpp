#include "emulators/DCSG_Emu.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "emulators/FrameScale.h"

namespace {

typedef uint32_t Lanes __attribute__((vector_size(16)));

// dst[0..n) += value, four frames at a time (whatever the vectoriser of the
// optimisation level decides); wraps in 32 bits.
void addLevel(int32_t* dst, uint64_t n, int32_t value) {
    const uint32_t v = uint32_t(value);
    const Lanes add = {v, v, v, v};
    uint64_t i = 0;
    for (; i + 4 <= n; i += 4) {
        Lanes x;
        std::memcpy(&x, dst + i, sizeof x);
        x += add;
        std::memcpy(dst + i, &x, sizeof x);
    }
    for (; i < n; ++i) dst[i] = int32_t(uint32_t(dst[i]) + v);
}

// The same into two rows at once.
void addLevel(int32_t* a, int32_t* b, uint64_t n, int32_t value) {
    const uint32_t v = uint32_t(value);
    const Lanes add = {v, v, v, v};
    uint64_t i = 0;
    for (; i + 4 <= n; i += 4) {
        Lanes x, y;
        std::memcpy(&x, a + i, sizeof x);
        std::memcpy(&y, b + i, sizeof y);
        x += add;
        y += add;
        std::memcpy(a + i, &x, sizeof x);
        std::memcpy(b + i, &y, sizeof y);
    }
    for (; i < n; ++i) {
        a[i] = int32_t(uint32_t(a[i]) + v);
        b[i] = int32_t(uint32_t(b[i]) + v);
    }
}

const char* const kPartNames[7] = {"SN76489", "SegaPSG", "SegaGG", "SN94624",
                                   "NCR8496", "PSSJ",    "PS1"};
} // namespace

DCSG_Emu::DCSG_Emu(uint32_t variant, uint64_t factor) : DCSGDecoder(variant), factor(factor) {
    info.firstWord = 1;
    info.inputCount = 0;
    info.outputCount = 1;
    info.clockDivisor = 16;
    info.clocks = {2000000.0, 3579545.0, 4000000.0};
    info.initialClockIndex = 1;
    if (variant < 7) std::strncpy(info.partName, kPartNames[variant], sizeof info.partName - 1);
    std::strncpy(info.familyName, "DCSG", sizeof info.familyName - 1);
    info.outputGains[0] = 1.0f / 2049.0f;
    for (int k = 1; k < 4; ++k) info.outputGains[k] = 1.0f / 256.0f;
    for (const char* name : {"TONE0", "TONE1", "TONE2", "NOISE"})
        info.parameters.emplace_back(name, vantor::ParameterInfo::kOnOff, 0.0f, 1.0f, 1.0f, 0, 0);
}

bool DCSG_Emu::init(uint32_t frames, const char* /*context*/, uint32_t /*flags*/) {
    listener = this;
    maxFrames = frames;
    for (auto& tone : tones) tone = std::make_unique<DCSGTone>(variant, factor);
    noise = std::make_unique<DCSGNoise>(variant, factor, tones[2].get());
    scratch.reset(new int32_t[frames]());
    if (clockRatio != 1.0) applyClockRatio();
    return true;
}

void DCSG_Emu::setClockRatio(double ratio) {
    clockRatio = ratio > 0.0 && std::isfinite(ratio) ? ratio : 1.0;
    applyClockRatio();
}

void DCSG_Emu::applyClockRatio() {
    if (!noise) return;
    const FrameScale s = FrameScale::of(double(factor) / clockRatio);
    for (auto& tone : tones) tone->setScale(s.whole, s.fraction);
    noise->setScale(s.whole, s.fraction);
}

void DCSG_Emu::reset() {
    if (!noise) return;
    for (auto& tone : tones) tone->attenuation = 15;
    noise->attenuation = 15;
}

void DCSG_Emu::write(uint16_t address, uint8_t data, uint64_t /*port*/) {
    if (address == 1) return; // the Game Gear stereo byte belongs to the console
    decode(data);
}

void DCSG_Emu::onVolume(uint32_t channel, uint32_t attenuation) {
    if (!noise) return;
    if ((channel & 3) != 3)
        tones[channel & 3]->attenuation = attenuation & 15;
    else
        noise->attenuation = attenuation & 15;
}

void DCSG_Emu::onPeriod(uint32_t channel, uint32_t period) {
    if (!noise) return;
    if ((channel & 3) != 3)
        tones[channel & 3]->setPeriod(period);
    else
        noise->setRate(period);
}

void DCSG_Emu::onNoiseMode(uint32_t /*channel*/, uint32_t /*ignored*/, uint32_t white) {
    if (noise) noise->setMode(white);
}

void DCSG_Emu::setParameter(uint32_t index, float value) {
    if (index < 4) mutes[index] = value > 0.0f;
}

void DCSG_Emu::setVolumeCurves(const int16_t* c0, const int16_t* c1, const int16_t* c2,
                               const int16_t* c3) {
    for (int j = 0; j < 16; ++j)
        volumeCurve[j] = int16_t((int32_t(c0[j]) + c1[j] + c2[j] + c3[j]) / 4);
    if (!noise) return;
    for (auto& tone : tones) tone->volumeTable = volumeCurve;
    noise->volumeTable = volumeCurve;
}

bool DCSG_Emu::isSilent(bool gameGear, uint8_t stereo) const {
    if (!noise) return true;
    for (int k = 0; k < 3; ++k) {
        const DCSGTone& t = *tones[k];
        const bool heard = !mutes[k] && (!gameGear || (stereo & (0x11 << k)) != 0);
        if (heard && t.volumeTable[t.attenuation & 15] != 0) return false;
    }
    const bool noiseHeard = !mutes[3] && noise->renders() && (!gameGear || (stereo & 0x88) != 0);
    return !noiseHeard || noise->volumeTable[noise->attenuation & 15] == 0;
}

void DCSG_Emu::advanceSilent(uint64_t frames, bool gameGear) {
    if (!noise) return;
    if (gameGear) {
        // renderGameGear with every channel routed nowhere.
        for (int k = 0; k < 3; ++k)
            if (!mutes[k]) tones[k]->advance(frames);
        noise->run(nullptr, nullptr, frames);
        return;
    }
    // renderMono with every running channel quiet.
    for (int k = 0; k < 3; ++k)
        if (!mutes[k]) tones[k]->advance(frames);
    if (mutes[3]) return;
    noise->followRate();
    if (noise->renders()) noise->run(nullptr, nullptr, frames);
}

void DCSG_Emu::renderMono(int32_t* first, int32_t* second, uint64_t frames) {
    // A muted channel stands still. The sum is constant between two edges of
    // the running channels: it is added a stretch at a time. A channel whose
    // level is 0 in both halves (attenuation 15) adds nothing, so its edges
    // cut no stretch: it only moves on, in one pass at the end (the channels
    // are independent within a call; the noise took tone 2's rate already).
    DCSGTone* running[3];
    DCSGTone* quiet[3];
    int count = 0;
    int quietCount = 0;
    for (int k = 0; k < 3; ++k) {
        if (mutes[k]) continue;
        DCSGTone* t = tones[k].get();
        if (t->volumeTable[t->attenuation & 15] == 0)
            quiet[quietCount++] = t;
        else
            running[count++] = t;
    }
    if (!mutes[3]) noise->followRate();
    const bool noiseMoves = !mutes[3] && noise->renders();
    const bool noiseQuiet = noiseMoves && noise->volumeTable[noise->attenuation & 15] == 0;
    const bool noiseRuns = noiseMoves && !noiseQuiet;
    const uint64_t total = frames;
    while (frames > 0) {
        uint64_t n = frames;
        int32_t sum = 0;
        for (int k = 0; k < count; ++k) {
            n = std::min(n, running[k]->framesToEdge());
            sum += running[k]->level();
        }
        if (noiseRuns) {
            n = std::min(n, noise->framesToShift());
            sum += noise->level();
        }
        if (sum != 0) {
            if (second)
                addLevel(first, second, n, sum);
            else
                addLevel(first, n, sum);
        }
        for (int k = 0; k < count; ++k) running[k]->step(n);
        if (noiseRuns) noise->step(n);
        first += n;
        if (second) second += n;
        frames -= n;
    }
    for (int k = 0; k < quietCount; ++k) quiet[k]->advance(total);
    if (noiseQuiet) noise->run(nullptr, nullptr, total);
}

int DCSG_Emu::render32(int32_t** outputs, uint64_t frames) {
    if (noise) renderMono(outputs[0], nullptr, frames);
    return 0;
}

void DCSG_Emu::renderBoth(int32_t* left, int32_t* right, uint64_t frames) {
    if (noise) renderMono(left, right, frames);
}

void DCSG_Emu::render16(int16_t* output, uint64_t /*ignored*/, uint64_t frames) {
    if (!noise || maxFrames == 0) return;
    // In pieces of at most maxFrames (the size of `scratch`); a zero-length
    // call still runs once, so the noise refreshes its rate.
    do {
        const uint64_t n = std::min<uint64_t>(frames, maxFrames);
        int32_t* buf = scratch.get();
        std::fill(buf, buf + n, 0);
        renderMono(buf, nullptr, n);
        for (uint64_t i = 0; i < n; ++i) output[i] = int16_t(uint16_t(uint32_t(buf[i])));
        output += n;
        frames -= n;
    } while (frames > 0);
}

void DCSG_Emu::renderGameGear(int32_t** outputs, uint8_t stereo, uint64_t frames) {
    if (!noise) return;
    int32_t* left = outputs[0];
    int32_t* right = outputs[1];
    // Each channel adds straight into the sides its bits name; a muted tone
    // stands still, a muted noise (or a channel routed nowhere) runs silently.
    for (int k = 0; k < 3; ++k) {
        if (mutes[k]) continue;
        tones[k]->run(stereo & (0x10 << k) ? left : nullptr, stereo & (0x01 << k) ? right : nullptr,
                      frames);
    }
    const bool audible = !mutes[3];
    noise->run(audible && (stereo & 0x80) ? left : nullptr,
               audible && (stereo & 0x08) ? right : nullptr, frames);
}
