// The small types every VST3 audio interface shares: parameter ids and values,
// fixed UTF-16 strings, bus and media enumerations, speaker arrangements.
#pragma once

#include <cstddef>

#include "vst3base/FUnknown.h"

namespace Steinberg::Vst {

using String128 = TChar[128];
using CString = const char8*;
using ParamID = uint32;
using ParamValue = double;
using UnitID = int32;
using ProgramListID = int32;
using CtrlNumber = int16;
using MediaType = int32;
using BusDirection = int32;
using BusType = int32;
using IoMode = int32;
using SpeakerArrangement = uint64;
using Sample32 = float;
using Sample64 = double;
using SampleRate = double;
using TQuarterNotes = double;
using TSamples = int64;
using NoteExpressionTypeID = uint32;
using NoteExpressionValue = double;
using KnobMode = int32;
using PhysicalUITypeID = uint32;

inline constexpr ParamID kNoParamId = 0xFFFFFFFF;
inline constexpr UnitID kRootUnitId = 0;
inline constexpr UnitID kNoParentUnitId = -1;
inline constexpr ProgramListID kNoProgramListId = -1;

enum MediaTypes : MediaType { kAudio = 0, kEvent = 1 };
enum BusDirections : BusDirection { kInput = 0, kOutput = 1 };
enum BusTypes : BusType { kMain = 0, kAux = 1 };
enum IoModes : IoMode { kSimple = 0, kAdvanced = 1, kOfflineProcessing = 2 };

// Speaker bits and the two arrangements the shell uses.
namespace SpeakerArr {
inline constexpr SpeakerArrangement kEmpty = 0;
inline constexpr SpeakerArrangement kMono = 1ull << 19;                  // centre speaker
inline constexpr SpeakerArrangement kStereo = (1ull << 0) | (1ull << 1); // left | right
// Number of channels: one per set bit.
inline int32 getChannelCount(SpeakerArrangement arr) {
    return static_cast<int32>(__builtin_popcountll(arr));
}
} // namespace SpeakerArr

} // namespace Steinberg::Vst
