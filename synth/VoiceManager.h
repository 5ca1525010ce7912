// The voices of one part of the synth: up to six voices (one per console
// unit), a record per MIDI key with its sustain/sostenuto state, the part's
// sixteen MPE member channels and the pitch terms from which every voice's
// frequency follows. A new note takes the free voice released longest ago,
// else the voice already on its key, else one chosen by the protect and
// steal policies; a one-voice part returns to the latest key still held.
// Every change is reported to the VoiceListener. The three per-voice
// modulation targets "VOICE AMPLITUDE", "VOICE DETUNE" and "VOICE TRANSPOSE"
// live here as one parameter action per voice.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "synth/NoteTuningSource.h"
#include "synth/ParameterAction.h"
#include "synth/VoiceListener.h"
#include "vantor/ParameterInfo.h"

namespace VSX {

class VoiceManager : public ParameterActionListener {
public:
    static constexpr uint64_t kMaxVoices = 6;
    static constexpr uint64_t kNoId = ~uint64_t{0};
    static constexpr uint8_t kNoKey = 255;

    // How a note-on names its voice: plain MIDI, MPE member index, host note id.
    enum Mode : int { kModeMidi = 0, kModeMpe = 1, kModeNoteId = 2 };
    // Ids the voice actions report.
    enum VoiceParam : uint16_t { kAmp7Bit = 1, kAmp4Bit = 2, kDetuneId = 4, kTransposeId = 8 };
    enum ActionList : size_t { kAmplitudeList = 0, kDetuneList, kTransposeList };

    struct Voice {
        uint64_t stamp = 0; // note-on counter when assigned, note-off counter when released
        uint64_t id = kNoId;
        float voiceBend = 0.0f; // cents
        float amplitude = 1.0f; // note expression
        float detune = 0.0f;    // cents
        float transpose = 0.0f; // semitones
        float baseFrequency = 0.0f;
        float frequency = 0.0f;
        float gainFactor = 1.0f;
        uint8_t isProtected = 0;
        uint8_t free = 1;
        uint8_t key = kNoKey;
        uint8_t velocity = 255;
    };
    struct MemberState {
        int64_t voice = -1;
        float pendingBend = 0.0f;
        uint8_t pendingTimbre = 0;
        uint8_t pendingPressure = 0;
    };
    struct KeyState {
        uint64_t pressStamp = 0;
        uint8_t velocity = 0; // 0 = not held
        uint8_t pedalState = 0;
    };

    VoiceManager();
    ~VoiceManager() override = default;

    // Ignored when n > 6 or unchanged; otherwise kills every voice first.
    virtual void setVoiceCount(uint64_t n);

    // A key goes down. The velocity is taken as 1..127 (a note-on below 1,
    // NaN included, counts as velocity 1: the key is held either way).
    void noteOn(uint8_t key, int velocity, uint64_t id, int mode);
    void noteOnWithIdFloat(uint8_t key, uint64_t id, float velocity);
    // Releases the key's voices now (or, in a one-voice part, returns to the
    // latest key still held).
    void noteOff(uint8_t key, int velocity, uint64_t id, int mode);
    // A key goes up; released only when no pedal holds it.
    void noteOffPedal(uint8_t key, int velocity, uint64_t id, int mode);
    void noteOffWithId(uint8_t key, uint64_t id, float velocity);
    // 120 and 123 kill every voice, 64 sustain, 66 sostenuto.
    void controlChange(uint8_t controller, uint8_t value);
    void setSustain(bool down);
    void setSostenuto(bool down);
    // Kills all six voices and forgets every held key and pedal.
    void releaseAllVoices();
    // releaseAllVoices, then every voice record back to its reset values.
    void reset();
    // Host note-id stop: nothing to do here.
    void stopVoiceById(uint64_t /*id*/) {}

