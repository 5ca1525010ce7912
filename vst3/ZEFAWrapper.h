// The engine bridge. The VST3 plug-in makes no sound itself: the Morvane
// Engine host, a bundle installed apart from the plug-in, holds the synthesis,
// the parameters, the presets and the instrument's own editor. One bridge per
// processor instance finds that bundle through the preferences, loads it,
// creates one engine instance in it and turns every engine opcode into a
// method. It also keeps two caches: the last plain value of every engine
// parameter and, on request, a private copy of the engine's state chunk.
//
// Start-up order: the product's data folder ("base_dir"), the process's log
// file (once per process), the engine path ("path" of "com.vantor.morvane"),
// the bundle and its morvaneOpcode, then opcodes 8, 9, 30/ENGINE_GET_INFO
// (only logged when it fails), 30/ENGINE_ADD_HOST_CALLBACK (or 32), 30/
// ENGINE_GET_CURRENT_PRODUCT and 11. A failing step ends start-up with a
// modal message carrying the step's error text (empty for engine failures).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/CFBundle.h"
#include "vst3/MorvaneInterface.h"
#include "vst3/SamplerPluginConfig.h"

namespace vantor {

class ZEFAWrapper {
public:
    // Plug-in format codes: they name the log file and decide whether the
    // engine's code is unloaded on teardown (only for kFormatPTEST).
    enum : uint16_t {
        kFormatSA = 64144,
        kFormatVST2X = 64145,
        kFormatVST3 = 64146,
        kFormatAU = 64147,
        kFormatAAX = 64148,
        kFormatMSVCTEST = 64149,
        kFormatCLAP = 64150,
        kFormatPTEST = 64151,
    };
    static constexpr size_t kDetailsSize = 128;
    // Entries the engine may announce for one program or preset list.
    static constexpr int32_t kMaxListEntries = 4096;

    ZEFAWrapper(uint16_t formatCode, uint16_t interfaceVersion, uint32_t parameterCount);
    // Sends opcode 10 for a live engine and lets go of the bundle; sends no 34.
    virtual ~ZEFAWrapper();

    ZEFAWrapper(const ZEFAWrapper&) = delete;
    ZEFAWrapper& operator=(const ZEFAWrapper&) = delete;

    // ---- Start-up and teardown ----------------------------------------------------
    // Starts the engine for the product `config`; create-record words from
    // words 3 and 4, or bytes 196 and 200 with `alternateWords`. Shows the
    // alerts and the failure message itself.
    bool init(int32_t sampleRate, int32_t maxBlock, const ZefaPluginConfig* config,
              bool alternateWords);
    // Loads the engine host (from the preferences when `enginePath` is null)
    // and runs the engine start-up opcodes. On failure `error` holds the
    // message, empty when the engine answered with a failure status.
    bool init_internal(int32_t sampleRate, int32_t maxBlock, uint64_t word0, uint64_t word1,
                       std::string& error, const char* enginePath, const std::string& baseDirectory,
                       const std::string& dataDirectory);
    // The callback record that start-up registers (no engine call).
    void setInitialHostCallback(ZefaHostCallback function, void* userData, uint64_t flags);
    // Ends the engine instance (opcode 10) and lets go of the bundle.
    void destroyEngine();
    // Level 2: an "E:" log line; level 1: an "I:" line; other levels nothing.
    static void log(const std::string& text, int level);

    // ---- Processing ------------------------------------------------------------------
    bool suspend(); // 12
    // Rate and block (11), then the latency query and mode (13); 13's result.
    bool resume(int32_t sampleRate, int32_t maxBlock, bool offline, ZefaEngineLatencyInfo* latency);
    bool setRandomOff();                                               // 14
    bool process(float** outputs, MIDIEvents* events, int32_t frames); // 15
    bool process(float** inputs, float** outputs, MIDIEvents* events, int32_t frames,
                 SyncInfo* syncInfo);          // 31
    bool process(ZefaEngineProcessEx* record); // 42
    bool setSettings(uint64_t sampleRate, uint64_t maxBlock, uint64_t inputs, uint64_t outputs);
    bool getLatencyInfo(ZefaEngineLatencyInfo& latency); // 38
    bool getEngineStats(ZefaEngineStats& stats);         // 20
    bool engineIdle();                                   // 36

