#include "emulators/MD_Emu.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "emulators/FmSpread.h"
#include "emulators/FmSpreadRows.h"
#include "vantor/PlatformTools.h"
#include "vantor/VNTRConv.h"

namespace {

constexpr std::array<int16_t, 512> makeLinearDacCurve() {
    std::array<int16_t, 512> curve{};
    for (int i = 0; i < 512; ++i) curve[i] = int16_t((i - 256) * 64);
    return curve;
}

// Below the middle, groups of eight rise by 70 per step with the last step
// repeated; above it, by the uneven steps of `kUpperSteps`.
constexpr std::array<int16_t, 512> makeDefaultDacCurve() {
    constexpr int kUpperSteps[8] = {0, 68, 118, 175, 242, 292, 360, 428};
    std::array<int16_t, 512> curve{};
    for (int i = 0; i < 256; ++i)
        curve[i] = int16_t(-16320 + 500 * (i / 8) + 70 * std::min(i % 8, 6));
    for (int j = 0; j < 256; ++j) curve[256 + j] = int16_t(500 * (j / 8) + kUpperSteps[j % 8]);
    return curve;
}

const char* const kParameterNames[16] = {
    "OPN2 MUTE0",   "OPN2 MUTE1",  "OPN2 MUTE2",  "OPN2 MUTE3", "OPN2 MUTE4", "OPN2 MUTE5",
    "OPN2 VARIANT", "OPN2 FUTURE", "PSG MUTE0",   "PSG MUTE1",  "PSG MUTE2",  "PSG MUTE3",
    "PSG FUTURE0",  "PSG FUTURE1", "PSG FUTURE2", "PSG TYPE"};

// Float to unsigned 64 bits: NaN and negatives give 0, values beyond the
// range the largest value.
uint64_t saturateToUint64(float value) {
    if (!(value > 0.0f)) return 0;
    if (value >= 18446744073709551616.0f) return UINT64_MAX;
    return static_cast<uint64_t>(value);
}

bool flagOf(float value) {
    return value >= 0.5f;
}

void addToBoth(const int32_t* source, int32_t* left, int32_t* right, uint64_t frames) {
    for (uint64_t i = 0; i < frames; ++i) {
        left[i] += source[i];
        right[i] += source[i];
    }
}

} // namespace

const std::array<int16_t, 512> kLinearDacCurve = makeLinearDacCurve();
const std::array<int16_t, 512> kDefaultDacCurve = makeDefaultDacCurve();
const std::array<float, 32> kDefaultFilterBlock = {1.0f, 1.0f};

std::atomic<uint64_t> MD_Emu::s_profileGeneration{1};

void MD_Emu::profilesChanged() {
    s_profileGeneration.fetch_add(1, std::memory_order_relaxed);
}

MD_Emu::MD_Emu() {
    info.firstWord = 1;
    info.inputCount = 0;
    info.outputCount = 2;
    info.clockDivisor = 1;
    info.clocks = {53693175.0 / 48.0, 53203424.0 / 48.0, 56000000.0 / 48.0, 499200.0};
    info.initialClockIndex = 0;
    info.outputGains[0] = 1.0f / 4097.0f;
    info.outputGains[1] = 1.0f / 4097.0f;
    info.outputGains[2] = 1.0f / 256.0f;
    info.outputGains[3] = 1.0f / 256.0f;
    info.parameters.reserve(16);
    for (const char* name : kParameterNames)
        info.parameters.emplace_back(name, vantor::ParameterInfo::kOnOff, 0.0f, 1.0f, 0.0f, 0, 0);
}

MD_Emu::~MD_Emu() = default;

ModelProfile MD_Emu::builtInProfile() {
    ModelProfile profile;
    profile.dacCurve.assign(kDefaultDacCurve.begin(), kDefaultDacCurve.end());
    profile.setDefaultPsgCurves();
    return profile;
}

