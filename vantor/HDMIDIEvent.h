// The 32-byte timed event that travels the whole way from the VST3 processor
// through the engine host into the engine plug-in, and the list form the VST3
// side hands to the engine host. Both deliverables and the engine host include
// this one header, so the record cannot drift apart between them. (The engine
// plug-in's own list around the same records, with a 64-bit count, lives with
// the other engine-plug-in records.)
//
// Kinds: 0 raw MIDI bytes; low byte 176 or 256-511 a parameter change; 512 a
// per-note parameter; 912 note-on with a note id; 1152 note-off with a note id;
// 1280 note expression. Every field a kind does not name is 0.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

struct HDMIDIEvent {
    enum : int32_t { kMIDIBytes = 0, kNoteOn = 912, kNoteOff = 1152, kNoteExpression = 1280 };
    int32_t kind;
    int32_t id;          // pitch (note kinds), expression type (1280) or parameter id
    float value;         // velocity 0..1 (note kinds), expression or parameter value
    uint8_t status;      // MIDI status byte (kind 0)
    uint8_t data1;       // MIDI data byte 1
    uint8_t data2;       // MIDI data byte 2
    uint8_t valid;       // bit 0 or bit 1: the three MIDI bytes count
    uint16_t channel;    // note kinds
    uint16_t reserved;   // 0
    int32_t noteId;      // note kinds and note expression
    float tuning;        // tuning of the note; +infinity marks a record without MIDI bytes
    int32_t frameOffset; // frame of the block the event belongs to
};
static_assert(sizeof(HDMIDIEvent) == 32);
static_assert(offsetof(HDMIDIEvent, kind) == 0);
static_assert(offsetof(HDMIDIEvent, id) == 4);
static_assert(offsetof(HDMIDIEvent, value) == 8);
static_assert(offsetof(HDMIDIEvent, status) == 12);
static_assert(offsetof(HDMIDIEvent, data1) == 13);
static_assert(offsetof(HDMIDIEvent, data2) == 14);
static_assert(offsetof(HDMIDIEvent, valid) == 15);
static_assert(offsetof(HDMIDIEvent, channel) == 16);
static_assert(offsetof(HDMIDIEvent, reserved) == 18);
static_assert(offsetof(HDMIDIEvent, noteId) == 20);
static_assert(offsetof(HDMIDIEvent, tuning) == 24);
static_assert(offsetof(HDMIDIEvent, frameOffset) == 28);

// Room in either list form for one block's events.
constexpr uint32_t kEventListCapacity = 2048;

// The list as the VST3 side hands it to the engine host: a 32-bit count and a
// word that is 1, then the records. The engine host converts it to the
// plug-in's form with a 64-bit count.
struct MIDIEvents {
    uint32_t count;
    uint32_t word1; // 1
    HDMIDIEvent events[kEventListCapacity];
};
static_assert(sizeof(MIDIEvents) == 8 + 32 * kEventListCapacity);
static_assert(offsetof(MIDIEvents, count) == 0);
static_assert(offsetof(MIDIEvents, word1) == 4);
static_assert(offsetof(MIDIEvents, events) == 8);

} // namespace vantor
