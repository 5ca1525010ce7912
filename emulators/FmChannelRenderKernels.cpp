#include "emulators/FmChannelRenderKernels.h"

#include <algorithm>

#include "emulators/FmEnvelope.h"
#include "emulators/FmTables.h"

namespace {

// The rate step of an envelope without SSG-EG outside the key-on delay, on
// local copies of its level and state (the envelope generator's rate step
// restricted to those cases).
inline void rateStepPlain(const FmEnvelope& eg, int32_t& level, int32_t& state, uint32_t t) {
    if (state == kEgAttack && level == 0) state = kEgDecay;
    uint32_t r;
    bool attack = false;
    if (!eg.egKeyOn) {
        state = kEgSustain;
        r = eg.rrRate;
    } else if (state == kEgAttack) {
        r = eg.arRate;
        attack = true;
    } else if (state == kEgDecay) {
        if (level >= eg.sustainLevel10) {
            state = kEgSustain;
            r = eg.d2rRate;
        } else {
            r = eg.d1rRate;
        }
    } else {
        r = eg.d2rRate;
    }
    if (r == 0) return;
    if (r >= 48) {
        const uint32_t b = kEgPatternHigh[r & 3][t & 3];
        const uint32_t group = (r - 48) >> 2; // 0: 48-51, 1: 52-55, 2: 56-59, 3: 60-63
        if (attack) {
            if (r >= 62) return;
            const int shift = group == 3 ? 1 : static_cast<int>(4 - group - b);
            level = level - (level >> shift) - 1;
            if (level <= 0) {
                level = 0;
                state = kEgDecay;
            }
            return;
        }
        const int32_t inc = group == 3 ? 8 : static_cast<int32_t>(1u << (group + b));
        level = std::min(level + inc, 1023);
        return;
    }
    const uint32_t shift = r >> 2;
    if (((t << shift) & 2047) != 0) return;
    if (!kEgPatternLow[r & 3][(t >> (11 - shift)) & 7]) return;
    if (attack) {
        level = level - (level >> 4) - 1;
        if (level <= 0) {
            level = 0;
            state = kEgDecay;
        }
    } else {
        level = std::min(level + 1, 1023);
    }
}

// The rate a settled envelope (one whose last rate step changed nothing)
// steps with, or 0 when no further step can change its level.
inline uint32_t settledRate(const FmEnvelope& eg, int32_t level, int32_t state) {
    if (!eg.egKeyOn) return level == 1023 ? 0 : eg.rrRate;
    if (state == kEgAttack) return eg.arRate >= 62 ? 0 : eg.arRate;
    const uint32_t r = state == kEgDecay ? eg.d1rRate : eg.d2rRate;
    return level == 1023 ? 0 : r;
}

// Cycles from t to the next cycle (t included) whose number is a multiple of
// `period` (a power of two); the cycle number runs 1..4095 and wraps to 1.
inline uint32_t cyclesToMultiple(uint32_t t, uint32_t period) {
    const uint32_t m = t & (period - 1);
    if (m == 0) return 0;
    const uint32_t d = period - m;
    return t + d <= 4095 ? d : 4095 - t + period;
}

inline uint32_t advanceCycle(uint32_t t, uint32_t d) {
    return t + d > 4095 ? t + d - 4095 : t + d;
}

// True when the counter is one of the values the envelope counter runs
// through (low bits 0-2, at most 16382).
inline bool counterInCycle(uint16_t c) {
    return (c & 3) != 3 && c <= 16382;
}

typedef uint32_t V4 __attribute__((vector_size(16)));

// Sets row[from..to) to value, four entries at a time. It may also write up to
// three entries past `to` (rows have three spare entries); a row is filled
// left to right, so those are overwritten by the next fill.
inline void fillRow(uint32_t* row, int from, int to, uint32_t value) {
    const V4 v = {value, value, value, value};
    for (int i = from; i < to; i += 4) __builtin_memcpy(row + i, &v, sizeof(v));
}

// The 10-bit phases of n samples; advances the accumulator by n increments.
inline void phaseRow(FmOperator& op, uint32_t* row, int n) {
    const uint32_t ph = op.phase, inc = op.phaseInc;
    V4 acc = {ph, ph + inc, ph + 2 * inc, ph + 3 * inc};
    const V4 step = {4 * inc, 4 * inc, 4 * inc, 4 * inc};
    const V4 mask = {0x1FFFFF, 0x1FFFFF, 0x1FFFFF, 0x1FFFFF};
    for (int i = 0; i < n; i += 4) {
        const V4 p = (acc & mask) >> 11;
        __builtin_memcpy(row + i, &p, sizeof(p)); // rows hold a multiple of 4 entries
        acc += step;
    }
    op.phase = (ph + static_cast<uint32_t>(n) * inc) & 0x1FFFFF;
}

// Envelope, attenuation and phase rows of one operator over the chunk; the
// first sample's attenuation takes `firstAmAdd` instead of `amAdd`.
void prepareOperator(FmOperator& op, uint16_t egCounter, uint32_t amAdd, uint32_t firstAmAdd,
                     uint32_t* atten, uint32_t* phase, int n) {
    FmEnvelope& eg = op.eg;
    const uint32_t tl8 = 8u * op.totalLevel;
    if (eg.ssgEg < 8 && eg.egState != kEgKeyOnDelay && !eg.ssgAttackPending && eg.egSlot < 3 &&
        counterInCycle(egCounter)) {
        // Without SSG-EG and outside the key-on delay the envelope moves only
        // in its slot (every third sample, the cycle number going up by one
        // each time) and no phase reset occurs. Once a rate step has changed
        // nothing, only the cycles the rate can step in are visited.
        const uint32_t base = (eg.ssgKeyOffLatch ? 0 : tl8) + amAdd;
        const int low = egCounter & 3;
        const int slot = eg.egSlot;
        const int first = slot - low + (slot < low ? 3 : 0); // first sample in the slot
        uint32_t t = advanceCycle(static_cast<uint32_t>(egCounter) >> 2, slot < low ? 1 : 0);
        const int slots = first < n ? (n - first + 2) / 3 : 0;
        int32_t level = eg.egLevel;
        int32_t state = eg.egState;
        int32_t firstLevel = level; // the level the first sample sees
        int filled = 0;
        bool settled = false;
        for (int k = 0; k < slots;) {
            if (settled) {
                const uint32_t r = settledRate(eg, level, state);
                if (r == 0) break;
                if (r < 48) {
                    const uint32_t d = cyclesToMultiple(t, 2048u >> (r >> 2));
                    k += static_cast<int>(d);
                    t = advanceCycle(t, d);
                    if (k >= slots) break;
                }
            }
            const int32_t before = level;
            rateStepPlain(eg, level, state, t);
            if (first + 3 * k == 0) firstLevel = level;
            if (level != before) {
                const int at = first + 3 * k;
                fillRow(atten, filled, at, fmAtten4(static_cast<uint32_t>(before) + base));
                filled = at;
            }
            settled = level == before;
            ++k;
            t = advanceCycle(t, 1);
        }
        fillRow(atten, filled, n, fmAtten4(static_cast<uint32_t>(level) + base));
        if (firstAmAdd != amAdd && n > 0)
            atten[0] = fmAtten4(static_cast<uint32_t>(firstLevel) + base - amAdd + firstAmAdd);
        eg.egLevel = level;
        eg.egState = state;
        phaseRow(op, phase, n);
        return;
    }
    uint16_t c = egCounter;
    for (int i = 0; i < n; ++i) {
        bool reset = false;
        uint32_t x = egStep(eg, c, reset);
        c = egAdvanceCounter(c);
        if (!eg.ssgKeyOffLatch) x += tl8;
        if (eg.ssgAttackPending) x = (1024u - x) & 4095u;
        atten[i] = fmAtten4(x + (i == 0 ? firstAmAdd : amAdd));
        const uint32_t ph = reset ? 0 : op.phase;
        phase[i] = ph >> 11;
        op.phase = (ph + op.phaseInc) & 0x1FFFFF;
    }
}

inline int32_t clamp14(int32_t v) {
    return std::clamp(v, -8192, 8191);
}
inline int32_t clamp9(int32_t v) {
    return std::clamp(v, -256, 255);
}

template <int Alg, bool Truncated>
inline __attribute__((always_inline)) int32_t channelValue(const FmSampleOutputs& r) {
    if constexpr (Alg < 4) {
        return r.s4 >> 1;
    } else if constexpr (!Truncated) {
        int32_t sum;
        if constexpr (Alg == 4) {
            sum = clamp14(r.s4 + r.s2);
        } else if constexpr (Alg == 5 || Alg == 6) {
            sum = clamp14(clamp14(r.s2 + r.s3) + r.s4);
        } else {
            sum = clamp14(clamp14(clamp14(r.s3 + r.s1Prev) + r.s2) + r.s4);
        }
        return sum >> 1;
    } else {
        // Each carrier contributes floor(c / 32); the 9-bit sum saturates after
        // every addition.
        int32_t sum;
        if constexpr (Alg == 4) {
            sum = clamp9((r.s4 >> 5) + (r.s2 >> 5));
        } else if constexpr (Alg == 5 || Alg == 6) {
            sum = clamp9(clamp9((r.s2 >> 5) + (r.s3 >> 5)) + (r.s4 >> 5));
        } else {
            sum = clamp9(clamp9(clamp9((r.s3 >> 5) + (r.s1Prev >> 5)) + (r.s2 >> 5)) + (r.s4 >> 5));
        }
        return sum * 16;
    }
}

template <int Alg, bool Truncated> void computeLoop(FmChannel& channel, FmChunkScratch& s, int n) {
    int32_t o[6];
    std::copy(channel.outputs, channel.outputs + 6, o);
    const uint8_t fb = channel.feedback;
    const int32_t fbShift = 10 - fb;
    const int32_t fbMask = fb ? -1 : 0;
    for (int i = 0; i < n; ++i) {
        const int32_t p[4] = {
            static_cast<int32_t>(s.phase[0][i]), static_cast<int32_t>(s.phase[1][i]),
            static_cast<int32_t>(s.phase[2][i]), static_cast<int32_t>(s.phase[3][i])};
        const uint32_t a[4] = {s.atten[0][i], s.atten[1][i], s.atten[2][i], s.atten[3][i]};
        const int32_t fbOffset = ((o[0] + o[1]) >> fbShift) & fbMask;
        const FmSampleOutputs r = fmEvaluateAlg<Alg>(p, a, o, fbOffset);
        s.values[i] = channelValue<Alg, Truncated>(r);
    }
    std::copy(o, o + 6, channel.outputs);
}

template <int Alg, bool Truncated>
void computeLoopPair(FmChannel& ca, FmChunkScratch& sa, FmChannel& cb, FmChunkScratch& sb, int n) {
    int32_t oa[6], ob[6];
    std::copy(ca.outputs, ca.outputs + 6, oa);
    std::copy(cb.outputs, cb.outputs + 6, ob);
    const int32_t shiftA = 10 - ca.feedback, maskA = ca.feedback ? -1 : 0;
    const int32_t shiftB = 10 - cb.feedback, maskB = cb.feedback ? -1 : 0;
    for (int i = 0; i < n; ++i) {
        const int32_t pa[4] = {
            static_cast<int32_t>(sa.phase[0][i]), static_cast<int32_t>(sa.phase[1][i]),
            static_cast<int32_t>(sa.phase[2][i]), static_cast<int32_t>(sa.phase[3][i])};
        const uint32_t aa[4] = {sa.atten[0][i], sa.atten[1][i], sa.atten[2][i], sa.atten[3][i]};
        const int32_t pb[4] = {
            static_cast<int32_t>(sb.phase[0][i]), static_cast<int32_t>(sb.phase[1][i]),
            static_cast<int32_t>(sb.phase[2][i]), static_cast<int32_t>(sb.phase[3][i])};
        const uint32_t ab[4] = {sb.atten[0][i], sb.atten[1][i], sb.atten[2][i], sb.atten[3][i]};
        const int32_t fa = ((oa[0] + oa[1]) >> shiftA) & maskA;
        const int32_t fb = ((ob[0] + ob[1]) >> shiftB) & maskB;
        const FmSampleOutputs ra = fmEvaluateAlg<Alg>(pa, aa, oa, fa);
        const FmSampleOutputs rb = fmEvaluateAlg<Alg>(pb, ab, ob, fb);
        sa.values[i] = channelValue<Alg, Truncated>(ra);
        sb.values[i] = channelValue<Alg, Truncated>(rb);
    }
    std::copy(oa, oa + 6, ca.outputs);
    std::copy(ob, ob + 6, cb.outputs);
}

template <bool Truncated>
void computePairDispatch(FmChannel& a, FmChunkScratch& sa, FmChannel& b, FmChunkScratch& sb,
                         int n) {
    switch (a.algorithm & 7) {
    case 0:
        computeLoopPair<0, Truncated>(a, sa, b, sb, n);
        break;
    case 1:
        computeLoopPair<1, Truncated>(a, sa, b, sb, n);
        break;
    case 2:
        computeLoopPair<2, Truncated>(a, sa, b, sb, n);
        break;
    case 3:
        computeLoopPair<3, Truncated>(a, sa, b, sb, n);
        break;
    case 4:
        computeLoopPair<4, Truncated>(a, sa, b, sb, n);
        break;
    case 5:
        computeLoopPair<5, Truncated>(a, sa, b, sb, n);
        break;
    case 6:
        computeLoopPair<6, Truncated>(a, sa, b, sb, n);
        break;
    default:
        computeLoopPair<7, Truncated>(a, sa, b, sb, n);
        break;
    }
}

template <bool Truncated> void computeDispatch(FmChannel& channel, FmChunkScratch& s, int n) {
    switch (channel.algorithm & 7) {
    case 0:
        computeLoop<0, Truncated>(channel, s, n);
        break;
    case 1:
        computeLoop<1, Truncated>(channel, s, n);
        break;
    case 2:
        computeLoop<2, Truncated>(channel, s, n);
        break;
    case 3:
        computeLoop<3, Truncated>(channel, s, n);
        break;
    case 4:
        computeLoop<4, Truncated>(channel, s, n);
        break;
    case 5:
        computeLoop<5, Truncated>(channel, s, n);
        break;
    case 6:
        computeLoop<6, Truncated>(channel, s, n);
        break;
    default:
        computeLoop<7, Truncated>(channel, s, n);
        break;
    }
}

} // namespace

