// Every record that crosses the engine plug-in boundary, as raw memory, between
// an engine host and the engine plug-in "Brevado". The host loads the plug-in
// with dlopen, reads its four C exports and then talks to one plug-in object
// through a small C record: a version word and two function pointers, a
// dispatcher taking an opcode and two pointers, and a process entry taking the
// audio buffers, two event lists and the host's time record. The plug-in calls
// back through the first word of the host record.
//
// Both sides include this header and nothing else of the other side. Each
// record is a plain little-endian struct whose size and offsets are pinned
// below; host-owned records are filled or read in place and never freed by the
// plug-in. Interface version everywhere is 2123.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vantor/HDMIDIEvent.h"
#include "vantor/SyncInfo.h"

namespace vantor {

// ---- The 32-byte event and the VST3 side's list form: vantor/HDMIDIEvent.h --------

namespace EnginePluginSDK {

constexpr uint32_t kInterfaceVersion = 2123;

// The list as the plug-in reads and writes it: a 64-bit count, then the
// records. The host's output list has room for kEventListCapacity records; the
// host parameter map (opcode 10) has this form too.
struct EventList {
    uint64_t count;
    HDMIDIEvent events[kEventListCapacity];
};
static_assert(sizeof(EventList) == 65544);
static_assert(offsetof(EventList, count) == 0);
static_assert(offsetof(EventList, events) == 8);

// ---- Plug-in information (fillZefaPluginInfo) ----------------------------------------

// Host-owned; the plug-in writes the listed fields and leaves every other byte
// as the host gave it. The host allocates at least sizeof(PluginInfo) bytes.
struct PluginInfo {
    char identifier[0x100]; // "com.Vantor.Emulator.MD"
    uint32_t word100;       // 0
    uint32_t word104;       // 4
    uint8_t unused108[0x1C0 - 0x108];
    uint32_t word1C0; // 1
    uint8_t unused1C4[0x1CC - 0x1C4];
    uint32_t interfaceVersion; // 2123
    uint8_t unused1D0[0x1D8 - 0x1D0];
    uint32_t extensionIdsA[4]; // 35607, 61715, 22362, 50789
    uint32_t extensionIdsB[4]; // 32391, 12497, 12499, 47731
    uint32_t extensionIdCount; // 8: the ids in the two lists above
    uint32_t word1FC;          // 1
    char name[0x200];          // "MD"
    char category[0x100];      // "Emulator\tMD"
    uint32_t sysexExtensionId; // 20824
    uint8_t unused504[0x580 - 0x504];
    uint32_t sysexExtensionCount; // 1
    uint8_t unused584[0x600 - 0x584];
    uint32_t list600[4]; // 2, 1, 3, 15
    uint32_t list610[4]; // 4, 2, 1, 1
    uint32_t word620;    // 1
    uint32_t unused624;
};
static_assert(sizeof(PluginInfo) == 0x628);
static_assert(offsetof(PluginInfo, identifier) == 0x000);
static_assert(offsetof(PluginInfo, word100) == 0x100);
static_assert(offsetof(PluginInfo, word104) == 0x104);
static_assert(offsetof(PluginInfo, word1C0) == 0x1C0);
static_assert(offsetof(PluginInfo, interfaceVersion) == 0x1CC);
static_assert(offsetof(PluginInfo, extensionIdsA) == 0x1D8);
static_assert(offsetof(PluginInfo, extensionIdsB) == 0x1E8);
static_assert(offsetof(PluginInfo, extensionIdCount) == 0x1F8);
static_assert(offsetof(PluginInfo, word1FC) == 0x1FC);
static_assert(offsetof(PluginInfo, name) == 0x200);
static_assert(offsetof(PluginInfo, category) == 0x400);
static_assert(offsetof(PluginInfo, sysexExtensionId) == 0x500);
static_assert(offsetof(PluginInfo, sysexExtensionCount) == 0x580);
static_assert(offsetof(PluginInfo, list600) == 0x600);
static_assert(offsetof(PluginInfo, list610) == 0x610);
static_assert(offsetof(PluginInfo, word620) == 0x620);

// ---- The host record and the plug-in's C record -------------------------------------

struct HostRecord;
struct PluginRecord;
struct TimeRecord;

// The host's callback: fn(host record, host opcode, a, b). The plug-in relies on
// the host writing any answer through b before it returns.
using HostCallback = intptr_t (*)(HostRecord* host, int32_t opcode, int64_t a, void* b);
// Host opcodes into the dispatcher: dispatchEntry(record, opcode, a, b).
using DispatchEntry = intptr_t (*)(PluginRecord* record, uint32_t opcode, void* a, void* b);
// One audio block: processEntry(record, outputs, frames, in, out, time).
using ProcessEntry = void (*)(PluginRecord* record, float** outputs, int32_t frames, EventList* in,
                              EventList* out, TimeRecord* time);

// Given to newInstance and kept by the object for its whole life. Its first
// word is the callback; the host may keep its own state behind it.
struct HostRecord {
    HostCallback callback;
};
static_assert(sizeof(HostRecord) == 8);
static_assert(offsetof(HostRecord, callback) == 0);

// The handle the host holds for one plug-in object, valid until deleteInstance.
struct PluginRecord {
    uint32_t version; // 2123
    uint32_t padding;
    DispatchEntry dispatcher;
    ProcessEntry process;
    uint64_t reserved; // 0
    void* object;      // the plug-in object
};
static_assert(sizeof(PluginRecord) == 40);
static_assert(offsetof(PluginRecord, version) == 0);
static_assert(offsetof(PluginRecord, dispatcher) == 8);
static_assert(offsetof(PluginRecord, process) == 16);
static_assert(offsetof(PluginRecord, reserved) == 24);
static_assert(offsetof(PluginRecord, object) == 32);

// ---- Records passed with dispatcher opcodes ------------------------------------------

// Opcodes 2 and 12: rate and block length. The object keeps a copy.
struct ProcessingInfo {
    double sampleRate;       // 44100.0
    uint32_t sampleRateInt;  // 44100
    uint32_t padding12;      //
    double samplePeriod;     // 1 / rate
    uint32_t maxBlockFrames; // 256
    uint32_t padding28;      //
    double blockSeconds;     // block / rate
    double blockReciprocal;  // 1 / block
    uint8_t flags[5];        // not read by the instrument
    uint8_t padding53[3];
};
static_assert(sizeof(ProcessingInfo) == 56);
static_assert(offsetof(ProcessingInfo, sampleRate) == 0);
static_assert(offsetof(ProcessingInfo, sampleRateInt) == 8);
static_assert(offsetof(ProcessingInfo, samplePeriod) == 16);
static_assert(offsetof(ProcessingInfo, maxBlockFrames) == 24);
static_assert(offsetof(ProcessingInfo, blockSeconds) == 32);
static_assert(offsetof(ProcessingInfo, blockReciprocal) == 40);
static_assert(offsetof(ProcessingInfo, flags) == 48);

// Opcode 17: the output configuration the host proposes.
struct OutputConfig {
    uint32_t word0;
    uint32_t channels; // compared with the object's output channel count
};
static_assert(sizeof(OutputConfig) == 8);
static_assert(offsetof(OutputConfig, channels) == 4);

// Opcode 18: the latency pair (the information words W5 and W6).
struct LatencyRecord {
    int32_t version; // 2123, set by the caller
    uint32_t word4;  // W6
    uint32_t word8;  // W5
    uint32_t word12;
};
static_assert(sizeof(LatencyRecord) == 16);
static_assert(offsetof(LatencyRecord, word4) == 4);
static_assert(offsetof(LatencyRecord, word8) == 8);

// Opcode 19: activation in record form; the result lands in `result`.
struct ActivationRecord {
    uint64_t word0;
    uint64_t result;   // the 32-bit result, zero-extended
    uint64_t context;  // profile-path text or 0
    uint64_t reserved; //
    uint64_t version;  // low 32 bits passed on
};
static_assert(sizeof(ActivationRecord) == 40);
static_assert(offsetof(ActivationRecord, result) == 8);
static_assert(offsetof(ActivationRecord, context) == 16);
static_assert(offsetof(ActivationRecord, reserved) == 24);
static_assert(offsetof(ActivationRecord, version) == 32);

// Opcode 20: one extension command (packed: the record pointer sits at 4).
#pragma pack(push, 1)
struct ExtensionCommand {
    uint32_t word0;
    void* record; // the extension record (ExtensionHeader first)
    uint8_t unused12[8];
    uint64_t size;   // the size; the table key or the slot number for some ids
    uint64_t action; // 0 initialise, 1 update, 2 keep / attach with key
    uint32_t key;    // passed on with action 2
};
#pragma pack(pop)
static_assert(sizeof(ExtensionCommand) == 40);
static_assert(offsetof(ExtensionCommand, record) == 4);
static_assert(offsetof(ExtensionCommand, size) == 20);
static_assert(offsetof(ExtensionCommand, action) == 28);
static_assert(offsetof(ExtensionCommand, key) == 36);

// The start of every extension record; the payload follows from offset 32.
struct ExtensionHeader {
    uint32_t id;
    uint32_t sizeWord;
    uint32_t parameterWord;
    uint32_t flags; // 8, 0x10 ready, 0x20
    uint8_t unused16[16];
};
static_assert(sizeof(ExtensionHeader) == 32);
static_assert(offsetof(ExtensionHeader, sizeWord) == 4);
static_assert(offsetof(ExtensionHeader, parameterWord) == 8);
static_assert(offsetof(ExtensionHeader, flags) == 12);

// Extension records as the plug-in initialises and reads them. The host
// allocates each; the command's size field says how many bytes it holds, and
// the plug-in touches none beyond that.
struct ParameterMonitorRecord {
    ExtensionHeader header; // size word 32768, parameter word 1000, flags 8
    uint16_t keys[2048];    // engine ids to watch
    float values[2048];     // their values by engine id (8388608.0: not known)
    uint32_t keyCount;
};
static_assert(sizeof(ParameterMonitorRecord) == 12324);
static_assert(offsetof(ParameterMonitorRecord, keys) == 32);
static_assert(offsetof(ParameterMonitorRecord, values) == 4128);
static_assert(offsetof(ParameterMonitorRecord, keyCount) == 12320);

// The modulation-matrix text and the name-table entries: text from 32.
struct TextRecord {
    ExtensionHeader header;
    char text[32256];
};
static_assert(sizeof(TextRecord) == 32288);
static_assert(offsetof(TextRecord, text) == 32);

// Step data for the sequencer voices.
struct StepDataRecord {
    ExtensionHeader header; // size word 64
    uint32_t word32;        // 0x7F0000
    uint16_t word36;        // 32
    uint16_t word38;        // 0
    uint8_t unused40[24];
    uint8_t data[16384];
};
static_assert(sizeof(StepDataRecord) == 16448);
static_assert(offsetof(StepDataRecord, word32) == 32);
static_assert(offsetof(StepDataRecord, word36) == 36);
static_assert(offsetof(StepDataRecord, data) == 64);

// Curve data for the sequencer voices: the bytes a reset writes.
constexpr uint64_t kCurveDataRecordSize = 4132;

// The system-exclusive receiver's record also holds instruments C to P for
// the console controller: 14 records of 512 bytes from offset 32.
constexpr uint64_t kInstrumentBlockSize = 32 + 14 * 512;

struct PixelCanvasExtension {
    ExtensionHeader header; // id 35607, size word 308012, flags 0
    uint8_t unused32[8];
    uint16_t width;
    uint16_t height;
    uint8_t red[256];
    uint8_t green[256];
    uint8_t blue[256];
    uint8_t pixels[640 * 480];
};
static_assert(sizeof(PixelCanvasExtension) == 308012);
static_assert(offsetof(PixelCanvasExtension, width) == 40);
static_assert(offsetof(PixelCanvasExtension, height) == 42);
static_assert(offsetof(PixelCanvasExtension, red) == 44);
static_assert(offsetof(PixelCanvasExtension, green) == 300);
static_assert(offsetof(PixelCanvasExtension, blue) == 556);
static_assert(offsetof(PixelCanvasExtension, pixels) == 812);

struct DacSamplesRecord {
    ExtensionHeader header; // id 47731, size word 32
    uint32_t word32;        // 0
    uint8_t unused36[12];
    uint32_t word48; // 0
    uint8_t unused52[652];
    uint8_t samples[523584];
};
static_assert(sizeof(DacSamplesRecord) == 524288);
static_assert(offsetof(DacSamplesRecord, word32) == 32);
static_assert(offsetof(DacSamplesRecord, word48) == 48);
static_assert(offsetof(DacSamplesRecord, samples) == 704);

// A file to load (slots 0 and 1), or where a published image is named (slot 2).
// A media archive opens at song member `firstMember` (from 1; 0, as a host
// that clears the record leaves it, is the first), so no other member is
// unpacked on the way.
struct LoadFileRecord {
    ExtensionHeader header;
    uint32_t firstMember;
    uint8_t unused36[508];
    char path[512]; // at most 511 characters, terminated
};
static_assert(sizeof(LoadFileRecord) == 1056);
static_assert(offsetof(LoadFileRecord, firstMember) == 32);
static_assert(offsetof(LoadFileRecord, path) == 544);

// Opcode 21: one master setting.
struct MasterSetting {
    uint64_t word0;
    int32_t code;
    uint32_t padding12;
    int64_t integer;
    uint64_t word24;
    double value;
};
static_assert(sizeof(MasterSetting) == 40);
static_assert(offsetof(MasterSetting, code) == 8);
static_assert(offsetof(MasterSetting, integer) == 16);
static_assert(offsetof(MasterSetting, value) == 32);

// Opcode 23: a short MIDI message or a long one by pointer.
struct MidiMessage {
    uint64_t word0;
    uint64_t isLong;      // non-zero: `bytes` holds `length` bytes
    uint64_t length;      //
    uint64_t word24;      //
    const uint8_t* bytes; //
    uint8_t status;       // short message
    uint8_t data1;
    uint8_t data2;
    uint8_t padding43[5];
};
static_assert(sizeof(MidiMessage) == 48);
static_assert(offsetof(MidiMessage, isLong) == 8);
static_assert(offsetof(MidiMessage, length) == 16);
static_assert(offsetof(MidiMessage, bytes) == 32);
static_assert(offsetof(MidiMessage, status) == 40);
static_assert(offsetof(MidiMessage, data1) == 41);
static_assert(offsetof(MidiMessage, data2) == 42);

// ---- Records passed with host callbacks ---------------------------------------------

// Host opcode 10: the engine ids whose descriptions changed.
struct ParameterRange {
    uint64_t first;
    uint64_t last;
};
static_assert(sizeof(ParameterRange) == 16);
static_assert(offsetof(ParameterRange, last) == 8);

// Host opcode 11: the version word and the 128-byte information block.
struct InfoBlockMessage {
    uint32_t version; // 2123
    uint8_t block[128];
};
static_assert(sizeof(InfoBlockMessage) == 132);
static_assert(offsetof(InfoBlockMessage, block) == 4);

// ---- The time record ----------------------------------------------------------------

// processEntry's time record is the host's SyncInfo (128 bytes); the plug-in
// reads only the position (24), the tempo (32) and the bar start (40). This is
// the part of it the plug-in relies on.
struct TimeRecord {
    double samplePosition;
    double sampleRate;
    double systemTime;
    double ppqPosition; // quarter notes
    double tempo;       // beats per minute
    double barStartPpq; // quarter notes
};
static_assert(sizeof(TimeRecord) == 48);
static_assert(offsetof(TimeRecord, ppqPosition) == 24);
static_assert(offsetof(TimeRecord, tempo) == 32);
static_assert(offsetof(TimeRecord, barStartPpq) == 40);
static_assert(offsetof(SyncInfo, ppqPosition) == offsetof(TimeRecord, ppqPosition));
static_assert(offsetof(SyncInfo, tempo) == offsetof(TimeRecord, tempo));
static_assert(offsetof(SyncInfo, barStartPpq) == offsetof(TimeRecord, barStartPpq));

// ---- Opcodes and ids ------------------------------------------------------------------

// Dispatcher opcodes with a name; the others are numbered only.
enum PluginOpcode : uint32_t {
    PLUGIN_OP_ACTIVATE = 0,
    PLUGIN_OP_SET_PROCESSING_INFO = 2,
    PLUGIN_OP_GET_NUM_OUTPUTS = 4,
    PLUGIN_OP_RESET_VOICES = 9,
    PLUGIN_OP_GET_PARAMETER_MAP = 10,
    PLUGIN_OP_RESET_VOICES_2 = 11,
    PLUGIN_OP_SET_PROCESSING_INFO_2 = 12,
    PLUGIN_OP_GET_PARAMETER_INFO = 15,
    PLUGIN_OP_CHECK_OUTPUTS = 17,
    PLUGIN_OP_GET_LATENCY = 18,
    PLUGIN_OP_ACTIVATE_RECORD = 19,
    PLUGIN_OP_EXTENSION = 20,
    PLUGIN_OP_MASTER_SETTING = 21,
    PLUGIN_OP_SEND_MIDI = 23,
    PLUGIN_OP_SET_NAME = 24,
    PLUGIN_OP_EXPORT_PATCH = 25,
    PLUGIN_OP_IMPORT_PATCH = 26,
    PLUGIN_OP_LAST = 28,
};

// Host callback opcodes.
enum HostOpcode : int32_t {
    HOST_OP_QUERY_VERSION = 5,   // b: i32 answer
    HOST_OP_EXT_CHANGED = 8,     // a: 1, 2 or a packed pair; b: the extension record
    HOST_OP_PARAMS_CHANGED = 10, // b: ParameterRange
    HOST_OP_INFO_BLOCK = 11,     // a: 33028; b: InfoBlockMessage
    HOST_OP_REQUEST = 12,        // a: 48; b: the caller's argument
    HOST_OP_NOTE_TUNING = 13,    // a: key; b: f64 answer in Hz
    HOST_OP_NOTE_TUNING_2 = 14,  // a: key; b: an 8-byte or a 1-byte slot (the host leaves it)
};

// Extension ids the plug-in answers.
enum ExtensionId : uint32_t {
    EXT_PARAMETER_MONITOR = 12497,
    EXT_MOD_MATRIX = 12499,
    EXT_SYSEX_RECEIVER = 20824,
    EXT_SYNTH_BUFFER_A = 22362,
    EXT_NAME_TABLE = 32391,
    EXT_PIXEL_CANVAS = 35607,
    EXT_DAC_SAMPLES = 47731,
    EXT_SYNTH_BUFFER_B = 50789,
    EXT_LOAD_FILE = 61715,
};

// The four exports of an engine plug-in file, with C linkage.
using GetNumZefaPluginsFn = int32_t (*)();
using FillZefaPluginInfoFn = int32_t (*)(uint32_t index, PluginInfo* info);
using NewInstanceFn = PluginRecord* (*)(const char* identifier, HostRecord* host);
using DeleteInstanceFn = void (*)(PluginRecord* record);

} // namespace EnginePluginSDK
} // namespace vantor
