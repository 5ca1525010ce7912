// The instrument object's construction, activation, rate handling, wrapper
// settings, chip-unit routing and the host operations it hands on to the
// controller.
#include "instrument/ChipWrap.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "emulators/MD_Emu.h"
#include "engine-support/VNTFile.h"

namespace acme {

using namespace vantor::EnginePluginSDK;

namespace {

// Default high-pass cutoff after resampling.
constexpr double kHighPassHz = 7.5;
constexpr double kLowPassHz = 100.0;

// The console model the units play: the selected profile's name, "built-in"
// for the profile that stands in without the data file. The units are
// MD_Emu whenever there are any.
const char* consoleModelName(const std::vector<std::unique_ptr<ChipEmu>>& units) {
    if (units.empty()) return "";
    const auto* md = static_cast<const MD_Emu*>(units[0].get());
    const std::vector<ModelProfile>* table = md->profileTable;
    if (!table || md->modelIndex < 0 || size_t(md->modelIndex) >= table->size()) return "built-in";
    const std::string& name = (*table)[size_t(md->modelIndex)].name;
    return name.empty() ? "built-in" : name.c_str();
}

} // namespace

ChipWrap::ChipWrap(HostRecord* hostRecord, const char* name, ControllerFactory factory)
    : InstrumentPlugin(hostRecord), emulatorName(name ? name : ""), mutex("ChipWrapMutex", false),
      parameterMap(std::make_unique<EventList>()) {
    infoWords[0] = 4;
    infoWords[1] = 0;
    infoWords[2] = 1;
    infoWords[3] = 1;
    infoWords[4] = 1;
    if (emulatorName == "MD") {
        for (uint32_t i = 0; i < kUnitCount; ++i) units.push_back(std::make_unique<MD_Emu>());
        // One table of model profiles, loaded once by unit 0, for all seven.
        auto* first = static_cast<MD_Emu*>(units[0].get());
        for (uint32_t i = 1; i < kUnitCount; ++i)
            static_cast<MD_Emu*>(units[i].get())->profileTable = &first->profiles;
        for (auto& u : units) unitList.push_back(u.get());
        if (factory) controller = factory(&unitList, this);
    }
    if (!units.empty()) {
        chipInfo = units[0]->getInfo();
        for (uint32_t i = 0; i < kMaxChannels; ++i) outputGains[i] = chipInfo->outputGains[i];
        infoWords[1] = static_cast<uint32_t>(chipInfo->inputCount);
        infoWords[2] =
            static_cast<uint32_t>(std::min<uint64_t>(chipInfo->outputCount, kMaxChannels));
        clockIndex = chipInfo->initialClockIndex;
    }
    attachSynthViews();
    std::srand(static_cast<unsigned>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::system_clock::now().time_since_epoch())
                                         .count()));
    // Room for the events of one block and its notifications: processing
    // never allocates.
    outgoing.reserve(kEventCapacity);
    incoming.reserve(kEventCapacity + kCarryCapacity);
    segments.reserve(2 * (kEventCapacity + kCarryCapacity) + kMaxBlockFrames / kMaxSpan + 2);
    carried.reserve(kCarryCapacity);
    deferredMidi.reserve(kEventCapacity + kCarryCapacity);
    discardStorage.reset(new float[kMaxChannels * kMaxSpan]());
    for (uint32_t c = 0; c < kMaxChannels; ++c) discard[c] = discardStorage.get() + c * kMaxSpan;
    buildParameterMap();
}

ChipWrap::~ChipWrap() {
    if (!publishedImagePath.empty()) std::remove(publishedImagePath.c_str());
    upsamplingStage.reset();
    provider.reset();
    repackager.reset();
    controller.reset();
}

uint32_t ChipWrap::outputCount() const {
    return std::min<uint32_t>(infoWords[2], kMaxChannels);
}

uint32_t ChipWrap::maxChipSamples() const {
    const double rate = processingInfo.sampleRate;
    const uint32_t block = processingInfo.maxBlockFrames;
    if (!(rate >= kMinRate && rate <= kMaxRate) || block == 0 || block > kMaxBlockFrames) return 0;
    // Four times the chip samples of one block at the 4.8 MHz reference
    // rate, plus one more render piece, in multiples of 16; the chips render
    // in pieces of at most kMaxChipSamples whatever the block.
    const double samples = std::floor(block * (4800000.0 / rate) * 4.0 + 0.5) + 16.0;
    const uint32_t rounded =
        static_cast<uint32_t>(std::min<double>(samples, kMaxChipSamples)) & ~15u;
    return std::max<uint32_t>(rounded, 16);
}

