// Which engine parameter stands behind each of the VST3 plug-in's 300
// automatable parameter ids:
//
// - ids 0-190 are the console instrument's parameters, engine ids 768 + id;
// - ids 191-238 are layer fields laid out as the plug-in's NKS pages show
//   them: five per layer for the six FM layers and the three square layers
//   (Active, Delay Start, Transpose, Detune, Amp), three for the noise layer
//   (Active, Delay Start, Amp); a layer field is engine id 512 + 16 x layer +
//   field;
// - ids 239-299 stand for nothing: they have no description, read 0 and
//   ignore writes.
#pragma once

#include <cstdint>

#include "vst3/MorvaneInterface.h"

namespace morvane {

inline constexpr uint32_t kHostParameterCount = 300;
inline constexpr uint32_t kEngineIdCount = vantor::kEngineChunkIdSpace;
inline constexpr uint32_t kFirstControllerEngineId = 768;
inline constexpr uint32_t kFirstLayerEngineId = 512;
inline constexpr uint32_t kFirstLayerHostId = 191;
inline constexpr uint32_t kLayerHostIdCount = 48;
inline constexpr int32_t kNoEngineId = -1;

// The layer fields the pages show, by their field number.
enum LayerField : uint16_t {
    kLayerActive = 0,
    kLayerDelayStart = 4,
    kLayerTranspose = 5,
    kLayerDetune = 6,
    kLayerAmp = 7,
};

// The engine id behind a VST3 id; kNoEngineId for ids without one.
int32_t engineIdForHostId(uint32_t hostId);
// The VST3 id that stands for an engine id; kNoEngineId when none does.
int32_t hostIdForEngineId(uint32_t engineId);

} // namespace morvane
