// One engine instance of the substitute engine host "Morvane Engine": what
// the VST3 plug-in's engine bridge creates with opcode 9 and drives through
// morvaneOpcode until opcode 10. It holds one "Brevado" object (EngineDriver)
// and stands between it and the plug-in side:
//
// - processing (15, 31, 42) converts the plug-in side's event list into the
//   engine's, puts the parameter writes since the last block in front of it,
//   renders into the instance's own buffers (the engine writes as many
//   channels as it has, the plug-in side may have fewer) and copies them out;
//   the values the engine reports in its out list update the parameter values
//   and are never fed back in. A 0-frame call delivers the events alone;
// - parameters are read and written by VST3 id (16, 17, 35, 37; see
//   HostParameterIds.h); writes reach the engine as parameter events at the
//   start of the next block, descriptions are the engine's own table;
// - state (18, 19) is the chunk of EngineStateChunk.h: every engine id that
//   holds a setting and every extension record the engine keeps; the bytes a
//   save hands out stay valid until the same thread saves this engine again
//   (or the thread or the engine ends), whatever other threads save meanwhile;
// - the rest: rate and block (11, 33), latency (13, 38), the keyboard export
//   (39), host callbacks (30/0x10007, 32, 34), product and engine information
//   (30/0x10000, 0x10003), file import (40).
//
// The engine's pixel canvas (the kept canvas record) is handed to the views:
// when the engine reports the record changed (its notification comes on the
// thread that drew, the audio thread among them), the picture is copied once
// at the end of that call into a spare of three buffers and swapped into the
// hand-over slot; a view's UI thread swaps it out from there. Neither side
// waits for the other.
//
// Threads: 17, 37 and 42 come on the audio thread, 16, 18, 19 and 39 on
// others. The instance's lock is held by everything that touches the engine
// object; the audio thread only tries it (a busy lock gives a silent block
// whose events are kept for the next one), parameter writes and reads go
// through atomics, and nothing on the audio path allocates.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "enginehost/EngineDriver.h"
#include "enginehost/EngineStateChunk.h"
#include "enginehost/EventLists.h"
#include "enginehost/HostParameterIds.h"
#include "vst3/MorvaneInterface.h"

namespace morvane {

// Failure statuses of morvaneOpcode (0 is success).
enum MorvaneStatus : int32_t {
    kStatusOk = 0,
    kStatusBadHandle = 1,     // no live engine or view behind the handle
    kStatusUnknownOpcode = 2, // an opcode or sub-id this host does not answer
    kStatusBadArgument = 3,   // a null pointer, an id or a value out of range
    kStatusBadRecord = 4,     // a record whose version, sizes or counts do not hold
    kStatusEngineFailed = 5,  // the engine plug-in refused
    kStatusNotFound = 6,      // nothing registered under what was named
};

// A copy of the engine's pixel canvas: the size it was drawn at, the three
// palette planes and one palette index per pixel, rows of `width` bytes.
struct CanvasPicture {
    static constexpr uint32_t kMaxWidth = 640;
    static constexpr uint32_t kMaxHeight = 480;
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t red[256] = {};
    uint8_t green[256] = {};
    uint8_t blue[256] = {};
    uint8_t pixels[kMaxWidth * kMaxHeight] = {};
};

class MorvaneEngine {
public:
    static constexpr int32_t kDefaultRate = 44100;
    static constexpr uint32_t kDefaultBlock = 1024;
    static constexpr uint32_t kDefaultChannels = 2;
    static constexpr uint32_t kMaxChannels = 8;
    static constexpr int32_t kMinRate = 8000;
    static constexpr int32_t kMaxRate = 384000;
    static constexpr uint32_t kMaxBlock = 4096;
    static constexpr size_t kMaxCallbacks = 8;

    // Opcode 9: an engine for the create record with the engine plug-in at
    // `pluginPath` and the model profiles at `profilePath` (may be missing).
    // Null with `error` set when the record or the plug-in fails.
    static std::unique_ptr<MorvaneEngine> create(const vantor::ZefaCreateRecord& record,
                                                 const std::string& pluginPath,
                                                 const std::string& profilePath,
                                                 std::string& error);
    ~MorvaneEngine();
    MorvaneEngine(const MorvaneEngine&) = delete;
    MorvaneEngine& operator=(const MorvaneEngine&) = delete;

    // ---- Set-up (host threads) -------------------------------------------------------
    int32_t setRateAndBlock(int32_t rate, int64_t block);             // 11
    int32_t setSettings(const vantor::ZefaEngineSettings* settings);  // 33
    int32_t resume(vantor::ZefaEngineLatencyInfo* latency);           // 13
    int32_t getLatency(vantor::ZefaEngineLatencyInfo* latency) const; // 38
    int32_t getStats(vantor::ZefaEngineStats* stats) const;           // 20
    int32_t command(int32_t subId, void* p1, void* p2);               // 30
    int32_t addHostCallback(vantor::ZefaHostCallback fn, void* data, uint64_t flags);
    int32_t removeHostCallback(vantor::ZefaHostCallback fn, void* data); // 34
    int32_t importFile(const char* path, int32_t slot);                  // 40

    // ---- Audio thread ----------------------------------------------------------------
    // 15, 31, 42: one block; `events` and `syncInfo` may be null.
    int32_t process(float** outputs, const vantor::MIDIEvents* events, int32_t frames,
                    const vantor::SyncInfo* syncInfo);
    int32_t setParameter(int32_t hostId, float value, int64_t l1, int64_t l2);          // 17
    int32_t getParameterInfo(int32_t hostId, const vantor::ParameterInfo** info) const; // 37

