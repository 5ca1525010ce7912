// The host parameter map (one event record per engine id with its current
// value), rebuilt at construction and at every activation, and the parameter
// description table (one 64-byte record per engine id). The engine host reads
// the table without a lock, from the audio thread among others, so a table
// once published is never written again: an activation whose descriptions
// differ (another preset version) publishes a table of its own, and every
// table stays until the object goes.
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

namespace {

bool sameText(const char* a, const char* b) {
    if (!a || !b) return a == b;
    return std::strcmp(a, b) == 0;
}

// Whether two descriptions say the same, field by field and text by text.
bool sameDescription(const vantor::ParameterInfo& a, const vantor::ParameterInfo& b) {
    return a.magic == b.magic && a.valueKind == b.valueKind && a.displayMode == b.displayMode &&
           a.flags == b.flags && a.mathFlags == b.mathFlags && a.modFlags == b.modFlags &&
           a.minValue == b.minValue && a.maxValue == b.maxValue &&
           a.defaultValue == b.defaultValue && a.factor == b.factor && a.id == b.id &&
           a.layerMask == b.layerMask && a.offset == b.offset && sameText(a.label, b.label) &&
           sameText(a.list, b.list) && sameText(a.displayFormat, b.displayFormat);
}

} // namespace

void ChipWrap::buildParameterMap() {
    EventList& map = *parameterMap;
    std::memset(&map, 0, sizeof map);
    map.count = kEngineIdCount;
    for (uint32_t id = 0; id < kEngineIdCount; ++id) {
        map.events[id].kind = 176;
        map.events[id].id = static_cast<int32_t>(id);
    }
    // The descriptions are made in a table of their own and published below.
    auto table = std::make_unique<std::vector<vantor::ParameterInfo>>(kEngineIdCount);
    auto copyDescription = [&](const vantor::ParameterInfo& info, uint32_t id) {
        if (id >= kEngineIdCount) return;
        (*table)[id] = info;
        (*table)[id].id = static_cast<uint16_t>(id);
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
    publishParameterTable(std::move(table));
}

void ChipWrap::publishParameterTable(std::unique_ptr<std::vector<vantor::ParameterInfo>> table) {
    const auto same = [&](const std::vector<vantor::ParameterInfo>& kept) {
        return std::equal(kept.begin(), kept.end(), table->begin(), table->end(), sameDescription);
    };
    for (const auto& kept : parameterTables)
        if (same(*kept)) {
            parameterTable.store(kept->data(), std::memory_order_release);
            return;
        }
    parameterTables.push_back(std::move(table));
    parameterTable.store(parameterTables.back()->data(), std::memory_order_release);
}

vantor::ParameterInfo* ChipWrap::getParameterInfo(uint32_t* count) {
    if (count) *count = kEngineIdCount;
    return parameterTable.load(std::memory_order_acquire);
}

void ChipWrap::getParameterMap(EventList* destination) {
    if (destination) std::memcpy(destination, parameterMap.get(), sizeof(EventList));
}

} // namespace acme
