#include "synth/AutomSlot.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace VSX {

namespace {

// A host value as a whole number: truncated, NaN as 0, held inside int32.
int32_t toInt(float v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0f) return INT32_MAX;
    if (v <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// A count or position from a float: negatives and NaN give 0, huge values
// stop at 2^32 (far past any step table).
uint64_t toCount(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 4294967296.0f) return 4294967296ull;
    return static_cast<uint64_t>(v);
}

// Rate numerator and denominator: rounded, at least 1.
int32_t toRatePart(float v) {
    const float r = std::floor(v + 0.5f);
    if (!(r >= 1.0f)) return 1;
    if (r >= 2147483647.0f) return INT32_MAX;
    return static_cast<int32_t>(r);
}

struct FieldRecord {
    uint16_t field;
    const char* format;
    uint32_t valueKind;
    float min, max, def;
    uint8_t flags, mathMask;
    uint16_t modMask;
};

// The modulatable fields; max 0 on LoopIn/LoopOut means "stepCount - 1".
constexpr FieldRecord kFieldRecords[] = {
    {AutomSlot::kFrame, "%s%d Frame", 1, 0.0f, 128.0f, 0.0f, 0x13, 3, 0x401},
    {AutomSlot::kSpeed, "%s%d Speed", 0, 0.25f, 8.0f, 1.0f, 0x13, 2, 0x401},
    {AutomSlot::kLoopIn, "%s%d LoopIn", 1, 0.0f, -1.0f, 0.0f, 0x03, 3, 0x001},
    {AutomSlot::kLoopOut, "%s%d LoopOut", 1, 0.0f, -1.0f, -1.0f, 0x03, 3, 0x001},
    {AutomSlot::kDelay, "%s%d Delay", 1, 0.0f, 255.0f, 0.0f, 0x03, 3, 0x401},
    {AutomSlot::kRamp, "%s%d Ramp", 1, 0.0f, 1023.0f, 0.0f, 0x03, 3, 0x401},
};

} // namespace

AutomSlotZone::AutomSlotZone()
    : speedActions(kVoices), frameActions(kVoices), loopInAction(1), loopOutAction(1),
      delayAction(1), rampAction(1) {
    speed.fill(1.0f);
    stepLength.fill(1.0f);
}

void AutomSlotZone::init(vantor::ParameterInfo* params, AutomSlotListener* target, uint64_t n) {
    listener = target;
    slotNumber = n;
    speed.fill(1.0f);
    stepLength.fill(1.0f);
    frame.fill(0);
    for (size_t v = 0; v < kVoices; ++v) {
        speedActions[v].init(v, AutomSlot::kSpeed, &params[AutomSlot::kSpeed], this);
        frameActions[v].init(v, AutomSlot::kFrame, &params[AutomSlot::kFrame], this);
    }
    loopInAction[0].init(0, AutomSlot::kLoopIn, &params[AutomSlot::kLoopIn], this);
    loopOutAction[0].init(0, AutomSlot::kLoopOut, &params[AutomSlot::kLoopOut], this);
    delayAction[0].init(0, AutomSlot::kDelay, &params[AutomSlot::kDelay], this);
    rampAction[0].init(0, AutomSlot::kRamp, &params[AutomSlot::kRamp], this);
}

void AutomSlotZone::onParameterAction(float value, uint64_t v, uint16_t k, bool modulated) {
    if (modulated && listener) listener->onAutomSlotModulated(slotNumber, k, true);
    switch (k) {
    case AutomSlot::kFrame:
        if (v < kVoices) frame[v] = toCount(value);
        break;
    case AutomSlot::kSpeed:
        // The Speed record keeps the value inside 0.25..8, so the division is safe.
        if (v < kVoices && value > 0.0f) {
            speed[v] = value;
            stepLength[v] = rate / value;
        }
        break;
    case AutomSlot::kLoopIn:
        loopIn = toCount(value);
        break;
    case AutomSlot::kLoopOut:
        loopOut = toCount(value);
        break;
    case AutomSlot::kDelay: {
        const int32_t d = toInt(value);
        delay = static_cast<int16_t>(d < 0 ? 0 : (d > INT16_MAX ? INT16_MAX : d));
        break;
    }
    case AutomSlot::kRamp:
        rampFactor = value > 0.0f ? 1.0f / value : 1.0f;
        break;
    default:
        break;
    }
}

void AutomSlotZone::updateStepLengths() {
    for (size_t v = 0; v < kVoices; ++v) stepLength[v] = rate / speed[v];
}

void AutomSlotZone::clearRoutes() {
    for (auto* actions :
         {&speedActions, &frameActions, &loopInAction, &loopOutAction, &delayAction, &rampAction})
        clearActionRoutes(*actions);
}

AutomSlot::AutomSlot() = default;

