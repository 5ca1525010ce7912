// The console instrument: a synth controller whose voices are whole console
// sound systems. Voice v (0-5) plays on emulator unit v, and each of the ten
// layers is one chip channel of that unit: L01-L06 the YM2612's FM channels
// 1-6, L07-L09 the PSG's tone channels, L10 its noise channel; in DAC mode
// ("L06 Instrument" set to "DAC") the YM2612's DAC plays samples in place of
// FM channel 6. Unit 6 belongs to media playback.
//
// The controller owns one set of chip sub-controllers per voice unit, the
// register mirrors of all seven units, the parameter shadows (the host's
// master shadow and one per voice unit, which the FM sub-controllers read
// their instruments A and B, pans and channel-3 settings from) and turns the
// layer events of the synth framework into register writes. Instruments C..P
// live in a block the host attaches. It also carries out the instrument
// commands (randomise, copy, capture from the media unit, import, export).
//
// Nothing here takes a lock of its own: the plug-in object serialises every
// call, and the two command entries lock the mutex they are handed.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine-support/Mutex.h"
#include "instrument/ChipController.h"
#include "instrument/ChipControllerListener.h"
#include "instrument/ChipSubController.h"
#include "instrument/ConsoleParameters.h"
#include "instrument/DCSG_group.h"
#include "instrument/OPN2Ch3_sub.h"
#include "instrument/OPN2_DAC_sub.h"
#include "instrument/OPN2_shadow.h"
#include "instrument/OPN2_sub.h"
#include "synth/AutomSlot.h"
#include "synth/LayerListener.h"
#include "synth/ParameterAction.h"
#include "synth/SynthController.h"
#include "vgm/PixelCanvas.h"

