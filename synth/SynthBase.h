// The lower half of the multi-part synth controller: the parameter table and
// its lookup by name, one bank of modulation sources per part (per-voice
// note values, mono note values, controllers, pressure, program, bends),
// the MPE member modulators of the two zones, the fifteen automation slots,
// the per-parameter action table that modulation routes attach to, the text
// of the modulation matrix and the routes built from it, and the hooks
// through which the controller and the instrument take part. Controllers
// derive from it and add voices, layers and MIDI.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "synth/AutomSlot.h"
#include "synth/ModMatrixEntry.h"
#include "synth/Modulator.h"
#include "synth/ParameterAction.h"
#include "synth/SyncProvider.h"
#include "vantor/ParameterInfo.h"

namespace vantor {
class Mutex;
class QuantumManager;
} // namespace vantor

namespace VSX {

class ModAction;
class NoteTuningSource;

// The parameter table, in index order.
class SynthParams {
public:
    virtual ~SynthParams() = default;
    // The first labelled record whose upper-cased label is exactly the
    // `length` bytes of `name` (callers pass upper-case text); *index gets
    // its position, or 0xFFFF and null when none matches.
    virtual vantor::ParameterInfo* findParameter(const char* name, size_t length, uint16_t* index);

    std::vector<vantor::ParameterInfo> parameters;
};

// Current frequency of a part's voice, for sources that follow the pitch.
class PitchProvider {
public:
    virtual ~PitchProvider() = default;
    virtual float getVoiceFrequency(uint64_t part, uint64_t voice) = 0;
};

// Settings that apply to every part of the synth.
class MasterSettingsListener {
public:
    virtual ~MasterSettingsListener() = default;
    virtual void setPitchBendRange(float cents) = 0;
    virtual void setGlobalCents(float cents) = 0;
    virtual void setVoiceCount(uint64_t n) = 0;
    virtual void setMonoRetrigger(uint8_t on) = 0;
    virtual void setVelocitySensitivity(float sensitivity) = 0;
    virtual void setNoteTuningSource(NoteTuningSource* source) = 0;
    virtual void setVoiceMode(uint32_t mode) = 0;
    virtual void setFixedPitchKey(uint8_t key) = 0;
    virtual void setMonoVelocityUpdate(uint8_t on) = 0;
    // The instrument's own command entries, run under `mutex` (the ids and
    // their effects belong to the instrument; none by default).
    virtual void masterCommand(uint32_t /*id*/, vantor::Mutex* /*mutex*/, double /*value*/) {}
    virtual void command(uint32_t /*id*/, vantor::Mutex* /*mutex*/, double /*value*/) {}
};

// The modulation sources of one part. A voice is a slot 0..5 of the part's
// voice manager.
struct PartModBank {
    static constexpr size_t kVoices = 6;
    static constexpr size_t kExpressions = 8; // EXP_VOLUME .. EXP_EXTRA

    PartModBank();
    ~PartModBank();
    PartModBank(const PartModBank&) = delete;
    PartModBank& operator=(const PartModBank&) = delete;

    std::array<ModAction*, 15> modActions{}; // "STEP" n sources, made by the matrix
    std::array<std::unique_ptr<MIDI7Modulator>, 128> cc;
    std::array<GenericFloatModulator, kVoices> polyAlt;
    std::array<KeyTrackModulator, kVoices> polyKeyTrack;
    std::array<MIDI7ModulatorRaw, kVoices> polyKey;
    std::array<MIDI7Modulator, kVoices> polyVelocity;
    std::array<RandomModulator, kVoices> polyRandom;
    std::array<MIDI7Modulator, kVoices> polyAftertouch;
    std::array<std::array<GenericFloatModulator, kVoices>, kExpressions> expression;
    GenericFloatModulator monoAlt;
    KeyTrackModulator monoKeyTrack;
    MIDI7Modulator monoVelocity;
    MIDI7ModulatorRaw monoKey;
    RandomModulator monoRandom;
    MIDI7Modulator channelPressure;
    MIDI7ModulatorRaw programChange;
    PitchBendModulator pitchBend;
    PitchBendPosModulator pitchBendPos;
    PitchBendNegModulator pitchBendNeg;
    uint8_t altToggle = 0;
    uint64_t part = 0; // part number the bank's controller events report
};

// A host data block that "STEP" sources and curves read.
struct DataBlockEntry {
    void* block = nullptr; // shared with the host, not owned
    uint32_t reserved = 0; // the block's size in bytes as the host gave it; 0 = its layout's
    uint8_t used = 0;
};

class SynthBase : public SynthParams, public PitchProvider, public MasterSettingsListener {
public:
    static constexpr size_t kParts = 10;
    static constexpr size_t kMpeParts = 2;
    static constexpr size_t kMpeVoices = 16;
    static constexpr float kMidi7 = 0.007874016f; // 1/127
    static constexpr size_t kAutomSlots = 15;

    SynthBase();
    ~SynthBase() override;
    SynthBase(const SynthBase&) = delete;
    SynthBase& operator=(const SynthBase&) = delete;

