// The two forms of one block's event list and the conversion between them.
// The VST3 plug-in hands the engine host {u32 count, u32 1, records}; the
// engine plug-in reads and writes {u64 count, records}. The 32-byte record has
// one layout on both sides, but the engine host does not pass it on blindly:
//
// - note velocities arrive as 0..1 and the engine reads them as 0..127, so a
//   note-on becomes max(1, round(v x 127)) (a note-on is never silent) and a
//   note-off round(v x 127);
// - only the kinds the plug-in side sends pass: raw channel messages (kind 0,
//   status 0x80-0xEF, data bytes masked to 7 bits), note-on and note-off with
//   an id (912, 1152) and note expressions (1280); anything else (parameter
//   kinds, system messages, keys outside 0-127, channels above 15) is dropped,
//   so the plug-in side cannot reach engine ids through the event list;
// - frame offsets are clamped into the block and made non-decreasing: the
//   engine renders a whole block silent when one event lies outside it or
//   before the one ahead of it.
//
// The engine's out list carries the echo of every applied event and the
// values the engine reports (kind 176 with an engine id): the engine host
// reads the values from it and never feeds it back in.
#pragma once

#include <cstdint>

#include "instrument/EnginePluginRecords.h"
#include "vantor/HDMIDIEvent.h"

namespace morvane {

// The engine plug-in's list form.
using EngineEventList = vantor::EnginePluginSDK::EventList;
inline constexpr uint32_t kEventCapacity = vantor::kEventListCapacity;

// Engine event kinds beyond the plug-in side's: a parameter value (low byte
// 176, or 256-511) with the engine id in `id` and the value in `value`.
inline constexpr int32_t kEngineParameterKind = 176;

// Velocity 0..1 to the engine's 0..127 (NaN counts as 0).
float noteOnVelocity(float velocity);
float noteOffVelocity(float velocity);

// One plug-in side record as the engine takes it; false when it is dropped.
bool toEngineEvent(const vantor::HDMIDIEvent& in, vantor::HDMIDIEvent& out);

// Appends the first `count` records of `in` (at most its capacity) to `out`,
// converted, with offsets clamped to 0..frames-1 (0 for a 0-frame block) and
// never below the last offset already in `out`. Returns the records appended;
// records beyond `out`'s capacity are dropped.
uint32_t appendToEngineList(const vantor::HDMIDIEvent* in, uint32_t count, int32_t frames,
                            EngineEventList& out);

// Appends one engine parameter event at the list's current last offset.
bool appendParameterEvent(uint16_t engineId, float value, EngineEventList& out);

// A parameter value the engine reported in its out list; false for any other
// record.
bool readParameterValue(const vantor::HDMIDIEvent& e, uint16_t& engineId, float& value);

} // namespace morvane