uint32_t ChipWrap::activate(uint64_t context, uint64_t, uint32_t activationVersion) {
    ScopedLock lock(mutex);
    const uint32_t samples = maxChipSamples();
    if (samples == 0) return 0;
    version = activationVersion;
    chipSamples = samples;
    // The host hands the model-profile path as text, or nothing.
    const char* profilePath = reinterpret_cast<const char*>(static_cast<uintptr_t>(context));
    for (auto& u : units) u->init(samples, profilePath, activationVersion);
    accumulators.reset(new int32_t[kMaxChannels * (size_t(samples) + 2 * size_t(kSpreadCarry))]());
    spreadRows.reset(new int32_t[samples / kSpreadCarry + 2][2][8]());
    // The accumulators are made anew: nothing is owed or kept from them.
    shortcut.leaveRow();
    shortcut.invalidate();
    if (controller) controller->spreadCarryRoom = true;

    for (uint32_t ch = 0; ch < kMaxChannels; ++ch) {
        lp[ch].cutoff = kLowPassHz;
        lpInverse[ch].cutoff = kLowPassHz;
        hp[ch].cutoff = kHighPassHz;
    }
    setupFilters();

    provider = std::make_unique<SpeexProvider>();
    repackager = std::make_unique<Repackager<float>>();
    repackager->setUp(samples, outputCount());
    repackager->wire(provider.get(), this);
    upsamplingStage = std::make_unique<UpsamplingStage>();
    upsamplingStage->setUp(outputCount());

    if (chipInfo) clockIndex = chipInfo->initialClockIndex;
    reRate(true);

    uint32_t result = 1;
    if (controller) {
        controller->resetForVersion(activationVersion);
        controller->setConsoleModel(consoleModelName(units));
    }
    attachSynthViews();
    active = true;
    buildParameterMap();
    return result;
}

void ChipWrap::setProcessingInfo(const ProcessingInfo* info) {
    if (!info) return;
    // A rate the resampler cannot take or a block of 0 frames is refused; the
    // previous values stay.
    const double rate = info->sampleRate;
    if (!(rate >= kMinRate && rate <= kMaxRate)) return;
    if (info->maxBlockFrames == 0 || info->maxBlockFrames > kMaxBlockFrames) return;
    ScopedLock lock(mutex);
    EffectPlugin::setProcessingInfo(info);
    if (processingInfo.sampleRateInt == 0 || std::fabs(processingInfo.sampleRateInt - rate) >= 1.0)
        processingInfo.sampleRateInt = static_cast<uint32_t>(std::lround(rate));
    reRate(false);
}

void ChipWrap::setupFilters() {
    const double hostRate = processingInfo.sampleRate;
    for (uint32_t ch = 0; ch < kMaxChannels; ++ch) {
        if (chipRate > 0.0) lp[ch].rate = chipRate;
        // Above 48 kHz the inverse low-pass runs at the base rate, before
        // the upsampling stage.
        lpInverse[ch].rate = upsampling ? static_cast<double>(baseRate) : hostRate;
        hp[ch].rate = hostRate;
        for (Filter* f : {static_cast<Filter*>(&lp[ch]), static_cast<Filter*>(&lpInverse[ch]),
                          static_cast<Filter*>(&hp[ch])}) {
            f->setup();
            f->state = 0.0;
        }
    }
}

void ChipWrap::clearRenderState() {
    stereoFir.clear();
    shortcut.invalidate();
}

void ChipWrap::reRate(bool force) {
    if (!chipInfo || chipInfo->clocks.empty()) return;
    if (clockIndex >= chipInfo->clocks.size()) clockIndex = chipInfo->initialClockIndex;
    const double clockHz = chipInfo->clocks[clockIndex] * std::exp2(detuneCents / 1200.0);
    const double hostRate = processingInfo.sampleRate;
    if (!force && clockHz == lastClockHz && hostRate == lastHostRate) return;
    lastClockHz = clockHz;
    lastHostRate = hostRate;
    for (auto& u : units) u->setClockIndex(clockIndex);

    chipRate = clockHz / static_cast<double>(std::max<uint64_t>(chipInfo->clockDivisor, 1));
    queueEvent(0, 176, 262, static_cast<float>(chipRate));
    // The resampler takes whole hertz: the chip stream lasts as long as that
    // rate says, so the controller's timers (media commands, DAC samples)
    // count chip samples at it too, or media would run ahead by the fraction.
    const uint64_t resamplerRate = static_cast<uint64_t>(std::floor(chipRate + 0.5));
    if (controller) {
        controller->setClock(clockIndex, chipRate, clockHz);
        controller->rate = static_cast<double>(resamplerRate);
    }
    ratio = chipRate / hostRate;

    // Before the first activation there is no resampler to tune yet.
    if (provider && repackager && upsamplingStage) {
        const uint32_t hostRateInt = processingInfo.sampleRateInt;
        baseRate = UpsamplingStage::baseRateFor(hostRateInt);
        upsampling = baseRate != hostRateInt;
        // Quality, clock and detune may change while audio runs: the
        // resampler is sized (here, at activation or a new host rate) for
        // the fastest clock at the highest detune and quality, and one more
        // input frame per output for the passing rates of its catch-ups.
        const double fastest = *std::max_element(chipInfo->clocks.begin(), chipInfo->clocks.end()) *
                               std::exp2(kMaxDetuneCents / 1200.0) /
                               static_cast<double>(std::max<uint64_t>(chipInfo->clockDivisor, 1));
        provider->reserve(std::floor(fastest + 0.5) / baseRate + 1.0, 10);
        resamplerReady = provider->setup(outputCount(), resamplerRate, baseRate, quality, 1);
        repackager->wire(provider.get(), this);
        repackager->clear();
        provider->reset();
        if (upsampling)
            resamplerReady =
                upsamplingStage->tune(baseRate, hostRateInt, repackager.get(), lpInverse) &&
                resamplerReady;
    }
    setupFilters();
    clearRenderState();
    updateLatency();
}