class MD_ctrl : public VSX::SynthController,
                public VSX::LayerListener,
                public VSX::AutomSlotListener,
                public VSX::ParameterActionListener,
                public ChipController,
                public ChipSubWriter,
                public ChipCDSysexReceiver {
public:
    static constexpr uint64_t kVoiceUnits = 6;
    static constexpr uint64_t kUnits = 7;
    static constexpr uint64_t kNoUnit = 7;
    static constexpr uint64_t kLayerCount = 10;
    static constexpr uint32_t kInstruments = 16; // A, B, C..P
    // The host block of instruments C..P: a size word at 4, the records from 32.
    static constexpr uint64_t kBlockHeader = 32;
    static constexpr uint64_t kBlockSize = kBlockHeader + 14 * sizeof(PatchRecord); // 7200
    static constexpr int32_t kFnumLimit = 1920;

    MD_ctrl(std::vector<ChipEmu*>* units, ChipControllerListener* listener);
    ~MD_ctrl() override;

    // ---- ChipController
    // Activation: the parameter table for `version` (0 = current), the voice
    // and layer set-up, MPE layout 0, every voice unit's registers cleared,
    // layer L01 on, every sub-controller refreshed.
    void resetForVersion(uint32_t version) override;
    bool isReady() override { return true; }
    bool releaseAllParts() override { return VSX::SynthController::releaseAllParts(); }
    // Silences the media unit and marks media playing.
    void resetMediaUnit() override;
    // Timer rate and the chip clocks that follow from it (index 3: the
    // YM2608-style clock).
    bool setClock(uint64_t index, double rate, double reference) override;
    // Reads instrument `instrument` (0-15) from a patch file by its extension
    // and size: "opm", "tfi" (42 bytes), "y12" (128), "dmp" (49 or 51),
    // "morvanep" (C..P only). False for anything else.
    bool importPatch(int32_t instrument, vantor::VirtualFile* file) override;
    // Writes instrument `instrument` as a 42-byte TFI file (".tfi" appended
    // unless the path ends in it).
    bool exportPatch(int32_t instrument, const char* path) override;
    // Keeps the first canvas (sized 320 x 224), installs the console palette
    // in it and shows the idle page; while a track is on display the picture
    // is cleared instead.
    void attachCanvas(CanvasRecord* canvas) override;
    // The media register write of the chip-controller face: the same as
    // mediaRegisterWrite.
    void writeMediaRegister(uint32_t chipType, uint64_t delta, uint32_t port, uint32_t reg,
                            uint32_t value) override {
        mediaRegisterWrite(chipType, delta, port, reg, value);
    }

    // ---- MediaCallback: the media player's chips play on unit 6
    // Type 0 silences the unit's PSG, type 101 the PSG and every FM
    // channel, any other type every FM channel.
    void mediaChipReset(uint32_t chipType) override;
    // Media plays: the unit's parts run at the track's clocks.
    void mediaActiveOn() override;
    // Media stops: the unit's parts are back at their own clocks.
    void mediaActiveOff() override;
    // A new track: the clocks of the one before no longer hold.
    void mediaTrackSelected(uint32_t trackIndex) override;
    // Sets the unit's PSG model and FM chip for a chip of the track (the
    // channels of a YM2203 sound on both outputs); DAC streams 84-99 raise
    // the stream count.
    void mediaChipSetup(uint32_t chipType, uint32_t variant, int64_t commandRate) override;
    // Clocks the unit's part that plays the chip (the FM chips, the PSG, the
    // AY; the OPN family's SSG on the AY) at the clock the track states.
    void mediaChipClock(uint32_t chipType, uint32_t clockHz) override;
    // One register write of the track, routed by chip type, port and
    // register to the unit's FM, PSG or AY part.
    void mediaRegisterWrite(uint32_t chipType, uint64_t delta, uint32_t port, uint32_t reg,
                            uint32_t value) override;
    // A DAC stream sample: targets 2 and 6 mix the streams into the DAC
    // register, any other target goes to the unit's output offset.
    void mediaDacWrite(uint32_t chipType, uint8_t channel, int16_t left, int16_t right) override;
    // Copies the track's PCM blocks into the host sample record under key 0
    // and hands it to the DAC sub-controllers and the host.
    void mediaDataBlock(const std::vector<VGM::DataBlock>* blocks) override;

    // ---- Own operations
    // One register write to unit `unit` (ports 0 and 1 are mirrored first).
    void writeRegister(uint64_t unit, uint8_t reg, uint8_t value, uint64_t port) override;
    // Instruments C..P: a host record of `size` bytes (its size word becomes
    // 7200). A record too small for fourteen instruments is refused.
    void attachInstrumentBlock(void* record, uint64_t size, uint64_t key) override;
    // 0 MPE layout, 1 F-number limit, 2 register monitor; under `mutex`.
    void masterCommand(uint32_t id, vantor::Mutex* mutex, double value) override;
    // Randomise, copy and capture instruments; under `mutex`.
    void command(uint32_t id, vantor::Mutex* mutex, double value) override;
    // Sets the layer targets and zone sizes of MPE layout m (0-3) and resets.
    void setMpeLayout(int64_t m);
    // Pushes the master shadow's instrument (0 A, 1 B, -1 all) to the
    // parameters, or rebinds the channels that play instrument 2..15.
    void applyPatch(int32_t instrument);

    // ---- VSX::SynthController
    // A host value for parameter `index`: the actions of the index, and the
    // master shadow (indices up to 171).
    void setParameter(uint16_t index, float value) override;
    void onModTargetResolved(uint32_t kind, uint64_t index, uint16_t parameterIndex) override;
    void receiveDataBlock(void* data, uint64_t size, uint64_t key) override;
    void refreshVoiceMask(uint64_t part) override;

    // ---- VSX::AutomSlotListener: a slot field of some lane got a modulated value.
    void onAutomSlotModulated(uint64_t slot, uint16_t field, bool modulated) override;

    // ---- VSX::ParameterActionListener: the value of parameter `index` for voice `owner`.
    void onParameterAction(float value, uint64_t owner, uint16_t index, bool modulated) override;

    // ---- VSX::LayerListener
    void onLayerVoicePitch(uint64_t slot, uint64_t layer) override;
    void onLayerVoiceAmplitude(uint64_t slot, uint64_t layer) override;
    void onLayerVoiceStart(uint64_t slot, uint64_t layer, uint8_t key) override;
    void onLayerVoiceRelease(uint64_t slot, uint64_t layer) override;
    void onLayerVoiceVelocity(uint64_t slot, uint64_t layer) override;
    void onLayerVoiceRetrigger(uint64_t slot, uint64_t layer, uint8_t key) override;
    void onKeyCoverage(const uint8_t* map) override;
    // L10 offers amplitude targets only.
    uint32_t getLayerTargets(uint64_t layer) override { return layer == 9 ? 12 : 15; }
    void onLayerParameterModulated(uint64_t layer, uint16_t kind, int on) override;

    // The record of instrument 0-15 in the master shadow or the block; null
    // for C..P without a block and for other numbers.
    PatchRecord* instrumentRecord(int64_t instrument);
    // Reads FM channel c (0-5) of the media unit's mirror into `record`; the
    // master "LFO Rate" and, for channel 3 in its special mode, the master
    // channel-3 settings follow it.
    void captureChannel(uint64_t channel, PatchRecord& record);
    // The sub-controller that plays layer `layer` of voice unit `unit`.
    ChipSubController* layerSub(uint64_t unit, uint64_t layer) const {
        return unit < kVoiceUnits && layer < kLayerCount ? layerSubs[unit][layer] : nullptr;
    }
    console::ConsoleShadow& masterShadow() { return shadows[0]; }
    console::ConsoleShadow& voiceShadow(uint64_t unit) { return shadows[1 + unit]; }

    uint32_t version = console::kCurrentVersion;
    bool ready = false;
    float fmClock = 8000000.0f;
    float psgClock = 3579545.0f;
    uint64_t monitoredUnit = kNoUnit;
    int64_t monitoredPart = -1;         // the part whose modulated values the monitor shows; -1 any
    uint8_t* instrumentBlock = nullptr; // the host's, not owned
    std::array<console::ConsoleShadow, kUnits> shadows{};
    std::array<OPN2_shadow, kUnits> mirrors{};
    CanvasRecord* canvas = nullptr; // the host's, not owned
    std::array<std::array<std::unique_ptr<OPN2_sub>, 6>, kVoiceUnits> fm;
    std::array<std::unique_ptr<OPN2_DAC_sub>, kVoiceUnits> dac;
    bool dacMode = false;
    struct DataBlock {
        uint8_t* record;
        uint64_t size;
    };
    std::map<uint64_t, DataBlock> dataBlocks; // the host's records
    const uint8_t* dacRecord = nullptr;       // the record the DACs play
    std::array<DCSG_group, kVoiceUnits> psg;
    std::array<std::array<ChipSubController*, kLayerCount>, kVoiceUnits> layerSubs{};
    // Instrument (0-15) each FM channel of each unit plays.
    std::array<std::array<int32_t, 6>, kVoiceUnits> channelInstrument{};
    uint8_t mediaDacBytes[16] = {};
    uint64_t mediaStreamCount = 1;
    bool mediaActive = false;
    // What the track's chips run at, in Hz (0: the unit's own clock): the FM
    // chip's sample rate, the PSG clock and the AY clock (the OPN family's
    // SSG as an AY).
    struct MediaClocks {
        double fmRate = 0.0;
        double psg = 0.0;
        double ay = 0.0;
    } mediaClocks;
    // The unit's parts a track's chips play on: FM channels 1-3, FM channels
    // 4-6, and the PSG output (its SN76489 or its AY, one at a time). Each
    // part goes to the first chip of the track that needs it; a part nobody
    // took yet takes any chip's writes.
    enum MediaPart : uint8_t { kPartFmLow = 1, kPartFmHigh = 2, kPartPsg = 4 };
    static constexpr uint32_t kNoOwner = UINT32_MAX;
    static constexpr uint32_t kWithheld = UINT32_MAX - 1; // written by no chip
    std::array<uint32_t, 3> mediaPartOwner = {kNoOwner, kNoOwner, kNoOwner};
    // The parts each chip type of the track asked for and got (types below 256).
    std::array<uint8_t, 256> mediaPartsWanted{};
    std::array<uint8_t, 256> mediaPartsGot{};
    // Whether chip `type` may write `part`: it holds it, or nobody does.
    bool mediaWrites(uint32_t type, MediaPart part) const;
    // What of the announced chips the unit does not play, e.g. "AY8910 (its
    // part plays the YM2203)"; empty when it plays them all. Names come from
    // the track's chip records.
    std::string mediaUnplayed(const VGM::MediaTrack& track) const override;
    std::array<VSX::LayerRecord, kLayerCount> layerRecords{};

private:
    // Binds FM channel c of unit u to instrument `instrument` (A's record of
    // the unit's shadow while a C..P choice has no block).
    void bindChannel(uint64_t u, uint64_t c, int32_t instrument);
    void setDacMode(bool on);
    // The part voice that plays a layer slot (the slot itself when none took it).
    uint64_t voiceOfLayerSlot(uint64_t layer, uint64_t slot) const;
    VSX::VoiceManager* layerVoiceManager(uint64_t layer);
    float velocityGain(uint64_t slot, uint64_t layer);
    void clearVoiceUnitRegisters(uint64_t u);
    void sendRegister(uint64_t unit, uint8_t reg, uint8_t value, uint64_t port = 0);
    // Key-off of the FM channels of `parts` on unit 6, and timer-A keying
    // off with channels 1-3.
    void mediaFmOff(uint8_t parts = kPartFmLow | kPartFmHigh);
    // Both outputs on for the three FM channels of `bank` of unit 6.
    void mediaPansOn(uint64_t bank);
    // Clocks the media unit's parts at the track's clocks (or, with
    // `track` false, at their own) relative to the unit's nominal frame
    // rate, so the instrument's tuning applies to media as before.
    void clockMediaUnit(bool track);
    bool runCommand(uint32_t id, double value);
};

// The console controller the plug-in object creates for its units (units
// 0-5 the voices, 6 media) and its listener.
std::unique_ptr<MD_ctrl> makeConsoleController(std::vector<ChipEmu*>* units,
                                               ChipControllerListener* listener);
