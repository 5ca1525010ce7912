// The live value of one parameter for one owner (a voice, a layer slot, a
// lane or the whole instrument). It keeps the base value set by the host or
// a preset and the modulation routes attached to it; whenever the base or a
// routed modulator changes it recomputes the effective value by its MATH
// mode (REPLACE, OFFSET, ACCUM, SCALE), clamps it to the parameter's range
// and hands it to its listener.
#pragma once

#include <cstdint>
#include <vector>

#include "synth/Modulator.h"
#include "vantor/ParameterInfo.h"

namespace VSX {

// Receives the values of parameter actions.
class ParameterActionListener {
public:
    virtual ~ParameterActionListener() = default;
    // A routed modulator got a value (a = 1, b = 0) or was switched (active, 1).
    virtual void onParameterEvent(uint64_t /*owner*/, uint16_t /*index*/, int /*a*/, int /*b*/) {}
    // The effective value of parameter `index` for `owner`; modulated is set
    // when a route took part.
    virtual void onParameterAction(float value, uint64_t owner, uint16_t index, bool modulated) = 0;
};

// Shaping curves of route sources and controls (codes 0-9; others act as 0).
enum Curve : uint32_t {
    kCurveLinear = 0,
    kCurveLinearInv,
    kCurveSquared,
    kCurveSquaredInv,
    kCurveCube,
    kCurveCubeInv,
    kCurveSqrt,
    kCurveSqrtInv,
    kCurveSwitch,
    kCurveSwitchInv,
};
float applyCurve(uint32_t curve, float x);

// One modulation route: a source, an optional control that scales it, and
// the matrix's numbers.
struct ModRoute {
    Modulator* source = nullptr;
    Modulator* control = nullptr;
    float offset = 0.0f;
    float amount = 1.0f;
    float min = -9999.0f;
    float max = 9999.0f;
    uint32_t sourceCurve = kCurveLinear;
    uint32_t controlCurve = kCurveLinear;
    uint64_t part = 0;
    uint8_t retrigger = 0;
};

class ParameterAction : public ModListener {
public:
    enum Math : uint8_t { kReplace = 1, kOffset = 2, kAccum = 4, kScale = 8 };

    ParameterAction() = default;
    // Moving keeps the routes: the modulators are pointed at the new place.
    ParameterAction(ParameterAction&& other) noexcept;
    ParameterAction& operator=(ParameterAction&& other) noexcept;
    ParameterAction(const ParameterAction&) = delete;
    ParameterAction& operator=(const ParameterAction&) = delete;
    // Detaches from every routed modulator, which must still exist.
    ~ParameterAction() override;

    // Binds the action and reports the record's default (clamped).
    void init(uint64_t owner, uint16_t index, vantor::ParameterInfo* record,
              ParameterActionListener* listener);
    // base = v clamped to the range, then applied. NaN and infinities are ignored.
    void setBase(float v);
    // A value from the host or a preset: clamped, stored as max - v for
    // inverted records, applied as a reset. NaN and infinities are ignored.
    void setValueRelative(float v);
    // Takes the MATH mode when the record accepts it; false otherwise.
    bool setMath(uint8_t m);
    // Attaches a route, replacing one with the same source, and applies.
    void addRoute(const ModRoute& route);
    // Detaches the route of that source (if any) and applies.
    void removeRoute(Modulator* source);
    // Drops every route, math back to OFFSET, running sum 0, and applies.
    void clearRoutes();

    // The apply step: recomputes the value by the MATH mode and reports it.
    void onModulatorChanged(Modulator* source, bool reset) override;
    // Forwards the event to the listener with owner and index.
    void onModulatorEvent(Modulator* source, int a, int b) override;

    // What one route adds for a parameter whose maximum is pmax.
    float getRouteValue(const ModRoute& route, float pmax) const;
    // The factor the route's control contributes (1.0 without one).
    float getControlFactor(const ModRoute& route) const;
    // The SCALE term of a route for source value s.
    float getScaleTerm(const ModRoute& route, float s) const;

    float base = 0.0f;
    float runningSum = 0.0f;
    uint64_t owner = 0;
    uint16_t index = 0;
    uint8_t math = kOffset;
    vantor::ParameterInfo* record = nullptr;
    ParameterActionListener* listener = nullptr;
    std::vector<ModRoute> routes;

private:
    float clampToRecord(float v) const;
    void notify(float v, bool modulated);
    // Detaches from a modulator unless another route still uses it.
    void detachUnlessUsed(Modulator* m);
    void detachAll();
    void reattach(ParameterAction& from);
};

// Clears the routes of every action of one array.
void clearActionRoutes(std::vector<ParameterAction>& actions);
// Clears the routes of every array of a per-parameter table.
void clearAllActionRoutes(std::vector<std::vector<ParameterAction>>& table);

} // namespace VSX