void ChipWrap::applyWrapperSetting(uint32_t k, double value) {
    switch (k) {
    case 0: {
        // Only an index inside the clock list is taken.
        if (!chipInfo || !std::isfinite(value) || value < 0.0 ||
            value >= static_cast<double>(chipInfo->clocks.size()))
            return;
        clockIndex = static_cast<uint64_t>(value);
        reRate(false);
        break;
    }
    case 1: {
        if (std::isnan(value)) return;
        const double hz = value < 0.0 ? kHighPassHz : value;
        for (uint32_t ch = 0; ch < kMaxChannels; ++ch) {
            hp[ch].cutoff = hz;
            hp[ch].setup();
        }
        break;
    }
    case 3:
        if (!std::isfinite(value)) return;
        detuneCents = std::clamp(value, -kMaxDetuneCents, kMaxDetuneCents);
        reRate(false);
        break;
    case 4:
        if (std::isfinite(value) && std::fabs(value) < 9.0e18)
            roundedSetting = static_cast<int64_t>(std::floor(value + 0.5));
        break;
    case 5: {
        if (!std::isfinite(value)) return;
        const double q = std::floor(value + 0.5);
        // speexdsp knows qualities 0-10; others would leave it without state.
        if (q < 0.0 || q > 10.0) return;
        if (static_cast<int32_t>(q) == quality) return;
        quality = static_cast<int32_t>(q);
        reRate(true);
        break;
    }
    default:
        break; // 2 has no effect; 6 is reported, never set
    }
}

void ChipWrap::setChipParameter(uint32_t index, float value) {
    uint32_t u = index >> 4;
    uint32_t p = index & 15;
    if (u == 7 && p == 10) {
        u = 0;
        p = 30;
    } else if (u == 7) {
        u = 6;
        p += 20;
    }
    // Parameters 6, 7 and 30 belong to every unit and are addressed to unit 0.
    if (p == 6 || p == 7 || p == 30) {
        if (u != 0) return;
        for (auto& unit : units) unit->setParameter(p, value);
        if (p == 7 && controller) controller->setConsoleModel(consoleModelName(units));
        return;
    }
    if (u < units.size()) units[u]->setParameter(p, value);
}

int32_t ChipWrap::queryReady(uint32_t, void*) {
    return controller ? (controller->isReady() ? 1 : 0) : 0;
}

void ChipWrap::releaseAll(uint64_t, uint64_t) {
    ScopedLock lock(mutex);
    if (controller) controller->releaseAllParts();
}

void ChipWrap::checkOutputConfig(const OutputConfig* config, uint32_t* ok) {
    if (!ok) return;
    *ok = (config && config->channels == infoWords[2]) ? 1 : 0;
}

void ChipWrap::sendMidi(const MidiMessage* message) {
    // The console controller has no hooks for MIDI by record: long messages
    // and short ones alike end here.
    if (!message) return;
}

void ChipWrap::forwardOpcode27(uint32_t, void*) {}
void ChipWrap::forwardOpcode28(uint32_t, void*) {}

void ChipWrap::setName(const char* text) {
    if (!controller || !text) return;
    ScopedLock lock(mutex);
    controller->mediaPath.assign(text, strnlen(text, 4096));
}

int32_t ChipWrap::importPatch(int32_t index, const char* path) {
    if (!controller || !path) return 0;
    ScopedLock lock(mutex);
    vantor::VNTFile file(path);
    const bool ok = file.isOpen() && controller->importPatch(index, &file);
    file.close();
    return ok ? 1 : 0;
}

int32_t ChipWrap::exportPatch(int32_t index, const char* path) {
    if (!controller || !path) return 0;
    ScopedLock lock(mutex);
    return controller->exportPatch(index, path) ? 1 : 0;
}

} // namespace acme
