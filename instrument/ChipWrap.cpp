// The instrument object's construction, activation and host answers.
#include "instrument/ChipWrap.h"

#include <cmath>
#include <cstring>

#include "emulators/MD_Emu.h"

namespace acme {

using namespace vantor::EnginePluginSDK;

ChipWrap::ChipWrap(HostRecord* hostRecord, const char* name)
    : InstrumentPlugin(hostRecord), emulatorName(name ? name : ""), mutex("ChipWrapMutex", false),
      parameterMap(std::make_unique<EventList>()), parameterTable(kEngineIdCount) {
    infoWords[0] = 4;
    infoWords[1] = 0;
    infoWords[2] = 1;
    infoWords[3] = 1;
    infoWords[4] = 1;
    if (emulatorName == "MD") {
        for (uint32_t i = 0; i < kUnitCount; ++i) units.push_back(std::make_unique<MD_Emu>());
        auto* first = static_cast<MD_Emu*>(units[0].get());
        for (uint32_t i = 1; i < kUnitCount; ++i)
            static_cast<MD_Emu*>(units[i].get())->profileTable = &first->profiles;
    }
    if (!units.empty()) {
        chipInfo = units[0]->getInfo();
        for (int i = 0; i < 4; ++i) outputGains[i] = chipInfo->outputGains[i];
        infoWords[1] = static_cast<uint32_t>(chipInfo->inputCount);
        infoWords[2] = static_cast<uint32_t>(chipInfo->outputCount);
    }
    buildParameterMap();
}

ChipWrap::~ChipWrap() = default;

uint32_t ChipWrap::maxChipSamples() const {
    const double rate = processingInfo.sampleRate;
    const uint32_t block = processingInfo.maxBlockFrames;
    if (!(rate >= kMinRate && rate <= kMaxRate) || block == 0 || block > kMaxBlockFrames) return 0;
    // Four times the chip samples of one block at the 4.8 MHz reference rate,
    // plus room for one more render piece, in whole multiples of 16.
    const int samples = static_cast<int>(block * (4800000.0 / rate) * 4.0 + 0.5) + 16;
    const uint32_t rounded = static_cast<uint32_t>(samples) & ~15u;
    return rounded <= kMaxChipSamples ? rounded : 0;
}

uint32_t ChipWrap::activate(uint64_t context, uint64_t, uint32_t activationVersion) {
    const uint32_t samples = maxChipSamples();
    if (samples == 0) return 0;
    version = activationVersion;
    // The host hands the model-profile path as text, or nothing.
    const char* profilePath = reinterpret_cast<const char*>(static_cast<uintptr_t>(context));
    for (auto& u : units) u->init(samples, profilePath, activationVersion);
    if (chipInfo) {
        for (auto& u : units) u->setClockIndex(chipInfo->initialClockIndex);
    }
    active = true;
    buildParameterMap();
    return 1;
}

vantor::ParameterInfo* ChipWrap::getParameterInfo(uint32_t* count) {
    if (count) *count = kEngineIdCount;
    return parameterTable.data();
}

void ChipWrap::checkOutputConfig(const OutputConfig* config, uint32_t* ok) {
    if (!ok) return;
    *ok = (config && config->channels == infoWords[2]) ? 1 : 0;
}

void ChipWrap::getParameterMap(EventList* destination) {
    if (destination) std::memcpy(destination, parameterMap.get(), sizeof(EventList));
}

void ChipWrap::process(float** outputs, int32_t frames, EventList*, EventList*, TimeRecord*) {
    if (outputs && frames > 0) {
        for (uint32_t ch = 0; ch < infoWords[2]; ++ch)
            if (outputs[ch])
                std::memset(outputs[ch], 0, sizeof(float) * static_cast<size_t>(frames));
    }
    // Commands hold the mutex; a block that finds it busy stays silent.
    if (!mutex.tryLock()) return;
    mutex.unlock();
}

void ChipWrap::applyMasterSetting(MasterSetting*) {}

void ChipWrap::buildParameterMap() {
    EventList& map = *parameterMap;
    std::memset(&map, 0, sizeof map);
    map.count = kEngineIdCount;
    for (uint32_t id = 0; id < kEngineIdCount; ++id) {
        map.events[id].kind = 176;
        map.events[id].id = static_cast<int32_t>(id);
    }
    if (chipInfo) map.events[256].value = static_cast<float>(chipInfo->initialClockIndex);
}

} // namespace acme
