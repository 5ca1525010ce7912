// The one C entry point of the Morvane Engine host and everything that crosses
// it: opcode numbers, the sub-ids of opcode 30, the ids and results of the
// host callbacks, and the records handed over by pointer. The VST3 plug-in's
// engine bridge sends these; the substitute engine host answers them. Both
// include this header, so the layouts below are the protocol: records live in
// the sender's memory, little-endian, pointers 64-bit, every fixed offset
// pinned by a static_assert.
//
// morvaneOpcode(handle, opcode, p1, p2, p3, value, f, l1, l2) returns 0 for
// success and any other number for a failure. Arguments an opcode does not
// name are 0. Opcodes 8, 9 and 23 take a null handle, the view opcodes take
// the view handle (from 23), all others the engine handle (from 9).
#pragma once

#include <cstddef>
#include <cstdint>

#include "vantor/HDMIDIEvent.h"
#include "vantor/ParameterInfo.h"
#include "vantor/SyncInfo.h"

namespace vantor {

// ---- The entry point ----------------------------------------------------------------

using MorvaneOpcodeFn = int32_t (*)(void* handle, int32_t opcode, void* p1, void* p2, void* p3,
                                    int32_t value, float f, int64_t l1, int64_t l2);

// The symbol the engine host bundle exports.
inline constexpr const char* kMorvaneOpcodeSymbol = "morvaneOpcode";

// The interface version this side speaks; also the version word of the
// latency record.
inline constexpr int32_t kZefaInterfaceVersion = 2123;

// ---- Opcodes --------------------------------------------------------------------------

enum MorvaneOpcode : int32_t {
    kOpGetDetails = 8,          // null handle; p1 = 128-byte text to fill, value 1
    kOpCreateEngine = 9,        // null handle; p1 = ZefaCreateRecord, p2 = void** engine
    kOpDestroyEngine = 10,      // E
    kOpSetRateAndBlock = 11,    // E; value = sample rate, l1 = maximum block
    kOpSuspend = 12,            // E
    kOpResume = 13,             // E; p1 = ZefaEngineLatencyInfo, value = 1 when offline
    kOpSetRandomOff = 14,       // E; value = kRandomOffKey
    kOpProcessEvents = 15,      // E; p1 = MIDIEvents, p2 = float** outputs, value = frames
    kOpGetParameter = 16,       // E; p1 = float out, value = id, l1, l2 = further ids
    kOpSetParameter = 17,       // E; value = id, f = plain value, l1, l2 = further ids
    kOpGetChunk = 18,           // E; p1 = const void** chunk (engine-owned), p2 = int32 size
    kOpSetChunk = 19,           // E; p1 = bytes, value = length
    kOpGetEngineStats = 20,     // E; p1 = ZefaEngineStats
    kOpAddView = 21,            // E; p1 = view handle
    kOpRemoveView = 22,         // E; p1 = view handle
    kOpCreateViewTicket = 23,   // null handle; p1 = path text, p2 = void** view, p3 = engine
    kOpDestroyViewTicket = 24,  // V
    kOpOpenView = 25,           // V; p1 = parent window, l2 = 8 when not embedded
    kOpIdleView = 26,           // V
    kOpGetViewSize = 27,        // V; p1 = int32 height, p2 = int32 width
    kOpEngineCommand = 30,      // E; value = sub-id (ZefaEngineCommand), p1 = record
    kOpProcessPlain = 31,       // E; p1 = ZefaEngineProcessEx with version 1
    kOpSetHostCallback = 32,    // E; p1 = ZefaHostCallback, p2 = user data, value 10
    kOpSetSettings = 33,        // E; p1 = ZefaEngineSettings
    kOpRemoveHostCallback = 34, // E; p1 = ZefaHostCallback, p2 = user data
    kOpGetParameterName = 35,   // E; p1 = const char** name, value = id, l1, l2 = further ids
    kOpEngineIdle = 36,         // E
    kOpGetParameterInfo = 37,   // E; p1 = const ParameterInfo**, value = id
    kOpGetLatencyInfo = 38,     // E; p1 = ZefaEngineLatencyInfo
    kOpGetExportKB = 39,        // E; p1 = const Zefa::ExportKB** (engine-owned)
    kOpImportFile = 40,         // E; p1 = path text, value = slot
    kOpProcess = 42,            // E; p1 = ZefaEngineProcessEx with version 2
    kOpViewFdNotify = 43,       // V; value = file descriptor
    kOpViewTimerNotify = 44,    // V; value = timer id
};

inline constexpr int32_t kDetailsTextValue = 1;   // value of opcode 8
inline constexpr int32_t kHostCallbackValue = 10; // value of opcode 32
inline constexpr int32_t kRandomOffKey = 0x1234;  // value of opcode 14
inline constexpr int64_t kViewNotEmbedded = 8;    // l2 of opcode 25

// The state chunk of opcodes 18 and 19 opens with this tag and a
// little-endian u32 version; a chunk that does not is none the engine takes.
inline constexpr char kEngineChunkTag[4] = {'M', 'V', 'S', 'T'};
inline constexpr uint32_t kEngineChunkVersion = 1;
// Its settings are of engine ids below this, and it holds at most this many
// kept records.
inline constexpr uint32_t kEngineChunkIdSpace = 1792;
inline constexpr uint32_t kEngineChunkMaxRecords = 64;

// Sub-ids of opcode 30 (in `value`).
enum ZefaEngineCommand : int32_t {
    ENGINE_GET_CURRENT_PRODUCT = 0x10000,   // p1 = ZefaCurrentProduct
    ENGINE_GET_PROGRAMS = 0x10002,          // p1 = void** program list
    ENGINE_GET_INFO = 0x10003,              // p1 = ZefaEngineInfo
    ENGINE_SLOT_FILLED_BANK = 0x10004,      // p1 = ZefaProgramCommand
    ENGINE_SET_PROGRAM_BANK = 0x10005,      // p1 = ZefaProgramCommand
    ENGINE_CLEAR_PROGRAM = 0x10006,         // p1 = ZefaProgramCommand
    ENGINE_ADD_HOST_CALLBACK = 0x10007,     // p1 = ZefaCallbackRecord
    ENGINE_GET_BANKS = 0x10008,             // p1 = ZefaBank array or null, p2 = int32 count
    ENGINE_GET_BANK_PROGRAMS = 0x10009,     // p1 = ZefaBankPrograms
    ENGINE_GET_PRESET_TYPES = 0x1000C,      // p1 = ZefaPresetType array or null, p2 = int32 count
    ENGINE_GET_PRESETS = 0x1000D,           // p1 = ZefaPresets
    ENGINE_LOAD_PRESET = 0x1000E,           // p1 = ZefaPresetCommand
    ENGINE_SET_SLOT_MIDI_CHANNEL = 0x1000F, // p1 = ZefaSlotMIDIChannel
    ENGINE_GET_SLOT_MIDI_CHANNEL = 0x10010, // p1 = ZefaSlotMIDIChannel
};

// ---- Callbacks from the engine host ---------------------------------------------------

enum ZEFA_HOST_OPCODE : int32_t {
    ZEFA_HOST_LOG = 4096, // p1 title, p2 text, a = level (ZefaLogLevel)
    ZEFA_HOST_NOTICE_4097 = 4097,
    ZEFA_HOST_NOTICE_4098 = 4098,
    ZEFA_HOST_NOTICE_4099 = 4099,
    ZEFA_HOST_PARAMETERS_CHANGED = 8194, // names or values changed
    ZEFA_HOST_PARAMETER_EDITED = 8195,   // a = 0, b = id, f = plain value, p1 = ParameterInfo,
                                         // c = 1: the host is not to be told
    ZEFA_HOST_LATENCY_CHANGED = 8196,
    ZEFA_HOST_KEYMAP_CHANGED = 8197, // a = argument of the key-map change
    ZEFA_HOST_SIZE_CHANGED = 8198,   // a = width, b = height
    ZEFA_HOST_BEGIN_EDIT = 8199,     // b = id
    ZEFA_HOST_END_EDIT = 8200,       // b = id
    ZEFA_HOST_NOTICE_8201 = 8201,
};

enum ZEFA_HOST_STATUS : int32_t {
    ZEFA_HOST_HANDLED = 0,
    ZEFA_HOST_NOT_HANDLED = 2,
};

// Levels of ZEFA_HOST_LOG.
enum ZefaLogLevel : int32_t { kZefaLogInfo = 0, kZefaLogWarning = 1, kZefaLogError = 2 };

using ZefaHostCallback = int32_t (*)(int32_t id, void* p1, void* p2, int32_t a, int32_t b,
                                     int32_t c, float f, void* userData);

// ---- Records --------------------------------------------------------------------------

// Opcode 9: what the engine instance is created for.
struct ZefaCreateRecord {
    static constexpr uint64_t kFixedWord = 0x0843AA55;
    uint64_t word0;
    uint64_t word1;
    int64_t formatAndVersion; // (interface version << 16) | format code, 32 bits sign-extended
    const char* baseDirectory;
    uint64_t fixedWord; // kFixedWord
    const char* dataDirectory;
};
static_assert(sizeof(ZefaCreateRecord) == 48);
static_assert(offsetof(ZefaCreateRecord, word0) == 0);
static_assert(offsetof(ZefaCreateRecord, word1) == 8);
static_assert(offsetof(ZefaCreateRecord, formatAndVersion) == 16);
static_assert(offsetof(ZefaCreateRecord, baseDirectory) == 24);
static_assert(offsetof(ZefaCreateRecord, fixedWord) == 32);
static_assert(offsetof(ZefaCreateRecord, dataDirectory) == 40);

// Opcode 30, ENGINE_GET_CURRENT_PRODUCT. Texts are filled by the engine and
// need not end with a NUL.
struct ZefaCurrentProduct {
    int32_t version; // 1
    uint32_t productId;
    uint32_t slots;
    char firstName[64];
    char secondName[64];
    char address[512];
};
static_assert(sizeof(ZefaCurrentProduct) == 652);
static_assert(offsetof(ZefaCurrentProduct, productId) == 4);
static_assert(offsetof(ZefaCurrentProduct, slots) == 8);
static_assert(offsetof(ZefaCurrentProduct, firstName) == 12);
static_assert(offsetof(ZefaCurrentProduct, secondName) == 76);
static_assert(offsetof(ZefaCurrentProduct, address) == 140);

// Opcode 30, ENGINE_GET_INFO. Texts need not end with a NUL.
struct ZefaEngineInfo {
    int32_t version; // 1
    uint32_t number;
    uint8_t reserved[24];
    char text[96];
    char text2[896];
};
static_assert(sizeof(ZefaEngineInfo) == 1024);
static_assert(offsetof(ZefaEngineInfo, number) == 4);
static_assert(offsetof(ZefaEngineInfo, text) == 32);
static_assert(offsetof(ZefaEngineInfo, text2) == 128);

// Opcode 30, ENGINE_ADD_HOST_CALLBACK.
struct ZefaCallbackRecord {
    int32_t version; // 1
    int32_t reserved;
    ZefaHostCallback function;
    void* userData;
    uint64_t flags;
};
static_assert(sizeof(ZefaCallbackRecord) == 32);
static_assert(offsetof(ZefaCallbackRecord, function) == 8);
static_assert(offsetof(ZefaCallbackRecord, userData) == 16);
static_assert(offsetof(ZefaCallbackRecord, flags) == 24);

// Opcodes 13 and 38.
struct ZefaEngineLatencyInfo {
    int32_t version; // kZefaInterfaceVersion, set by the caller
    int32_t latency; // samples, written by the engine
    uint64_t reserved;
};
static_assert(sizeof(ZefaEngineLatencyInfo) == 16);
static_assert(offsetof(ZefaEngineLatencyInfo, latency) == 4);
static_assert(offsetof(ZefaEngineLatencyInfo, reserved) == 8);

// The 32-byte event and the event list of opcode 42: vantor/HDMIDIEvent.h.

// Opcodes 42 (version 2) and 31 (version 1).
struct ZefaEngineProcessEx {
    static constexpr int32_t kVersionEx = 2;
    static constexpr int32_t kVersionPlain = 1;
    int32_t version;
    int32_t reserved0;
    MIDIEvents* events;
    uint64_t reserved1;
    float** inputs;  // channel pointers, or null
    float** outputs; // channel pointers, or null
    SyncInfo* syncInfo;
    int32_t frames;
    int32_t reserved2;
};
static_assert(sizeof(ZefaEngineProcessEx) == 56);
static_assert(offsetof(ZefaEngineProcessEx, events) == 8);
static_assert(offsetof(ZefaEngineProcessEx, reserved1) == 16);
static_assert(offsetof(ZefaEngineProcessEx, inputs) == 24);
static_assert(offsetof(ZefaEngineProcessEx, outputs) == 32);
static_assert(offsetof(ZefaEngineProcessEx, syncInfo) == 40);
static_assert(offsetof(ZefaEngineProcessEx, frames) == 48);

// Opcode 33.
struct ZefaEngineSettings {
    int32_t version; // 1
    int32_t reserved0;
    uint64_t inputChannels;
    uint64_t outputChannels;
    int32_t one; // 1
    int32_t reserved1;
    uint64_t sampleRate;
    uint64_t maxBlock;
};
static_assert(sizeof(ZefaEngineSettings) == 48);
static_assert(offsetof(ZefaEngineSettings, inputChannels) == 8);
static_assert(offsetof(ZefaEngineSettings, outputChannels) == 16);
static_assert(offsetof(ZefaEngineSettings, one) == 24);
static_assert(offsetof(ZefaEngineSettings, sampleRate) == 32);
static_assert(offsetof(ZefaEngineSettings, maxBlock) == 40);

// Opcode 20. What the engine reports about its load.
struct ZefaEngineStats {
    int32_t version; // 1
    int32_t activeVoices;
    float cpuLoad; // 0..1 of the block time
    uint32_t reserved;
};
static_assert(sizeof(ZefaEngineStats) == 16);

namespace Zefa {

// Opcode 39: the engine's keyboard description, copied whole.
struct ExportKB {
    static constexpr size_t kNameSize = 128;
    uint8_t keyType[128]; // one type per MIDI key
    uint8_t reserved[128];
    char keyName[128][kNameSize];             // NUL-terminated names per key
    uint8_t carried[17709 - 256 - 128 * 128]; // not read here
};
static_assert(sizeof(ExportKB) == 17709);
static_assert(offsetof(ExportKB, keyName) == 256);

} // namespace Zefa

// ---- Program and preset records (ENGINE_* sub-ids 0x10002-0x10010) -------------------
// Lists come in two calls: the first (entries null) has the engine write the
// count, the second hands over that many zeroed entries, version word 1, for
// the engine to fill.

struct ZefaBank {
    int32_t version; // 1
    int32_t bank;    // -1 until the engine fills it
    int32_t reserved;
    int32_t programCount;
    char name[1552 - 16];
};
static_assert(sizeof(ZefaBank) == 1552);
static_assert(offsetof(ZefaBank, bank) == 4);
static_assert(offsetof(ZefaBank, programCount) == 12);

struct ZefaPresetType {
    int32_t version; // 1
    int32_t presetCount;
    uint8_t reserved[24];
    char name[128];
};
static_assert(sizeof(ZefaPresetType) == 160);
static_assert(offsetof(ZefaPresetType, presetCount) == 4);
static_assert(offsetof(ZefaPresetType, name) == 32);

struct ZefaPreset {
    int32_t version; // 1
    int32_t reserved;
    char name[536];
};
static_assert(sizeof(ZefaPreset) == 544);

struct ZefaPresets {
    int32_t version; // 1
    int32_t count;
    char typeName[128];
    ZefaPreset* entries;
};
static_assert(sizeof(ZefaPresets) == 144);
static_assert(offsetof(ZefaPresets, count) == 4);
static_assert(offsetof(ZefaPresets, typeName) == 8);
static_assert(offsetof(ZefaPresets, entries) == 136);

struct ZefaBankProgram {
    int32_t version; // 1
    int32_t program;
    char name[572];
};
static_assert(sizeof(ZefaBankProgram) == 580);

struct ZefaBankPrograms {
    int32_t bank;
    int32_t count;
    ZefaBankProgram* entries;
};
static_assert(sizeof(ZefaBankPrograms) == 16);
static_assert(offsetof(ZefaBankPrograms, count) == 4);
static_assert(offsetof(ZefaBankPrograms, entries) == 8);

// ENGINE_SLOT_FILLED_BANK, ENGINE_SET_PROGRAM_BANK, ENGINE_CLEAR_PROGRAM.
struct ZefaProgramCommand {
    static constexpr int32_t kFilled = 3; // `state` when the engine reports a filled slot
    int32_t version;                      // 1
    int32_t slot;
    int32_t state;
    int32_t bank;
    char name[512];
    uint8_t reserved[1024 - 528];
};
static_assert(sizeof(ZefaProgramCommand) == 1024);
static_assert(offsetof(ZefaProgramCommand, slot) == 4);
static_assert(offsetof(ZefaProgramCommand, state) == 8);
static_assert(offsetof(ZefaProgramCommand, bank) == 12);
static_assert(offsetof(ZefaProgramCommand, name) == 16);

// ENGINE_LOAD_PRESET.
struct ZefaPresetCommand {
    int32_t version; // 1
    int32_t slot;
    uint32_t flags;
    int32_t reserved;
    const ZefaPreset* preset;
    char typeName[128];
    char name[128];
};
static_assert(sizeof(ZefaPresetCommand) == 280);
static_assert(offsetof(ZefaPresetCommand, preset) == 16);
static_assert(offsetof(ZefaPresetCommand, typeName) == 24);
static_assert(offsetof(ZefaPresetCommand, name) == 152);

// ENGINE_SET_SLOT_MIDI_CHANNEL and ENGINE_GET_SLOT_MIDI_CHANNEL.
struct ZefaSlotMIDIChannel {
    int32_t version; // 1
    int32_t slot;
    int32_t channel;
    int32_t confirmed; // set to 1 by the engine
};
static_assert(sizeof(ZefaSlotMIDIChannel) == 16);

} // namespace vantor

// The engine host's export.
extern "C" int32_t morvaneOpcode(void* handle, int32_t opcode, void* p1, void* p2, void* p3,
                                 int32_t value, float f, int64_t l1, int64_t l2);
