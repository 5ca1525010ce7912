// The engine plug-in base classes, the dispatcher and the process entry.
#include "instrument/EnginePluginSDK.h"

#include <cmath>
#include <cstring>

#include "vantor/DenormalScope.h"

namespace vantor::EnginePluginSDK {

namespace {

EffectPlugin* objectOf(PluginRecord* record) {
    if (!record || !record->object) return nullptr;
    // Plugin is only ever the base of an EffectPlugin (see Plugin's constructor).
    return static_cast<EffectPlugin*>(static_cast<Plugin*>(record->object));
}

uint64_t bits(const void* p) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(p));
}

// Writes a 32-bit answer when the host gave a slot for it.
void answer(void* slot, uint32_t value) {
    if (slot) std::memcpy(slot, &value, sizeof value);
}

} // namespace

intptr_t dispatchEntry(PluginRecord* record, uint32_t opcode, void* a, void* b) {
    EffectPlugin* object = objectOf(record);
    if (!object) return 0;
    switch (opcode) {
    case PLUGIN_OP_ACTIVATE:
        return object->activate(bits(a), bits(b), 0);
    case PLUGIN_OP_SET_PROCESSING_INFO:
    case PLUGIN_OP_SET_PROCESSING_INFO_2:
        if (a) object->setProcessingInfo(static_cast<const ProcessingInfo*>(a));
        return 0;
    case 3:
        answer(b, object->getInfoWord(1));
        return 0;
    case PLUGIN_OP_GET_NUM_OUTPUTS:
        answer(b, object->getInfoWord(2));
        return 0;
    case 5:
        answer(b, object->getInfoWord(3));
        return 0;
    case 6:
        answer(b, object->getInfoWord(4));
        return 0;
    case 7:
        answer(b, object->getInfoWord(0));
        return 0;
    case 8:
        return object->queryReady(8, a);
    case PLUGIN_OP_RESET_VOICES:
        object->releaseAll(9, bits(a));
        return 0;
    case PLUGIN_OP_GET_PARAMETER_MAP:
        if (a) object->getParameterMap(static_cast<EventList*>(a));
        return 0;
    case PLUGIN_OP_RESET_VOICES_2:
        object->releaseAll(bits(a), bits(b));
        return 0;
    case PLUGIN_OP_GET_PARAMETER_INFO: {
        if (!b) return 0;
        answer(b, 0);
        uint32_t count = 0;
        ParameterInfo* table = object->getParameterInfo(&count);
        if (table) {
            answer(b, count);
            if (a) std::memcpy(a, &table, sizeof table);
        }
        return 0;
    }
    case PLUGIN_OP_CHECK_OUTPUTS:
        object->checkOutputConfig(static_cast<const OutputConfig*>(a), static_cast<uint32_t*>(b));
        return 0;
    case PLUGIN_OP_GET_LATENCY:
        object->getLatencyInfo(static_cast<LatencyRecord*>(a), static_cast<uint32_t*>(b));
        return 0;
    case PLUGIN_OP_ACTIVATE_RECORD: {
        if (!a) return 0;
        auto* words = static_cast<ActivationRecord*>(a);
        const uint32_t result = object->activate(words->context, words->reserved,
                                                 static_cast<uint32_t>(words->version));
        words->result = result;
        return result;
    }
    case PLUGIN_OP_EXTENSION: {
        const int32_t result = object->handleExtension(static_cast<ExtensionCommand*>(a));
        if (b) std::memcpy(b, &result, sizeof result);
        return result;
    }
    case PLUGIN_OP_MASTER_SETTING:
        // Only instruments take master settings.
        if (auto* instrument = dynamic_cast<InstrumentPlugin*>(object); instrument && a)
            instrument->applyMasterSetting(static_cast<MasterSetting*>(a));
        return 0;
    case PLUGIN_OP_SEND_MIDI:
        if (a) object->sendMidi(static_cast<const MidiMessage*>(a));
        return 0;
    case PLUGIN_OP_SET_NAME:
        object->setName(static_cast<const char*>(a));
        return 0;
    case PLUGIN_OP_EXPORT_PATCH:
    case PLUGIN_OP_IMPORT_PATCH: {
        if (!b) return 0;
        int32_t index;
        std::memcpy(&index, b, sizeof index);
        const char* path = static_cast<const char*>(a);
        return opcode == PLUGIN_OP_EXPORT_PATCH ? object->exportPatch(index, path)
                                                : object->importPatch(index, path);
    }
    case 27:
        object->forwardOpcode27(27, a);
        return 0;
    case 28:
        object->forwardOpcode28(28, a);
        return 0;
    default: // 1, 13, 14, 16, 22 and everything above 28
        return 0;
    }
}

