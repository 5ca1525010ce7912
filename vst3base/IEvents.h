// The events of one audio block (notes, poly pressure, note expressions, raw
// data, chords, scales and legacy MIDI controller output) and `IEventList`, the
// list the host hands in and the plug-in may fill on output.
//
// `Event` is a 24-byte header followed by a union whose largest member holds a
// pointer, so the union starts at 24 and the record is 48 bytes.
#pragma once

#include <cstddef>

#include "vst3base/VstTypes.h"

namespace Steinberg::Vst {

struct NoteOnEvent {
    int16 channel;
    int16 pitch;    // 0..127
    float tuning;   // cents
    float velocity; // 0..1
    int32 length;   // samples, 0 when unknown
    int32 noteId;   // -1 when the host gives none
};

struct NoteOffEvent {
    int16 channel;
    int16 pitch;
    float velocity;
    int32 noteId;
    float tuning;
};

struct DataEvent {
    enum DataTypes : uint32 { kMidiSysEx = 0 };
    uint32 size;
    uint32 type;
    const uint8* bytes;
};

struct PolyPressureEvent {
    int16 channel;
    int16 pitch;
    float pressure;
    int32 noteId;
};

struct ChordEvent {
    int16 root;
    int16 bassNote;
    int16 mask;
    uint16 textLen;
    const TChar* text;
};

struct ScaleEvent {
    int16 root;
    int16 mask;
    uint16 textLen;
    const TChar* text;
};

struct LegacyMIDICCOutEvent {
    uint8 controlNumber;
    int8 channel;
    int8 value;
    int8 value2;
};

struct NoteExpressionValueEvent {
    NoteExpressionTypeID typeId;
    int32 noteId;
    NoteExpressionValue value; // normalised 0..1
};

struct NoteExpressionTextEvent {
    NoteExpressionTypeID typeId;
    int32 noteId;
    uint32 textLen;
    const TChar* text;
};

struct Event {
    enum EventFlags : uint16 {
        kIsLive = 1 << 0,
        kUserReserved1 = 1 << 14,
        kUserReserved2 = 1 << 15,
    };
    enum EventTypes : uint16 {
        kNoteOnEvent = 0,
        kNoteOffEvent = 1,
        kDataEvent = 2,
        kPolyPressureEvent = 3,
        kNoteExpressionValueEvent = 4,
        kNoteExpressionTextEvent = 5,
        kChordEvent = 6,
        kScaleEvent = 7,
        kLegacyMIDICCOutEvent = 65535,
    };

    int32 busIndex;
    int32 sampleOffset; // within the block
    TQuarterNotes ppqPosition;
    uint16 flags;
    uint16 type;
    union {
        NoteOnEvent noteOn;
        NoteOffEvent noteOff;
        DataEvent data;
        PolyPressureEvent polyPressure;
        NoteExpressionValueEvent noteExpressionValue;
        NoteExpressionTextEvent noteExpressionText;
        ChordEvent chord;
        ScaleEvent scale;
        LegacyMIDICCOutEvent midiCCOut;
    };
};

class IEventList : public FUnknown {
public:
    virtual int32 getEventCount() = 0;
    virtual tresult getEvent(int32 index, Event& e) = 0;
    virtual tresult addEvent(Event& e) = 0;

    static constexpr FUID iid{0x3A2C4214, 0x346349FE, 0xB2C4F397, 0xB9695A44};

protected:
    ~IEventList() = default;
};

static_assert(sizeof(NoteOnEvent) == 20 && offsetof(NoteOnEvent, tuning) == 4 &&
              offsetof(NoteOnEvent, velocity) == 8 && offsetof(NoteOnEvent, noteId) == 16);
static_assert(sizeof(NoteOffEvent) == 16 && offsetof(NoteOffEvent, velocity) == 4 &&
              offsetof(NoteOffEvent, noteId) == 8 && offsetof(NoteOffEvent, tuning) == 12);
static_assert(sizeof(PolyPressureEvent) == 12 && offsetof(PolyPressureEvent, noteId) == 8);
static_assert(sizeof(NoteExpressionValueEvent) == 16 &&
              offsetof(NoteExpressionValueEvent, value) == 8);
static_assert(sizeof(NoteExpressionTextEvent) == 24 &&
              offsetof(NoteExpressionTextEvent, text) == 16);
static_assert(sizeof(DataEvent) == 16 && offsetof(DataEvent, bytes) == 8);
static_assert(sizeof(Event) == 48 && offsetof(Event, sampleOffset) == 4 &&
              offsetof(Event, ppqPosition) == 8 && offsetof(Event, flags) == 16 &&
              offsetof(Event, type) == 18 && offsetof(Event, noteOn) == 24);

} // namespace Steinberg::Vst