    // ---- Parameters ------------------------------------------------------------------
    // Converts a host value to the plain value, caches it and sends it (37, 17).
    // Ids at or above the parameter count are refused.
    bool setAutomatableParameterValue(uint32_t id, float value, bool normalised);
    // The engine's value (16), packed for the host; `changed` when it differs
    // from the cached one. 0 for refused ids.
    float getAutomatableParameterValue(uint32_t id, bool normalised, bool& changed);
    float getAutomatableParameterValue(uint32_t id, bool normalised);
    // Reads every parameter into the value cache (16 each).
    void cacheAutomationParams();
    // The cached plain value; 0 for refused ids.
    float getCachedParameterValue(uint32_t id) const;
    bool getParameter(uint32_t id, uint32_t id2, uint32_t id3, float& value); // 16
    bool setParameter(uint32_t id, uint32_t id2, uint32_t id3, float value);  // 17
    // A copy of the engine's description of `id` (37).
    bool getAutomatableParameterInfo(uint32_t id, ParameterInfo& info);
    // The engine's name of the parameter (35), cut to size - 1 characters;
    // "p%03d" of the id when the engine gives none. True for an engine name.
    bool getParameterName(uint32_t id, uint32_t id2, uint32_t id3, char* buffer, size_t size);

    // ---- State -----------------------------------------------------------------------
    // The state chunk and its size: the cached copy when one exists, else the
    // engine's own block (18). 0 on failure. `keep` holds the cached copy
    // for as long as the caller keeps it, whatever other threads load or
    // cache meanwhile; the engine's block stays valid until this thread
    // saves the engine again.
    int32_t getChunk(const void*& chunk, std::shared_ptr<const void>& keep);
    // Replaces the cached copy with a fresh one from the engine; its size.
    int32_t getChunkSizeAndCache();
    // Hands the engine a chunk (19) and re-reads every parameter; raw status.
    int32_t setChunk(const void* bytes, size_t length);
    bool importFile(const std::string& path, int32_t slot); // 40
    // The keyboard description (39), copied whole.
    bool getExportKB(Zefa::ExportKB& out);

    // ---- Views -----------------------------------------------------------------------
    bool createViewTicket();                                      // 23 once
    bool createView(uint64_t owner, void* parent, bool embedded); // 25, then 21
    bool destroyView(uint64_t owner);                             // 22, then 24
    bool addView();                                               // 21
    bool removeView();                                            // 22
    bool idleView();                                              // 26
    bool getSize(int32_t& width, int32_t& height);                // 27
    bool viewfdnotify(int32_t fd);                                // 43
    bool timernotify(int32_t id);                                 // 44

    // ---- Host callbacks --------------------------------------------------------------
    // Stores the callback and registers it with a live engine (30/0x10007).
    bool addHostCallback(ZefaHostCallback function, void* userData, uint64_t flags);
    int32_t removeHostCallback(ZefaHostCallback function, void* userData); // 34, raw status
    // The bridge's own callback: forwards to hostCallback of the bridge in
    // `userData`.
    static int32_t ZEFA_HostOpcode(int32_t id, void* p1, void* p2, int32_t a, int32_t b, int32_t c,
                                   float f, void* userData);
    int32_t hostCallback(int32_t id, void* p1, void* p2, int32_t a, int32_t b, int32_t c, float f);

    // ---- Programs and presets (offered to other plug-in formats) ---------------------
    void* getPrograms();
    bool slotFilledBank(int32_t slot, std::string& name, int32_t& bank);
    bool setProgramBank(int32_t bank, const std::string& name, int32_t slot);
    bool setProgram(const std::string& name, int32_t slot);
    bool clearProgram(int32_t slot);
    const ZefaBank* getBanks(int32_t& count);
    const ZefaBankPrograms* getBankPrograms(int32_t bank);
    const ZefaPresetType* getPresetTypes(int32_t& count);
    const ZefaPresets* getPresets(const std::string& typeName);
    bool loadPreset(const ZefaPreset* preset, const std::string& typeName, const std::string& name,
                    int32_t slot, uint32_t flags);
    bool setISlotMIDIChannel(int32_t slot, int32_t channel);
    bool getISlotMIDIChannel(int32_t slot, int32_t& channel);