    // Channel bend -1..1; re-pitches every voice when it changed.
    void setPitchBend(float bend);
    // The same from two 7-bit bytes (8192 = centre).
    void setPitchBend14(uint8_t lsb, uint8_t msb);
    void setGlobalCents(float cents);
    // MPE member bend -1..1, applied to the member's voice.
    void setMemberBend(uint64_t member, float bend);
    // Per-voice expression of the voice carrying `id`: 0 amplitude,
    // 1 reported only, 2 tuning in cents. Returns the voice or -1.
    int64_t setVoiceExpression(uint32_t kind, uint64_t id, float value);

    int64_t findVoiceByKey(uint8_t key) const;
    int64_t findVoiceById(uint64_t id) const;
    float getVoiceFrequency(uint64_t voice) const;
    float getVoiceAmplitude(uint64_t voice) const;
    float getVelocityGain(uint64_t voice) const;
    float getVoicePitchCents(uint64_t voice) const;
    uint64_t getActiveVoiceCount() const { return busyCount; }
    bool monoRetrigger() const { return voiceCount != 1 || monoRetriggerFlag; }
    bool monoVelocityUpdate() const { return voiceCount != 1 || monoVelocityUpdateFlag; }
    // The base frequency of a key (tuning source or 12-TET).
    float getKeyFrequency(uint8_t key) const;

    // Voice parameter values: gain factor, detune, transpose.
    void onParameterAction(float value, uint64_t voice, uint16_t id, bool modulated) override;
    // One action per voice for each target; 4 amplitude bits choose the
    // 4-bit amplitude record, anything else the 7-bit one.
    void initParameters(VoiceListener* target, uint32_t amplitudeBits);
    // "VOICE AMPLITUDE", "VOICE DETUNE" or "VOICE TRANSPOSE" (exact).
    std::vector<ParameterAction>* findVoiceParameter(const char* name);
    // Appends copies of the three voice parameter descriptions.
    void collectParameters(std::vector<vantor::ParameterInfo>& out) const;

    // Recomputes one voice's frequency without reporting it.
    void updateFrequency(uint64_t voice);
    // One voice record back to its reset values.
    void resetVoice(uint64_t voice);
    // Marks a voice free (its key stays until it is reused).
    void freeVoice(uint64_t voice);

    void setTuningSource(NoteTuningSource* source) { tuningSource = source; }
    void setPitchBendRange(float cents) { pitchBendRange = cents; }
    void setVelocitySensitivity(float s) { velocitySensitivity = s; }
    void setMonoRetrigger(uint8_t on) { monoRetriggerFlag = on; }
    void setMonoVelocityUpdate(uint8_t on) { monoVelocityUpdateFlag = on; }

    NoteTuningSource* tuningSource = nullptr;
    uint64_t voiceCount = kMaxVoices;
    uint64_t busyCount = 0;
    int64_t lastVoice = -1;
    uint64_t part = 0;
    uint64_t noteOnCounter = 0;
    uint64_t noteOffCounter = 0;
    int32_t heldKeys = 0;
    float bendCents = 0.0f;
    float pitchBendRange = 1200.0f;
    float perNoteBendRange = 4800.0f;
    float globalCents = 0.0f;
    float velocitySensitivity = 1.0f;
    uint8_t monoRetriggerFlag = 0;
    uint8_t monoVelocityUpdateFlag = 0;
    uint32_t protectPolicy = 2;
    uint32_t stealPolicy = 2;
    VoiceListener* listener = nullptr;
    std::array<MemberState, 16> members{};
    std::array<KeyState, 128> keys{};
    std::array<vantor::ParameterInfo, 3> voiceParams;
    std::array<Voice, kMaxVoices> voices{};
    std::array<std::vector<ParameterAction>, 3> voiceActions;

private:
    void assignVoice(uint64_t v, uint8_t key, uint8_t velocity, uint64_t id, int mode);
    void releaseKey(uint8_t key, uint8_t velocity);
    void applyPedal(uint8_t input);
    void reportPitch(uint64_t v);
    int64_t chooseStolenVoice() const;
    void protectVoices();
};

} // namespace VSX
