// The engine host's hold on one "Brevado" object: the plug-in file loaded
// through its four exports, one object created from its first plug-in, set up
// for a rate and block length and activated, then driven through the
// dispatcher (parameter table, parameter map, extensions) and the process
// entry.
// One thread at a time drives it; the engine host's lock sees to that.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "instrument/EnginePluginRecords.h"
#include "vantor/ParameterInfo.h"
#include "vantor/SyncInfo.h"

namespace morvane {

class EnginePluginLibrary;
class EnginePluginInstance;

class EngineDriver {
public:
    EngineDriver();
    ~EngineDriver();
    EngineDriver(const EngineDriver&) = delete;
    EngineDriver& operator=(const EngineDriver&) = delete;

    // Loads the plug-in file and creates an object of its first plug-in;
    // false with a one-line `error`.
    bool open(const std::string& pluginPath, std::string& error);
    // Sets the rate and block length and activates the object with the model
    // profiles at `profilePath` (empty: none). False when the object refuses.
    bool start(double rate, uint32_t block, const std::string& profilePath);
    bool isOpen() const;
    uint32_t outputCount() const { return outputs; }
    // The frames from an event to its sound at the last start (opcode 18).
    uint32_t latency() const { return latencyFrames; }

    // The object's parameter table (opcode 15). The object never writes a
    // table it has handed out, and keeps it for its life; an activation for
    // another preset version may hand out another one.
    const vantor::ParameterInfo* parameterTable(uint32_t& count);
    // The current value of every engine id (opcode 10), `count` at most.
    void readParameterMap(float* values, uint32_t count);
    // One extension command (opcode 20): the object's result.
    int32_t extension(void* record, uint64_t sizeField, uint64_t action);
    // The extension records the engine keeps (the parameter monitor, the
    // modulation-matrix text, the name table's entries 0-2, the pixel canvas
    // and the load-file record), host-owned and attached after the first
    // activation. `field` is the command's size field: the record's size, the
    // name-table key or the load-file slot.
    struct KeptRecord {
        uint32_t id;
        uint64_t field;
        size_t size;
        std::unique_ptr<uint8_t[]> bytes;
    };
    void attachKeptRecords();
    size_t keptRecordCount() const { return kept.size(); }
    const KeptRecord& keptRecord(size_t i) const { return kept[i]; }
    // The kept record for an extension id and field; null when none.
    const KeptRecord* findKeptRecord(uint32_t id, uint64_t field) const;
    KeptRecord* findKeptRecord(uint32_t id, uint64_t field);
    // Replaces a kept record's bytes (the rest zeroed, the id kept) and hands
    // it to the engine as an update.
    void restoreKeptRecord(uint32_t id, uint64_t field, const uint8_t* bytes, size_t n);
    // Hands kept record `i` to the engine again, as it is, as an update.
    void reattachKeptRecord(size_t i);
    // Has the engine load a media or patch file into slot 0 or 1 through a
    // load-file record; false when the path is too long or the engine refuses.
    bool loadFile(const char* path, int32_t slot);

    // Passes every extension-changed notification of the object to `fn`
    // (see EnginePluginInstance::ExtensionWatcher); kept across open.
    void setExtensionWatcher(void (*fn)(void* data, const void* record), void* data);

    // One block through the process entry; either list and `time` may be null.
    void process(float** outputs, int32_t frames, vantor::EnginePluginSDK::EventList* in,
                 vantor::EnginePluginSDK::EventList* out, const vantor::SyncInfo* time);

private:
    std::unique_ptr<EnginePluginLibrary> library;
    std::unique_ptr<EnginePluginInstance> instance;
    uint32_t outputs = 0;
    uint32_t latencyFrames = 0;
    std::vector<KeptRecord> kept;
    void (*watcher)(void*, const void*) = nullptr;
    void* watcherData = nullptr;
};

} // namespace morvane