bool MD_Emu::init(uint32_t maxFrames, const char* context, uint32_t flags) {
    owedFrames = psgOwed_ = 0; // the chips are made anew
    forgetAnswers();
    // Blocks are rendered in pieces of at most this many frames.
    const uint32_t frames = std::max<uint32_t>(maxFrames, 1);
    maxFrames_ = frames;

    const bool ownsTable = profileTable == nullptr;
    if (ownsTable) {
        if (profiles.empty()) profiles.emplace_back();
        profiles.resize(1);
        profiles[0].dacCurve.assign(kDefaultDacCurve.begin(), kDefaultDacCurve.end());
        profiles[0].setDefaultPsgCurves();
        profileTable = &profiles;
        profilesChanged();
    }
    modelIndex = 0;
    filterIndex = profileTable->empty() ? -1 : 0;
    dacCurveMode = 0;

    opn2.reset();
    opn2 = std::make_unique<OPN2_Emu>();
    opn2->init(frames, context, flags);

    psg.reset();
    psg = std::make_unique<DCSG_Emu>(1, kPsgFactor);
    psg->init(frames, context, flags);

    psgBuffers.reset(new int32_t[2 * uint64_t(frames)]());

    ay.reset();
    ay = std::make_unique<AYEmu>(kAyPeriodScale, 1, 0);
    ay->init(frames, context, flags);
    ay->setParameter(3, 1.0f);

    opna.reset();
    opna = std::make_unique<OPNX_Emu>(1);
    opna->init(frames, context, flags);

    if (ownsTable) {
        const std::string path = VNTRConv(context ? context : "", UTF8);
        if (!path.empty()) loadModelProfiles(path); // no path: the built-in profile stays
    }

    // Every unit's PSG plays the selected profile's levels, whichever unit
    // loaded the table.
    givePsgProfileCurves();

    if (pendingFilter_) applyFilterParameter(pendingFilterValue_);
    if (pendingModel_) applyModelParameter(pendingModelValue_);
    pendingFilter_ = pendingModel_ = false;
    applyMutes();
    for (int k = 0; k < 3; ++k)
        if (clockRatios[k] != 1.0) applyClockRatio(k);
    return true;
}

bool MD_Emu::loadModelProfiles(const std::string& path) {
    touch();
    const bool loaded = ::loadModelProfiles(path, profiles);
    profilesChanged(); // whatever the loader left in the table
    if (!loaded) return false;
    const int32_t count = int32_t(std::min<size_t>(profiles.size(), INT32_MAX));
    if (modelIndex < 0 || modelIndex >= count) modelIndex = 0;
    givePsgProfileCurves();
    if (filterIndex < 0 || filterIndex >= count) filterIndex = -1;
    return true;
}

void MD_Emu::reset() {
    touch();
    if (opn2) opn2->reset();
    if (psg) psg->reset();
    if (opna) opna->reset();
    offsetEnabled = 0;
    fmSelect = 0;
    ggStereo = 0xFF;
}

void MD_Emu::write(uint16_t address, uint8_t data, uint64_t port) {
    touch();
    if (!opn2) return; // no chips before init
    if (port == 0 || port == 1) {
        opn2->write(address, data, port);
        opna->write(address, data, port);
    } else if (port == 2) {
        if (address == 1)
            ggStereo = data;
        else if (address == 0)
            psg->write(0, data, port);
    } else if (port == 3) {
        ay->write(address, data, 0);
    }
}

void MD_Emu::setParameter(uint32_t index, float value) {
    touch();
    if (index < 6) {
        fmMutes[index] = flagOf(value);
        applyMutes();
    } else if (index == 6) {
        applyFilterParameter(value);
        if (!opn2) {
            pendingFilter_ = true;
            pendingFilterValue_ = value;
        }
    } else if (index == 7) {
        applyModelParameter(value);
        if (!opn2) {
            pendingModel_ = true;
            pendingModelValue_ = value;
        }
    } else if (index >= 8 && index <= 11) {
        psgMutes[index - 8] = flagOf(value);
        applyMutes();
    } else if (index == 15) {
        psgType = uint32_t(PSaturateToInt32(value));
    } else if (index >= 20 && index <= 29) {
        solos[index - 20] = flagOf(value);
        applyMutes();
    } else if (index == 30) {
        fmSelect = saturateToUint64(value);
    } else if (index >= kFmClockRatio && index <= kAyClockRatio) {
        const double ratio = value > 0.0f && std::isfinite(value)
                                 ? std::clamp(double(value), 1.0 / 16.0, 16.0)
                                 : 1.0;
        const int k = int(index - kFmClockRatio);
        if (ratio == clockRatios[k]) return;
        clockRatios[k] = ratio;
        applyClockRatio(k);
    }
}

void MD_Emu::applyClockRatio(int k) {
    if (!opn2) return; // init applies it to the new chips
    const double ratio = clockRatios[k];
    if (k == 0) {
        opn2->setClockRatio(ratio);
        opna->setClockRatio(ratio);
    } else if (k == 1) {
        psg->setClockRatio(ratio);
    } else {
        ay->setClockRatio(ratio);
    }
}