void prepareOperators(FmChannel& channel, uint16_t egCounter, uint32_t am, uint32_t prevAm,
                      uint32_t firstPrevAm, FmChunkScratch& scratch, int n) {
    for (int k = 0; k < 4; ++k) {
        FmOperator& op = channel.operators[k];
        const uint32_t amAdd = fmAmOffset(op, channel.ams, k == kOpS1 ? am : prevAm);
        const uint32_t firstAmAdd = k == kOpS1 ? amAdd : fmAmOffset(op, channel.ams, firstPrevAm);
        prepareOperator(op, egCounter, amAdd, firstAmAdd, scratch.atten[k], scratch.phase[k], n);
    }
}

void computeAlgorithm(FmChannel& channel, FmChunkScratch& scratch, int n) {
    computeDispatch<false>(channel, scratch, n);
}

void computeAlgorithmTruncated(FmChannel& channel, FmChunkScratch& scratch, int n) {
    computeDispatch<true>(channel, scratch, n);
}

void computeAlgorithmPair(FmChannel& a, FmChunkScratch& sa, FmChannel& b, FmChunkScratch& sb, int n,
                          bool truncated) {
    if ((a.algorithm & 7) != (b.algorithm & 7)) {
        // Different wiring: one after the other.
        if (truncated) {
            computeDispatch<true>(a, sa, n);
            computeDispatch<true>(b, sb, n);
        } else {
            computeDispatch<false>(a, sa, n);
            computeDispatch<false>(b, sb, n);
        }
        return;
    }
    if (truncated)
        computePairDispatch<true>(a, sa, b, sb, n);
    else
        computePairDispatch<false>(a, sa, b, sb, n);
}

FmSampleOutputs fmEvaluate(uint8_t algorithm, const int32_t p[4], const uint32_t a[4], int32_t o[6],
                           int32_t fbOffset) {
    switch (algorithm & 7) {
    case 0:
        return fmEvaluateAlg<0>(p, a, o, fbOffset);
    case 1:
        return fmEvaluateAlg<1>(p, a, o, fbOffset);
    case 2:
        return fmEvaluateAlg<2>(p, a, o, fbOffset);
    case 3:
        return fmEvaluateAlg<3>(p, a, o, fbOffset);
    case 4:
        return fmEvaluateAlg<4>(p, a, o, fbOffset);
    case 5:
        return fmEvaluateAlg<5>(p, a, o, fbOffset);
    case 6:
        return fmEvaluateAlg<6>(p, a, o, fbOffset);
    default:
        return fmEvaluateAlg<7>(p, a, o, fbOffset);
    }
}