    // ---- Other threads ---------------------------------------------------------------
    int32_t getParameter(int32_t hostId, float* value, int64_t l1, int64_t l2) const; // 16
    int32_t getParameterName(int32_t hostId, const char** name) const;                // 35
    int32_t getChunk(const void** chunk, int32_t* size);                              // 18
    int32_t setChunk(const void* bytes, int32_t length);                              // 19
    int32_t getExportKB(const vantor::Zefa::ExportKB** exported) const;               // 39

    // ---- The pixel canvas (UI threads) -----------------------------------------------
    // Copies the canvas into `picture` when the engine drew a newer one than
    // the copy numbered `seen` (0: none yet), and moves `seen` on; false when
    // there is nothing newer.
    bool readCanvas(CanvasPicture& picture, uint64_t& seen);

    const std::string& getBaseDirectory() const { return baseDirectory; }
    const std::string& getPluginPath() const { return pluginPath; }
    uint32_t getMaxBlock() const { return maxBlock.load(); }
    // Reads the values the engine reported in an out list (also used by
    // tests to hand the instance an out list of their own).
    void takeEngineOutput(const EngineEventList& out);

private:
    MorvaneEngine() = default;
    // Sets rate and block and activates the engine; an engine that was
    // already running gets its kept records and settings again. Under the
    // engine's lock.
    bool start(int32_t rate, uint32_t block, uint32_t channels);
    // Hands every kept record and every stored setting to the engine again.
    void reapplyState();
    // Stored settings to the engine as parameter events of 0-frame blocks,
    // their values kept.
    void sendSettings(const std::vector<EngineStateChunk::Parameter>& settings);
    void buildExportKB();
    void log(const std::string& text, int32_t level);
    // The engine's extension-changed notification: marks the canvas drawn.
    static void extensionChanged(void* engine, const void* record);
    // When the canvas was drawn during this call: copies it to the spare
    // buffer and hands it over. Under the engine's lock.
    void publishCanvas();
    // The description behind a VST3 id; null when it has none.
    const vantor::ParameterInfo* describe(uint32_t hostId) const;

    struct Callback {
        vantor::ZefaHostCallback function;
        void* userData;
        uint64_t flags;
    };

    std::mutex lock; // the engine's lock
    EngineDriver driver;
    std::string baseDirectory;
    std::string dataDirectory;
    std::string pluginPath;
    std::string profilePath;
    int32_t rate = kDefaultRate;
    // Read by the audio thread before it holds the lock.
    std::atomic<uint32_t> maxBlock{kDefaultBlock};
    std::atomic<uint32_t> hostChannels{kDefaultChannels};
    // The engine's latency at the last set-up (opcode 18 of the engine
    // plug-in), answered without the lock.
    std::atomic<int32_t> latencyFrames{0};

    // Engine buffers, one per engine channel, of maxBlock frames.
    std::vector<float> buffers;
    std::vector<float*> channelPointers;
    std::unique_ptr<EngineEventList> in;
    std::unique_ptr<EngineEventList> out;
    // Events of blocks that found the lock busy, delivered at the next block.
    std::unique_ptr<EngineEventList> carried;

    // The engine's description table, read again after every activation;
    // its records are never written while the engine stands.
    std::atomic<const vantor::ParameterInfo*> table{nullptr};
    std::atomic<uint32_t> tableCount{0};
    bool started = false; // activated once: later starts give the sound back
    // The engine's values by engine id, written only under the engine's
    // lock (blocks, state loads, what the engine reports). The host's writes
    // wait by VST3 id until a block hands them to the engine: a write is
    // pending while `writes` differs from `delivered`, and until then it is
    // the value the host reads, so a set-up or an engine report meanwhile
    // cannot undo it.
    std::unique_ptr<std::atomic<float>[]> values;
    std::unique_ptr<std::atomic<float>[]> written;
    std::unique_ptr<std::atomic<uint32_t>[]> writes;
    std::unique_ptr<std::atomic<uint32_t>[]> delivered;
    // The value the host sees for an engine id: its pending write, if any.
    float hostValue(uint32_t engineId) const;

    // State saves (18) hand out a pointer to bytes the caller copies after
    // the lock is released: each thread that saves gets its own copy, kept
    // until that thread's next save (or its end), so overlapping saves never
    // free what another is still copying, however many threads save. A
    // thread is known by a token that lives as long as the thread; the
    // copies of ended threads go at the next save. Under the engine's lock.
    struct SavedChunk {
        std::weak_ptr<const void> thread;
        const void* token = nullptr; // the thread's token, compared only
        std::vector<uint8_t> bytes;
    };
    std::vector<SavedChunk> savedChunks;
    // The calling thread's copy; drops the copies of threads that ended.
    SavedChunk& savedChunkOfThisThread();
    std::unique_ptr<vantor::Zefa::ExportKB> exportKB;

    std::mutex callbackLock;
    Callback callbacks[kMaxCallbacks] = {};

    // The canvas hand-over: three pictures, one being written (canvasBack,
    // under the engine's lock), one in the slot and one being read
    // (canvasFront, under canvasReadLock). The slot holds the index of its
    // picture and kCanvasChanged while that picture has not been taken.
    static constexpr uint32_t kCanvasChanged = 4;
    const void* canvasRecord = nullptr; // the kept canvas record
    bool canvasDrawn = false;           // under the engine's lock
    std::unique_ptr<CanvasPicture[]> canvasPictures;
    uint32_t canvasBack = 0;
    std::atomic<uint32_t> canvasSlot{1};
    std::mutex canvasReadLock;
    uint32_t canvasFront = 2;
    uint64_t canvasNumber = 0; // of the front picture; under canvasReadLock
};

} // namespace morvane
