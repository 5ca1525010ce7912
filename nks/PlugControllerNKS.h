// The edit controller's side of an NKS host conversation. The host sends
// typed messages: 'NI' reads a vendor-specific property into the host's
// buffer, 'ni' sets one, 'Ni' asks for a property's size and writability (a
// 9-byte record: 64-bit size, one writable byte). The properties the
// instrument knows:
//   12  4 bytes, read-only, reads 1;
//   13  4 bytes, writable, reads 0; a set chooses the view: 1 "big",
//       2 "compact", anything else "not embedded";
//   28  1 byte, read-only, a read succeeds and writes nothing;
//   32  8 bytes, writable, reads 2; a set tells the host's version.
// Nothing a set carries is kept: both accepted sets only print a line.
//
// In the other direction the controller pushes its key map to the host as
// 'KI' messages: per MIDI key its name, its colour on the host's keyboard and
// whether it is a control key, from the engine's keyboard description.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vst3base/IBStream.h"
#include "vst3base/NKSInterfaces.h"

#include "nks/MetadataBuilder.h"

namespace nks {

// Message tags (high 16 bits of the type).
enum : uint32_t {
    kTagGetProperty = 0x4E49,  // 'NI'
    kTagSetProperty = 0x6E69,  // 'ni'
    kTagPropertyInfo = 0x4E69, // 'Ni'
    kTagKeyMap = 0x4B49,       // 'KI'
};

// Vendor-specific properties (low 16 bits).
enum : uint32_t {
    kPropertyFlag12 = 12,
    kPropertyViewMode = 13,
    kPropertyFlag28 = 28,
    kPropertyNksVersion = 32,
};

// Key-map messages, sent to the host.
enum : int32_t {
    kKeyMapColour = 0x4B490014,
    kKeyMapName = 0x4B490015,
    kKeyMapControl = 0x4B49001B,
};

// The 'Ni' answer: a 64-bit size, then one writable byte, 9 bytes in all.
constexpr uint64_t kPropertyInfoSize = 9;

namespace vse {
// The payload of the key-name message: a key and its zero-terminated name.
struct note_name {
    static constexpr size_t kMaxName = 128;
    uint8_t key;
    char name[kMaxName + 1];
};
static_assert(sizeof(note_name) == 130);
static_assert(offsetof(note_name, name) == 1);
} // namespace vse

// The engine's keyboard: per MIDI key a type byte (types 2 and 3 mark control
// keys) and a name of up to 128 bytes, zero-terminated when shorter.
struct KeyboardLayout {
    static constexpr size_t kNameSize = 128;
    const uint8_t* keyTypes;           // 128 entries
    const char (*keyNames)[kNameSize]; // 128 entries
};

// Size and writability of a property; false for unknown ones.
bool nks_getVendorSpecificPropertyInfo(uint32_t property, uint64_t& size, bool& writable);
// Reads a property into `data` (`size` bytes available): 1 done, 0 refused
// (unknown property, no buffer, or a buffer smaller than the property).
int32_t nks_getVendorSpecificProperty(uint32_t property, void* data, uint64_t size);
// Sets a property from `size` bytes at `data`: 1 accepted, 0 refused.
int32_t nks_setVendorSpecificProperty(uint32_t property, const void* data, uint64_t size);

// Answers one host message: 1 handled, 0 not.
int32_t receiveNKSHostMessage(int32_t type, uint64_t size, void* data);

// Sends one 'KI' message; true only when there is a host and it accepted.
bool sendNKSHostMessage(INKS1Host* host, int32_t property, void* data, uint64_t size);

// The colour and control flag the host shows for a key type.
uint8_t keyColour(uint8_t keyType);
uint8_t keyControlFlag(uint8_t keyType);

// Sends name, colour and control flag of keys 0 to 127 in that order, each
// only while `host` (read again before every message) is set; stops at the
// first message the host refuses. Answers the number of messages accepted.
int pushKeyMap(INKS1Host* const& host, const KeyboardLayout& keyboard);

// Builds the metadata of `parameterCount` engine parameters, validates it and
// writes it to `stream` in one write. kResultOk only when the metadata passed
// and the stream took every byte; kResultFalse otherwise, the stream
// untouched when validation failed.
Steinberg::tresult getNksMetadata(Steinberg::IBStream* stream, uint32_t parameterCount,
                                  const metadata::ParameterLookup& lookup);

} // namespace nks
