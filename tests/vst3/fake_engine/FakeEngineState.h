// The state of the fake engine host that the bridge tests load: what it hands
// back for each opcode, which opcode it fails, and the calls it received. The
// module exports fakeMorvaneEngineState(); a test opens the same module and
// reads and sets this record directly, so both sides see one copy.
#pragma once

#include <cstdint>

#include "vst3/MorvaneInterface.h"

namespace fakeengine {

// One received call. `record` holds the first bytes of the record that p1
// pointed at (for the opcodes that pass one in), `text` a text the call named.
struct Call {
    void* handle;
    int32_t opcode;
    int32_t value;
    float f;
    int64_t l1;
    int64_t l2;
    void* p1;
    void* p2;
    void* p3;
    uint32_t recordSize;
    alignas(8) uint8_t record[128];
    uint32_t events; // opcode 42: the events its list held
    char text[512];
};

struct State {
    static constexpr int kMaxCalls = 2048;
    static constexpr int kParameters = 300;

    // Calls, in order; later calls beyond kMaxCalls are counted, not kept.
    int32_t callCount;
    Call calls[kMaxCalls];

    // The failing call: opcode (-1 none), its sub-id for opcode 30 (0 any)
    // and the status it answers.
    int32_t failOpcode;
    int32_t failSubId;
    int32_t failStatus;
    bool noEngineHandle; // opcode 9 answers 0 without a handle

    char details[128];
    vantor::ZefaEngineInfo info;
    vantor::ZefaCurrentProduct product;
    float values[kParameters];
    const vantor::ParameterInfo* infos[kParameters];
    const char* names[kParameters];
    const void* chunk;
    int32_t chunkSize;
    uint8_t receivedChunk[256];
    int32_t receivedChunkSize;
    const vantor::Zefa::ExportKB* exportKB;
    int32_t viewWidth;
    int32_t viewHeight;
    int32_t latency;
    int32_t listCount;                   // entries of the bank and preset lists
    vantor::ZefaCallbackRecord callback; // the last one registered
    int32_t engineTag;                   // its address is the engine handle
    int32_t viewTag;                     // its address is the view handle

    // What opcode 42 delivered, for the plug-in tests: the events in order
    // (the first kMaxDelivered kept, all counted) and a tone the fake plays
    // for the last key held down, at the rate of the last opcode 11 into as
    // many outputs as the last opcode 33 named (2 before any).
    static constexpr int kMaxDelivered = 4096;
    int32_t deliveredCount;
    vantor::HDMIDIEvent delivered[kMaxDelivered];
    int32_t sampleRate;
    int32_t outputChannels;
    bool toneOn;
    int32_t toneKey;
    double tonePhase;
    // The floating-point control word (MXCSR on x86) the last block ran with.
    uint64_t blockControlWord;
};

using StateFn = State* (*)();
inline constexpr const char* kStateSymbol = "fakeMorvaneEngineState";

} // namespace fakeengine