void MD_Emu::applyFilterParameter(float value) {
    selectFilterProfile(PSaturateToInt32(value));
}

void MD_Emu::applyModelParameter(float value) {
    if (value >= 0.0f) {
        dacCurveMode = 0;
        selectModelProfile(PSaturateToInt32(value));
    } else if (value == -1.0f) {
        dacCurveMode = 1;
    } else {
        dacCurveMode = 2; // other negatives and NaN
    }
}

void MD_Emu::selectModelProfile(int32_t index) {
    touch();
    modelIndex = (index < 0 || size_t(index) >= profileCount()) ? 0 : index;
    givePsgProfileCurves();
}

void MD_Emu::selectFilterProfile(int32_t index) {
    touch();
    filterIndex = (index < 0 || size_t(index) >= profileCount()) ? -1 : index;
}

void MD_Emu::givePsgProfileCurves() {
    if (!psg || modelIndex < 0 || size_t(modelIndex) >= profileCount()) return;
    const ModelProfile& profile = (*profileTable)[size_t(modelIndex)];
    psg->setVolumeCurves(profile.psgCurves[0], profile.psgCurves[1], profile.psgCurves[2],
                         profile.psgCurves[3]);
}

void MD_Emu::applyMutes() {
    if (!opn2) return; // stored; init applies them to the new chips
    bool anySolo = false;
    for (uint8_t solo : solos) anySolo = anySolo || solo;
    auto muted = [&](int k, uint8_t flag) { return anySolo ? !solos[k] : flag != 0; };

    for (int k = 0; k < 6; ++k) {
        const float value = muted(k, fmMutes[k]) ? 1.0f : 0.0f;
        opn2->setParameter(uint32_t(k), value);
        opna->setParameter(uint32_t(k), value);
    }
    for (int k = 0; k < 4; ++k) {
        const float value = muted(6 + k, psgMutes[k]) ? 1.0f : 0.0f;
        if (psgType < 3)
            psg->setParameter(uint32_t(k), value);
        else if ((psgType == 3 || psgType == 4) && k < 3)
            ay->setParameter(uint32_t(k), value); // the AY has three channels
    }
}

void MD_Emu::setOutputOffset(uint64_t /*ignored*/, int16_t left, int16_t right) {
    touch();
    offsetEnabled = 1;
    offsetLeft = left;
    offsetRight = right;
}

const float* MD_Emu::getFilterSettings() {
    if (filterIndex >= 0 && size_t(filterIndex) < profileCount())
        return (*profileTable)[size_t(filterIndex)].filter;
    return kDefaultFilterBlock.data();
}

inline const int16_t* MD_Emu::currentDacCurve() const {
    if (dacCurveMode != 0) return kLinearDacCurve.data();
    if (modelIndex >= 0 && size_t(modelIndex) < profileCount()) {
        const std::vector<int16_t>& curve = (*profileTable)[size_t(modelIndex)].dacCurve;
        if (curve.size() >= kLinearDacCurve.size()) return curve.data();
    }
    return kDefaultDacCurve.data();
}

[[gnu::always_inline]] inline void MD_Emu::keptCurve(const int16_t*& curve, uint32_t& outputMode) {
    const uint64_t generation = s_profileGeneration.load(std::memory_order_relaxed);
    if (keptGeneration_ != generation) {
        keptCurve_ = currentDacCurve();
        keptOutputMode_ = spreadOutputMode(dacCurveMode, keptCurve_);
        keptGeneration_ = generation;
    }
    curve = keptCurve_;
    outputMode = keptOutputMode_;
}

int MD_Emu::render32(int32_t** outputs, uint64_t frames) {
    renderFrames(outputs, frames, nullptr);
    return 0;
}

bool MD_Emu::renderRows(int32_t** outputs, uint64_t frames, SpreadRows& rows) {
    return renderFrames(outputs, frames, &rows);
}

bool MD_Emu::renderSpan(int32_t** outputs, uint64_t frames, SpreadRows* rows, bool fast,
                        bool carry) {
    spreadCarry_ = fast && carry;
    shortcuts_ = fast;
    if (fast) {
        // isSilent and advanceSilent as the caller would call them, with the
        // answer kept from the last span taken first.
        if (!opn2) return false;
        if (knownSilent || (sinceSilenceCheck_ >= kSilenceRecheckFrames && isSilent())) {
            oweSilent(frames);
            return false;
        }
        // The usual span of a sounding unit: its YM2612 hands rows over
        // straight, as renderFrames and renderPiece would have it do.
        if (rows && carry && plainSpan_ && owedFrames == 0 && frames - 1 < maxFrames_) {
            payPsgBeforeSpan(frames);
            const int16_t* curve;
            uint32_t outputMode;
            keptCurve(curve, outputMode);
            opn2->spreadCarry = true;
            if (renderSpreadRowsOnly(*opn2, frames, curve, outputMode, *rows)) {
                sinceSilenceCheck_ += frames;
                psgOwed_ += frames; // the quiet PSG only moves on, later
                return false;
            }
        }
    }
    if (!rows) {
        renderFrames(outputs, frames, nullptr);
        return true; // render32 counts as adding
    }
    return renderFrames(outputs, frames, rows);
}

