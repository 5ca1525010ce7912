// The ten layers of the instrument. A layer belongs to one part, plays the
// keys of its range on up to six voice slots (part voice v on slot v, or on
// slot 0 when v is not below the layer's slot count), and may delay its
// start, glide between notes and carry per-slot modulation of Transpose,
// Detune, Amp, Amp (steps) and Fixed Freq. For every start, retrigger,
// release and re-pitch of a part voice the manager visits the part's layers
// and tells the LayerListener what each slot must do. A 240-per-second timer
// on the controller's QuantumManager runs the delayed starts and the glides.
//
// Each slot remembers which part voice last took it, so that a voice sharing
// slot 0 with others releases, ends and re-pitches only what it started.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "engine-support/QuantumTimer.h"
#include "synth/LayerListener.h"
#include "synth/ParameterAction.h"
#include "vantor/ParameterInfo.h"

namespace VSX {

// One layer's settings; the instrument owns the ten records.
struct LayerRecord {
    uint8_t active = 0;
    uint8_t fixedFreq = 0;
    uint8_t monoRetrig = 0;
    float delayStart = 0.0f;  // hundredths of a second
    float glideAmount = 0.0f; // 0..100
    uint64_t glideMode = 0;   // 0 exponential, 1 linear
    float layerFloat10 = 0.0f;
    float amp = 1.0f;
    uint8_t ampSteps = 15;
    uint8_t stepMask = 15; // 15 or 127
    uint8_t keyLow = 0;
    uint8_t keyHigh = 127;
    uint8_t slotCount = 6;
    int8_t transpose = 0;
    int8_t detune = 0;
    uint64_t part = 0;
    uint8_t flags = 0;
};

// The layer manager's own operations.
class LayerManagerCommands {
public:
    virtual void setLayerField(uint64_t layer, uint16_t field, float value) = 0;
    virtual float getLayerField(uint64_t layer, uint16_t field) = 0;
    virtual void buildLayerParameters(std::vector<vantor::ParameterInfo>& list) = 0;
    virtual ~LayerManagerCommands() = default;
    virtual uint64_t markAmpModulation(uint64_t id, uint16_t kind, uint8_t bits, uint8_t which) = 0;
    virtual void onParameterAction(uint64_t id, uint16_t kind, float value, bool report) = 0;
    virtual uint64_t onQuantum(double rate) = 0;
};

class LayerManager : public LayerManagerCommands,
                     public vantor::QuantumTimer,
                     public ParameterActionListener {
public:
    static constexpr uint64_t kLayers = 10;
    static constexpr uint64_t kMaxSlots = 6;
    static constexpr uint8_t kNoGlideKey = 128;
    static constexpr uint64_t kTimerCookie = 31310;

    // Layer fields (host parameter k of a layer).
    enum Field : uint16_t {
        kActive = 0,
        kMonoRetrig = 1,
        kKeyLow = 2,
        kKeyHigh = 3,
        kDelayStart = 4,
        kTranspose = 5,
        kDetune = 6,
        kAmp = 7,
        kFixedFreq = 8,
        kLayerFloat10 = 10,
        kGlideAmount = 11,
        kGlideMode = 12,
        kSlotCount = 13,
        kAmpSteps = 14,
    };
    // Layer flag bits.
    enum : uint8_t { kFlagNoUpdates = 0x01, kFlagSilenceOutside = 0x02 };
    // Slot modulation targets: bit, and the kind their actions report.
    enum Target : size_t {
        kTargetDetune = 0,
        kTargetTranspose,
        kTargetAmp,
        kTargetAmpSteps,
        kTargetFixedFreq,
        kTargetCount
    };
    static constexpr uint32_t kTargetBits[kTargetCount] = {1, 2, 4, 8, 16};
    static constexpr uint16_t kTargetKinds[kTargetCount] = {6, 5, 7, 14, 8};

    struct GlideState {
        float cents = 0.0f;
        uint64_t mode = 0;
        uint8_t key = kNoGlideKey;
    };
    struct DelayState {
        float remaining = 0.0f; // seconds
        uint8_t pending = 0;
        uint8_t key = 0;
    };
    // Per-slot state of one layer, sized once by initLayers.
    struct LayerSlots {
        std::vector<float> amplitude;
        std::vector<GlideState> glide;
        std::vector<DelayState> delay;
        std::vector<int8_t> owner; // part voice that last took the slot, -1 none
        std::array<std::vector<float>, kTargetCount> values;
        std::array<std::vector<ParameterAction>, kTargetCount> actions;
    };
    struct SlotAmplitude {
        float amplitude;
        float base;
    };

    LayerManager() = default;
    LayerManager(const LayerManager&) = delete;
    LayerManager& operator=(const LayerManager&) = delete;
    ~LayerManager() override = default;

    // The instrument's ten layer records (null detaches them).
    void attachLayers(LayerRecord* records) { layers = records; }
    // Binds the listener, sizes the per-slot state to each layer's slot count
    // (at most six) and sets up the slot actions of the offered targets.
    void initLayers(LayerListener* target, bool legacy);

    void setLayerField(uint64_t layer, uint16_t field, float value) override;
    float getLayerField(uint64_t layer, uint16_t field) override;
    // 160 records, 16 per layer, named "L01 Active" and so on.
    void buildLayerParameters(std::vector<vantor::ParameterInfo>& list) override;
    uint64_t markAmpModulation(uint64_t id, uint16_t kind, uint8_t bits, uint8_t which) override;
    // A slot action's value: id = slot | layer << 8, kind = the target's kind.
    void onParameterAction(uint64_t id, uint16_t kind, float value, bool report) override;
    // The 240-per-second tick: delayed starts and glides; samples to the next tick.
    uint64_t onQuantum(double rate) override;

    // Slot actions report here; forwarded to the two operations above.
    void onParameterEvent(uint64_t owner, uint16_t index, int a, int b) override {
        markAmpModulation(owner, index, static_cast<uint8_t>(a), static_cast<uint8_t>(b));
    }
    void onParameterAction(float value, uint64_t owner, uint16_t index, bool modulated) override {
        onParameterAction(owner, index, value, modulated);
    }

    // Part voice events from the controller.
    void onFirstVoice(uint64_t part);
    void startVoice(uint64_t part, uint64_t voice, uint8_t key, uint8_t velocity,
                    uint8_t previousKey);
    void retriggerVoice(uint64_t part, uint64_t voice, uint8_t key, uint8_t velocity, bool a,
                        uint8_t flag, bool b);
    void releaseVoice(uint64_t part, uint64_t voice);
    void endVoice(uint64_t part, uint64_t voice);
    void updateVoicePitch(uint64_t part, uint64_t voice);
    void updateVoiceAmplitude(uint64_t part, uint64_t voice);
    // Clears the amplitude-modulation marks and every slot action's routes.
    void clearModulation();

    float getSlotPitchCents(uint64_t layer, uint64_t slot) const;
    float getSlotFrequency(uint64_t layer, uint64_t slot, float baseFrequency) const;
    bool isFixedFreq(uint64_t layer, uint64_t slot) const;
    SlotAmplitude getSlotAmplitude(uint64_t layer, uint64_t slot) const;
    // "Lnn AMP", "Lnn AMP (STEPS)", "Lnn DETUNE", "Lnn TRANSPOSE", "Lnn FIXED FREQ".
    std::vector<ParameterAction>* findLayerTarget(const char* name, uint64_t* layer);
    // The slot a part voice plays on a layer, or -1 when it plays none there.
    int64_t slotOfVoice(uint64_t layer, uint64_t voice) const;

    LayerListener* listener = nullptr;
    LayerRecord* layers = nullptr; // ten records, not owned
    bool legacy = false;
    uint32_t targetMask = 0;
    std::array<uint8_t, 128> keyCoverage{};
    std::array<std::array<uint8_t, kLayers>, 2> ampMarks{};
    std::array<LayerSlots, kLayers> slots;
    double carry = 0.0;

private:
    LayerRecord* record(uint64_t layer) const {
        return layers && layer < kLayers ? &layers[layer] : nullptr;
    }
    uint64_t allocated(uint64_t layer) const { return slots[layer].owner.size(); }
    uint64_t slotCount(uint64_t layer) const;
    // The slot a new note of `voice` takes, or -1 when the layer has none.
    int64_t slotForStart(uint64_t layer, uint64_t voice) const;
    void rebuildKeyCoverage();
    void releaseSlot(uint64_t layer, uint64_t slot);
    void setTargetValues(uint64_t layer, size_t target, float value);
    uint32_t layerTargets(uint64_t layer) const;
};

} // namespace VSX
