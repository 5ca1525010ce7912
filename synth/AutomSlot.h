// The fifteen automation slots. A slot is a step sequencer shared by the ten
// parts: it keeps the timing settings (rate, speed, swing, loop mode and
// points, delay, ramp, trigger and sync modes) and one lane per part. A lane
// holds the per-voice values that the sequencer voices of its part read; its
// fields can themselves be modulation destinations ("Step3 Speed"), so each
// lane owns parameter actions whose results land back in the lane. The slot
// describes its fields as sixteen parameter records, field k at id
// slot x 16 + k.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "synth/ParameterAction.h"
#include "vantor/ParameterInfo.h"

namespace VSX {

// Told when a slot field of some lane receives a modulated value.
class AutomSlotListener {
public:
    virtual ~AutomSlotListener() = default;
    virtual void onAutomSlotModulated(uint64_t slot, uint16_t field, bool modulated) = 0;
};

// One lane of a slot: what the sequencer voices of one part read.
class AutomSlotZone : public ParameterActionListener {
public:
    static constexpr size_t kVoices = 6;

    AutomSlotZone();
    AutomSlotZone(const AutomSlotZone&) = delete;
    AutomSlotZone& operator=(const AutomSlotZone&) = delete;

    // Binds the lane's actions to the slot's sixteen records and reports each
    // record's default: speed 1, step length 1/16, loop 0..31, no delay, no ramp.
    void init(vantor::ParameterInfo* params, AutomSlotListener* listener, uint64_t slot);
    // Stores the value of field k for voice v (see the field table of the slot).
    void onParameterAction(float value, uint64_t owner, uint16_t index, bool modulated) override;
    // step length = rate / speed for every voice.
    void updateStepLengths();
    // Detaches every route of the lane's six action arrays.
    void clearRoutes();

    std::array<float, kVoices> speed{};
    std::array<float, kVoices> stepLength{};
    std::array<uint64_t, kVoices> frame{};
    std::vector<ParameterAction> speedActions; // one per voice, field 6
    std::vector<ParameterAction> frameActions; // one per voice, field 1
    std::vector<ParameterAction> loopInAction; // single actions, fields 9, 10, 11, 13
    std::vector<ParameterAction> loopOutAction;
    std::vector<ParameterAction> delayAction;
    std::vector<ParameterAction> rampAction;
    AutomSlotListener* listener = nullptr;
    uint64_t loopIn = 0;
    uint64_t loopOut = 31;
    uint64_t slotNumber = 0;
    float rampFactor = 1.0f;
    float rate = 0.0625f;
    int16_t delay = 0;
};

class AutomSlot : public Activatable {
public:
    static constexpr size_t kLanes = 10;
    static constexpr size_t kFields = 16;

    enum Field : uint16_t {
        kOn = 0,
        kFrame = 1,
        kLoopMode = 2,
        kSyncMode = 4,
        kStepCount = 5,
        kSpeed = 6,
        kRateNumerator = 7,
        kRateDenominator = 8,
        kLoopIn = 9,
        kLoopOut = 10,
        kDelay = 11,
        kTriggerMode = 12,
        kRamp = 13,
        kSwing = 14,
    };

    AutomSlot();
    AutomSlot(const AutomSlot&) = delete;
    AutomSlot& operator=(const AutomSlot&) = delete;

    // Labels the records "Step<n> Frame" and its siblings (ids n x 16 + k) and
    // sets up the ten lanes. May run again: the lanes are bound anew.
    void initAutomSlotParams(uint64_t n, AutomSlotListener* listener);
    // Fields 1-14 (field 0, the switch, belongs to the synth: it reschedules).
    void setAutomSlotParam(uint16_t k, float v);
    float getAutomSlotParam(uint16_t k) const;
    // Appends copies of the records offered to the host, in field order.
    void collectAutomSlotParameters(std::vector<vantor::ParameterInfo>& list) const;
    // The lane's actions of the field whose upper-cased label is `name`, for
    // the modulatable fields 1, 6, 9, 10, 11, 13; null otherwise.
    std::vector<ParameterAction>* findLaneActions(uint64_t lane, const char* name, size_t length);
    // Detaches the routes of every lane.
    void clearLaneRoutes();

    std::array<AutomSlotZone, kLanes> lanes;
    int32_t loopMode = 0;
    int32_t syncMode = 0;
    int32_t triggerMode = 0;
    uint64_t stepCount = 32;
    float frame = 0.0f;
    float speed = 1.0f;
    float loopIn = 0.0f;
    float loopOut = 31.0f;
    int32_t rateNumerator = 1;
    int32_t rateDenominator = 16;
    int32_t delay = 0;
    int32_t ramp = 0;
    float swing = 0.0f;
    std::array<vantor::ParameterInfo, kFields> params;

private:
    void setRate();
};

} // namespace VSX
