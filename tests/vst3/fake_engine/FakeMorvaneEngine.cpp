// A stand-in engine host for the bridge tests: it answers each opcode the way
// the protocol asks from values the test set in its State, records every call
// with the record it was handed, and fails the opcode it is told to fail.
#include <cmath>
#include <cstring>

#include "fake_engine/FakeEngineState.h"
#include "vantor/DenormalScope.h"

using namespace vantor;
using fakeengine::Call;
using fakeengine::State;

namespace {

State g_state;

uint32_t recordSizeOf(int32_t opcode, int32_t value) {
    switch (opcode) {
    case kOpCreateEngine:
        return sizeof(ZefaCreateRecord);
    case kOpResume:
    case kOpGetLatencyInfo:
        return sizeof(ZefaEngineLatencyInfo);
    case kOpProcessPlain:
    case kOpProcess:
        return sizeof(ZefaEngineProcessEx);
    case kOpSetSettings:
        return sizeof(ZefaEngineSettings);
    case kOpEngineCommand:
        switch (value) {
        case ENGINE_ADD_HOST_CALLBACK:
            return sizeof(ZefaCallbackRecord);
        case ENGINE_SET_PROGRAM_BANK:
        case ENGINE_SLOT_FILLED_BANK:
        case ENGINE_CLEAR_PROGRAM:
            return 128; // head and the start of the name
        case ENGINE_SET_SLOT_MIDI_CHANNEL:
        case ENGINE_GET_SLOT_MIDI_CHANNEL:
            return sizeof(ZefaSlotMIDIChannel);
        default:
            return 0;
        }
    default:
        return 0;
    }
}

void record(void* handle, int32_t opcode, void* p1, void* p2, void* p3, int32_t value, float f,
            int64_t l1, int64_t l2) {
    const int32_t n = g_state.callCount++;
    if (n >= State::kMaxCalls) return;
    Call& c = g_state.calls[n];
    c = Call{handle, opcode, value, f, l1, l2, p1, p2, p3, 0, {}, 0, {}};
    c.recordSize = p1 ? recordSizeOf(opcode, value) : 0;
    if (c.recordSize) std::memcpy(c.record, p1, c.recordSize);
    if (opcode == kOpProcess && p1)
        if (const MIDIEvents* list = static_cast<const ZefaEngineProcessEx*>(p1)->events)
            c.events = list->count;
    const char* text = nullptr;
    if (opcode == kOpCreateEngine && p1)
        text = static_cast<const ZefaCreateRecord*>(p1)->baseDirectory;
    if (opcode == kOpCreateViewTicket || opcode == kOpImportFile) text = static_cast<char*>(p1);
    if (text) std::strncpy(c.text, text, sizeof c.text - 1);
}

template <typename T> void put(void* where, T value) {
    if (where) std::memcpy(where, &value, sizeof value);
}

int32_t engineCommand(int32_t subId, void* p1, void* p2) {
    switch (subId) {
    case ENGINE_GET_CURRENT_PRODUCT:
        if (p1) std::memcpy(p1, &g_state.product, sizeof g_state.product);
        return 0;
    case ENGINE_GET_INFO:
        if (p1) std::memcpy(p1, &g_state.info, sizeof g_state.info);
        return 0;
    case ENGINE_ADD_HOST_CALLBACK:
        if (p1) std::memcpy(&g_state.callback, p1, sizeof g_state.callback);
        return 0;
    case ENGINE_SLOT_FILLED_BANK: {
        auto* command = static_cast<ZefaProgramCommand*>(p1);
        command->state = ZefaProgramCommand::kFilled;
        command->bank = 7;
        std::strcpy(command->name, "Fake Organ");
        return 0;
    }
    case ENGINE_GET_BANKS: {
        auto* banks = static_cast<ZefaBank*>(p1);
        if (!banks) return put(p2, g_state.listCount), 0;
        const int32_t n = *static_cast<int32_t*>(p2);
        for (int32_t i = 0; i < n; ++i) banks[i].bank = 100 + i, banks[i].programCount = 128;
        return 0;
    }
    case ENGINE_GET_BANK_PROGRAMS: {
        auto* head = static_cast<ZefaBankPrograms*>(p1);
        if (!head->entries) return head->count = g_state.listCount, 0;
        for (int32_t i = 0; i < head->count; ++i) head->entries[i].program = i;
        return 0;
    }
    case ENGINE_SET_SLOT_MIDI_CHANNEL:
    case ENGINE_GET_SLOT_MIDI_CHANNEL: {
        auto* channel = static_cast<ZefaSlotMIDIChannel*>(p1);
        if (subId == ENGINE_GET_SLOT_MIDI_CHANNEL) channel->channel = 9;
        channel->confirmed = 1;
        return 0;
    }
    default:
        return 0;
    }
}

// Opcode 42: keeps the events, follows the keys and plays the held one.
void playBlock(const ZefaEngineProcessEx* block) {
    g_state.blockControlWord = vantor::DenormalScope::read();
    if (!block || !block->events) return;
    const MIDIEvents& list = *block->events;
    for (uint32_t i = 0; i < list.count && i < kEventListCapacity; ++i) {
        const HDMIDIEvent& e = list.events[i];
        if (g_state.deliveredCount < State::kMaxDelivered)
            g_state.delivered[g_state.deliveredCount] = e;
        ++g_state.deliveredCount;
        const int type = e.status & 0xF0;
        const bool on = e.kind == HDMIDIEvent::kNoteOn ||
                        (e.kind == HDMIDIEvent::kMIDIBytes && type == 0x90 && e.data2 > 0);
        const bool off =
            e.kind == HDMIDIEvent::kNoteOff ||
            (e.kind == HDMIDIEvent::kMIDIBytes && (type == 0x80 || (type == 0x90 && e.data2 == 0)));
        const int key = e.kind == HDMIDIEvent::kMIDIBytes ? e.data1 : e.id;
        if (on) g_state.toneOn = true, g_state.toneKey = key, g_state.tonePhase = 0;
        if (off && key == g_state.toneKey) g_state.toneOn = false;
    }
    if (!block->outputs || block->frames <= 0) return;
    const int channels = g_state.outputChannels > 0 ? g_state.outputChannels : 2;
    const double rate = g_state.sampleRate > 0 ? g_state.sampleRate : 44100;
    const double step = 2 * M_PI * 440.0 * std::pow(2.0, (g_state.toneKey - 69) / 12.0) / rate;
    for (int32_t n = 0; n < block->frames; ++n) {
        const float v = g_state.toneOn ? float(0.5 * std::sin(g_state.tonePhase)) : 0.f;
        if (g_state.toneOn) g_state.tonePhase = std::fmod(g_state.tonePhase + step, 2 * M_PI);
        for (int ch = 0; ch < channels; ++ch) block->outputs[ch][n] = v;
    }
}

bool inRange(int32_t id) {
    return id >= 0 && id < State::kParameters;
}

} // namespace