bool MD_Emu::renderFrames(int32_t** outputs, uint64_t frames, SpreadRows* rows) {
    // Rendering changes nothing that makes the PSG sound: a quiet PSG keeps
    // what it owes.
    if (owedFrames != 0) settleFm();
    knownSilent = false;
    if (!opn2) return false; // nothing to render before init
    sinceSilenceCheck_ += frames;
    if (frames > 0 && frames <= maxFrames_) return renderPiece(outputs, frames, rows);
    return renderPieces(outputs, frames, rows);
}

bool MD_Emu::renderPieces(int32_t** outputs, uint64_t frames, SpreadRows* rows) {
    bool touched = false;
    for (uint64_t done = 0; done < frames;) {
        const uint64_t n = std::min<uint64_t>(frames - done, maxFrames_);
        SpreadRows piece;
        if (rows) {
            piece = *rows;
            piece.offset += done;
        }
        int32_t* const at[2] = {outputs[0] + done, outputs[1] + done};
        touched = renderPiece(at, n, rows ? &piece : nullptr) || touched;
        done += n;
    }
    return touched;
}

bool MD_Emu::isSilent() {
    if (!opn2) return true; // renders nothing before init
    if (knownSilent) return true;
    if (sinceSilenceCheck_ < kSilenceRecheckFrames) return false;
    sinceSilenceCheck_ = 0;
    knownSilent = computeSilent();
    // A running LFO moves on from event to event (at rates 6 and 7 every few
    // chip samples): paid in small parts, as a render of the frames would.
    owedLimit = opn2->lfoRunning() ? kCostlyOwedFrames : kMaxOwedFrames;
    plainSpan_ = plainSettings();
    return knownSilent;
}

bool MD_Emu::computeSilent() {
    if (offsetEnabled && (offsetLeft != 0 || offsetRight != 0)) return false;
    if (fmSelect != 0) return false;
    if (psgType == 3 || psgType == 4) return false;
    if (psgType <= 2 && !psgQuiet()) return false;
    // A rest that went out for the other frame length is taken back first.
    if (opn2->restInCarry && opn2->carryLength != frameLength()) return false;
    return opn2->isSilent(currentDacCurve(), dacCurveMode);
}

bool MD_Emu::psgQuiet() {
    if (psgQuiet_ < 0) psgQuiet_ = psg->isSilent(psgType == 1, psgType == 1 ? ggStereo : 0);
    return psgQuiet_ != 0;
}

bool MD_Emu::retractCarry(int32_t** outputs) {
    if (!opn2 || !outputs) return false;
    // The frames owed may finish the frame whose rest went out.
    settleFm();
    if (!opn2->retractPending() && !opn2->restInCarry) return false;
    // A rest taken back is held for the unit's next render: until then the
    // unit is not silent, whatever it was found before.
    touch();
    return opn2->retractRest(outputs);
}

void MD_Emu::advanceSilent(uint64_t frames) {
    // Owed until the unit is used again: a unit that stays silent through
    // many short spans pays for them in one step.
    if (!opn2) return;
    oweSilent(frames); // the PSG's noise register moves on step by step when paid
}

void MD_Emu::settleSilent() {
    settleFm();
    settlePsg();
}

void MD_Emu::payOwed() {
    settleFm();
    if (psgOwed_ >= kMaxPsgOwedFrames) settlePsg();
}

void MD_Emu::settleFm() {
    if (owedFrames == 0) return;
    const uint64_t frames = owedFrames;
    owedFrames = 0;
    if (psgType <= 2) psgOwed_ += frames;
    opn2->advanceSilent(frames, frameLength());
}

void MD_Emu::settlePsg() {
    if (psgOwed_ == 0) return;
    const uint64_t frames = psgOwed_;
    psgOwed_ = 0;
    psg->advanceSilent(frames, psgType == 1);
}

