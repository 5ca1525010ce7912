// One engine plug-in object as the engine host drives it: created through the
// file's newInstance with the host's own host record, driven through the C
// record's dispatcher and process entry, deleted through deleteInstance.
//
// The host record's callback answers what a plug-in asks of its host: the
// host's interface version (5), a key's frequency in equal temperament at the
// host's master tuning (13). Host opcode 14 offers an 8-byte slot to one
// caller and a 1-byte slot to another, so the host never writes through its
// pointer. The notifications 8, 10, 11 and 12 are recorded (up to a fixed
// number, without allocating on the audio thread) for tests and tools to see;
// an extension-changed notification (8) is also passed to the watcher, when
// one is set.
// One thread at a time drives an instance.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "enginehost/EnginePluginLibrary.h"

namespace morvane {

class EnginePluginInstance {
public:
    using PluginRecord = vantor::EnginePluginSDK::PluginRecord;
    using HostRecord = vantor::EnginePluginSDK::HostRecord;
    using EventList = vantor::EnginePluginSDK::EventList;

    static constexpr int32_t kHostVersion = 2123;
    static constexpr size_t kNotificationCapacity = 256;

    // A host callback the plug-in sent: opcode, a, b, and for opcodes 10 and
    // 11 a copy of the record b points at.
    struct Notification {
        int32_t opcode;
        int64_t a;
        void* b;
        size_t payloadSize;
        uint8_t payload[sizeof(vantor::EnginePluginSDK::InfoBlockMessage)];
    };

    explicit EnginePluginInstance(const EnginePluginLibrary& library);
    ~EnginePluginInstance();
    EnginePluginInstance(const EnginePluginInstance&) = delete;
    EnginePluginInstance& operator=(const EnginePluginInstance&) = delete;

    // newInstance with this host's record; false when the plug-in gives null.
    bool create(const char* identifier);
    // deleteInstance (also done by the destructor).
    void destroy();
    PluginRecord* record() const { return plugin; }
    HostRecord* hostRecord() { return &host.record; }

    // The record's dispatcher; 0 without an object.
    intptr_t dispatch(uint32_t opcode, void* a = nullptr, void* b = nullptr);
    // The record's process entry.
    void process(float** outputs, int32_t frames, EventList* in, EventList* out,
                 vantor::EnginePluginSDK::TimeRecord* time);

    // Opcode 2 with a processing-information record for `rate` and `block`.
    void setProcessing(double rate, uint32_t block);
    // Opcode 19 (record form): the activation result.
    uint32_t activate(const char* profilePath, uint32_t version);
    // Opcode 3 / 4 / 7: the input count, the output count and information word 0.
    uint32_t inputCount();
    uint32_t outputCount();
    uint32_t firstInfoWord();
    // Opcode 18: the frames from an event to its sound (the latency pair's
    // word at offset 4); 0 when the object reports none.
    uint32_t latency();

    void setMasterTuning(double hz) { masterTuning = hz; }
    double getMasterTuning() const { return masterTuning; }
    const std::vector<Notification>& notifications() const { return received; }
    size_t droppedNotifications() const { return dropped; }
    void clearNotifications() { received.clear(), dropped = 0; }

    // Told of each extension record the plug-in reports changed (host opcode
    // 8), on the thread that changed it: it must neither block nor allocate.
    using ExtensionWatcher = void (*)(void* data, const void* record);
    void setExtensionWatcher(ExtensionWatcher fn, void* data) { watcher = fn, watcherData = data; }

    // The host record's callback.
    static intptr_t hostCallback(HostRecord* host, int32_t opcode, int64_t a, void* b);

private:
    // The host record with the instance behind it; `record` comes first, so
    // the plug-in's HostRecord* is this struct's address.
    struct HostSide {
        HostRecord record;
        EnginePluginInstance* owner;
    };

    intptr_t answer(int32_t opcode, int64_t a, void* b);
    void note(int32_t opcode, int64_t a, void* b, size_t payloadSize);
    uint32_t askWord(uint32_t opcode);

    const EnginePluginLibrary& library;
    HostSide host;
    PluginRecord* plugin = nullptr;
    double masterTuning = 440.0;
    std::vector<Notification> received;
    size_t dropped = 0;
    ExtensionWatcher watcher = nullptr;
    void* watcherData = nullptr;
};

} // namespace morvane
