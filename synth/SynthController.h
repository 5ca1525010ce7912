// The multi-part synthesizer core that the console instrument is built on.
// Ten parts, each with a voice manager of up to six voices, share one layer
// manager of ten layers. MIDI channel messages reach the parts by the voice
// mode: modes 1 and 2 send every channel to part 0, modes 3 and 4 send
// channels 0-9 to parts 0-9 and ignore 10-15, mode 5 is the MPE layout,
// where a zone's master channel carries the part's own controllers and its
// member channels each carry one note with its own bend, pressure and
// timbre (controller 74); the lower zone (master channel 0) feeds part 0,
// the upper zone (master channel 15) part 1. RPN 6 on a master channel sets
// the zone's member count, RPN 0 its per-note bend range.
//
// The voice events the voice managers report come back through the
// VoiceListener face and fan out, in a fixed order, to the automation
// slots, the part's modulator bank and the layer manager, which tells the
// instrument what each layer slot must play. Nothing here takes a lock or
// allocates once set up: every operation runs on the thread that owns the
// engine plug-in object.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "synth/LayerManager.h"
#include "synth/SynthBase.h"
#include "synth/VoiceListener.h"
#include "synth/VoiceManager.h"
#include "synth/XRPNDecoder.h"
#include "vantor/ParameterInfo.h"

namespace VSX {

class AutomSlotListener;

class SynthController : public SynthBase, public VoiceListener, public XRPNListener {
public:
    static constexpr uint64_t kLayers = LayerManager::kLayers;
    static constexpr uint64_t kChannels = 16;
    static constexpr uint64_t kAutomSlots = 15;
    static constexpr uint64_t kMaxVoices = VoiceManager::kMaxVoices;
    static constexpr uint64_t kMaxZoneMembers = 15;
    static constexpr uint8_t kNoKey = 128;

    // Where MIDI channel n goes: part -1 ignores the channel, member -1 marks
    // a channel that is no MPE member channel.
    struct ChannelRoute {
        int64_t part = -1;
        int64_t member = -1;
        uint8_t zoneMaster = 0;
    };
    // The latest note of a part: the voice it started and its key.
    struct PartNote {
        uint64_t lastVoice = 0;
        uint8_t lastKey = kNoKey;
    };

    SynthController();
    ~SynthController() override;

    // --- MIDI intake ---
    // Routes one channel message by the voice mode.
    void processMidiEvent(uint8_t status, uint8_t data1, uint8_t data2) override;
    // Every channel message of a part outside the MPE layout.
    void handlePartMidi(uint64_t part, uint8_t status, uint8_t data1, uint8_t data2);
    // Voice mode 5: master and member channels of the two zones.
    void handleMpeMidi(uint8_t status, uint8_t data1, uint8_t data2);
    // Pressure, program and bend of a part's modulators only.
    void handlePartMonoMessage(uint64_t part, uint8_t status, uint8_t data1, uint8_t data2);
    // The voice playing `key` gets the pressure on its POLYAFT modulator.
    virtual void setKeyPressure(uint64_t part, uint8_t key, uint8_t value);
    // RPN 6 sets an MPE zone's member count, RPN 0 its per-note bend range.
    virtual void handleRpn(uint8_t channel, uint16_t parameter, uint8_t dataMsb, uint8_t dataLsb);
    void onRpn(uint8_t channel, uint16_t parameter, uint8_t dataMsb, uint8_t dataLsb) override {
        handleRpn(channel, parameter, dataMsb, dataLsb);
    }
    void onNrpn(uint8_t, uint16_t, uint8_t, uint8_t) override {}
    // Hooks for the instrument: a program change (after the PC modulator), a
    // system message, and every controller before anything else sees it.
    virtual void onProgramChange(uint64_t /*part*/, uint8_t /*program*/) {}
    virtual void onSystemMessage(uint8_t /*status*/, uint8_t /*data1*/) {}
    virtual void onControlChange(uint64_t /*part*/, uint8_t /*controller*/, uint8_t /*value*/) {}