    // ---- State of the bridge ---------------------------------------------------------
    bool isReady() const { return m_ready; }
    bool isDestroying() const { return m_destroying.load(std::memory_order_relaxed); }
    void* getEngineHandle() const { return m_engine; }
    void* getViewHandle() const { return m_view; }
    uint64_t getViewOwner() const { return m_viewOwner; }
    uint16_t getFormatCode() const { return m_formatCode; }
    uint16_t getInterfaceVersion() const { return m_interfaceVersion; }
    uint32_t getParameterCount() const { return m_parameterCount; }
    std::string getEngineDetails() const;
    const std::string& getBaseDirectory() const { return m_baseDirectory; }
    const std::string& getDataDirectory() const { return m_dataDirectory; }
    const ZefaCurrentProduct& getCurrentProduct() const { return m_product; }
    const ZefaEngineInfo& getEngineInfo() const { return m_engineInfo; }

    // The log-name suffix of a format code ("_VST3" ...; empty for others).
    static const char* formatSuffix(uint16_t formatCode);

private:
    struct BankPrograms {
        ZefaBankPrograms head;
        std::vector<ZefaBankProgram> entries;
    };
    struct Presets {
        ZefaPresets head;
        std::vector<ZefaPreset> entries;
    };

    bool hasEngine() const { return m_opcode && m_engine; }
    // One opcode with the engine handle; a failure is logged.
    int32_t send(int32_t opcode, void* p1 = nullptr, void* p2 = nullptr, void* p3 = nullptr,
                 int32_t value = 0, float f = 0.0f, int64_t l1 = 0, int64_t l2 = 0);
    int32_t sendView(int32_t opcode, void* p1 = nullptr, int32_t value = 0, int64_t l2 = 0);
    int32_t sendCommand(int32_t subId, void* p1, void* p2 = nullptr);
    // The engine's constant description of `id` without copying it; null
    // when it has none.
    const ParameterInfo* describe(uint32_t id);
    bool loadBundle(const std::string& path, std::string& error);
    void setUpLog(const ZefaPluginConfig& config, const std::string& vendor,
                  const std::string& product) const;
    void freeLists();

    CFBundleRef m_bundle = nullptr;
    void* m_engine = nullptr;
    void* m_view = nullptr;
    uint64_t m_viewOwner = 0;
    MorvaneOpcodeFn m_opcode = nullptr;
    char m_details[kDetailsSize] = {};
    std::string m_baseDirectory;
    std::string m_dataDirectory;
    ZefaCreateRecord m_createRecord{};
    ZefaCurrentProduct m_product{};
    ZefaEngineInfo m_engineInfo{};
    ZefaCallbackRecord m_callbackRecord{};
    std::vector<ZefaPresetType> m_presetTypes;
    std::map<std::string, std::unique_ptr<Presets>> m_presets;
    std::vector<ZefaBank> m_banks;
    std::map<int32_t, std::unique_ptr<BankPrograms>> m_bankPrograms;
    uint32_t m_parameterCount;
    // Written from the audio thread, read from others: relaxed atomics, so a
    // reader may see the previous value but never a torn one.
    std::unique_ptr<std::atomic<float>[]> m_values;
    bool m_ready = false;
    uint16_t m_formatCode;
    uint16_t m_interfaceVersion;
    // The cached state chunk: replaced whole under m_chunkLock (host threads
    // only), and handed out shared so that a reader's copy outlives it.
    std::mutex m_chunkLock;
    std::shared_ptr<const std::vector<uint8_t>> m_chunk;
    // Moved on before and after each load: a copy read across a load is
    // not kept.
    uint64_t m_chunkLoads = 0;
    std::atomic<bool> m_destroying{false};
};

} // namespace vantor