    // Sets a parameter's value and pushes it to its actions.
    virtual void setParameter(uint16_t index, float value) = 0;
    virtual void processMidiEvent(uint8_t status, uint8_t data1, uint8_t data2) = 0;
    // Called before a new modulation-matrix text is stored.
    virtual void beforeModMatrixReset() {}
    // Destinations whose record has math bit 0x80; none here.
    virtual bool addSpecialModRoute(const ModMatrixEntry& /*entry*/) { return false; }
    // A matrix destination resolved: kind 0 parameter, 1 automation-slot
    // field, 3 layer field.
    virtual void onModTargetResolved(uint32_t /*kind*/, uint64_t /*index*/,
                                     uint16_t /*parameterIndex*/) {}
    // Installs one matrix entry; true when the destination was known.
    virtual bool addModRoute(const ModMatrixEntry& entry);
    // Drops every route: action routes cleared, modulators inactive, block
    // marks cleared.
    virtual void clearModRoutes();
    virtual int32_t getHeldKeyCount(uint64_t part) = 0;
    virtual uint64_t getVoiceCount(uint64_t part) = 0;
    virtual uint64_t getActiveVoiceCount(uint64_t part) = 0;

    // The note-on values of a part's voice (alternation, key track,
    // velocity, key, random; per voice, then mono), each published.
    void noteOnModulators(uint64_t part, uint64_t voice, uint8_t key, uint8_t velocity);
    // Channel bend -1..1 into PB, PB_POS and PB_NEG.
    void setPitchBend(uint64_t part, float bend);
    // Controller n = value/127, only when the matrix made its modulator.
    void setControllerValue(uint64_t part, uint8_t controller, uint8_t value);
    void setChannelPressure(uint64_t part, uint8_t value);
    void setProgram(uint64_t part, uint8_t program);
    void setPolyAftertouch(uint64_t part, uint64_t voice, uint8_t value);
    // A per-voice note-expression value (kinds 0..7), published as is.
    void setExpression(uint64_t part, uint64_t voice, uint32_t kind, float value);
    // MPE member pressure and controller 74 of a zone part's voice (value/127).
    void setMpePressure(uint64_t part, uint64_t voice, uint8_t value);
    void setMpeTimbre(uint64_t part, uint64_t voice, uint8_t value);
    // Controller n's modulator of a part, made (inactive) on first use; a
    // modulator that already holds a value other than 0 becomes active.
    MIDI7Modulator* useControllerModulator(uint64_t part, uint8_t controller);
    // Every modulator of the bank but the alternation ones becomes inactive.
    void resetPartBank(uint64_t part);
    PartModBank* bank(uint64_t part) { return part < kParts ? &banks[part] : nullptr; }
    PitchBendModulator* mpePitchBendModulator(uint64_t part, uint64_t voice);
    MIDI7Modulator* mpePressureModulator(uint64_t part, uint64_t voice);
    MIDI7Modulator* mpeTimbreModulator(uint64_t part, uint64_t voice);

    // Modulation matrix. Stores a new text (empty for none), rebuilds every
    // route from it, then gives the data blocks it does not name their
    // default contents.
    void setModMatrixText(const char* text, int32_t arg);
    // Drops all routes and installs one route set per line of the stored
    // text; slots that are on get their mod actions running.
    virtual void parseModMatrix();
    // Routes an entry's source (and control) to the first action, or to one
    // action per voice, for one part. "STEP" sources make the part's mod
    // action for that slot when it is missing.
    virtual void installModRoute(uint64_t part, std::vector<ParameterAction>& actions,
                                 const ModMatrixEntry& entry);

    // Automation slots. Labels slot `slot`'s records with number n and binds
    // its lanes to the listener; may run again once the routes are cleared.
    virtual void initAutomSlotParams(uint64_t slot, uint64_t n, AutomSlotListener* listener);
    // Switches slot n; its mod actions start and are scheduled (cookie
    // part x 256 + n), or are unscheduled. Nothing when the slot is already
    // in that state.
    virtual void setAutomSlotActive(uint64_t n, bool on);
    // Fields 1-14 of slot n (field 0 is the switch above); slots above 14
    // are ignored and read 0.
    virtual void setAutomSlotParam(uint64_t n, uint16_t field, float value);
    virtual float getAutomSlotParam(uint64_t n, uint16_t field);
    // Note-on of a part's voice: gates and restarts the slots' voices by
    // each slot's trigger mode.
    virtual void triggerAutomSlots(uint64_t part, uint64_t voice);
    // Note-off of a part's voice: the gate closes on slots with a voice per
    // part voice, or once the part has no sounding voice.
    virtual void releaseAutomSlots(uint64_t part, uint64_t voice);
    // The part's voice count changed: the timers of every switched-on
    // slot's mod action in the part are unscheduled and the first
    // voiceCount of them scheduled again.
    virtual void rescheduleAutomSlots(uint64_t part, uint64_t voiceCount);
    // Copies of the slots' records offered to the host, slot by slot.
    void collectAutomSlotParameters(std::vector<vantor::ParameterInfo>& list) const;

    std::array<PartModBank, kParts> banks;
    std::array<AutomSlot, kAutomSlots> automSlots;
    std::array<PitchBendModulator, kMpeParts * kMpeVoices> mpePitchBend;
    std::array<MIDI7Modulator, 2 * kMpeParts * kMpeVoices> mpeModulators;
    std::array<uint64_t, kParts> layerTarget{};
    std::vector<DataBlockEntry> stepBlocks;
    std::vector<DataBlockEntry> curveBlocks;
    std::vector<std::vector<ParameterAction>> paramActions;
    SyncProvider* syncProvider = nullptr;
    vantor::QuantumManager* quantumManager = nullptr;
    int32_t voiceMode = 1;
    std::string modMatrixText;
    int32_t modMatrixArg = 0;

private:
    // Unschedules and deletes every part's mod actions.
    void deleteModActions(bool unschedule);
    size_t blockSize(const DataBlockEntry& entry, size_t layoutSize) const;
};

} // namespace VSX