    // --- Set-up and settings ---
    // Builds the parameter actions for `records` (one per record with an id,
    // or one per voice), sets up the automation slots and the layers, resets
    // the controller, starts the layer timer and rebuilds the modulation
    // routes. May be run again (at every activation): routes are cleared
    // before anything they point into is rebuilt, and the layer timer stays
    // queued once.
    bool initController(std::vector<vantor::ParameterInfo>& records, LayerListener* layerListener,
                        AutomSlotListener* slotListener, uint32_t legacy);
    // Kills every voice and rebuilds the channel map, the part numbers and
    // the layer parts from the voice mode; reparse parses the matrix again.
    void resetController(bool reparse);
    // Voice mode 5: the layer targets, then the requested zone sizes.
    void applyMpeLayout();
    void setLayerTarget(uint64_t layer, uint64_t part);
    // The member count zone 0 (lower) or 1 (upper) gets at the next layout.
    void setMpeZoneSize(uint64_t zone, uint64_t count);
    // Rebuild the channel map for one zone now (at most 15 members).
    void setLowerZone(uint64_t count);
    void setUpperZone(uint64_t count);
    // Field 0 switches slot n on (value > 0) or off; fields 1-14 are the
    // slot's settings. Slots above 14 are ignored.
    void setAutomSlotParameter(uint64_t slot, uint16_t field, float value);
    float getAutomSlotParameter(uint64_t slot, uint16_t field);
    bool releaseAllParts();
    bool isReady() const { return true; }
    // The instrument keeps host data blocks.
    virtual void receiveDataBlock(void* /*data*/, uint64_t /*size*/, uint64_t /*key*/) {}
    // The instrument refreshes its per-voice flags of a part.
    virtual void refreshVoiceMask(uint64_t /*part*/) {}
    // Appends voice manager 0's three voice parameter descriptions.
    void collectVoiceParameters(std::vector<vantor::ParameterInfo>& out) const;

    void setPitchBendRange(float cents) override;
    void setGlobalCents(float cents) override;
    // Per part: voice count, voice mask, and the automation-slot timers of
    // the part re-armed for the new count.
    void setVoiceCount(uint64_t n) override;
    void setMonoRetrigger(uint8_t on) override;
    void setMonoVelocityUpdate(uint8_t on) override;
    void setVelocitySensitivity(float sensitivity) override;
    void setNoteTuningSource(NoteTuningSource* source) override;
    // Always resets; the matrix is parsed again only when the mode changed.
    void setVoiceMode(uint32_t mode) override;
    void setFixedPitchKey(uint8_t key) override { fixedPitchKey = key; }

    int32_t getHeldKeyCount(uint64_t part) override;
    uint64_t getVoiceCount(uint64_t part) override;
    uint64_t getActiveVoiceCount(uint64_t part) override;
    float getVoiceFrequency(uint64_t part, uint64_t voice) override;

    // --- Modulation routes of the controller's own targets ---
    // After the base's destinations: "VOICE ..." voice-manager targets and
    // the layer slot targets ("L01 AMP" and the like).
    bool addModRoute(const ModMatrixEntry& entry) override;
    // The layer manager's and voice managers' routes, then the base's.
    void clearModRoutes() override;

    // --- Note ids and per-note expression (the host's note events) ---
    // The part is the given one in voice mode 3 (parts above 9 are ignored
    // there) and part 0 in every other mode.
    void noteOnWithId(uint64_t part, uint64_t id, uint8_t key, float velocity, float cents);
    void noteOffPart(uint64_t part, uint64_t id, uint8_t key);
    void stopVoiceById(uint64_t part, uint64_t id);
    // Kinds 0 amplitude, 1 reported, 2 tuning in cents, up to 7 published
    // on the EXP_ modulators; kinds of 8 and above are ignored.
    void setVoiceExpression(uint64_t part, uint64_t id, uint32_t kind, float value);

    // --- Voice events ---
    // A free voice starts: automation slots, the note's modulators, layers.
    virtual void noteOn(uint64_t part, uint64_t voice, uint8_t key, uint8_t velocity);
    // The voice is released on the automation slots and the layers.
    virtual void noteOff(uint64_t part, uint64_t voice, uint8_t velocity);
    // noteOff, then the voice record is freed and its layer slots end.
    virtual void stopVoice(uint64_t part, uint64_t voice, uint8_t key, uint8_t velocity);
    // A sounding voice is re-used for a key (legato 0: a mono part returns
    // to a held key).
    virtual void retriggerNote(uint64_t part, uint64_t voice, uint8_t key, uint8_t velocity,
                               uint8_t legato);
    virtual void onVoicePitchChanged(uint64_t part, uint64_t voice);
    virtual void onVoiceAmplitudeChanged(uint64_t part, uint64_t voice);

