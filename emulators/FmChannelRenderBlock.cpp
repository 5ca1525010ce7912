// Block renderers of the YM2612 channels. One core renders a channel over a
// block in chunks of at most kFmChunk samples that end at LFO events; the
// per-layout and per-mode parts (value mapping and the add loops) are small
// templates selected once per call.
#include <algorithm>
#include <cstdint>

#include "emulators/FmChannelRender.h"
#include "emulators/FmChannelRenderKernels.h"
#include "emulators/FmEnvelope.h"
#include "emulators/FmPhase.h"
#include "emulators/FmRegisters.h"
#include "emulators/FmTables.h"

namespace {

constexpr uint32_t kNoLimit = 0xFFFFFFFFu;

// ---- Output mapping and add loops ----------------------------------------------

template <uint32_t Mode> inline int32_t mapValue(int32_t s, const int16_t* curve) {
    return fmOutputValue<Mode>(s, curve);
}

template <int Stride, int Width, uint32_t Mode>
void mixValues(const int32_t* s, int n, uint8_t pan, const int16_t* curve, int32_t* left,
               int32_t* right) {
    switch (pan & 3) {
    case 3:
        for (int i = 0; i < n; ++i) {
            const int32_t v = mapValue<Mode>(s[i], curve);
            left[i * Stride] += v;
            right[i * Stride] += v;
            if constexpr (Width == 2) {
                left[i * Stride + 1] += v;
                right[i * Stride + 1] += v;
            }
        }
        break;
    case 2:
        for (int i = 0; i < n; ++i) {
            const int32_t v = mapValue<Mode>(s[i], curve);
            left[i * Stride] += v;
            if constexpr (Width == 2) left[i * Stride + 1] += v;
        }
        break;
    case 1:
        for (int i = 0; i < n; ++i) {
            const int32_t v = mapValue<Mode>(s[i], curve);
            right[i * Stride] += v;
            if constexpr (Width == 2) right[i * Stride + 1] += v;
        }
        break;
    default:
        break;
    }
}

template <int Stride, int Width>
void mixConstant(int32_t v, int n, uint8_t pan, int32_t* left, int32_t* right) {
    if (pan & 2) {
        for (int i = 0; i < n; ++i) {
            left[i * Stride] += v;
            if constexpr (Width == 2) left[i * Stride + 1] += v;
        }
    }
    if (pan & 1) {
        for (int i = 0; i < n; ++i) {
            right[i * Stride] += v;
            if constexpr (Width == 2) right[i * Stride + 1] += v;
        }
    }
}

// Layout R: the values themselves into the left row. A silent channel's
// value is 0; the DAC's is not kept (its sample is applied by the reader).
void storeValues(const int32_t* s, int n, uint8_t, const int16_t*, int32_t* left, int32_t*) {
    for (int i = 0; i < n; ++i) left[i * 6] = s[i];
}

void storeZeros(int32_t, int n, uint8_t, int32_t* left, int32_t*) {
    for (int i = 0; i < n; ++i) left[i * 6] = 0;
}

using MixValuesFn = void (*)(const int32_t*, int, uint8_t, const int16_t*, int32_t*, int32_t*);
using MixConstantFn = void (*)(int32_t, int, uint8_t, int32_t*, int32_t*);

struct Mixer {
    int stride;
    MixValuesFn values;
    MixConstantFn constant;
    bool stores; // writes every position (layout R): a silent channel stores its 0
};

template <int Stride, int Width, uint32_t Mode> constexpr Mixer makeMixer() {
    return {Stride, &mixValues<Stride, Width, Mode>, &mixConstant<Stride, Width>, false};
}

template <int Stride, int Width>
constexpr Mixer kLayoutMixers[4] = {makeMixer<Stride, Width, 0>(), makeMixer<Stride, Width, 1>(),
                                    makeMixer<Stride, Width, 2>(), makeMixer<Stride, Width, 3>()};

constexpr Mixer kRawMixer = {6, &storeValues, &storeZeros, true};
constexpr Mixer kRawMixers[4] = {kRawMixer, kRawMixer, kRawMixer, kRawMixer};

const Mixer* const kMixers[kFmLayoutCount] = {kLayoutMixers<1, 1>, kLayoutMixers<21, 1>,
                                              kLayoutMixers<9, 1>, kLayoutMixers<21, 2>,
                                              kLayoutMixers<6, 1>, kRawMixers};

// The DAC sample in the arithmetic of an output mode.
int32_t dacValue(uint32_t mode, uint8_t dacData, const int16_t* curve) {
    switch (mode) {
    case 0:
        return curve[2 * dacData];
    case 1:
    case 2:
        return dacData * 128 - 16384;
    default:
        return dacData * 32 - 4096;
    }
}

// ---- Silence, LFO and timer A ----------------------------------------------------

bool channelSilent(const FmChannel& ch) {
    for (const FmOperator& op : ch.operators) {
        const FmEnvelope& eg = op.eg;
        if (eg.egState != kEgSustain || eg.egLevel != 1023 || eg.egKeyOn || eg.ssgEg > 7 ||
            eg.ssgKeyOffLatch || eg.ssgAttackPending)
            return false;
    }
    for (int32_t o : ch.outputs)
        if (o) return false;
    return true;
}

// Samples up to and including the next sample whose LFO tick can change the
// step, the AM value or the phase increments.
uint32_t lfoToEvent(const FmSharedState& st, uint32_t period) {
    if (st.lfoSubCounter >= period || st.lfoStep != st.lfoPrevStep) return 1;
    if (st.lfoOn) return st.lfoAm != lfoAmOf(st.lfoStep) ? 1 : period - st.lfoSubCounter;
    return st.lfoStep ? 1 : kNoLimit;
}

// One LFO tick of the block path. Returns whether the phase increments must
// be recomputed.
bool lfoTickBlock(FmSharedState& st, uint32_t period) {
    if (st.lfoOn) {
        bool changed = false;
        if (st.lfoSubCounter >= period) {
            ++st.lfoStep;
            st.lfoSubCounter = 1;
            changed = true;
        } else {
            ++st.lfoSubCounter;
        }
        const uint8_t oldPrev = st.lfoPrevStep;
        st.lfoPrevStep = st.lfoStep;
        if (st.lfoSubCounter >= period) {
            st.lfoSubCounter = 0;
            ++st.lfoStep;
            changed = true;
        }
        st.lfoPrevAm = st.lfoAm;
        st.lfoAm = lfoAmOf(st.lfoStep); // also catches up right after switch-on
        return changed || oldPrev != st.lfoStep;
    }
    if (st.lfoStep == 0 && st.lfoPrevStep == 0) {
        st.lfoPrevAm = st.lfoAm;
        st.lfoSubCounter = 0;
        st.lfoAm = 0;
        return false;
    }
    st.lfoPrevStep = st.lfoStep;
    st.lfoPrevAm = st.lfoAm;
    st.lfoStep = 0;
    st.lfoSubCounter = 0;
    st.lfoAm = 0;
    return true;
}

// What the pitch modulation of an LFO step value depends on besides fnum and
// pms: the step selector of its (mirrored) position and, unless that is 0,
// its sign.
inline uint32_t pmKey(uint8_t pms, uint8_t step) {
    uint32_t i = (step >> 2) & 7;
    if (step & 32) i = 7 - i;
    const uint32_t e = kLfoPmSteps[pms & 7][i];
    return e ? e | ((step & 64) ? 8u : 0u) : 0u;
}

// The LFO ticks of a chunk of n samples that lfoToEvent allowed: all ticks but
// the last change only the sub-counter and the previous AM, so they are taken
// at once. Returns whether the last tick may change the phase increments;
// `step` and `prevStep` receive the steps before it.
bool lfoAdvanceShared(FmSharedState& st, uint32_t n, uint32_t period, uint8_t& step,
                      uint8_t& prevStep) {
    if (n > 1) {
        const uint32_t quiet = n - 1;
        if (st.lfoOn) {
            // The sub-counter stays below the period; the step stays put.
            st.lfoSubCounter += quiet;
            st.lfoPrevAm = st.lfoAm;
        } else {
            // Step and previous step are 0: each tick moves AM into the
            // previous AM and clears it.
            st.lfoPrevAm = quiet > 1 ? 0 : st.lfoAm;
            st.lfoAm = 0;
            st.lfoSubCounter = 0;
        }
    }
    step = st.lfoStep;
    prevStep = st.lfoPrevStep;
    return lfoTickBlock(st, period);
}

// Whether the LFO moving from steps `step`, `prevStep` to those of `st`
// changes the modulation of a channel with pitch sensitivity `pms`.
inline bool pmChanged(uint8_t pms, uint8_t step, uint8_t prevStep, const FmSharedState& st) {
    return pms && (pmKey(pms, step) != pmKey(pms, st.lfoStep) ||
                   pmKey(pms, prevStep) != pmKey(pms, st.lfoPrevStep));
}

// lfoAdvance for one channel: its increments (which always match the current
// steps) are recomputed only when the new steps change an operator's
// modulation.
void lfoAdvance(FmSharedState& st, FmChannel& ch, uint32_t n, uint32_t period) {
    uint8_t step, prevStep;
    if (lfoAdvanceShared(st, n, period, step, prevStep) && pmChanged(ch.pms, step, prevStep, st))
        updateFrequencies(ch, st.lfoStep, st.lfoPrevStep);
}

// The LFO tick after a sample in which S3, S2 and S4 still lag behind a new
// step of a running LFO (and only that keeps the chunk at one sample): taken
// now, with the channel's increments moved to the new steps. Returns how many
// quiet samples may follow the lagging one in the same chunk (0: none; the
// state is then left alone). The operators' phases are set back so that a
// phase row with the new increments gives every sample after the first the
// phase it has when the first sample steps with the old increments;
// `firstPhases` keeps the first sample's 10-bit phases.
uint32_t takeLagTick(FmSharedState& st, FmChannel& ch, uint32_t period, uint32_t room,
                     uint32_t* firstPhases) {
    if (!st.lfoOn || st.lfoSubCounter >= period || st.lfoAm != lfoAmOf(st.lfoStep)) return 0;
    for (const FmOperator& op : ch.operators)
        if (op.eg.ssgEg >= 8) return 0; // SSG-EG may reset a phase in the first sample
    FmSharedState after = st;
    const bool ticked = lfoTickBlock(after, period);
    if (after.lfoStep != after.lfoPrevStep || after.lfoPrevAm != after.lfoAm) return 0;
    const uint32_t quiet = std::min(room, lfoToEvent(after, period));
    if (quiet == 0) return 0;
    uint32_t oldInc[4];
    for (int k = 0; k < 4; ++k) {
        firstPhases[k] = ch.operators[k].phase >> 11;
        oldInc[k] = ch.operators[k].phaseInc;
    }
    if (ticked && ch.pms &&
        (pmKey(ch.pms, st.lfoStep) != pmKey(ch.pms, after.lfoStep) ||
         pmKey(ch.pms, st.lfoPrevStep) != pmKey(ch.pms, after.lfoPrevStep)))
        updateFrequencies(ch, after.lfoStep, after.lfoPrevStep);
    for (int k = 0; k < 4; ++k) {
        FmOperator& op = ch.operators[k];
        op.phase = (op.phase + oldInc[k] - op.phaseInc) & 0x1FFFFF;
    }
    st = after;
    return quiet;
}

// Timer A and the CSM sequence at the start of a chunk; returns the chunk
// length, cut so that an overflow or a CSM event falls on a chunk of one.
uint32_t csmChunk(FmSharedState& st, FmChannel& ch3, uint8_t timerARunning, uint32_t n) {
    if (st.timerAOverflow || st.csmKeyOnPending || st.csmS1KeyOffPending || st.csmKeyOnActive)
        n = 1;
    if (timerARunning) {
        if (st.timerACounter < 1023)
            n = std::min<uint32_t>(n, 1023u - st.timerACounter);
        else
            n = 1;
        st.timerACounter = static_cast<uint16_t>(st.timerACounter + n);
        if (st.timerACounter & 0x400) st.timerAOverflow = 1;
    }
    fmCsmStep(st, ch3);
    return n;
}

// Silent channels over `total` samples, all from the one shared state `st`
// (they would each move a copy of it alike): only the phases, the EG counter
// and the LFO move. The LFO goes from event to event; a channel's phases move
// only when its increments are about to change, by all the samples since
// they last did (phase steps add modulo 2^21), and the EG counter moves once.
void silentRun(FmChannel* const* channels, int count, FmSharedState& st, uint32_t period,
               uint32_t total) {
    uint32_t since[6] = {};
    for (uint32_t done = 0; done < total;) {
        const uint32_t n = std::min(total - done, lfoToEvent(st, period));
        for (int c = 0; c < count; ++c) since[c] += n;
        uint8_t step, prevStep;
        if (lfoAdvanceShared(st, n, period, step, prevStep)) {
            for (int c = 0; c < count; ++c) {
                FmChannel& ch = *channels[c];
                if (!pmChanged(ch.pms, step, prevStep, st)) continue;
                for (FmOperator& op : ch.operators) pgAdvanceBy(op, since[c]);
                since[c] = 0;
                updateFrequencies(ch, st.lfoStep, st.lfoPrevStep);
            }
        }
        done += n;
    }
    for (int c = 0; c < count; ++c)
        for (FmOperator& op : channels[c]->operators) pgAdvanceBy(op, since[c]);
    st.egCounter = egAdvanceCounterBy(st.egCounter, total);
}

// ---- The block core -------------------------------------------------------------

// Cuts the next chunk of a channel (at most `remaining` samples, ending at an
// LFO event, one sample after an AM change, CSM cuts for channel 3, a
// lagging sample taking the quiet ones after it along) and prepares its
// operator rows. Returns the chunk length; scratch.quiet tells finishChunk
// how many LFO ticks it still owes.
uint32_t prepareChunk(FmChannel& ch, FmSharedState& st, uint16_t egCounter, uint32_t period,
                      uint32_t remaining, FmBlockKind kind, uint8_t timerARunning,
                      FmChunkScratch& scratch) {
    uint32_t n = std::min<uint32_t>({remaining, lfoToEvent(st, period), kFmChunk});
    // S3, S2 and S4 see the previous AM value: after an AM change it moves
    // on after one sample.
    if (st.lfoPrevAm != st.lfoAm) n = 1;
    if (kind == FmBlockKind::Csm) n = csmChunk(st, ch, timerARunning, n);
    // A lagging sample takes the quiet samples after it along.
    const uint32_t firstPrevAm = st.lfoPrevAm;
    uint32_t firstPhases[4];
    uint32_t quiet = 0;
    if (n == 1 && kind != FmBlockKind::Csm && remaining > 1)
        quiet =
            takeLagTick(st, ch, period, std::min<uint32_t>(remaining, kFmChunk) - 1, firstPhases);
    n += quiet;
    prepareOperators(ch, egCounter, st.lfoAm, st.lfoPrevAm, firstPrevAm, scratch,
                     static_cast<int>(n));
    if (quiet)
        for (int k = 0; k < 4; ++k) scratch.phase[k][0] = firstPhases[k];
    scratch.quiet = quiet;
    return n;
}

// Moves the EG counter and the LFO past a computed chunk of n samples.
void finishChunk(FmChannel& ch, FmSharedState& st, uint16_t& egCounter, uint32_t period, uint32_t n,
                 const FmChunkScratch& scratch) {
    egCounter = egAdvanceCounterBy(egCounter, n);
    // The lagging sample's tick is taken already.
    lfoAdvance(st, ch, scratch.quiet ? scratch.quiet : n, period);
}

void renderBlock(FmChannel& ch, FmSharedState& st, uint8_t timerARunning, uint8_t dacData,
                 const int16_t* curve, int32_t* left, int32_t* right, int32_t frames,
                 FmBlockKind kind, uint32_t mode, const Mixer& mix) {
    const uint8_t pan = ch.pan;
    const uint32_t period = kLfoPeriods[st.lfoRate & 7];
    const int stride = mix.stride;
    const int32_t dac = kind == FmBlockKind::Dac ? dacValue(mode, dacData, curve) : 0;
    uint16_t egCounter = st.egCounter;
    const uint32_t total = frames > 0 ? static_cast<uint32_t>(frames) : 0;
    uint32_t done = 0;

    if (kind != FmBlockKind::Csm && channelSilent(ch)) {
        // Every operator outputs 0 until the next key-on: only phases, the EG
        // counter and the LFO move. A zero channel value still maps to the
        // curve's middle entry in mode 0.
        if (kind == FmBlockKind::Dac)
            mix.constant(dac, static_cast<int>(total), pan, left, right);
        else if (mode == 0 && curve[256] != 0)
            mix.constant(curve[256], static_cast<int>(total), pan, left, right);
        else if (mix.stores)
            mix.constant(0, static_cast<int>(total), pan, left, right);
        FmChannel* const one[1] = {&ch};
        silentRun(one, 1, st, period, total);
        return;
    }

    FmChunkScratch scratch;
    const bool truncated = mode < 2;
    while (done < total) {
        const uint32_t n =
            prepareChunk(ch, st, egCounter, period, total - done, kind, timerARunning, scratch);
        const int count = static_cast<int>(n);
        if (truncated)
            computeAlgorithmTruncated(ch, scratch, count);
        else
            computeAlgorithm(ch, scratch, count);
        int32_t* l = left + static_cast<int64_t>(done) * stride;
        int32_t* r = right + static_cast<int64_t>(done) * stride;
        if (kind == FmBlockKind::Dac)
            mix.constant(dac, count, pan, l, r);
        else
            mix.values(scratch.values, count, pan, curve, l, r);
        finishChunk(ch, st, egCounter, period, n, scratch);
        done += n;
    }
    st.egCounter = egCounter;
}

// Two Plain channels over a block, each from its own shared state, their
// chunks computed side by side whenever they are equally long (they are
// unless one channel's lag tick or silence differs): the same as rendering
// them one after the other.
void renderBlockPair(FmChannel& ca, FmSharedState& sa, FmChannel& cb, FmSharedState& sb,
                     const int16_t* curve, int32_t* leftA, int32_t* rightA, int32_t* leftB,
                     int32_t* rightB, int32_t frames, uint32_t mode, const Mixer& mix) {
    if (channelSilent(ca) || channelSilent(cb) || frames <= 0) {
        renderBlock(ca, sa, 0, 0, curve, leftA, rightA, frames, FmBlockKind::Plain, mode, mix);
        renderBlock(cb, sb, 0, 0, curve, leftB, rightB, frames, FmBlockKind::Plain, mode, mix);
        return;
    }
    const uint32_t periodA = kLfoPeriods[sa.lfoRate & 7];
    const uint32_t periodB = kLfoPeriods[sb.lfoRate & 7];
    const int stride = mix.stride;
    const uint32_t total = static_cast<uint32_t>(frames);
    const bool truncated = mode < 2;
    uint16_t egA = sa.egCounter, egB = sb.egCounter;
    uint32_t doneA = 0, doneB = 0;
    FmChunkScratch scratchA, scratchB;
    // Cuts and prepares a channel's next chunk, computing it when asked.
    auto prepare = [&](FmChannel& ch, FmSharedState& st, uint16_t eg, uint32_t period,
                       uint32_t done, FmChunkScratch& scratch, bool compute) {
        const uint32_t n =
            prepareChunk(ch, st, eg, period, total - done, FmBlockKind::Plain, 0, scratch);
        if (compute && truncated)
            computeAlgorithmTruncated(ch, scratch, static_cast<int>(n));
        else if (compute)
            computeAlgorithm(ch, scratch, static_cast<int>(n));
        return n;
    };
    auto mixOut = [&](FmChannel& ch, FmChunkScratch& scratch, uint32_t done, uint32_t n,
                      int32_t* left, int32_t* right) {
        mix.values(scratch.values, static_cast<int>(n), ch.pan, curve,
                   left + static_cast<int64_t>(done) * stride,
                   right + static_cast<int64_t>(done) * stride);
    };
    while (doneA < total && doneB < total) {
        const uint32_t na = prepare(ca, sa, egA, periodA, doneA, scratchA, false);
        const uint32_t nb = prepare(cb, sb, egB, periodB, doneB, scratchB, false);
        if (na == nb) {
            computeAlgorithmPair(ca, scratchA, cb, scratchB, static_cast<int>(na), truncated);
        } else if (truncated) {
            computeAlgorithmTruncated(ca, scratchA, static_cast<int>(na));
            computeAlgorithmTruncated(cb, scratchB, static_cast<int>(nb));
        } else {
            computeAlgorithm(ca, scratchA, static_cast<int>(na));
            computeAlgorithm(cb, scratchB, static_cast<int>(nb));
        }
        mixOut(ca, scratchA, doneA, na, leftA, rightA);
        mixOut(cb, scratchB, doneB, nb, leftB, rightB);
        finishChunk(ca, sa, egA, periodA, na, scratchA);
        finishChunk(cb, sb, egB, periodB, nb, scratchB);
        doneA += na;
        doneB += nb;
    }
    while (doneA < total) {
        const uint32_t n = prepare(ca, sa, egA, periodA, doneA, scratchA, true);
        mixOut(ca, scratchA, doneA, n, leftA, rightA);
        finishChunk(ca, sa, egA, periodA, n, scratchA);
        doneA += n;
    }
    while (doneB < total) {
        const uint32_t n = prepare(cb, sb, egB, periodB, doneB, scratchB, true);
        mixOut(cb, scratchB, doneB, n, leftB, rightB);
        finishChunk(cb, sb, egB, periodB, n, scratchB);
        doneB += n;
    }
    sa.egCounter = egA;
    sb.egCounter = egB;
}

template <FmLayout Layout, FmBlockKind Kind, uint32_t Mode>
void blockInstance(FmChannel& channel, FmSharedState& shared, uint8_t timerARunning,
                   uint8_t dacData, uint8_t /*dacEnabled*/, const int16_t* curve, int32_t* left,
                   int32_t* right, int32_t frames) {
    renderBlock(channel, shared, timerARunning, dacData, curve, left, right, frames, Kind, Mode,
                kMixers[static_cast<int>(Layout)][Mode]);
}

template <FmLayout Layout, FmBlockKind Kind>
constexpr FmBlockRenderer kModeInstances[4] = {
    &blockInstance<Layout, Kind, 0>, &blockInstance<Layout, Kind, 1>,
    &blockInstance<Layout, Kind, 2>, &blockInstance<Layout, Kind, 3>};

template <FmLayout Layout>
constexpr const FmBlockRenderer* kKindInstances[3] = {kModeInstances<Layout, FmBlockKind::Plain>,
                                                      kModeInstances<Layout, FmBlockKind::Dac>,
                                                      kModeInstances<Layout, FmBlockKind::Csm>};

const FmBlockRenderer* const* const kInstances[kFmLayoutCount] = {
    kKindInstances<FmLayout::A>, kKindInstances<FmLayout::B>, kKindInstances<FmLayout::C>,
    kKindInstances<FmLayout::D>, kKindInstances<FmLayout::E>, kKindInstances<FmLayout::R>};

} // namespace

