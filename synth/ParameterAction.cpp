#include "synth/ParameterAction.h"

#include <algorithm>
#include <cmath>

namespace VSX {

float applyCurve(uint32_t curve, float x) {
    switch (curve) {
    case kCurveLinearInv:
        return 1.0f - x;
    case kCurveSquared:
        return x * x;
    case kCurveSquaredInv:
        return 1.0f - x * x;
    case kCurveCube:
        return x * x * x;
    case kCurveCubeInv:
        return 1.0f - x * x * x;
    case kCurveSqrt:
        return std::sqrt(x);
    case kCurveSqrtInv:
        return 1.0f - std::sqrt(x);
    case kCurveSwitch:
        return x < 0.5f ? 0.0f : 1.0f;
    case kCurveSwitchInv:
        return x < 0.5f ? 1.0f : 0.0f;
    default:
        return x;
    }
}

ParameterAction::ParameterAction(ParameterAction&& other) noexcept {
    *this = std::move(other);
}

ParameterAction& ParameterAction::operator=(ParameterAction&& other) noexcept {
    if (this == &other) return *this;
    detachAll();
    base = other.base;
    runningSum = other.runningSum;
    owner = other.owner;
    index = other.index;
    math = other.math;
    record = other.record;
    listener = other.listener;
    routes = std::move(other.routes);
    other.routes.clear();
    reattach(other);
    return *this;
}

ParameterAction::~ParameterAction() {
    detachAll();
}

void ParameterAction::reattach(ParameterAction& from) {
    for (const ModRoute& r : routes) {
        for (Modulator* m : {r.source, r.control}) {
            if (!m) continue;
            m->removeListener(&from);
            m->addListener(this);
        }
    }
}

void ParameterAction::detachAll() {
    for (const ModRoute& r : routes) {
        if (r.source) r.source->removeListener(this);
        if (r.control) r.control->removeListener(this);
    }
}

void ParameterAction::detachUnlessUsed(Modulator* m) {
    if (!m) return;
    for (const ModRoute& r : routes)
        if (r.source == m || r.control == m) return;
    m->removeListener(this);
}

float ParameterAction::clampToRecord(float v) const {
    if (v > record->maxValue) return record->maxValue;
    if (v < record->minValue) return record->minValue;
    return v;
}

void ParameterAction::init(uint64_t ownerValue, uint16_t indexValue, vantor::ParameterInfo* rec,
                           ParameterActionListener* target) {
    owner = ownerValue;
    index = indexValue;
    record = rec;
    listener = target;
    if (!record) return;
    base = std::isfinite(record->defaultValue) ? clampToRecord(record->defaultValue)
                                               : record->minValue;
    onModulatorChanged(nullptr, false);
}

void ParameterAction::setBase(float v) {
    if (!record || !std::isfinite(v)) return;
    base = clampToRecord(v);
    onModulatorChanged(nullptr, false);
}

void ParameterAction::setValueRelative(float v) {
    if (!record || !std::isfinite(v)) return;
    const float c = clampToRecord(v);
    base = (record->flags & vantor::ParameterInfo::kFlagInverted) ? record->maxValue - c : c;
    onModulatorChanged(nullptr, true);
}

bool ParameterAction::setMath(uint8_t m) {
    if (!record || !(record->mathFlags & m)) return false;
    math = m;
    onModulatorChanged(nullptr, false);
    return true;
}

void ParameterAction::addRoute(const ModRoute& route) {
    if (!route.source) return;
    route.source->addListener(this);
    if (route.control) route.control->addListener(this);
    auto same = std::find_if(routes.begin(), routes.end(),
                             [&](const ModRoute& r) { return r.source == route.source; });
    if (same != routes.end()) {
        Modulator* oldControl = same->control;
        *same = route;
        detachUnlessUsed(oldControl);
    } else {
        routes.push_back(route);
    }
    onModulatorChanged(nullptr, false);
}

void ParameterAction::removeRoute(Modulator* source) {
    auto it = std::find_if(routes.begin(), routes.end(),
                           [&](const ModRoute& r) { return r.source == source; });
    if (it == routes.end()) return;
    Modulator* control = it->control;
    routes.erase(it);
    detachUnlessUsed(source);
    detachUnlessUsed(control);
    onModulatorChanged(nullptr, false);
}

void ParameterAction::clearRoutes() {
    runningSum = 0.0f;
    math = kOffset;
    detachAll();
    routes.clear();
    onModulatorChanged(nullptr, false);
}

float ParameterAction::getControlFactor(const ModRoute& route) const {
    Modulator* control = route.control;
    if (!control) return 1.0f;
    const float c = control->getValue();
    switch (control->getKind()) {
    case Modulator::kUnipolar:
        return applyCurve(route.controlCurve, c);
    case Modulator::kBipolar:
        return 2.0f * (applyCurve(route.controlCurve, c * 0.5f + 0.5f) - 0.5f);
    case Modulator::kRaw: {
        const float y = (c - control->getMin()) / (control->getMax() - control->getMin());
        return applyCurve(route.controlCurve, y);
    }
    default:
        return 1.0f;
    }
}

float ParameterAction::getRouteValue(const ModRoute& route, float pmax) const {
    Modulator* source = route.source;
    const float s = source->getValue();
    float x;
    switch (source->getKind()) {
    case Modulator::kUnipolar:
        // The route's bounds are returned as they are.
        if (s > route.max) return route.max;
        if (s < route.min) return route.min;
        x = applyCurve(route.sourceCurve, s);
        break;
    case Modulator::kBipolar:
        x = 2.0f * (applyCurve(route.sourceCurve, s * 0.5f + 0.5f) - 0.5f);
        break;
    case Modulator::kRaw: {
        float v = route.amount * getControlFactor(route) * s;
        if (route.retrigger) v *= pmax / (source->getMax() - source->getMin());
        return v;
    }
    default:
        return s;
    }
    return (x + route.offset) * route.amount * getControlFactor(route) * pmax;
}

float ParameterAction::getScaleTerm(const ModRoute& route, float s) const {
    if (route.source->getKind() == Modulator::kRaw || (route.min <= s && s <= route.max))
        return (s + route.offset) * route.amount;
    return s > route.max ? route.max : route.min;
}

void ParameterAction::notify(float v, bool modulated) {
    // A NaN or infinite result (a modulator or route holding one, a range of
    // width 0) is not passed on: the listener keeps its last value.
    if (!std::isfinite(v)) return;
    listener->onParameterAction(clampToRecord(v), owner, index, modulated);
}

void ParameterAction::onModulatorChanged(Modulator* source, bool reset) {
    if (!record || !listener) return;
    const float pmax = record->maxValue;
    switch (math) {
    case kReplace: {
        if (reset) {
            notify(base, true);
            return;
        }
        for (const ModRoute& r : routes) {
            const bool chosen = source ? r.source == source : r.source->active != 0;
            if (chosen) {
                notify(getRouteValue(r, pmax), true);
                return;
            }
        }
        notify(base, false);
        return;
    }
    case kOffset:
    case kAccum: {
        float sum = 0.0f;
        bool any = false;
        for (const ModRoute& r : routes) {
            if (!r.source->active) continue;
            sum += getRouteValue(r, pmax);
            any = true;
        }
        if (math == kOffset) {
            notify(base + sum, any);
            return;
        }
        if (reset) runningSum = 0.0f;
        const float acc = runningSum + sum;
        notify(base + acc, any);
        if (std::isfinite(acc)) runningSum = acc;
        return;
    }
    case kScale: {
        float p = base;
        bool any = false;
        for (const ModRoute& r : routes) {
            if (!r.source->active) continue;
            any = true;
            const bool raw = r.source->getKind() == Modulator::kRaw;
            float t = getScaleTerm(r, r.source->getValue());
            if (raw) t /= pmax;
            if (!r.control || r.control->getKind() == Modulator::kRaw) {
                p *= t;
            } else {
                const float c = r.control->getValue();
                p *= (1.0f - c) + t * c;
            }
        }
        notify(p, any);
        return;
    }
    default:
        return;
    }
}

void ParameterAction::onModulatorEvent(Modulator* /*source*/, int a, int b) {
    if (listener) listener->onParameterEvent(owner, index, a, b);
}

void clearActionRoutes(std::vector<ParameterAction>& actions) {
    for (ParameterAction& a : actions) a.clearRoutes();
}

void clearAllActionRoutes(std::vector<std::vector<ParameterAction>>& table) {
    for (auto& actions : table) clearActionRoutes(actions);
}

} // namespace VSX
