// Converting the plug-in side's event list into the engine plug-in's.
#include "enginehost/EventLists.h"

#include <algorithm>
#include <cmath>

namespace morvane {

using vantor::HDMIDIEvent;

namespace {

float scaledVelocity(float velocity) {
    if (!(velocity > 0.0f)) return 0.0f; // also NaN
    return std::round(std::min(velocity, 1.0f) * 127.0f);
}

} // namespace

float noteOnVelocity(float velocity) {
    return std::max(1.0f, scaledVelocity(velocity));
}

float noteOffVelocity(float velocity) {
    return scaledVelocity(velocity);
}

bool toEngineEvent(const HDMIDIEvent& in, HDMIDIEvent& out) {
    out = HDMIDIEvent{};
    out.kind = in.kind;
    out.frameOffset = in.frameOffset;
    switch (in.kind) {
    case HDMIDIEvent::kMIDIBytes:
        // Channel messages only: the engine has no use for system messages.
        if (in.valid != 1 || in.status < 0x80 || in.status >= 0xF0) return false;
        out.status = in.status;
        out.data1 = in.data1 & 0x7F;
        out.data2 = in.data2 & 0x7F;
        out.valid = 1;
        return true;
    case HDMIDIEvent::kNoteOn:
    case HDMIDIEvent::kNoteOff:
        if (in.id < 0 || in.id > 127 || in.channel > 15) return false;
        out.id = in.id;
        out.value =
            in.kind == HDMIDIEvent::kNoteOn ? noteOnVelocity(in.value) : noteOffVelocity(in.value);
        out.channel = in.channel;
        out.noteId = in.noteId;
        out.tuning = std::isfinite(in.tuning) ? in.tuning : 0.0f;
        return true;
    case HDMIDIEvent::kNoteExpression:
        if (!std::isfinite(in.value)) return false;
        out.id = in.id;
        out.value = in.value;
        out.channel = in.channel;
        out.noteId = in.noteId;
        return true;
    default:
        return false;
    }
}

uint32_t appendToEngineList(const HDMIDIEvent* in, uint32_t count, int32_t frames,
                            EngineEventList& out) {
    if (!in) return 0;
    count = std::min(count, kEventCapacity);
    const int32_t last = frames > 0 ? frames - 1 : 0;
    int32_t floor = out.count ? out.events[out.count - 1].frameOffset : 0;
    uint32_t appended = 0;
    for (uint32_t i = 0; i < count && out.count < kEventCapacity; ++i) {
        HDMIDIEvent e;
        if (!toEngineEvent(in[i], e)) continue;
        e.frameOffset = std::clamp(e.frameOffset, floor, last);
        floor = e.frameOffset;
        out.events[out.count++] = e;
        ++appended;
    }
    return appended;
}

bool appendParameterEvent(uint16_t engineId, float value, EngineEventList& out) {
    if (out.count >= kEventCapacity) return false;
    HDMIDIEvent e{};
    e.kind = kEngineParameterKind;
    e.id = engineId;
    e.value = value;
    e.frameOffset = out.count ? out.events[out.count - 1].frameOffset : 0;
    out.events[out.count++] = e;
    return true;
}

bool readParameterValue(const HDMIDIEvent& e, uint16_t& engineId, float& value) {
    const bool parameter =
        (e.kind & 0xFF) == kEngineParameterKind || (e.kind >= 256 && e.kind <= 511);
    if (!parameter) return false;
    if (e.id < 0 || e.id > 0xFFFF || !std::isfinite(e.value)) return false;
    engineId = static_cast<uint16_t>(e.id);
    value = e.value;
    return true;
}

} // namespace morvane