void processEntry(PluginRecord* record, float** outputs, int32_t frames, EventList* in,
                  EventList* out, TimeRecord* time) {
    // Whatever the host left set, the block runs with denormals flushed.
    const DenormalScope flushDenormals;
    if (EffectPlugin* object = objectOf(record)) object->process(outputs, frames, in, out, time);
}

double equalTemperament(uint32_t key) {
    return 440.0 * std::exp2((static_cast<double>(key) - 69.0) / 12.0);
}

// ---- Plugin ---------------------------------------------------------------------------

Plugin::Plugin(HostRecord* hostRecord) : host(hostRecord) {
    record.version = kInterfaceVersion;
    record.padding = 0;
    record.dispatcher = &dispatchEntry;
    record.process = &processEntry;
    record.reserved = 0;
    record.object = this;
}

Plugin::~Plugin() = default;

intptr_t Plugin::hostCallback(int32_t opcode, int64_t a, void* b) {
    if (!host || !host->callback) return 0;
    return host->callback(host, opcode, a, b);
}

int32_t Plugin::queryHostVersion() {
    if (!host || !host->callback) return static_cast<int32_t>(kInterfaceVersion);
    int32_t version = 0;
    hostCallback(HOST_OP_QUERY_VERSION, 0, &version);
    return version;
}

// ---- EffectPlugin ---------------------------------------------------------------------

EffectPlugin::EffectPlugin(HostRecord* hostRecord) : Plugin(hostRecord) {
    std::memset(&processingInfo, 0, sizeof processingInfo);
    processingInfo.sampleRate = 44100.0;
    processingInfo.sampleRateInt = 44100;
    processingInfo.samplePeriod = 1.0 / 44100.0;
    processingInfo.maxBlockFrames = 256;
    processingInfo.blockSeconds = 256.0 / 44100.0;
    processingInfo.blockReciprocal = 1.0 / 256.0;
    for (uint32_t& w : infoWords) w = 0;
}

EffectPlugin::~EffectPlugin() = default;

int32_t EffectPlugin::queryReady(uint32_t, void*) {
    return 0;
}
void EffectPlugin::releaseAll(uint64_t, uint64_t) {}

void EffectPlugin::setProcessingInfo(const ProcessingInfo* info) {
    if (!info) return;
    processingInfo.sampleRate = info->sampleRate;
    processingInfo.sampleRateInt = info->sampleRateInt;
    processingInfo.samplePeriod = info->samplePeriod;
    processingInfo.maxBlockFrames = info->maxBlockFrames;
    processingInfo.blockSeconds = info->blockSeconds;
    processingInfo.blockReciprocal = info->blockReciprocal;
    std::memcpy(processingInfo.flags, info->flags, sizeof processingInfo.flags);
}

ParameterInfo* EffectPlugin::getParameterInfo(uint32_t* count) {
    if (count) *count = 0;
    return nullptr;
}

void EffectPlugin::checkOutputConfig(const OutputConfig*, uint32_t* ok) {
    if (ok) *ok = 0;
}

void EffectPlugin::getLatencyInfo(LatencyRecord* latency, uint32_t* done) {
    if (done) *done = 1;
    if (!latency) return;
    latency->word8 = infoWords[5];
    latency->word4 = infoWords[6];
}

int32_t EffectPlugin::handleExtension(ExtensionCommand*) {
    return 0;
}
void EffectPlugin::sendMidi(const MidiMessage*) {}
void EffectPlugin::forwardOpcode27(uint32_t, void*) {}
void EffectPlugin::forwardOpcode28(uint32_t, void*) {}
void EffectPlugin::setName(const char*) {}
int32_t EffectPlugin::importPatch(int32_t, const char*) {
    return 0;
}
int32_t EffectPlugin::exportPatch(int32_t, const char*) {
    return 0;
}

// ---- InstrumentPlugin -----------------------------------------------------------------

InstrumentPlugin::InstrumentPlugin(HostRecord* hostRecord) : EffectPlugin(hostRecord) {}

InstrumentPlugin::~InstrumentPlugin() = default;

double InstrumentPlugin::getNoteFrequency(uint32_t key) {
    double hz = 0.0;
    hostCallback(HOST_OP_NOTE_TUNING, key, &hz);
    if (!(hz > 0.0) || !std::isfinite(hz)) hz = equalTemperament(key);
    return hz;
}

double InstrumentPlugin::getNoteValue(uint32_t key) {
    double value = 0.0;
    hostCallback(HOST_OP_NOTE_TUNING_2, key, &value);
    return value;
}

bool InstrumentPlugin::getNoteFlag(uint32_t key) {
    uint8_t flag = 1;
    hostCallback(HOST_OP_NOTE_TUNING_2, key, &flag);
    return flag != 0;
}

} // namespace vantor::EnginePluginSDK
