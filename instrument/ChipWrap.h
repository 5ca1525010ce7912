// The instrument object behind every "Brevado" handle: the console instrument
// as an engine plug-in. It owns seven console sound-system units (MD_Emu):
// units 0-5 carry the six voices, unit 6 plays media; all seven share unit 0's
// table of model profiles. It owns the console controller that turns host
// events into register writes, the output filters, the resampler and the
// re-blocking stage, and the mutex "ChipWrapMutex" that host commands hold
// while processing runs on the audio thread.
//
// Everything the host may read or automate is one space of 1792 engine ids:
// 128 pitch bend, 256-383 the wrapper settings below, 384-511 host timing
// values, 512-767 layer fields, 768-1023 controller parameters, 1024-1279
// chip-unit parameters, 1280-1791 automation-slot sub-parameters.
//
// Wrapper settings (id 256 + k): 0 clock index, 1 high-pass cutoff, 2 none,
// 3 clock detune in cents, 4 a stored integer, 5 resampler quality, 6 the
// chip output rate (reported only).
//
// The object's work is spread over ChipWrap.cpp (construction, activation,
// rates, settings), ChipWrapParams.cpp (parameter map and descriptions),
// ChipWrapExtensions.cpp (extension commands, master settings),
// ChipWrapListener.cpp (what the controller reports), ChipWrapProcess.cpp
// (the audio block), ChipWrapController.cpp (the controller's class and its
// commands) and ChipWrapSynth.cpp (the calls into the synth framework).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "emulators/ChipEmu.h"
#include "engine-support/Mutex.h"
#include "instrument/ChipController.h"
#include "instrument/ChipControllerListener.h"
#include "instrument/ChipWrapStereoFilter.h"
#include "instrument/EnginePluginSDK.h"
#include "instrument/HPFilter.h"
#include "instrument/LPFilter.h"
#include "instrument/LPFilterInverse.h"
#include "instrument/Repackager.h"
#include "instrument/SpeexProvider.h"
#include "instrument/UpsamplingStage.h"

namespace VSX {
class LayerManager;
class MasterSettingsListener;
class SynthBase;
class SynthController;
class SynthParams;
} // namespace VSX
namespace vantor {
class VNTFile;
}

