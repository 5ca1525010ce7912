// Per-sample channel renderers of the per-sample chip loops (every variant but
// the YM2612's block path): one envelope and phase step of the channel's four
// operators, the algorithm, and the channel value.
#include "emulators/FmChannelRender.h"
#include "emulators/FmChannelRenderKernels.h"
#include "emulators/FmEnvelope.h"

namespace {

// Steps the four operators once and evaluates the algorithm.
FmSampleOutputs stepChannel(FmChannel& ch, bool withAm) {
    const FmSharedState& st = *ch.shared;
    const uint16_t counter = st.egCounter;
    int32_t p[4];
    uint32_t a[4];
    for (int k = 0; k < 4; ++k) {
        FmOperator& op = ch.operators[k];
        FmEnvelope& eg = op.eg;
        bool reset = false;
        uint32_t x;
        if (eg.ssgEg < 8 && eg.egState != kEgKeyOnDelay && (counter & 3u) != eg.egSlot)
            x = static_cast<uint32_t>(eg.egLevel); // outside its slot the envelope rests
        else
            x = egStep(eg, counter, reset);
        if (!eg.ssgKeyOffLatch) x += 8u * op.totalLevel;
        if (eg.ssgAttackPending) x = (1024u - x) & 4095u;
        if (withAm) x += fmAmOffset(op, ch.ams, k == kOpS1 ? st.lfoAm : st.lfoPrevAm);
        a[k] = fmAtten4(x);
        const uint32_t acc = reset ? 0u : op.phase;
        op.phase = (acc + op.phaseInc) & 0x1FFFFFu;
        p[k] = static_cast<int32_t>(acc >> 11);
    }
    return fmEvaluate(ch.algorithm, p, a, ch.outputs, fmFeedback(ch.outputs, ch.feedback));
}

// Sum of the carriers of an algorithm; s1 is the S1 term of algorithm 7.
template <bool Halved> int32_t carrierSum(uint8_t algorithm, const FmSampleOutputs& r, int32_t s1) {
    const int sh = Halved ? 1 : 0;
    switch (algorithm & 7) {
    case 4:
        return (r.s2 >> sh) + (r.s4 >> sh);
    case 5:
    case 6:
        return (r.s2 >> sh) + (r.s3 >> sh) + (r.s4 >> sh);
    case 7:
        return (s1 >> sh) + (r.s2 >> sh) + (r.s3 >> sh) + (r.s4 >> sh);
    default:
        return r.s4 >> sh;
    }
}

} // namespace

int32_t renderChannelSample(FmChannel& channel) {
    const FmSampleOutputs r = stepChannel(channel, true);
    return carrierSum<true>(channel.algorithm, r, r.s1);
}

int32_t renderChannelSampleCh6(FmChannel& channel) {
    const FmSampleOutputs r = stepChannel(channel, true);
    return carrierSum<true>(channel.algorithm, r, r.s1Prev);
}

int32_t renderChannelSampleCh3(FmChannel& channel) {
    const FmSampleOutputs r = stepChannel(channel, true);
    return carrierSum<false>(channel.algorithm, r, r.s1);
}

int32_t renderChannelSampleMono(FmChannel& channel) {
    const FmSampleOutputs r = stepChannel(channel, false);
    switch (channel.algorithm & 7) {
    case 4:
        return r.s2Prev + r.s4Prev;
    case 5:
    case 6:
        return r.s2Prev + r.s3 + r.s4Prev;
    case 7:
        return r.s1Prev + r.s2Prev + r.s3 + r.s4Prev;
    default:
        return r.s4Prev;
    }
}
