// The VST3 id to engine id table.
#include "enginehost/HostParameterIds.h"

#include <array>
#include <cstddef>

namespace morvane {
namespace {

constexpr uint16_t layerId(uint16_t layer, LayerField field) {
    return static_cast<uint16_t>(kFirstLayerEngineId + 16 * layer + field);
}

// VST3 ids 191-238 in order: layers 1-9 with five fields each, then the noise
// layer (10) with three.
constexpr std::array<uint16_t, kLayerHostIdCount> kLayerIds = [] {
    std::array<uint16_t, kLayerHostIdCount> ids{};
    size_t n = 0;
    for (uint16_t layer = 0; layer < 9; ++layer)
        for (LayerField f :
             {kLayerActive, kLayerDelayStart, kLayerTranspose, kLayerDetune, kLayerAmp})
            ids[n++] = layerId(layer, f);
    for (LayerField f : {kLayerActive, kLayerDelayStart, kLayerAmp}) ids[n++] = layerId(9, f);
    return ids;
}();

} // namespace

int32_t engineIdForHostId(uint32_t hostId) {
    if (hostId < kFirstLayerHostId) return static_cast<int32_t>(kFirstControllerEngineId + hostId);
    if (hostId < kFirstLayerHostId + kLayerHostIdCount)
        return kLayerIds[hostId - kFirstLayerHostId];
    return kNoEngineId;
}

int32_t hostIdForEngineId(uint32_t engineId) {
    if (engineId >= kFirstControllerEngineId &&
        engineId < kFirstControllerEngineId + kFirstLayerHostId)
        return static_cast<int32_t>(engineId - kFirstControllerEngineId);
    for (uint32_t i = 0; i < kLayerHostIdCount; ++i)
        if (kLayerIds[i] == engineId) return static_cast<int32_t>(kFirstLayerHostId + i);
    return kNoEngineId;
}

} // namespace morvane
