// The console instrument's 191 parameters and the i32 record they land in.
//
// Two FM instruments, A and B, take 72 parameters each (four operator blocks
// of 16 fields, named "OP4" to "OP1" for blocks 0-3, then algorithm,
// feedback, vibrato and tremolo depth); after them come the per-layer
// instrument choice and pan of the FM layers L01-L06, the PSG noise of L10,
// the LFO rate, the channel-3 special mode with its per-operator offsets and
// the DAC settings of L06. The table is rebuilt for every preset version:
// versions from 1105 on let the FM layers choose instruments C to P as well.
//
// A parameter shadow holds the integer value of every parameter that the
// chip sub-controllers read: instruments A and B as two patch records, then
// the global fields. The controller keeps one for the host (the master
// shadow) and one per voice unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "instrument/OPN2_sub.h"
#include "instrument/PatchRecord.h"
#include "vantor/ParameterInfo.h"

namespace console {

constexpr uint32_t kParameterCount = 191;
// The preset version that 0 stands for, and the first one with C to P.
constexpr uint32_t kCurrentVersion = 1114;
constexpr uint32_t kManyInstrumentsVersion = 1105;

// Parameter indices.
enum ParameterIndex : uint32_t {
    kInstrumentB = 72,      // instrument B's records: A's index + 72
    kLayerInstrument = 144, // "L01 Instrument" .. "L06 Instrument"
    kLayerPan = 150,        // "L01 Pan" .. "L06 Pan"
    kNoiseType = 156,       // "L10 Noise Type"
    kNoiseFreq = 157,       // "L10 Noise Freq"
    kLfoRate = 158,         // "LFO Rate"
    kCh3Mode = 159,         // "CH3 Mode"
    kCh3First = 160,        // coarse, fine, fixed of OP4, OP3, OP2, OP1
    kCh3Last = 171,
    kDacFirst = 183, // "DAC Jitter Mode" .. "DAC MIDI Offset"
    kDacLast = 188,
};
// "L06 Instrument" value that plays the DAC.
constexpr int32_t kDacChoice = 2;

// Flags of every named record: offered to the host, one action per voice.
constexpr uint8_t kNamedFlags = 19;

// Fills `table` with the 191 records for preset `version` (0 = current).
void buildConsoleParameters(std::vector<vantor::ParameterInfo>& table, uint32_t version);

// The i32 parameter record of one voice unit (1140 bytes).
struct ConsoleShadow {
    PatchRecord instruments[2]; // A, B
    int32_t noiseType = 0;
    int32_t noiseFreq = 0;
    Ch3Settings ch3 = {};
    int32_t layerInstrument[6] = {}; // L01-L06: 0 A, 1 B, 2.. C..P
    int32_t pan[6] = {};             // L01-L06
    int32_t lfoRate = 0;
    int32_t spare = 0; // where every index without a field lands
};
static_assert(sizeof(ConsoleShadow) == 1140);
static_assert(offsetof(ConsoleShadow, noiseType) == 1024);
static_assert(offsetof(ConsoleShadow, noiseFreq) == 1028);
static_assert(offsetof(ConsoleShadow, ch3) == 1032);
static_assert(offsetof(ConsoleShadow, layerInstrument) == 1084);
static_assert(offsetof(ConsoleShadow, pan) == 1108);
static_assert(offsetof(ConsoleShadow, lfoRate) == 1132);
static_assert(offsetof(ConsoleShadow, spare) == 1136);

// The field of parameter `index` (the spare word for indices without one).
int32_t& shadowField(ConsoleShadow& shadow, uint32_t index);
// Every field set to its parameter's default (instrument words outside the
// parameters and the spare word 0).
void setShadowDefaults(ConsoleShadow& shadow, const std::vector<vantor::ParameterInfo>& table);

} // namespace console
