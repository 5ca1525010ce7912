// Route arithmetic of parameter actions: curves, route values by source kind,
// the control factor, every MATH mode, clamping and the host-value paths.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "synth/GenericParam.h"
#include "synth/ParameterAction.h"

namespace {

using vantor::ParameterInfo;
using VSX::ModRoute;
using VSX::ParameterAction;

struct Report {
    float value;
    bool modulated;
};

class Recorder : public VSX::ParameterActionListener {
public:
    void onParameterAction(float value, uint64_t owner, uint16_t index, bool modulated) override {
        reports.push_back({value, modulated});
        lastOwner = owner;
        lastIndex = index;
    }
    void onParameterEvent(uint64_t, uint16_t, int a, int b) override {
        events.push_back(a * 10 + b);
    }
    Report last() const { return reports.back(); }
    std::vector<Report> reports;
    std::vector<int> events;
    uint64_t lastOwner = 0;
    uint16_t lastIndex = 0;
};

// A record 0..max accepting every MATH mode.
ParameterInfo makeRecord(float minV, float maxV, float def, uint8_t flags = 0) {
    ParameterInfo p("P", ParameterInfo::kContinuous, minV, maxV, def, 0x0F, 0);
    p.flags = flags;
    return p;
}

ModRoute route(VSX::Modulator* source, float amount = 1.0f, float offset = 0.0f,
               VSX::Modulator* control = nullptr) {
    ModRoute r;
    r.source = source;
    r.control = control;
    r.amount = amount;
    r.offset = offset;
    return r;
}

TEST(Curve, EveryCode) {
    struct Case {
        uint32_t code;
        float x, expected;
    };
    const Case cases[] = {
        {0, 0.3f, 0.3f},   {1, 0.3f, 0.7f},    {2, 0.5f, 0.25f}, {3, 0.5f, 0.75f},
        {4, 0.5f, 0.125f}, {5, 0.5f, 0.875f},  {6, 0.25f, 0.5f}, {7, 0.25f, 0.5f},
        {8, 0.49f, 0.0f},  {8, 0.5f, 1.0f},    {9, 0.49f, 1.0f}, {9, 0.5f, 0.0f},
        {10, 0.3f, 0.3f},  {99, -2.0f, -2.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_FLOAT_EQ(VSX::applyCurve(c.code, c.x), c.expected);
    }
}

TEST(ParameterAction, RouteValueBySourceKind) {
    struct Case {
        const char* what;
        int kind; // 0 unipolar, 1 bipolar, 2 key track (raw -127..127)
        float s;
        uint32_t curve;
        float offset, amount, rmin, rmax;
        uint8_t retrigger;
        float pmax, expected;
    };
    const Case cases[] = {
        {"unipolar linear", 0, 0.25f, 0, 0, 1, -9999, 9999, 0, 1, 0.25f},
        {"unipolar, offset and amount scale by pmax", 0, 0.5f, 0, 0.5f, 2, -9999, 9999, 0, 10,
         20.0f},
        {"unipolar squared", 0, 0.5f, 2, 0, 1, -9999, 9999, 0, 4, 1.0f},
        {"unipolar above MAX gives MAX itself", 0, 0.8f, 0, 0, 3, -9999, 0.5f, 0, 100, 0.5f},
        {"unipolar below MIN gives MIN itself", 0, 0.1f, 2, 1, 3, 0.2f, 9999, 0, 100, 0.2f},
        {"bipolar -1 linear", 1, -1.0f, 0, 0, 1, -9999, 9999, 0, 1, -1.0f},
        {"bipolar 0.5 linear", 1, 0.5f, 0, 0, 1, 0.0f, 0.1f, 0, 2, 1.0f},
        {"bipolar switch below 0", 1, -0.2f, 8, 0, 1, -9999, 9999, 0, 1, -1.0f},
        {"bipolar switch at 0", 1, 0.0f, 8, 0, 1, -9999, 9999, 0, 1, 1.0f},
        {"raw ignores curve, offset and bounds", 2, 7.0f, 1, 5, 0.5f, 0, 1, 0, 100, 3.5f},
        {"raw with retrigger scales by pmax over source range", 2, 127.0f, 0, 0, 1, -9999, 9999, 1,
         127, 63.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VSX::GenericFloatModulator uni;
        VSX::PitchBendModulator bi;
        VSX::KeyTrackModulator raw;
        VSX::Modulator* src = c.kind == 0   ? static_cast<VSX::Modulator*>(&uni)
                              : c.kind == 1 ? static_cast<VSX::Modulator*>(&bi)
                                            : &raw;
        src->value = c.s;
        ModRoute r = route(src, c.amount, c.offset);
        r.sourceCurve = c.curve;
        r.min = c.rmin;
        r.max = c.rmax;
        r.retrigger = c.retrigger;
        ParameterAction a;
        EXPECT_FLOAT_EQ(a.getRouteValue(r, c.pmax), c.expected);
    }
}

TEST(ParameterAction, ControlFactorByKind) {
    VSX::GenericFloatModulator src;
    src.value = 1.0f;
    VSX::GenericFloatModulator uni;
    VSX::PitchBendModulator bi;
    VSX::MIDI7ModulatorRaw raw;
    struct Case {
        VSX::Modulator* control;
        float c;
        uint32_t curve;
        float expected;
    };
    const Case cases[] = {
        {nullptr, 0, 0, 1.0f}, {&uni, 0.5f, 2, 0.25f}, {&bi, -0.5f, 0, -0.5f},
        {&bi, 0.5f, 9, -1.0f}, {&raw, 63.5f, 0, 0.5f}, {&raw, 127.0f, 1, 0.0f},
    };
    ParameterAction a;
    for (const Case& c : cases) {
        if (c.control) c.control->value = c.c;
        ModRoute r = route(&src, 1.0f, 0.0f, c.control);
        r.controlCurve = c.curve;
        EXPECT_FLOAT_EQ(a.getControlFactor(r), c.expected);
        EXPECT_FLOAT_EQ(a.getRouteValue(r, 1.0f), c.expected);
    }
}

TEST(ParameterAction, OffsetModeAddsActiveRoutes) {
    ParameterInfo rec = makeRecord(0, 1, 0.5f);
    Recorder rx;
    VSX::GenericFloatModulator m;
    ParameterAction a;
    a.init(3, 9, &rec, &rx);
    EXPECT_FLOAT_EQ(rx.last().value, 0.5f);
    EXPECT_EQ(rx.lastOwner, 3u);
    EXPECT_EQ(rx.lastIndex, 9u);

    a.addRoute(route(&m));
    EXPECT_FALSE(rx.last().modulated); // inactive source
    m.publish(0.25f);
    EXPECT_FLOAT_EQ(rx.last().value, 0.75f);
    EXPECT_TRUE(rx.last().modulated);
    EXPECT_EQ(rx.events.back(), 10); // the new-value event came first

    m.setActive(0);
    a.onModulatorChanged(nullptr, false);
    EXPECT_FLOAT_EQ(rx.last().value, 0.5f);
    EXPECT_FALSE(rx.last().modulated);

    m.publish(0.9f); // 0.5 + 0.9 clamps to the maximum
    EXPECT_FLOAT_EQ(rx.last().value, 1.0f);
}

TEST(ParameterAction, ReplaceModeUsesFirstActiveRouteOrTheChangedOne) {
    ParameterInfo rec = makeRecord(0, 1, 0.5f);
    Recorder rx;
    VSX::GenericFloatModulator m1, m2;
    ParameterAction a;
    a.init(0, 0, &rec, &rx);
    a.addRoute(route(&m1));
    a.addRoute(route(&m2));
    ASSERT_TRUE(a.setMath(ParameterAction::kReplace));
    m1.value = 0.2f;
    m1.setActive(1);
    m2.publish(0.7f); // the changed source's own route
    EXPECT_FLOAT_EQ(rx.last().value, 0.7f);
    a.onModulatorChanged(nullptr, false); // first active route
    EXPECT_FLOAT_EQ(rx.last().value, 0.2f);
    EXPECT_TRUE(rx.last().modulated);
    a.setValueRelative(0.4f); // a host value is reported as modulated
    EXPECT_FLOAT_EQ(rx.last().value, 0.4f);
    EXPECT_TRUE(rx.last().modulated);
    VSX::GenericFloatModulator stranger;
    a.onModulatorChanged(&stranger, false);
    EXPECT_FLOAT_EQ(rx.last().value, 0.4f);
    EXPECT_FALSE(rx.last().modulated);
}

TEST(ParameterAction, AccumModeSumsUntilHostValue) {
    ParameterInfo rec = makeRecord(0, 10, 1.0f);
    Recorder rx;
    VSX::GenericFloatModulator m;
    m.value = 0.01f; // route value 0.01 x pmax 10 = 0.1
    m.setActive(1);
    ParameterAction a;
    a.init(0, 0, &rec, &rx);
    a.addRoute(route(&m));
    ASSERT_TRUE(a.setMath(ParameterAction::kAccum)); // applies once: 1.1
    EXPECT_NEAR(rx.last().value, 1.1f, 1e-5f);
    for (float e : {1.2f, 1.3f}) {
        a.onModulatorChanged(nullptr, false);
        EXPECT_NEAR(rx.last().value, e, 1e-5f);
    }
    a.setValueRelative(1.0f);
    EXPECT_NEAR(rx.last().value, 1.1f, 1e-5f);
    a.clearRoutes();
    EXPECT_EQ(a.math, ParameterAction::kOffset);
    EXPECT_FLOAT_EQ(a.runningSum, 0.0f);
}

TEST(ParameterAction, ScaleMode) {
    struct Case {
        const char* what;
        bool rawSource;
        float s, offset, amount;
        bool withControl;
        float c, expected;
    };
    // base 8, record 0..16
    const Case cases[] = {
        {"no control multiplies by t", false, 0.5f, 0, 1, false, 0, 4.0f},
        {"offset and amount", false, 0.25f, 0.25f, 2, false, 0, 8.0f},
        {"control 0 leaves the base", false, 0.5f, 0, 1, true, 0.0f, 8.0f},
        {"control 1 multiplies by t", false, 0.5f, 0, 1, true, 1.0f, 4.0f},
        {"control 0.5 mixes", false, 0.5f, 0, 1, true, 0.5f, 6.0f},
        {"raw source is divided by the record max", true, 8.0f, 0, 1, false, 0, 4.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ParameterInfo rec = makeRecord(0, 16, 8);
        Recorder rx;
        VSX::GenericFloatModulator uni, control;
        VSX::MIDI7ModulatorRaw raw;
        VSX::Modulator* src = c.rawSource ? static_cast<VSX::Modulator*>(&raw) : &uni;
        ParameterAction a;
        a.init(0, 0, &rec, &rx);
        ASSERT_TRUE(a.setMath(ParameterAction::kScale));
        a.addRoute(route(src, c.amount, c.offset, c.withControl ? &control : nullptr));
        control.value = c.c;
        src->publish(c.s);
        EXPECT_FLOAT_EQ(rx.last().value, c.expected);
        EXPECT_TRUE(rx.last().modulated);
    }
}

TEST(ParameterAction, ScaleTermOutsideTheRouteRangeIsTheBound) {
    VSX::GenericFloatModulator m;
    ModRoute r = route(&m, 2.0f, 1.0f);
    r.min = 0.1f;
    r.max = 0.6f;
    ParameterAction a;
    EXPECT_FLOAT_EQ(a.getScaleTerm(r, 0.5f), 3.0f);
    EXPECT_FLOAT_EQ(a.getScaleTerm(r, 0.9f), 0.6f);
    EXPECT_FLOAT_EQ(a.getScaleTerm(r, 0.0f), 0.1f);
}

TEST(ParameterAction, HostValuesAndMathMask) {
    ParameterInfo inverted = makeRecord(0, 127, 0, ParameterInfo::kFlagInverted);
    Recorder rx;
    ParameterAction a;
    a.init(0, 0, &inverted, &rx);
    a.setValueRelative(27.0f);
    EXPECT_FLOAT_EQ(a.base, 100.0f);
    a.setValueRelative(500.0f); // clamped first, then inverted
    EXPECT_FLOAT_EQ(a.base, 0.0f);
    a.setBase(-3.0f);
    EXPECT_FLOAT_EQ(rx.last().value, 0.0f);

    ParameterInfo replaceOnly("R", 0, 0, 1, 0, ParameterInfo::kMathReplace, 0);
    ParameterAction b;
    b.init(0, 0, &replaceOnly, &rx);
    EXPECT_FALSE(b.setMath(ParameterAction::kScale));
    EXPECT_EQ(b.math, ParameterAction::kOffset);
    EXPECT_TRUE(b.setMath(ParameterAction::kReplace));
}

TEST(ParameterAction, NonFiniteValuesAreIgnored) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    ParameterInfo rec = makeRecord(0, 1, 0.5f);
    Recorder rx;
    VSX::GenericFloatModulator m;
    ParameterAction a;
    a.init(0, 0, &rec, &rx);
    for (float bad : {nan, inf, -inf}) {
        a.setBase(bad);
        a.setValueRelative(bad);
    }
    EXPECT_FLOAT_EQ(a.base, 0.5f);
    for (const Report& r : rx.reports) EXPECT_TRUE(std::isfinite(r.value));

    a.addRoute(route(&m));
    const size_t before = rx.reports.size();
    m.publish(nan); // a NaN route value reports nothing
    EXPECT_EQ(rx.reports.size(), before);
    ASSERT_TRUE(a.setMath(ParameterAction::kAccum));
    m.publish(nan);
    EXPECT_FLOAT_EQ(a.runningSum, 0.0f); // the sum does not stick at NaN
    m.publish(0.25f);
    EXPECT_FLOAT_EQ(rx.last().value, 0.75f);
}

TEST(ParameterAction, RoutesAttachAndDetach) {
    ParameterInfo rec = makeRecord(0, 1, 0);
    Recorder rx;
    VSX::GenericFloatModulator m, shared;
    {
        ParameterAction a;
        a.init(0, 0, &rec, &rx);
        a.addRoute(route(&m, 1.0f, 0.0f, &shared));
        a.addRoute(route(&shared));
        a.addRoute(route(&m, 0.5f)); // same source: overwritten, control dropped
        EXPECT_EQ(a.routes.size(), 2u);
        EXPECT_EQ(shared.listeners.size(), 1u); // still a source
        a.removeRoute(&shared);
        EXPECT_TRUE(shared.listeners.empty());
        EXPECT_EQ(m.listeners.size(), 1u);

        // Moving an action points the modulator at the new place.
        std::vector<ParameterAction> moved;
        moved.push_back(std::move(a));
        ASSERT_EQ(m.listeners.size(), 1u);
        EXPECT_EQ(m.listeners[0], &moved[0]);
        m.publish(1.0f);
        EXPECT_FLOAT_EQ(rx.last().value, 0.5f);
    }
    EXPECT_TRUE(m.listeners.empty()); // the destroyed action detached itself
}

TEST(GenericParam, SharedRecords) {
    // First use from several threads at once still makes one instance.
    VSX::GenericParam* seen[4] = {};
    std::vector<std::thread> threads;
    for (auto& s : seen) threads.emplace_back([&s] { s = &VSX::GenericParam::getInstance(); });
    for (std::thread& t : threads) t.join();
    VSX::GenericParam& g = VSX::GenericParam::getInstance();
    for (VSX::GenericParam* s : seen) EXPECT_EQ(s, &g);
    const ParameterInfo& t = g[VSX::GenericParam::kTranspose];
    EXPECT_STREQ(t.label, "Transpose");
    EXPECT_FLOAT_EQ(t.minValue, -128.0f);
    EXPECT_FLOAT_EQ(t.maxValue, 127.0f);
    EXPECT_FLOAT_EQ(t.defaultValue, 0.0f);
    EXPECT_EQ(t.mathFlags, 0x07);
    const ParameterInfo& amp = g[VSX::GenericParam::kAmplitude];
    EXPECT_EQ(amp.displayMode, 11u);
    EXPECT_STREQ(amp.displayFormat, "%3.0f");
    EXPECT_FLOAT_EQ(amp.factor, 100.0f);
    for (const ParameterInfo& p : g.records) EXPECT_EQ(p.flags, 0x10);
    EXPECT_EQ(g[VSX::GenericParam::kAmplitude7Bit].modFlags, 0x0541);
    EXPECT_EQ(g[VSX::GenericParam::kFixedFreq].valueKind, ParameterInfo::kOnOff);
}

} // namespace