void MD_Emu::payPsgBeforeSpan(uint64_t frames) {
    // A quiet PSG's advance does not touch the YM2612, so it may be paid
    // before the span: what it owes stays within kMaxPsgOwedFrames plus one
    // span, and no block pays a larger backlog.
    if (psgOwed_ + frames >= kMaxPsgOwedFrames) settlePsg();
}

void MD_Emu::touch() {
    settleSilent();
    forgetAnswers();
}

void MD_Emu::forgetAnswers() {
    keptGeneration_ = 0;
    plainSpan_ = false;
    knownSilent = false;
    owedLimit = kMaxOwedFrames;
    psgQuiet_ = -1;
    sinceSilenceCheck_ = kSilenceRecheckFrames;
}

bool MD_Emu::renderPsg(int32_t* left, int32_t* right, uint64_t frames) {
    settlePsg();
    switch (psgType) {
    case 0:
    case 2:
        psg->renderBoth(left, right, frames);
        return true;
    case 1: {
        int32_t* outputs[2] = {left, right};
        psg->renderGameGear(outputs, ggStereo, frames);
        return true;
    }
    case 3:
    case 4: {
        int32_t* psgLeft = psgBuffers.get();
        int32_t* psgRight = psgLeft + maxFrames_;
        std::fill(psgLeft, psgLeft + frames, 0);
        int32_t* buffers[3] = {psgLeft, psgRight, psgRight};
        ay->render32(buffers, frames);
        addToBoth(psgLeft, left, right, frames);
        return true;
    }
    default:
        return false;
    }
}

// A piece is the PSG's part, the output offset and the FM chip's part, in
// that order, added into the same frames. The usual piece (the YM2612 alone,
// see plainSettings) takes the first branch and nothing else.
bool MD_Emu::renderPiece(int32_t* const* outputs, uint64_t frames, SpreadRows* rows) {
    if (shortcuts_ && plainSettings()) {
        payPsgBeforeSpan(frames);
        return renderYm2612Alone(outputs, frames, rows);
    }
    return renderPieceMixed(outputs, frames, rows);
}

bool MD_Emu::renderYm2612Alone(int32_t* const* outputs, uint64_t frames, SpreadRows* rows) {
    plainSpan_ = true;
    psgOwed_ += frames; // the quiet PSG would add zeros: it only moves on, later
    opn2->spreadCarry = spreadCarry_;
    return renderSpread(*opn2, outputs, frames, currentDacCurve(), dacCurveMode, 21, rows);
}

bool MD_Emu::renderPieceMixed(int32_t* const* outputs, uint64_t frames, SpreadRows* rows) {
    bool touched = addPsgPiece(outputs[0], outputs[1], frames);
    touched = addOffsetPiece(outputs[0], outputs[1], frames) || touched;
    if (fmSelect != 0) {
        renderYm2608Piece(outputs, frames);
        return true;
    }
    return renderYm2612Piece(outputs, frames, rows) || touched;
}

bool MD_Emu::addPsgPiece(int32_t* left, int32_t* right, uint64_t frames) {
    if (psgType <= 2 && shortcuts_ && psgQuiet()) {
        payPsgBeforeSpan(frames);
        psgOwed_ += frames; // it would add zeros: it only moves on, later
        return false;
    }
    return renderPsg(left, right, frames);
}

bool MD_Emu::addOffsetPiece(int32_t* left, int32_t* right, uint64_t frames) {
    if (!offsetEnabled) return false;
    for (uint64_t i = 0; i < frames; ++i) {
        left[i] += offsetLeft;
        right[i] += offsetRight;
    }
    return true;
}

void MD_Emu::renderYm2608Piece(int32_t* const* outputs, uint64_t frames) {
    // The YM2612 not rendered now takes back what it added past its last
    // block; it emits it when it renders again, as without carrying.
    opn2->retractRest(outputs);
    opn2->spreadCarry = spreadCarry_;
    int32_t* fm[2] = {outputs[0], outputs[1]};
    if (clockIndex == 3)
        opna->renderFramed9(fm, frames);
    else
        opna->renderFramed21(fm, frames);
}

bool MD_Emu::renderYm2612Piece(int32_t* const* outputs, uint64_t frames, SpreadRows* rows) {
    opn2->spreadCarry = spreadCarry_;
    const int16_t* curve = currentDacCurve();
    if (clockIndex == 3) {
        renderSpread(*opn2, outputs, frames, curve, dacCurveMode, 9);
        return true;
    }
    return renderSpread(*opn2, outputs, frames, curve, dacCurveMode, 21, rows);
}
