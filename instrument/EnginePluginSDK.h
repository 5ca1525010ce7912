// The base classes of an engine plug-in object. An engine host holds one C
// record per object (EnginePluginRecords.h); the record lives inside the object
// right after its first two words (the virtual table and the host-record
// pointer) and names the object, the dispatcher and the process entry. The
// dispatcher turns each host opcode into one virtual operation of the object:
// operation n is the virtual numbered n below (0-1 are the destructors).
//
// Plugin fills the host pointer and the C record; EffectPlugin adds the
// processing information, the seven information words the host reads and the
// operations 2-17; InstrumentPlugin adds the master settings and the note
// tuning the host may offer (18-21), also as the synth framework's
// VSX::NoteTuningSource.
#pragma once

#include <cstdint>

#include "instrument/EnginePluginRecords.h"
#include "synth/NoteTuningSource.h"
#include "vantor/ParameterInfo.h"

namespace vantor::EnginePluginSDK {

// The C record's dispatcher: acts on opcodes 0-28 of the object the record
// names; a null record, a null object or a larger opcode does nothing (0).
intptr_t dispatchEntry(PluginRecord* record, uint32_t opcode, void* a, void* b);
// The C record's process entry: hands its arguments to the object's process.
void processEntry(PluginRecord* record, float** outputs, int32_t frames, EventList* in,
                  EventList* out, TimeRecord* time);

// 12-tone equal temperament with key 69 at 440 Hz.
double equalTemperament(uint32_t key);

class Plugin {
public:
    virtual ~Plugin();

    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    // The handle the host holds; its address is the object's identity.
    PluginRecord* getRecord() { return &record; }
    HostRecord* getHost() const { return host; }

    // Calls the host back; 0 without a host record or callback.
    intptr_t hostCallback(int32_t opcode, int64_t a, void* b);
    // The host's interface version (host opcode 5); 2123 without a host.
    int32_t queryHostVersion();

protected:
    // Every engine plug-in object is an EffectPlugin: the dispatcher relies on it.
    explicit Plugin(HostRecord* host);

    HostRecord* host;
    PluginRecord record;
};

// Pointers from the host may be null. The dispatcher skips an operation whose
// record it would otherwise dereference (opcodes 2, 10, 12, 19, 21, 23) and
// every answer slot that is null; checkOutputConfig, getLatencyInfo,
// handleExtension, setName and the patch operations receive null pointers as
// the host gave them and check them themselves.
class EffectPlugin : public Plugin {
public:
    ~EffectPlugin() override;

    // 2: prepares the object for processing; the result goes back to the host.
    virtual uint32_t activate(uint64_t context, uint64_t reserved, uint32_t version) = 0;
    // 3: opcode 8; the result is the dispatcher's result.
    virtual int32_t queryReady(uint32_t opcode, void* a);
    // 4: opcodes 9 and 11.
    virtual void releaseAll(uint64_t x, uint64_t y);
    // 5: copies the record field by field (a null record changes nothing).
    virtual void setProcessingInfo(const ProcessingInfo* info);
    // 6: the parameter descriptions and their count (none here).
    virtual ParameterInfo* getParameterInfo(uint32_t* count);
    // 7: *ok = 0: no configuration is accepted here.
    virtual void checkOutputConfig(const OutputConfig* config, uint32_t* ok);
    // 8: *done = 1, the latency pair W5 / W6 into the record.
    virtual void getLatencyInfo(LatencyRecord* latency, uint32_t* done);
    // 9: copies the host parameter map.
    virtual void getParameterMap(EventList* destination) = 0;
    // 10: one audio block.
    virtual void process(float** outputs, int32_t frames, EventList* in, EventList* out,
                         TimeRecord* time) = 0;
    // 11: one extension command; 0 here.
    virtual int32_t handleExtension(ExtensionCommand* command);
    // 12-17: MIDI by record, two spare host hooks, the name, patch files (0).
    virtual void sendMidi(const MidiMessage* message);
    virtual void forwardOpcode27(uint32_t opcode, void* a);
    virtual void forwardOpcode28(uint32_t opcode, void* a);
    virtual void setName(const char* text);
    virtual int32_t importPatch(int32_t index, const char* path);
    virtual int32_t exportPatch(int32_t index, const char* path);

    const ProcessingInfo& getProcessingInfo() const { return processingInfo; }
    // W0..W6, answered by opcodes 7, 3, 4, 5, 6 and 18.
    uint32_t getInfoWord(int i) const { return infoWords[i]; }

protected:
    explicit EffectPlugin(HostRecord* host);

    ProcessingInfo processingInfo;
    uint32_t infoWords[7];
};

class InstrumentPlugin : public EffectPlugin, public VSX::NoteTuningSource {
public:
    ~InstrumentPlugin() override;

    // 18: one master setting (opcode 21).
    virtual void applyMasterSetting(MasterSetting* setting) = 0;
    // 19: the host's frequency for the key (host opcode 13). An answer that is
    // missing, 0, negative or not finite counts as none: equal temperament.
    double getNoteFrequency(uint32_t key) override;
    // 20: host opcode 14 with an 8-byte slot preset 0.0.
    double getNoteValue(uint32_t key) override;
    // 21: host opcode 14 with a one-byte slot preset 1.
    bool getNoteFlag(uint32_t key) override;

protected:
    explicit InstrumentPlugin(HostRecord* host);
};

} // namespace vantor::EnginePluginSDK