    void onVoiceStart(uint64_t part, uint64_t voice, uint8_t key, uint8_t velocity) override {
        noteOn(part, voice, key, velocity);
    }
    void onVoiceRetrigger(uint64_t part, uint64_t voice, uint8_t key, uint8_t velocity,
                          uint8_t flag) override {
        retriggerNote(part, voice, key, velocity, flag);
    }
    void onVoiceRelease(uint64_t part, uint64_t voice, uint8_t key, uint8_t velocity) override {
        stopVoice(part, voice, key, velocity);
    }
    // The voice was silenced by its voice manager: automation slots and
    // layers end it; the record is already reset.
    void onVoiceKill(uint64_t part, uint64_t voice, uint8_t key) override;
    void onVoicePitch(uint64_t part, uint64_t voice) override { onVoicePitchChanged(part, voice); }
    void onVoiceAmplitude(uint64_t part, uint64_t voice) override {
        onVoiceAmplitudeChanged(part, voice);
    }

    // --- What the instrument asks for a layer slot ---
    // The frequency layer `layer`'s slot `slot` plays (the fixed-pitch key's
    // on a fixed-frequency layer) with the layer's pitch applied; true when
    // it differs from the last one reported for that slot.
    bool updateLayerVoicePitch(uint64_t slot, uint64_t layer, float& out);
    // gain x the voice amplitude of the part voice playing the slot.
    bool applyVoiceAmplitude(uint64_t slot, uint64_t layer, float& gain);

    VoiceManager* voiceManager(uint64_t part) {
        return part < kParts ? &voiceManagers[part] : nullptr;
    }

    std::array<ChannelRoute, kChannels> channelMap{};
    std::array<PartNote, kChannels> partNotes{};
    std::array<VoiceManager, kParts> voiceManagers;
    LayerManager layerManager;
    uint8_t fixedPitchKey = 36;
    std::array<std::array<float, kLayers>, kMaxVoices> layerPitchCache{};
    uint64_t currentLowerZone = 0;
    uint64_t currentUpperZone = 0;
    uint64_t requestedLowerZone = 15;
    uint64_t requestedUpperZone = 0;
    XRPNDecoder rpnDecoder;
    uint32_t legacyFlag = 0;
    AutomSlotListener* automSlotListener = nullptr;

protected:
    // --- The automation slots and the modulation-matrix parser ---
    // The controller drives these; SynthControllerSlots.cpp binds them to
    // the slot classes and the parser.
    //
    // Rebuilds every route from the stored matrix text.
    virtual void parseModMatrix();
    // Attaches the entry's source (and control) to `actions` for `part`.
    virtual void installModRoute(uint64_t part, std::vector<ParameterAction>& actions,
                                 const ModMatrixEntry& entry);
    // Labels slot n's parameter records and sets up its lanes.
    virtual void initAutomSlotParams(uint64_t slot, uint64_t n, AutomSlotListener* listener);
    // Note-on of a part voice: gate on and restart by each slot's trigger mode.
    virtual void triggerAutomSlots(uint64_t part, uint64_t voice);
    // Note-off of a part voice: gate off where the slot's action says so.
    virtual void releaseAutomSlots(uint64_t part, uint64_t voice);
    // The part's voice count changed: the slot timers of the part are
    // unscheduled and the first voiceCount of them scheduled again.
    virtual void rescheduleAutomSlots(uint64_t part, uint64_t voiceCount);
    virtual void setAutomSlotActive(uint64_t slot, bool on);
    virtual void setAutomSlotParam(uint64_t slot, uint16_t field, float value);
    virtual float getAutomSlotParam(uint64_t slot, uint16_t field);

private:
    uint64_t expressionPart(uint64_t part) const;
    // Sets every layer record's part (when the records are attached).
    void setLayerPart(uint64_t layer, uint64_t part);
    // The part voice that plays a layer slot now (the slot itself when no
    // voice has taken it).
    uint64_t voiceOfSlot(uint64_t layer, uint64_t slot) const;
    VoiceManager* layerVoiceManager(uint64_t layer);
    void mpeNoteOn(uint64_t part, int64_t member, uint8_t key, uint8_t velocity);

    vantor::QuantumManager* timerQueue = nullptr; // where the layer timer is queued
};

} // namespace VSX
