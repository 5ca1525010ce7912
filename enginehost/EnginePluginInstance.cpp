// Driving one engine plug-in object and answering its callbacks.
#include "enginehost/EnginePluginInstance.h"

#include <cmath>
#include <cstddef>

using namespace vantor::EnginePluginSDK;

namespace morvane {

static_assert(offsetof(EnginePluginInstance::HostRecord, callback) == 0);

EnginePluginInstance::EnginePluginInstance(const EnginePluginLibrary& lib) : library(lib) {
    host.record.callback = &EnginePluginInstance::hostCallback;
    host.owner = this;
    received.reserve(kNotificationCapacity);
}

EnginePluginInstance::~EnginePluginInstance() {
    destroy();
}

bool EnginePluginInstance::create(const char* identifier) {
    destroy();
    plugin = library.newInstance(identifier, &host.record);
    return plugin != nullptr;
}

void EnginePluginInstance::destroy() {
    if (plugin) library.deleteInstance(plugin);
    plugin = nullptr;
}

intptr_t EnginePluginInstance::dispatch(uint32_t opcode, void* a, void* b) {
    if (!plugin || !plugin->dispatcher) return 0;
    return plugin->dispatcher(plugin, opcode, a, b);
}

void EnginePluginInstance::process(float** outputs, int32_t frames, EventList* in, EventList* out,
                                   TimeRecord* time) {
    if (plugin && plugin->process) plugin->process(plugin, outputs, frames, in, out, time);
}

void EnginePluginInstance::setProcessing(double rate, uint32_t block) {
    ProcessingInfo info;
    std::memset(&info, 0, sizeof info);
    info.sampleRate = rate;
    info.sampleRateInt = static_cast<uint32_t>(rate);
    info.samplePeriod = 1.0 / rate;
    info.maxBlockFrames = block;
    info.blockSeconds = block / rate;
    info.blockReciprocal = 1.0 / block;
    dispatch(PLUGIN_OP_SET_PROCESSING_INFO, &info);
}

uint32_t EnginePluginInstance::activate(const char* profilePath, uint32_t version) {
    ActivationRecord words = {};
    words.context = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(profilePath));
    words.version = version;
    dispatch(PLUGIN_OP_ACTIVATE_RECORD, &words);
    return static_cast<uint32_t>(words.result);
}

uint32_t EnginePluginInstance::askWord(uint32_t opcode) {
    uint32_t word = 0;
    dispatch(opcode, nullptr, &word);
    return word;
}

uint32_t EnginePluginInstance::inputCount() {
    return askWord(3);
}
uint32_t EnginePluginInstance::outputCount() {
    return askWord(PLUGIN_OP_GET_NUM_OUTPUTS);
}
uint32_t EnginePluginInstance::firstInfoWord() {
    return askWord(7);
}

uint32_t EnginePluginInstance::latency() {
    LatencyRecord record = {};
    record.version = kHostVersion;
    uint32_t done = 0;
    dispatch(PLUGIN_OP_GET_LATENCY, &record, &done);
    return done == 1 ? record.word4 : 0;
}

intptr_t EnginePluginInstance::hostCallback(HostRecord* record, int32_t opcode, int64_t a,
                                            void* b) {
    if (!record) return 0;
    auto* side = reinterpret_cast<HostSide*>(record);
    return side->owner ? side->owner->answer(opcode, a, b) : 0;
}

intptr_t EnginePluginInstance::answer(int32_t opcode, int64_t a, void* b) {
    switch (opcode) {
    case HOST_OP_QUERY_VERSION:
        if (b) std::memcpy(b, &kHostVersion, sizeof kHostVersion);
        return 0;
    case HOST_OP_NOTE_TUNING:
        if (b && a >= 0 && a <= 127) {
            const double hz = masterTuning * std::exp2((static_cast<double>(a) - 69.0) / 12.0);
            std::memcpy(b, &hz, sizeof hz);
        }
        return 0;
    case HOST_OP_NOTE_TUNING_2: // the slot's width depends on the caller: leave it
        return 0;
    case HOST_OP_EXT_CHANGED:
        note(opcode, a, b, 0);
        if (watcher) watcher(watcherData, b);
        return 0;
    case HOST_OP_REQUEST:
        note(opcode, a, b, 0);
        return 0;
    case HOST_OP_PARAMS_CHANGED:
        note(opcode, a, b, b ? sizeof(ParameterRange) : 0);
        return 0;
    case HOST_OP_INFO_BLOCK:
        note(opcode, a, b, b ? sizeof(InfoBlockMessage) : 0);
        return 0;
    default:
        return 0;
    }
}

void EnginePluginInstance::note(int32_t opcode, int64_t a, void* b, size_t payloadSize) {
    if (received.size() >= kNotificationCapacity) {
        ++dropped;
        return;
    }
    Notification n = {};
    n.opcode = opcode;
    n.a = a;
    n.b = b;
    n.payloadSize = payloadSize;
    if (payloadSize) std::memcpy(n.payload, b, payloadSize);
    received.push_back(n);
}

} // namespace morvane