extern "C" __attribute__((visibility("default"))) State* fakeMorvaneEngineState() {
    return &g_state;
}

extern "C" __attribute__((visibility("default"))) int32_t
morvaneOpcode(void* handle, int32_t opcode, void* p1, void* p2, void* p3, int32_t value, float f,
              int64_t l1, int64_t l2) {
    record(handle, opcode, p1, p2, p3, value, f, l1, l2);
    if (opcode == g_state.failOpcode &&
        (opcode != kOpEngineCommand || g_state.failSubId == 0 || g_state.failSubId == value))
        return g_state.failStatus;
    switch (opcode) {
    case kOpSetRateAndBlock:
        g_state.sampleRate = value;
        return 0;
    case kOpSetSettings:
        g_state.outputChannels = int32_t(static_cast<ZefaEngineSettings*>(p1)->outputChannels);
        return 0;
    case kOpProcess:
        playBlock(static_cast<const ZefaEngineProcessEx*>(p1));
        return 0;
    case kOpGetDetails:
        std::memcpy(p1, g_state.details, sizeof g_state.details);
        return 0;
    case kOpCreateEngine:
        put(p2, g_state.noEngineHandle ? nullptr : &g_state.engineTag);
        return 0;
    case kOpResume:
    case kOpGetLatencyInfo:
        static_cast<ZefaEngineLatencyInfo*>(p1)->latency = g_state.latency;
        return 0;
    case kOpGetParameter:
        put(p1, inRange(value) ? g_state.values[value] : 0.0f);
        return 0;
    case kOpSetParameter:
        if (inRange(value)) g_state.values[value] = f;
        return 0;
    case kOpGetChunk:
        put(p1, g_state.chunk);
        put(p2, g_state.chunkSize);
        return 0;
    case kOpSetChunk:
        g_state.receivedChunkSize = value;
        if (value > 0 && value <= int32_t(sizeof g_state.receivedChunk))
            std::memcpy(g_state.receivedChunk, p1, size_t(value));
        return 0;
    case kOpCreateViewTicket:
        put(p2, static_cast<void*>(&g_state.viewTag));
        return 0;
    case kOpGetViewSize:
        put(p1, g_state.viewHeight);
        put(p2, g_state.viewWidth);
        return 0;
    case kOpEngineCommand:
        return engineCommand(value, p1, p2);
    case kOpSetHostCallback:
        g_state.callback.function = reinterpret_cast<ZefaHostCallback>(p1);
        g_state.callback.userData = p2;
        return 0;
    case kOpGetParameterName:
        put(p1, inRange(value) ? g_state.names[value] : nullptr);
        return 0;
    case kOpGetParameterInfo:
        put(p1, inRange(value) ? g_state.infos[value] : nullptr);
        return 0;
    case kOpGetExportKB:
        put(p1, g_state.exportKB);
        return 0;
    default:
        return 0;
    }
}