namespace acme {

// Creates the console controller for the seven units; the one place that
// names the controller class.
std::unique_ptr<ChipController> makeChipController(std::vector<ChipEmu*>* units,
                                                   ChipControllerListener* listener);

class ChipWrap : public vantor::EnginePluginSDK::InstrumentPlugin,
                 public SRCSubRenderer<float>,
                 public ChipControllerListener,
                 public PixelCanvasListener {
public:
    using EventList = vantor::EnginePluginSDK::EventList;
    using Event = vantor::HDMIDIEvent;
    using ControllerFactory = std::unique_ptr<ChipController> (*)(std::vector<ChipEmu*>*,
                                                                  ChipControllerListener*);

    static constexpr uint32_t kEngineIdCount = 1792; // engine ids 0-1791
    static constexpr uint32_t kUnitCount = 7;
    static constexpr uint32_t kMaxChannels = 4;
    static constexpr uint32_t kEventCapacity = vantor::kEventListCapacity; // 2048
    // Events of blocks that found the mutex busy wait here for the next block
    // that gets it; beyond this many the newest are dropped.
    static constexpr uint32_t kCarryCapacity = 4096;
    // Processing information outside these bounds is refused and the previous
    // values stay.
    static constexpr double kMinRate = 8000.0;
    static constexpr double kMaxRate = 384000.0;
    static constexpr uint32_t kMaxBlockFrames = 65536;
    // The chips render in pieces of at most this many chip samples, whatever
    // the host's block length: it bounds every per-unit buffer and the
    // re-blocking stage (a few hundred kilobytes per instance in all).
    static constexpr uint32_t kMaxChipSamples = 8192;
    // Clock detune is clamped to this many cents either way.
    static constexpr double kMaxDetuneCents = 2400.0;
    static constexpr uint32_t kSliceQuantum = 4;
    static constexpr uint32_t kMaxSpan = 256;

    // "MD" builds the seven units and the controller; any other name builds
    // neither. `factory` replaces the controller (tests).
    ChipWrap(vantor::EnginePluginSDK::HostRecord* host, const char* emulatorName,
             ControllerFactory factory = makeChipController);
    ~ChipWrap() override;

    // ---- Host operations (EnginePluginSDK)
    uint32_t activate(uint64_t context, uint64_t reserved, uint32_t version) override;
    int32_t queryReady(uint32_t opcode, void* a) override;
    void releaseAll(uint64_t x, uint64_t y) override;
    // Takes rate and block when they are usable, then re-rates.
    void setProcessingInfo(const vantor::EnginePluginSDK::ProcessingInfo* info) override;
    vantor::ParameterInfo* getParameterInfo(uint32_t* count) override;
    void checkOutputConfig(const vantor::EnginePluginSDK::OutputConfig* config,
                           uint32_t* ok) override;
    void getParameterMap(EventList* destination) override;
    void process(float** outputs, int32_t frames, EventList* in, EventList* out,
                 vantor::EnginePluginSDK::TimeRecord* time) override;
    int32_t handleExtension(vantor::EnginePluginSDK::ExtensionCommand* command) override;
    void sendMidi(const vantor::EnginePluginSDK::MidiMessage* message) override;
    void forwardOpcode27(uint32_t opcode, void* a) override;
    void forwardOpcode28(uint32_t opcode, void* a) override;
    void setName(const char* text) override;
    int32_t importPatch(int32_t index, const char* path) override;
    int32_t exportPatch(int32_t index, const char* path) override;
    void applyMasterSetting(vantor::EnginePluginSDK::MasterSetting* setting) override;

    // ---- SRCSubRenderer<float>: `frames` chip-rate frames, filtered.
    void renderSub(float** buffers, uint64_t frames) override;
    // While the chain has settled to zero and the chips stay silent, moves
    // them on without rendering (ChipWrapIdle.cpp).
    bool renderOrSkip(float** buffers, uint64_t frames) override;

    // ---- ChipControllerListener (no lock: called inside processing or a
    // locked command)
    void notifySettingChanged(uint32_t k, double value) override;
    void chipParameterValue(uint64_t unit, uint32_t parameter, uint8_t mode, float value) override;
    void layerFieldValue(uint64_t layer, uint16_t field, uint8_t mode, float value) override;
    void controllerParameterValue(uint32_t index, uint8_t mode, float value) override;
    void syncValue(uint32_t id, uint8_t mode, float value) override;
    void automSlotValue(uint64_t slot, uint16_t sub, uint8_t mode, float value) override;
    void queueEvent(uint16_t argument, uint32_t kind, uint32_t id, float value) override;
    void paramInfoChanged(uint64_t x, uint64_t first, uint64_t last) override;
    void setNameText0(const char* text) override;
    void setNameText1(const char* text) override;
    void setModMatrixText(const char* text) override;
    void publishImageFile(const uint8_t* data, uint64_t size) override;
    void sendInfoBlock(const uint8_t* block) override;
    void notifyPacked(void* record, uint32_t low, uint32_t high) override;
    void hostRequest(void* argument) override;
    void setChannelGain(uint32_t channel, uint32_t n) override;
    void setLowPassCutoff(uint32_t channel, double hz) override;
    void setHighPassCutoff(uint32_t channel, double hz) override;

    // ---- PixelCanvasListener
    void canvasUpdated() override;

    // Wrapper setting k (the table above).
    void applyWrapperSetting(uint32_t k, double value);
    // Chip-unit parameter id - 1024 with its routing.
    void setChipParameter(uint32_t index, float value);
    // Re-tunes units, controller, resampler and filters to the clock and the
    // host rate; does nothing when neither changed, unless forced.
    void reRate(bool force);

    // Chip samples per render call for the current processing information.
    uint32_t maxChipSamples() const;
    const std::string& getEmulatorName() const { return emulatorName; }
    size_t unitCount() const { return units.size(); }
    ChipEmu* unit(size_t i) const { return i < units.size() ? units[i].get() : nullptr; }
    ChipController* getController() const { return controller.get(); }
    bool isActive() const { return active; }
    uint32_t getVersion() const { return version; }
    double getChipRate() const { return chipRate; }
    double getClockHz() const { return lastClockHz; }
    uint64_t getClockIndex() const { return clockIndex; }
    double getDetuneCents() const { return detuneCents; }
    int32_t getQuality() const { return quality; }
    double getHighPassCutoff(uint32_t ch) const { return ch < kMaxChannels ? hp[ch].cutoff : 0; }
    double getLowPassCutoff(uint32_t ch) const { return ch < kMaxChannels ? lp[ch].cutoff : 0; }
    float getOutputGain(uint32_t ch) const { return ch < kMaxChannels ? outputGains[ch] : 0; }
    size_t carriedEventCount() const { return carried.size(); }
    bool isResamplerReady() const { return resamplerReady; }
    // Whether the chain was last found settled to zero, so that silent
    // chips only move on instead of rendering.
    bool isSettled() const { return shortcut.settled; }
    vantor::Mutex& getMutex() { return mutex; }

private:
    // Holds "ChipWrapMutex" with a blocking lock for a host command's scope.
    struct ScopedLock {
        explicit ScopedLock(vantor::Mutex& m) : m(m) { m.lock(); }
        ~ScopedLock() { m.unlock(); }
        ScopedLock(const ScopedLock&) = delete;
        ScopedLock& operator=(const ScopedLock&) = delete;
        vantor::Mutex& m;
    };
    struct Segment {
        uint32_t kind; // 0 audio span, 1 event
        uint32_t frame;
        uint64_t length;
        Event event;
    };

    // ---- ChipWrap.cpp
    uint32_t outputCount() const;
    void setupFilters();
    // The stereo filter starts again from silence; the chip side's kept
    // answers are dropped (shortcut.invalidate()).
    void clearRenderState();
    // ---- ChipWrapParams.cpp
    void buildParameterMap();
    // Makes `table` the current description table, or the kept table that
    // says the same.
    void publishParameterTable(std::unique_ptr<std::vector<vantor::ParameterInfo>> table);
    // ---- ChipWrapProcess.cpp
    void takeEvents(const EventList* in, int32_t frames);
    void carryEvents(const EventList* in);
    void sliceEvents(uint32_t frames);
    void dispatchEvent(const Event& e, uint32_t frames);
    void appendSpans(uint64_t frames, uint32_t at);
    // Renders the chips ahead to the chip frame that the host frames pulled
    // so far reach through the resampler (and the upsampling stage), so that
    // an event dispatched now lands on a chip frame set by its host frame
    // alone, whatever the host's blocks.
    void renderToEventFrame();
    // The latency pair's word 6: the frames from an event to its sound.
    void updateLatency();
    // ---- ChipWrapListener.cpp
    void valueFeed(uint32_t key, uint8_t mode, float value);
    void setNameText(uint64_t key, const char* text);
    // ---- ChipWrapExtensions.cpp
    void notifyRecord(void* record, int64_t a = 1);
    int32_t loadFile(vantor::EnginePluginSDK::ExtensionCommand& command);
    int32_t nameTable(vantor::EnginePluginSDK::ExtensionCommand& command);
    int32_t modMatrix(vantor::EnginePluginSDK::ExtensionCommand& command);
    int32_t pixelCanvas(vantor::EnginePluginSDK::ExtensionCommand& command);
    void clearMonitor();

    // ---- ChipWrapController.cpp: console-controller operations beyond the
    // ChipController face.
    bool controllerOpenMedia(uint32_t slot, const char* path, uint64_t first);
    void controllerCommand(uint32_t id, double value);
    void controllerMasterCommand(uint32_t id, double value);
    void controllerAttachSysex(void* record, uint64_t size, uint32_t key);

    // ---- ChipWrapIdle.cpp
    // Counts the zero frames at the end of a rendered piece.
    void noteTail(float* const* buffers, uint32_t channels, uint64_t frames);
    // Whether every stage before the resampler and the resampler's memory
    // hold only zeros.
    bool chainSettled();
    // renderOrSkip once the chain has settled: the chips move on while they
    // stay silent, and render from where one sounds.
    bool skipWhileSettled(float** buffers, uint64_t frames);

    // ---- ChipWrapSynth.cpp: the synth framework's side, each a no-op
    // without the synth.
    void attachSynthViews();
    void synthMidi(uint8_t status, uint8_t data1, uint8_t data2);
    void synthNoteOn(uint16_t channel, uint32_t noteId, uint8_t key, float velocity, float tuning);
    void synthNoteOff(uint16_t channel, uint32_t noteId, uint8_t key);
    void synthExpression(uint16_t channel, uint32_t noteId, uint32_t type, float value);
    void synthStopVoice(uint16_t channel, uint32_t noteId, int32_t parameter, float value);
    void synthSetLayerField(uint64_t layer, uint16_t field, float value);
    float synthLayerField(uint64_t layer, uint16_t field);
    void synthSetParameter(uint32_t index, float value);
    void synthSetAutomSlot(uint64_t slot, uint16_t sub, float value);
    float synthAutomSlot(uint64_t slot, uint16_t sub);
    void synthSetModMatrix(const char* text, int32_t arg);
    void synthAddHostBuffer(bool first, void* record, uint64_t size);
    void synthReceiveDataBlock(void* record, uint64_t size, uint64_t key);
    void synthSetStoredFlag(uint8_t value);
    void synthCollectVoiceParameters(std::vector<vantor::ParameterInfo>& out);
    void synthCollectAutomSlotParameters(std::vector<vantor::ParameterInfo>& out);

    uint32_t interfaceVersion = vantor::EnginePluginSDK::kInterfaceVersion;
    uint8_t infoBlock[128] = {};
    std::unique_ptr<SpeexProvider> provider;
    std::unique_ptr<Repackager<float>> repackager;
    // Host rates above 48 kHz: the chain runs at baseRate and this stage
    // upsamples (`upsampling`); otherwise the main resampler goes straight
    // to the host rate.
    std::unique_ptr<UpsamplingStage> upsamplingStage;
    std::string emulatorName;

    // Rate state.
    int32_t quality = 0;
    int64_t roundedSetting = 0; // wrapper setting 4
    uint64_t clockIndex = 0;
    double lastClockHz = -1.0;
    double detuneCents = 0.0;
    double ratio = 1.0; // chip rate / host rate
    double chipRate = 0.0;
    double lastHostRate = 0.0;
    uint32_t baseRate = 0; // the rate the resampler converts the chip rate to
    bool upsampling = false;
    bool resamplerReady = false;

    std::vector<std::unique_ptr<ChipEmu>> units;
    std::vector<ChipEmu*> unitList; // the controller's view of `units`
    uint32_t version = 0;
    ChipInfo* chipInfo = nullptr; // the first unit's, borrowed
    bool active = false;
    uint32_t chipSamples = 0; // the pieces the chips render in (activation)

    std::unique_ptr<ChipController> controller;
    VSX::MasterSettingsListener* masterSettings = nullptr;
    VSX::SynthParams* synthParams = nullptr;
    VSX::SynthBase* synth = nullptr;
    VSX::SynthController* synthController = nullptr;
    VSX::LayerManager* layerManager = nullptr;

    float outputGains[kMaxChannels] = {1.0f, 1.0f, 1.0f, 1.0f};
    LPFilter lp[kMaxChannels];
    LPFilterInverse lpInverse[kMaxChannels];
    HPFilter hp[kMaxChannels];
    // Frames of busy blocks each high-pass has yet to run over (audio thread).
    uint64_t hpSilentFrames[kMaxChannels] = {};
    bool hpSilentOwed = false; // some hpSilentFrames are not zero
    ChipWrapStereoFilter stereoFir;          // 21 rotating states
    // kMaxChannels x (chipSamples + kSpreadCarry), then the carry: per
    // channel the kSpreadCarry frames the units added past the last piece,
    // where the next piece starts.
    std::unique_ptr<int32_t[]> accumulators;
    static constexpr uint32_t kSpreadCarry = ChipEmu::kSpreadCarry;
    size_t accumulatorStride() const { return size_t(chipSamples) + kSpreadCarry; }
    int32_t* carry(uint32_t c) const {
        return accumulators.get() + kMaxChannels * accumulatorStride() + size_t(c) * kSpreadCarry;
    }
    bool carryZero() const;
    // Whole FM samples of the piece being rendered, handed over as rows
    // (SpreadRows): chipSamples / 21 + 2 of them.
    std::unique_ptr<int32_t[][2][8]> spreadRows;
    // The chip side's shortcut state, in one record: the rows (whole FM
    // samples filtered from their rows, ChipWrapProcess.cpp) and the settled
    // chain (ChipWrapIdle.cpp). Of two kinds: what it owes (restOwed: the
    // rest of pendingRow's sample, paid into the frames of the next piece
    // not filtered from rows) and what it keeps (answers found from the
    // chain, all dropped by invalidate()).
    struct ShortcutState {
        // The row of the chip sample in progress at the end of the last
        // piece, and whether that sample's frames so far and the carry hold
        // nothing but rows (pendingRow is then that sample's).
        int32_t pendingRow[2][8] = {};
        bool rowsOnly = false;
        // After a piece filtered from rows, the carry of channels 0 and 1 is
        // the rest of pendingRow's sample from its frame restFrom, not
        // written out: a piece that is not filtered from rows adds it into
        // its frames.
        bool restOwed = false;
        uint32_t restFrom = 0;
        // Whether the carries of channels 0 and 1 are known to hold only
        // zeros (set by a piece filtered from rows): they are then not
        // copied in, and a piece filtered from rows leaves those
        // accumulators as it found them.
        bool carryClear = false;
        // Chip frames still to render without offering rows (after a piece
        // that held other sound as well).
        uint64_t rowsBackoff = 0;
        // Chip-rate frames rendered (or skipped) last that are all zero, and
        // whether the stages before the resampler are known to hold only
        // zeros.
        uint64_t zeroTail = 0;
        bool settled = false;

        // Drops every kept answer (the filter history or the accumulators
        // changed under them); they are found again from the chain. What is
        // owed stays.
        void invalidate() {
            rowsOnly = false;
            carryClear = false;
            settled = false;
        }
        // Adds the rest owed into the frames of a piece that starts where it
        // was cut (ChipWrapProcess.cpp); every piece not filtered from rows
        // pays it first.
        void payRest(int32_t* left, int32_t* right);
        // The chip moved on past the sample in progress without the rows
        // (a settled skip, whose rest was zero, or accumulators made anew):
        // nothing is owed, and the next sample is not pendingRow's.
        void leaveRow() {
            rowsOnly = false;
            restOwed = false;
        }
    };
    ShortcutState shortcut;
    static constexpr uint64_t kRowsBackoffFrames = 2048;
    // Renders one piece of the chip side into acc (and the rows) and runs
    // the chip-rate stage into out; see ChipWrapProcess.cpp.
    void renderPiece(int32_t** acc, float** out, uint32_t channels, uint64_t piece,
                     const float* taps);
    // The exact shortcuts (emulators/FastPaths.h) for the block being
    // processed: the switch is read once at the top of process, and every
    // stage of the block (re-blocking, idle skip, rows, stereo filter, the
    // controller's units) takes it from here.
    bool fastPaths = true;

    vantor::Mutex mutex;
    std::unique_ptr<EventList> parameterMap;
    // Every description table published (one per distinct set of
    // descriptions, never written once published) and the current one.
    std::vector<std::unique_ptr<std::vector<vantor::ParameterInfo>>> parameterTables;
    std::atomic<vantor::ParameterInfo*> parameterTable{nullptr};
    std::map<uint64_t, vantor::EnginePluginSDK::ExtensionHeader*> nameTableRecords;

    std::vector<Event> outgoing;
    std::vector<Event> incoming;
    std::vector<Segment> segments;
    std::vector<Event> carried; // events of busy blocks
    std::vector<Event> deferredMidi;
    float* discard[kMaxChannels] = {};
    std::unique_ptr<float[]> discardStorage;

    vantor::EnginePluginSDK::ExtensionHeader* monitor = nullptr;
    vantor::EnginePluginSDK::ExtensionHeader* modMatrixRecord = nullptr;
    vantor::EnginePluginSDK::ExtensionHeader* canvasRecord = nullptr;
    vantor::EnginePluginSDK::ExtensionHeader* loadFileRecord = nullptr;
    CanvasRecord canvas;
    std::unique_ptr<vantor::VNTFile> patchFile;
    std::string publishedImagePath;
};

} // namespace acme
