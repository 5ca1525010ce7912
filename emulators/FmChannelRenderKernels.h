// Operator kernels of the FM channel renderers. A chunk of up to kFmChunk
// samples of one channel is computed in two passes: prepareOperators steps the
// four envelopes and phase accumulators and stores each operator's scaled
// attenuation and 10-bit phase; computeAlgorithm / computeAlgorithmTruncated
// then evaluate the channel's algorithm into one value per sample. The
// per-sample renderers use the same wiring (fmEvaluate) for a single sample.
#pragma once

#include <cstdint>

#include "emulators/FmChannelRenderTables.h"
#include "emulators/FmTypes.h"

constexpr int kFmChunk = 128;

// Scratch of one chunk; lives on the renderer's stack.
struct FmChunkScratch {
    // fmAtten4 of each operator record (S1, S3, S2, S4); the spare entries
    // take the tail of four-at-a-time fills.
    uint32_t atten[4][kFmChunk + 4];
    uint32_t phase[4][kFmChunk]; // 10-bit phase of each operator record
    int32_t values[kFmChunk];    // channel value per sample
    uint32_t quiet;              // quiet samples a lagging first sample took along
};

// AM added to an operator's attenuation: by ams 0 nothing, 1 am >> 2, 2 am, 3 am x 2.
inline uint32_t fmAmOffset(const FmOperator& op, uint8_t ams, uint32_t am) {
    if (!op.amOn) return 0;
    switch (ams) {
    case 1:
        return am >> 2;
    case 2:
        return am;
    case 3:
        return am * 2;
    default:
        return 0;
    }
}

// Steps the channel's envelopes (with the EG counter of each sample, starting
// at `egCounter`) and phase accumulators over n samples and fills the
// attenuation and phase rows. S1 takes `am`, S3, S2 and S4 take `prevAm`,
// except in the first sample, where they take `firstPrevAm`. The caller
// advances the EG counter itself.
void prepareOperators(FmChannel& channel, uint16_t egCounter, uint32_t am, uint32_t prevAm,
                      uint32_t firstPrevAm, FmChunkScratch& scratch, int n);

// Evaluates the channel's algorithm for n prepared samples into
// scratch.values and updates the channel's output history. computeAlgorithm
// clamps the running carrier sum to 14 bits; the truncated form models the
// 9-bit output accumulator.
void computeAlgorithm(FmChannel& channel, FmChunkScratch& scratch, int n);
void computeAlgorithmTruncated(FmChannel& channel, FmChunkScratch& scratch, int n);
// The same for two channels over n prepared samples each, side by side: the
// feedback chain of S1 (one table lookup after another, sample by sample)
// of one channel runs while the other's waits. Each channel's values and
// history are those of evaluating it alone.
void computeAlgorithmPair(FmChannel& a, FmChunkScratch& sa, FmChannel& b, FmChunkScratch& sb, int n,
                          bool truncated);

// Operator outputs of one sample.
struct FmSampleOutputs {
    int32_t s1, s2, s3, s4;
    int32_t s1Prev; // S1(t-1): outputs[2] before this sample
    int32_t s2Prev; // S2(t-1): outputs[4] before this sample
    int32_t s4Prev; // S4(t-1): outputs[5] before this sample
};

// Feedback phase offset of S1 from the two previous S1 outputs.
inline int32_t fmFeedback(const int32_t* o, uint8_t feedback) {
    return feedback ? (o[0] + o[1]) >> (10 - feedback) : 0;
}

// One sample of algorithm `Alg` from prepared phases p and scaled attenuations
// a (record order S1, S3, S2, S4). Updates the output history o[6].
template <int Alg>
inline __attribute__((always_inline)) FmSampleOutputs
fmEvaluateAlg(const int32_t p[4], const uint32_t a[4], int32_t o[6], int32_t fbOffset) {
    FmSampleOutputs r;
    r.s1Prev = o[2];
    r.s2Prev = o[4];
    r.s4Prev = o[5];
    const int32_t s1m2 = o[3];
    r.s1 = fmOperatorOutput(p[kOpS1] + fbOffset, a[kOpS1]);
    o[1] = o[0];
    o[0] = r.s1;
    o[3] = o[2];
    o[2] = r.s1;
    const int32_t s1m1 = r.s1Prev, s2m1 = r.s2Prev;
    if constexpr (Alg == 0) {
        r.s2 = fmOperatorOutput(p[kOpS2] + (s1m1 >> 1), a[kOpS2]);
        r.s3 = fmOperatorOutput(p[kOpS3] + (s2m1 >> 1), a[kOpS3]);
        r.s4 = fmOperatorOutput(p[kOpS4] + (r.s3 >> 1), a[kOpS4]);
    } else if constexpr (Alg == 1) {
        r.s3 = fmOperatorOutput(p[kOpS3] + ((s1m2 + s2m1) >> 1), a[kOpS3]);
        r.s2 = fmOperatorOutput(p[kOpS2], a[kOpS2]);
        r.s4 = fmOperatorOutput(p[kOpS4] + (r.s3 >> 1), a[kOpS4]);
    } else if constexpr (Alg == 2) {
        r.s3 = fmOperatorOutput(p[kOpS3] + (s2m1 >> 1), a[kOpS3]);
        r.s2 = fmOperatorOutput(p[kOpS2], a[kOpS2]);
        r.s4 = fmOperatorOutput(p[kOpS4] + ((s1m1 + r.s3) >> 1), a[kOpS4]);
    } else if constexpr (Alg == 3) {
        r.s2 = fmOperatorOutput(p[kOpS2] + (s1m1 >> 1), a[kOpS2]);
        r.s3 = fmOperatorOutput(p[kOpS3], a[kOpS3]);
        r.s4 = fmOperatorOutput(p[kOpS4] + ((s2m1 + r.s3) >> 1), a[kOpS4]);
    } else if constexpr (Alg == 4) {
        r.s2 = fmOperatorOutput(p[kOpS2] + (s1m1 >> 1), a[kOpS2]);
        r.s3 = fmOperatorOutput(p[kOpS3], a[kOpS3]);
        r.s4 = fmOperatorOutput(p[kOpS4] + (r.s3 >> 1), a[kOpS4]);
    } else if constexpr (Alg == 5) {
        r.s2 = fmOperatorOutput(p[kOpS2] + (s1m1 >> 1), a[kOpS2]);
        r.s4 = fmOperatorOutput(p[kOpS4] + (s1m1 >> 1), a[kOpS4]);
        r.s3 = fmOperatorOutput(p[kOpS3] + (s1m2 >> 1), a[kOpS3]);
    } else if constexpr (Alg == 6) {
        r.s2 = fmOperatorOutput(p[kOpS2] + (s1m1 >> 1), a[kOpS2]);
        r.s3 = fmOperatorOutput(p[kOpS3], a[kOpS3]);
        r.s4 = fmOperatorOutput(p[kOpS4], a[kOpS4]);
    } else {
        r.s2 = fmOperatorOutput(p[kOpS2], a[kOpS2]);
        r.s3 = fmOperatorOutput(p[kOpS3], a[kOpS3]);
        r.s4 = fmOperatorOutput(p[kOpS4], a[kOpS4]);
    }
    o[4] = r.s2;
    o[5] = r.s4;
    return r;
}

// fmEvaluateAlg for a run-time algorithm (per-sample renderers).
FmSampleOutputs fmEvaluate(uint8_t algorithm, const int32_t p[4], const uint32_t a[4], int32_t o[6],
                           int32_t fbOffset);
