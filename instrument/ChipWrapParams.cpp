// The host parameter map (one event record per engine id with its current
// value) and the parameter description table (one 64-byte record per engine
// id), rebuilt at construction and at every activation.
#include <algorithm>
#include <cstring>

#include "instrument/ChipWrap.h"
#include "synth/SynthBase.h"

namespace acme {

using namespace vantor::EnginePluginSDK;

namespace {
constexpr uint32_t kWrapperIds = 256, kSyncIds = 384, kLayerIds = 512, kControllerIds = 768,
                   kChipIds = 1024, kSlotIds = 1280;
// Host timing values the map reads from the controller.
constexpr uint32_t kMappedSyncIds[] = {2, 3, 4, 5, 6, 11, 19};
} // namespace

void ChipWrap::buildParameterMap() {
    EventList& map = *parameterMap;
    std::memset(&map, 0, sizeof map);
    map.count = kEngineIdCount;
    for (uint32_t id = 0; id < kEngineIdCount; ++id) {
        map.events[id].kind = 176;
        map.events[id].id = static_cast<int32_t>(id);
        parameterTable[id] = vantor::ParameterInfo();
    }
    auto copyDescription = [&](const vantor::ParameterInfo& info, uint32_t id) {
        if (id >= kEngineIdCount) return;
        parameterTable[id] = info;
        parameterTable[id].id = static_cast<uint16_t>(id);
    };

    // Controller parameters: descriptions at 768 + their own index.
    if (synthParams) {
        for (const vantor::ParameterInfo& info : synthParams->parameters) {
            if (info.id == 0xFFFF || info.id >= kChipIds - kControllerIds) continue;
            copyDescription(info, kControllerIds + info.id);
            map.events[kControllerIds + info.id].value = info.defaultValue;
        }
    }
    // The three voice parameters of the first voice manager.
    std::vector<vantor::ParameterInfo> voice;
    synthCollectVoiceParameters(voice);
    for (size_t i = 0; i < voice.size() && i < 3; ++i)
        copyDescription(voice[i], kSyncIds + 32 + static_cast<uint32_t>(i));
    // Layer fields: 16 layers x 16 fields.
    for (uint32_t id = kLayerIds; id < kControllerIds; ++id)
        map.events[id].value = synthLayerField((id - kLayerIds) >> 4, id & 15);
    // Wrapper settings.
    if (chipInfo) map.events[kWrapperIds].value = static_cast<float>(chipInfo->initialClockIndex);
    map.events[kWrapperIds + 1].value = static_cast<float>(hp[0].cutoff);
    map.events[kWrapperIds + 2].value = static_cast<float>(lp[0].cutoff);
    // Chip-unit parameters: the first unit's defaults for every unit.
    if (chipInfo) {
        for (uint32_t id = kChipIds; id < kSlotIds; ++id) {
            const uint32_t p = id & 15;
            if (p < chipInfo->parameters.size())
                map.events[id].value = chipInfo->parameters[p].defaultValue;
        }
    }
    // Host timing values kept by the controller.
    if (controller)
        for (uint32_t n : kMappedSyncIds)
            map.events[kSyncIds + n].value = static_cast<float>(controller->getSyncValue(n, 0));
    // Automation slots 0-31.
    if (synth) {
        for (uint32_t id = kSlotIds; id < kEngineIdCount; ++id)
            map.events[id].value = synthAutomSlot((id - kSlotIds) >> 4, id & 15);
        std::vector<vantor::ParameterInfo> slots;
        synthCollectAutomSlotParameters(slots);
        for (const vantor::ParameterInfo& info : slots)
            if (info.id != 0xFFFF && info.id < kEngineIdCount - kSlotIds)
                copyDescription(info, kSlotIds + info.id);
    }
}

vantor::ParameterInfo* ChipWrap::getParameterInfo(uint32_t* count) {
    if (count) *count = kEngineIdCount;
    return parameterTable.data();
}

void ChipWrap::getParameterMap(EventList* destination) {
    if (destination) std::memcpy(destination, parameterMap.get(), sizeof(EventList));
}

} // namespace acme