void AutomSlot::initAutomSlotParams(uint64_t n, AutomSlotListener* listener) {
    for (size_t k = 0; k < kFields; ++k) {
        params[k].reset();
        params[k].id = static_cast<uint16_t>(n * kFields + k);
    }
    for (const FieldRecord& f : kFieldRecords) {
        vantor::ParameterInfo& p = params[f.field];
        char label[64];
        std::snprintf(label, sizeof label, f.format, "Step", static_cast<int>(n));
        p.setLabel(label);
        p.valueKind = f.valueKind;
        p.minValue = f.min;
        const float lastStep = static_cast<float>(stepCount ? stepCount - 1 : 31);
        p.maxValue = f.max < 0.0f ? lastStep : f.max;
        p.defaultValue = f.def < 0.0f ? lastStep : f.def;
        p.flags |= f.flags;
        p.mathFlags |= f.mathMask;
        p.modFlags |= f.modMask;
    }
    for (AutomSlotZone& lane : lanes) lane.init(params.data(), listener, n);
}

void AutomSlot::setRate() {
    const float rate = static_cast<float>(rateNumerator) / static_cast<float>(rateDenominator);
    for (AutomSlotZone& lane : lanes) {
        lane.rate = rate;
        lane.updateStepLengths();
    }
}

void AutomSlot::setAutomSlotParam(uint16_t k, float v) {
    auto setLaneBases = [&](std::vector<ParameterAction> AutomSlotZone::*actions) {
        for (AutomSlotZone& lane : lanes)
            for (ParameterAction& a : lane.*actions) a.setBase(v);
    };
    switch (k) {
    case kFrame:
        frame = v;
        setLaneBases(&AutomSlotZone::frameActions);
        break;
    case kLoopMode:
        loopMode = toInt(v);
        break;
    case kSyncMode:
        syncMode = toInt(v);
        break;
    case kStepCount:
        stepCount = toCount(v);
        if (stepCount != 0) {
            params[kLoopIn].maxValue = static_cast<float>(stepCount - 1);
            params[kLoopOut].maxValue = static_cast<float>(stepCount - 1);
        }
        break;
    case kSpeed:
        speed = v;
        for (AutomSlotZone& lane : lanes) {
            for (ParameterAction& a : lane.speedActions) a.setBase(v);
            lane.updateStepLengths();
        }
        break;
    case kRateNumerator:
        rateNumerator = toRatePart(v);
        setRate();
        break;
    case kRateDenominator:
        rateDenominator = toRatePart(v);
        setRate();
        break;
    case kLoopIn:
        loopIn = v;
        setLaneBases(&AutomSlotZone::loopInAction);
        break;
    case kLoopOut:
        loopOut = v;
        setLaneBases(&AutomSlotZone::loopOutAction);
        break;
    case kDelay:
        delay = toInt(v);
        setLaneBases(&AutomSlotZone::delayAction);
        break;
    case kTriggerMode:
        triggerMode = toInt(v);
        break;
    case kRamp:
        ramp = toInt(v);
        setLaneBases(&AutomSlotZone::rampAction);
        break;
    case kSwing:
        swing = v / 100.0f;
        break;
    default:
        break;
    }
}

float AutomSlot::getAutomSlotParam(uint16_t k) const {
    switch (k) {
    case kOn:
        return active ? 1.0f : 0.0f;
    case kFrame:
        return frame;
    case kLoopMode:
        return static_cast<float>(loopMode);
    case kSyncMode:
        return static_cast<float>(syncMode);
    case kStepCount:
        return static_cast<float>(stepCount);
    case kSpeed:
        return speed;
    case kRateNumerator:
        return static_cast<float>(rateNumerator);
    case kRateDenominator:
        return static_cast<float>(rateDenominator);
    case kLoopIn:
        return loopIn;
    case kLoopOut:
        return loopOut;
    case kDelay:
        return static_cast<float>(delay);
    case kTriggerMode:
        return static_cast<float>(triggerMode);
    case kRamp:
        return static_cast<float>(ramp);
    case kSwing:
        return swing;
    default:
        return 0.0f;
    }
}

void AutomSlot::collectAutomSlotParameters(std::vector<vantor::ParameterInfo>& list) const {
    for (const vantor::ParameterInfo& p : params)
        if (p.flags & vantor::ParameterInfo::kFlagHost2) list.push_back(p);
}

std::vector<ParameterAction>* AutomSlot::findLaneActions(uint64_t lane, const char* name,
                                                         size_t length) {
    if (lane >= kLanes || (!name && length)) return nullptr;
    for (size_t k = 0; k < kFields; ++k) {
        const char* label = params[k].label;
        if (!label || std::strlen(label) != length) continue;
        bool same = true;
        for (size_t i = 0; i < length && same; ++i)
            same = std::toupper(static_cast<unsigned char>(label[i])) ==
                   std::toupper(static_cast<unsigned char>(name[i]));
        if (!same) continue;
        AutomSlotZone& z = lanes[lane];
        switch (k) {
        case kFrame:
            return &z.frameActions;
        case kSpeed:
            return &z.speedActions;
        case kLoopIn:
            return &z.loopInAction;
        case kLoopOut:
            return &z.loopOutAction;
        case kDelay:
            return &z.delayAction;
        case kRamp:
            return &z.rampAction;
        default:
            return nullptr;
        }
    }
    return nullptr;
}

void AutomSlot::clearLaneRoutes() {
    for (AutomSlotZone& lane : lanes) lane.clearRoutes();
}

} // namespace VSX
