// A plain per-sample model of the YM2612 channel arithmetic, written for the
// tests: one chip sample at a time, every channel computed in full (no silent
// path, no chunks), operator outputs straight from kWaveforms and kExpTable.
// The block renderers must match it sample for sample and leave the same chip
// state. Also: a field-by-field comparison of two chip states.
#pragma once

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>

#include "emulators/FmChipState.h"
#include "emulators/FmEnvelope.h"
#include "emulators/FmPhase.h"
#include "emulators/FmRegisters.h"
#include "emulators/FmTables.h"

namespace fmref {

inline int32_t operatorOutput(int32_t phase, uint32_t attenuation) {
    const uint32_t q = kWaveforms[phase & 1023];
    const uint32_t a = 4 * std::min<uint32_t>(attenuation, 1022);
    const uint32_t l = a + (q & 0x7FFF);
    const int32_t m = static_cast<int32_t>(((kExpTable[l & 255] * 4) + 4096) >> (l >> 8));
    return (q & 0x8000) ? -m : m;
}

inline int32_t clampTo(int32_t v, int32_t lo, int32_t hi) {
    return std::max(lo, std::min(hi, v));
}

// Operator outputs of one channel sample.
struct Ops {
    int32_t s1, s2, s3, s4;
    int32_t s1m1, s2m1, s4m1; // S1, S2, S4 of the previous sample
};

// Steps the channel's envelopes and phases once and evaluates its algorithm.
inline Ops evaluate(FmChannel& ch, const FmSharedState& s, bool withAm) {
    int32_t p[4];
    uint32_t e[4];
    for (int k = 0; k < 4; ++k) {
        FmOperator& op = ch.operators[k];
        bool reset = false;
        uint32_t x = egStep(op.eg, s.egCounter, reset);
        if (!op.eg.ssgKeyOffLatch) x += 8u * op.totalLevel;
        if (op.eg.ssgAttackPending) x = (1024u - x) % 4096u;
        if (op.amOn && withAm) {
            const uint32_t am = k == kOpS1 ? s.lfoAm : s.lfoPrevAm;
            if (ch.ams == 1) x += am >> 2;
            if (ch.ams == 2) x += am;
            if (ch.ams == 3) x += am * 2;
        }
        e[k] = x;
        const uint32_t acc = reset ? 0 : op.phase;
        p[k] = static_cast<int32_t>(acc >> 11);
        op.phase = (acc + op.phaseInc) % (1u << 21);
    }
    int32_t* o = ch.outputs;
    Ops r{};
    r.s1m1 = o[2];
    r.s2m1 = o[4];
    r.s4m1 = o[5];
    const int32_t fb = ch.feedback ? (o[0] + o[1]) >> (10 - ch.feedback) : 0;
    r.s1 = operatorOutput(p[kOpS1] + fb, e[kOpS1]);
    const int32_t s1m1 = o[2], s1m2 = o[3], s2m1 = o[4];
    o[1] = o[0];
    o[0] = r.s1;
    o[3] = o[2];
    o[2] = r.s1;
    auto op = [&](int rec, int32_t mod) { return operatorOutput(p[rec] + mod, e[rec]); };
    int32_t& s2 = r.s2;
    int32_t& s3 = r.s3;
    int32_t& s4 = r.s4;
    switch (ch.algorithm & 7) {
    case 0:
        s2 = op(kOpS2, s1m1 >> 1);
        s3 = op(kOpS3, s2m1 >> 1);
        s4 = op(kOpS4, s3 >> 1);
        break;
    case 1:
        s3 = op(kOpS3, (s1m2 + s2m1) >> 1);
        s2 = op(kOpS2, 0);
        s4 = op(kOpS4, s3 >> 1);
        break;
    case 2:
        s3 = op(kOpS3, s2m1 >> 1);
        s2 = op(kOpS2, 0);
        s4 = op(kOpS4, (s1m1 + s3) >> 1);
        break;
    case 3:
        s2 = op(kOpS2, s1m1 >> 1);
        s3 = op(kOpS3, 0);
        s4 = op(kOpS4, (s2m1 + s3) >> 1);
        break;
    case 4:
        s2 = op(kOpS2, s1m1 >> 1);
        s3 = op(kOpS3, 0);
        s4 = op(kOpS4, s3 >> 1);
        break;
    case 5:
        s2 = op(kOpS2, s1m1 >> 1);
        s4 = op(kOpS4, s1m1 >> 1);
        s3 = op(kOpS3, s1m2 >> 1);
        break;
    case 6:
        s2 = op(kOpS2, s1m1 >> 1);
        s3 = op(kOpS3, 0);
        s4 = op(kOpS4, 0);
        break;
    default:
        s2 = op(kOpS2, 0);
        s3 = op(kOpS3, 0);
        s4 = op(kOpS4, 0);
        break;
    }
    o[4] = s2;
    o[5] = s4;
    return r;
}

// Channel value of the block renderers (modes 0/1: the 9-bit output stage).
inline int32_t channelValue(FmChannel& ch, const FmSharedState& s, bool truncated) {
    const Ops r = evaluate(ch, s, true);
    const int alg = ch.algorithm & 7;
    if (alg < 4) return r.s4 >> 1;
    // Carriers in the order they are added.
    int32_t c[4];
    int count = 0;
    if (alg == 4) {
        c[0] = r.s4, c[1] = r.s2, count = 2;
    } else if (alg < 7) {
        c[0] = r.s2, c[1] = r.s3, c[2] = r.s4, count = 3;
    } else {
        c[0] = r.s3, c[1] = r.s1m1, c[2] = r.s2, c[3] = r.s4, count = 4;
    }
    int32_t sum = truncated ? c[0] & ~31 : c[0];
    for (int i = 1; i < count; ++i) {
        if (truncated) {
            sum = clampTo(sum, -8192, 8191) & ~31;
            sum += c[i] & ~31;
        } else {
            sum = clampTo(sum + c[i], -8192, 8191);
        }
    }
    if (truncated) return (clampTo(sum, -8192, 8191) >> 1) & ~15;
    return sum >> 1;
}

// Channel values of the per-sample chip loops.
enum class SampleKind { Halved, HalvedCh6, Full, Mono };

inline int32_t sampleValue(FmChannel& ch, const FmSharedState& s, SampleKind kind) {
    const Ops r = evaluate(ch, s, kind != SampleKind::Mono);
    const int alg = ch.algorithm & 7;
    if (kind == SampleKind::Mono) {
        // S1, S2, S4 of the previous sample, S3 of this one.
        const int32_t terms[8] = {r.s4m1,
                                  r.s4m1,
                                  r.s4m1,
                                  r.s4m1,
                                  r.s2m1 + r.s4m1,
                                  r.s2m1 + r.s3 + r.s4m1,
                                  r.s2m1 + r.s3 + r.s4m1,
                                  r.s1m1 + r.s2m1 + r.s3 + r.s4m1};
        return terms[alg];
    }
    const int sh = kind == SampleKind::Full ? 0 : 1;
    const int32_t s1 = kind == SampleKind::HalvedCh6 ? r.s1m1 : r.s1;
    if (alg < 4) return r.s4 >> sh;
    if (alg == 4) return (r.s2 >> sh) + (r.s4 >> sh);
    if (alg < 7) return (r.s2 >> sh) + (r.s3 >> sh) + (r.s4 >> sh);
    return (s1 >> sh) + (r.s2 >> sh) + (r.s3 >> sh) + (r.s4 >> sh);
}

// One sample of the per-sample chip loop of variants 0-3, before the sample
// voices and the output stage: the left and right sums of the FM channels.
inline void sampleLoopChannels(FmChipState& chip, int32_t& left, int32_t& right) {
    fmTimerStep(chip);
    const FmChannelRecords& used = fmChannelRecords(chip.shared.variant);
    FmChannel* ch = chip.channels;
    left = right = 0;
    if (used.count == 3) {
        const int32_t a = sampleValue(ch[0], chip.shared, SampleKind::Mono);
        const int32_t b = sampleValue(ch[1], chip.shared, SampleKind::Mono);
        left = (ch[0].muted ? 0 : a) + (ch[1].muted ? 0 : b) + chip.delayedCh3;
        const int32_t c = sampleValue(ch[2], chip.shared, SampleKind::Full);
        chip.delayedCh3 = ch[2].muted ? 0 : c;
        return;
    }
    for (int j = 0; j < used.count; ++j) {
        FmChannel& c = ch[used.records[j]];
        const int32_t v = sampleValue(
            c, chip.shared, j == used.count - 1 ? SampleKind::HalvedCh6 : SampleKind::Halved);
        if (c.pan & 2) left += v;
        if (c.pan & 1) right += v;
    }
}

inline int32_t mapValue(uint32_t mode, int32_t s, const int16_t* curve) {
    switch (mode) {
    case 0:
        return curve[(s >> 4) + 256];
    case 1:
        return (s * 4) & ~63;
    case 2:
        return s * 4;
    default:
        return s;
    }
}

inline int32_t dacValue(uint32_t mode, uint8_t d, const int16_t* curve) {
    switch (mode) {
    case 0:
        return curve[2 * d];
    case 1:
    case 2:
        return d * 128 - 16384;
    default:
        return d * 32 - 4096;
    }
}

// One LFO tick: returns whether the phase increments change.
inline bool blockLfoTick(FmSharedState& s) {
    const uint32_t period = kLfoPeriods[s.lfoRate & 7];
    if (s.lfoOn) {
        bool changed = false;
        if (s.lfoSubCounter >= period) {
            s.lfoStep++;
            s.lfoSubCounter = 1;
            changed = true;
        } else {
            s.lfoSubCounter++;
        }
        const uint8_t old = s.lfoPrevStep;
        s.lfoPrevStep = s.lfoStep;
        if (s.lfoSubCounter == period) {
            s.lfoSubCounter = 0;
            s.lfoStep++;
            changed = true;
        }
        // AM: a triangle that starts at its top (63) at step 0 and reaches 0
        // at step 64.
        s.lfoPrevAm = s.lfoAm;
        s.lfoAm = (s.lfoStep & 64) ? (s.lfoStep & 63) : 63 - (s.lfoStep & 63);
        return changed || old != s.lfoStep;
    }
    if (s.lfoStep == 0 && s.lfoPrevStep == 0) {
        s.lfoPrevAm = s.lfoAm;
        s.lfoSubCounter = 0;
        s.lfoAm = 0;
        return false;
    }
    s.lfoPrevStep = s.lfoStep;
    s.lfoPrevAm = s.lfoAm;
    s.lfoStep = 0;
    s.lfoSubCounter = 0;
    s.lfoAm = 0;
    return true;
}

// What each channel record adds in one sample.
struct Sample {
    int32_t left[6];
    int32_t right[6];
};

// One YM2612 chip sample in output mode `mode`.
inline Sample step(FmChipState& chip, uint32_t mode, const int16_t* curve) {
    FmSharedState& s = chip.shared;
    if (s.timerARunning || s.timerAOverflow || s.csmKeyOnPending || s.csmS1KeyOffPending ||
        s.csmKeyOnActive) {
        if (s.timerARunning) {
            s.timerACounter++;
            if (s.timerACounter & 0x400) s.timerAOverflow = 1;
        }
        fmCsmStep(s, chip.channels[2]);
    }
    Sample out{};
    for (int c = 0; c < 6; ++c) {
        FmChannel& ch = chip.channels[c];
        int32_t v = mapValue(mode, channelValue(ch, s, mode < 2), curve);
        if (c == 5 && chip.dacEnabled) v = dacValue(mode, chip.dacData, curve);
        out.left[c] = (ch.pan & 2) ? v : 0;
        out.right[c] = (ch.pan & 1) ? v : 0;
    }
    s.egCounter = egAdvanceCounter(s.egCounter);
    if (blockLfoTick(s))
        for (FmChannel& ch : chip.channels) updateFrequencies(ch, s.lfoStep, s.lfoPrevStep);
    return out;
}

// First difference between two chip states, empty when they agree.
inline std::string diffState(const FmChipState& a, const FmChipState& b) {
    std::ostringstream d;
#define FMREF_CMP(name, x, y)                                                                      \
    if ((x) != (y)) {                                                                              \
        d << name << ": " << +(x) << " vs " << +(y);                                               \
        return d.str();                                                                            \
    }
    const FmSharedState& s = a.shared;
    const FmSharedState& t = b.shared;
    FMREF_CMP("egCounter", s.egCounter, t.egCounter);
    FMREF_CMP("timerAReload", s.timerAReload, t.timerAReload);
    FMREF_CMP("timerACounter", s.timerACounter, t.timerACounter);
    FMREF_CMP("timerARunning", s.timerARunning, t.timerARunning);
    FMREF_CMP("timerAOverflow", s.timerAOverflow, t.timerAOverflow);
    FMREF_CMP("csmKeyOnPending", s.csmKeyOnPending, t.csmKeyOnPending);
    FMREF_CMP("csmS1KeyOffPending", s.csmS1KeyOffPending, t.csmS1KeyOffPending);
    FMREF_CMP("csmKeyOnActive", s.csmKeyOnActive, t.csmKeyOnActive);
    FMREF_CMP("csmMode", s.csmMode, t.csmMode);
    FMREF_CMP("lfoOn", s.lfoOn, t.lfoOn);
    FMREF_CMP("lfoRate", s.lfoRate, t.lfoRate);
    FMREF_CMP("lfoStep", s.lfoStep, t.lfoStep);
    FMREF_CMP("lfoPrevStep", s.lfoPrevStep, t.lfoPrevStep);
    FMREF_CMP("lfoSubCounter", s.lfoSubCounter, t.lfoSubCounter);
    FMREF_CMP("lfoAm", s.lfoAm, t.lfoAm);
    FMREF_CMP("lfoPrevAm", s.lfoPrevAm, t.lfoPrevAm);
    for (int c = 0; c < 6; ++c) {
        const FmChannel& x = a.channels[c];
        const FmChannel& y = b.channels[c];
        d << "channel " << c << " ";
        for (int i = 0; i < 6; ++i) FMREF_CMP("outputs", x.outputs[i], y.outputs[i]);
        for (int i = 0; i < 4; ++i) {
            FMREF_CMP("fnum", x.fnum[i], y.fnum[i]);
            FMREF_CMP("block", x.block[i], y.block[i]);
        }
        FMREF_CMP("pan", x.pan, y.pan);
        FMREF_CMP("algorithm", x.algorithm, y.algorithm);
        for (int k = 0; k < 4; ++k) {
            const FmOperator& o = x.operators[k];
            const FmOperator& p = y.operators[k];
            d << "op " << k << " ";
            FMREF_CMP("phase", o.phase, p.phase);
            FMREF_CMP("phaseInc", o.phaseInc, p.phaseInc);
            FMREF_CMP("keyCode", o.keyCode, p.keyCode);
            FMREF_CMP("regKeyOn", o.regKeyOn, p.regKeyOn);
            FMREF_CMP("csmKeyOn", o.csmKeyOn, p.csmKeyOn);
            FMREF_CMP("pgKeyOn", o.pgKeyOn, p.pgKeyOn);
            FMREF_CMP("egState", o.eg.egState, p.eg.egState);
            FMREF_CMP("egLevel", o.eg.egLevel, p.eg.egLevel);
            FMREF_CMP("egKeyOn", o.eg.egKeyOn, p.eg.egKeyOn);
            FMREF_CMP("egStateCounter", o.eg.egStateCounter, p.eg.egStateCounter);
            FMREF_CMP("ssgInverted", o.eg.ssgInverted, p.eg.ssgInverted);
            FMREF_CMP("ssgKeyOffLatch", o.eg.ssgKeyOffLatch, p.eg.ssgKeyOffLatch);
            FMREF_CMP("ssgAttackPending", o.eg.ssgAttackPending, p.eg.ssgAttackPending);
            FMREF_CMP("arRate", o.eg.arRate, p.eg.arRate);
            FMREF_CMP("rrRate", o.eg.rrRate, p.eg.rrRate);
        }
        d.str("");
    }
#undef FMREF_CMP
    return {};
}

} // namespace fmref