bool fmChannelsSilent(const FmChipState& chip) {
    for (const FmChannel& ch : chip.channels)
        if (!channelSilent(ch)) return false;
    return true;
}

void advanceSilentChannels(FmChipState& chip, uint32_t samples) {
    // As renderChannels: every channel from its own copy of the shared state,
    // the chip keeping channel 3's. The copies all move alike (the channel
    // only chooses its own increments), so the shared state is moved once,
    // for all channels with pitch modulation together; a channel without it
    // keeps its increments, and its phases move in one step.
    FmChannel* modulated[6];
    int count = 0;
    for (FmChannel& ch : chip.channels) {
        if (ch.pms)
            modulated[count++] = &ch;
        else
            for (FmOperator& op : ch.operators) pgAdvanceBy(op, samples);
    }
    silentRun(modulated, count, chip.shared, kLfoPeriods[chip.shared.lfoRate & 7], samples);
}

int32_t fmDacValue(uint32_t mode, uint8_t dacData, const int16_t* curve) {
    return dacValue(mode, dacData, curve);
}

void renderChannelPair(FmLayout layout, uint32_t mode, FmChannel& a, FmSharedState& sharedA,
                       FmChannel& b, FmSharedState& sharedB, const int16_t* curve, int32_t* leftA,
                       int32_t* rightA, int32_t* leftB, int32_t* rightB, int32_t frames) {
    const int l = std::min(static_cast<int>(layout), kFmLayoutCount - 1);
    mode = std::min<uint32_t>(mode, 3);
    renderBlockPair(a, sharedA, b, sharedB, curve, leftA, rightA, leftB, rightB, frames, mode,
                    kMixers[l][mode]);
}

FmBlockRenderer renderChannelBlock(FmLayout layout, FmBlockKind kind, uint32_t mode) {
    const int l = std::min(static_cast<int>(layout), kFmLayoutCount - 1);
    const int k = std::min(static_cast<int>(kind), 2);
    return kInstances[l][k][std::min<uint32_t>(mode, 3)];
}
