#include "emulators/FmChannelRenderKernels.h"

#include <algorithm>

#include "emulators/FmEnvelope.h"

namespace {

// Envelope and attenuation row of one operator over the chunk.
void prepareEnvelope(FmOperator& op, const uint16_t* counters, uint32_t amAdd, uint16_t* atten,
                     uint16_t* phase, int n) {
    FmEnvelope& eg = op.eg;
    const uint32_t tl8 = 8u * op.totalLevel;
    if (eg.ssgEg < 8 && eg.egState != kEgKeyOnDelay && !eg.ssgAttackPending) {
        // Without SSG-EG and outside the key-on delay the envelope moves only
        // in its slot; no phase reset can occur.
        const uint32_t base = (eg.ssgKeyOffLatch ? 0 : tl8) + amAdd;
        const uint32_t slot = eg.egSlot;
        uint32_t level = static_cast<uint32_t>(eg.egLevel);
        bool unused = false;
        for (int i = 0; i < n; ++i) {
            if ((counters[i] & 3u) == slot) level = egStep(eg, counters[i], unused);
            atten[i] = static_cast<uint16_t>(fmAtten4(level + base));
        }
        uint32_t ph = op.phase;
        const uint32_t inc = op.phaseInc;
        for (int i = 0; i < n; ++i) {
            phase[i] = static_cast<uint16_t>(ph >> 11);
            ph = (ph + inc) & 0x1FFFFF;
        }
        op.phase = ph;
        return;
    }
    for (int i = 0; i < n; ++i) {
        bool reset = false;
        uint32_t x = egStep(eg, counters[i], reset);
        if (!eg.ssgKeyOffLatch) x += tl8;
        if (eg.ssgAttackPending) x = (1024u - x) & 4095u;
        atten[i] = static_cast<uint16_t>(fmAtten4(x + amAdd));
        const uint32_t ph = reset ? 0 : op.phase;
        phase[i] = static_cast<uint16_t>(ph >> 11);
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
        const int32_t p[4] = {s.phase[0][i], s.phase[1][i], s.phase[2][i], s.phase[3][i]};
        const uint32_t a[4] = {s.atten[0][i], s.atten[1][i], s.atten[2][i], s.atten[3][i]};
        const int32_t fbOffset = ((o[0] + o[1]) >> fbShift) & fbMask;
        const FmSampleOutputs r = fmEvaluateAlg<Alg>(p, a, o, fbOffset);
        s.values[i] = channelValue<Alg, Truncated>(r);
    }
    std::copy(o, o + 6, channel.outputs);
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
                      FmChunkScratch& scratch, int n) {
    uint16_t counters[kFmChunk];
    uint16_t c = egCounter;
    for (int i = 0; i < n; ++i) {
        counters[i] = c;
        c = egAdvanceCounter(c);
    }
    for (int k = 0; k < 4; ++k) {
        FmOperator& op = channel.operators[k];
        const uint32_t amAdd = fmAmOffset(op, channel.ams, k == kOpS1 ? am : prevAm);
        prepareEnvelope(op, counters, amAdd, scratch.atten[k], scratch.phase[k], n);
    }
}

void computeAlgorithm(FmChannel& channel, FmChunkScratch& scratch, int n) {
    computeDispatch<false>(channel, scratch, n);
}

void computeAlgorithmTruncated(FmChannel& channel, FmChunkScratch& scratch, int n) {
    computeDispatch<true>(channel, scratch, n);
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
