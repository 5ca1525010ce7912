// The layer manager: key ranges, delayed starts and glides in sample time,
// slot ownership, slot counts, slot modulation and the layer parameters.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "engine-support/QuantumManager.h"
#include "synth/LayerManager.h"

namespace {

using VSX::LayerManager;

// Logs reports as short texts ("start s L key", "release s L", "amp s L",
// "pitch s L") and keeps which slots sound.
class Recorder : public VSX::LayerListener {
public:
    void onLayerVoicePitch(uint64_t s, uint64_t l) override { add("pitch", s, l); }
    void onLayerVoiceAmplitude(uint64_t s, uint64_t l) override { add("amp", s, l); }
    void onLayerVoiceStart(uint64_t s, uint64_t l, uint8_t key) override {
        add("start", s, l, key);
        sounding[l][s] = true;
    }
    void onLayerVoiceRelease(uint64_t s, uint64_t l) override {
        add("release", s, l);
        sounding[l][s] = false;
    }
    void onLayerVoiceVelocity(uint64_t s, uint64_t l) override { add("velocity", s, l); }
    void onLayerVoiceRetrigger(uint64_t s, uint64_t l, uint8_t key) override {
        add("retrig", s, l, key);
        sounding[l][s] = true;
    }
    void onKeyCoverage(const uint8_t* map) override { coverage.assign(map, map + 128); }
    uint32_t getLayerTargets(uint64_t l) override { return l == 9 ? 0 : 0xFFFFFFFFu; }
    void onLayerParameterModulated(uint64_t l, uint16_t kind, int) override {
        add("modulated", kind, l);
    }

    void add(const char* what, uint64_t s, uint64_t l, int key = -1) {
        std::string e = std::string(what) + " " + std::to_string(s) + " " + std::to_string(l);
        if (key >= 0) e += " " + std::to_string(key);
        log.push_back(e);
    }
    // The reports of one kind, in order.
    std::vector<std::string> only(const std::string& what) const {
        std::vector<std::string> out;
        for (const std::string& e : log)
            if (e.rfind(what + " ", 0) == 0) out.push_back(e);
        return out;
    }
    bool anySounding() const {
        for (const auto& layer : sounding)
            for (bool s : layer)
                if (s) return true;
        return false;
    }

    std::vector<std::string> log;
    std::vector<uint8_t> coverage;
    bool sounding[10][6] = {};
};

// Ten layers with six slots each; layer k listens to part k, only layer 0
// is active.
struct Layers {
    Layers() {
        for (uint64_t l = 0; l < 10; ++l) layers[l].part = l;
        layers[0].active = 1;
        lm.attachLayers(layers);
        lm.initLayers(&rx, false);
        rx.log.clear();
    }
    VSX::LayerRecord layers[10];
    Recorder rx;
    LayerManager lm;
};

TEST(LayerManager, KeyRangesAndCoverage) {
    struct Case {
        uint8_t low, high, key, flags;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {36, 59, 40, 0, {"pitch 0 0", "amp 0 0", "start 0 0 40"}},
        {36, 59, 59, 0, {"pitch 0 0", "amp 0 0", "start 0 0 59"}},
        {36, 59, 60, 0, {}},
        {36, 59, 60, LayerManager::kFlagSilenceOutside, {"amp 0 0"}},
        {60, 50, 55, 0, {}}, // low above high: no key
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.low) + ".." + std::to_string(c.high) + " key " +
                     std::to_string(c.key));
        Layers f;
        f.layers[0].flags = c.flags;
        f.lm.setLayerField(0, LayerManager::kKeyLow, c.low);
        f.lm.setLayerField(0, LayerManager::kKeyHigh, c.high + 128.0f); // masked to 7 bits
        ASSERT_EQ(f.rx.coverage.size(), 128u);
        EXPECT_EQ(f.rx.coverage[c.key], c.log.size() == 3 ? 1 : 0);
        f.rx.log.clear();
        f.lm.startVoice(0, 0, c.key, 100, 128);
        EXPECT_EQ(f.rx.log, c.log);
    }
}

TEST(LayerManager, SwitchingOffReleasesEverySlot) {
    Layers f;
    f.layers[0].flags = LayerManager::kFlagSilenceOutside;
    f.lm.startVoice(0, 0, 60, 100, 128);
    f.lm.startVoice(0, 2, 62, 100, 60);
    f.rx.log.clear();
    f.lm.setLayerField(0, LayerManager::kActive, 0.0f);
    EXPECT_EQ(f.rx.only("release").size(), 6u);
    EXPECT_EQ(f.rx.only("amp").size(), 6u);
    EXPECT_FALSE(f.rx.anySounding());
    EXPECT_EQ(f.rx.coverage[60], 0);
    f.lm.setLayerField(0, LayerManager::kActive, 1.0f);
    EXPECT_EQ(f.rx.coverage[60], 1);
}

// Counts the samples from a note until the layer slot starts, driving the
// manager in blocks of 64 samples at 48 kHz.
TEST(LayerManager, DelayedStartInSampleTime) {
    for (bool releaseEarly : {false, true}) {
        SCOPED_TRACE(releaseEarly ? "released before the start" : "held");
        Layers f;
        vantor::QuantumManager qm(4);
        qm.rate = 48000.0;
        qm.schedule(&f.lm, LayerManager::kTimerCookie);
        f.lm.setLayerField(0, LayerManager::kDelayStart, 50.0f);
        f.lm.startVoice(0, 1, 60, 100, 128);
        EXPECT_TRUE(f.rx.only("start").empty());
        uint64_t started = 0;
        for (uint64_t t = 0; t < 48000 && !started; t += 64) {
            for (uint64_t left = 64; left > 0;) left -= qm.advance(left);
            if (releaseEarly && t >= 12000) f.lm.releaseVoice(0, 1);
            if (!f.rx.only("start").empty()) started = t + 64;
        }
        if (releaseEarly) {
            EXPECT_EQ(started, 0u);
        } else {
            EXPECT_EQ(f.rx.only("start"), std::vector<std::string>{"start 1 0 60"});
            // 120 ticks of 200 samples, give or take the tick on which the
            // float countdown reaches 0 and the 64-sample block.
            EXPECT_NEAR(static_cast<double>(started), 24200.0, 300.0);
        }
    }
}

TEST(LayerManager, TickPeriodCarriesTheFraction) {
    Layers f;
    uint64_t total = 0;
    for (int i = 0; i < 240; ++i) total += f.lm.onQuantum(44100.0); // 183.75 per tick
    EXPECT_EQ(total, 44100u);
    // An unset rate (1.0) still moves time on instead of asking again at once.
    EXPECT_EQ(f.lm.onQuantum(1.0), 1u);
    LayerManager detached;
    EXPECT_EQ(detached.onQuantum(48000.0), uint64_t(std::numeric_limits<int64_t>::max()));
}

// Runs the manager's timers until sample `t` (ticks due at t itself run on
// the next call).
void runUntil(vantor::QuantumManager& qm, uint64_t t) {
    while (qm.now < t) qm.advance(t - qm.now);
}

// Glides in sample time at 48 kHz: one tick every 200 samples.
TEST(LayerManager, Glides) {
    struct Case {
        const char* what;
        float amount;
        uint64_t mode;
        std::vector<float> cents; // after the retrigger, then after each tick
    };
    const Case cases[] = {
        {"exponential", 100, 0, {-400.0f, -400.0f * 0.98738f, -400.0f * 0.98738f * 0.98738f}},
        {"linear, 10 cents a tick", 91, 1, {-400.0f, -390.0f, -380.0f}},
        {"no glide amount", 0, 0, {0.0f, 0.0f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Layers f;
        vantor::QuantumManager qm(4);
        qm.rate = 48000.0;
        qm.schedule(&f.lm, LayerManager::kTimerCookie); // ticks at 0, 200, 400, ...
        f.lm.setLayerField(0, LayerManager::kGlideAmount, c.amount);
        f.lm.setLayerField(0, LayerManager::kGlideMode, static_cast<float>(c.mode));
        f.lm.onFirstVoice(0);
        f.lm.startVoice(0, 0, 60, 100, 128);
        f.lm.retriggerVoice(0, 0, 60, 100, false, 0, false); // first note: nothing to glide from
        EXPECT_FLOAT_EQ(f.lm.getSlotPitchCents(0, 0), 0.0f);
        f.lm.retriggerVoice(0, 0, 64, 100, false, 0, false);
        for (size_t i = 0; i < c.cents.size(); ++i) {
            runUntil(qm, 200 * i + 1);
            EXPECT_NEAR(f.lm.getSlotPitchCents(0, 0), c.cents[i], 0.01f) << "tick " << i;
        }
    }
    // An exponential glide settles to 0 once within a cent:
    // ln(1200) / -ln(0.98738) = 558 ticks, plus the one that zeroes it.
    Layers f;
    vantor::QuantumManager qm(4);
    qm.rate = 48000.0;
    qm.schedule(&f.lm, LayerManager::kTimerCookie);
    f.lm.setLayerField(0, LayerManager::kGlideAmount, 100.0f);
    f.lm.startVoice(0, 0, 60, 100, 72);
    f.lm.retriggerVoice(0, 0, 60, 100, false, 0, false); // from 72: 1200 cents
    EXPECT_FLOAT_EQ(f.lm.getSlotPitchCents(0, 0), 1200.0f);
    runUntil(qm, 200 * 550 + 1);
    EXPECT_NE(f.lm.getSlotPitchCents(0, 0), 0.0f);
    runUntil(qm, 200 * 570 + 1);
    EXPECT_EQ(f.lm.getSlotPitchCents(0, 0), 0.0f);
    // A glide amount above 100 is held at 100 so the glide settles.
    f.lm.setLayerField(0, LayerManager::kGlideAmount, 1000.0f);
    EXPECT_FLOAT_EQ(f.lm.getLayerField(0, LayerManager::kGlideAmount), 100.0f);
}

TEST(LayerManager, RetriggerReports) {
    struct Case {
        bool legacy, a, monoRetrig;
        uint8_t flag;
        bool b;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {false, true, false, 1, true, {"pitch 0 0", "retrig 0 0 62", "velocity 0 0"}},
        {false, false, true, 1, false, {"pitch 0 0", "retrig 0 0 62"}},
        {false, false, false, 1, true, {"pitch 0 0", "velocity 0 0"}},
        {false, true, false, 0, true, {"pitch 0 0"}},
        {true, true, false, 1, true, {"pitch 0 0", "amp 0 0", "start 0 0 62"}},
        {true, false, false, 1, true, {"pitch 0 0"}},
    };
    for (const Case& c : cases) {
        Layers f;
        f.lm.initLayers(&f.rx, c.legacy);
        f.layers[0].monoRetrig = c.monoRetrig;
        f.lm.startVoice(0, 0, 60, 100, 128);
        f.rx.log.clear();
        f.lm.retriggerVoice(0, 0, 62, 100, c.a, c.flag, c.b);
        EXPECT_EQ(f.rx.log, c.log);
    }
    Layers excluded;
    excluded.layers[0].flags = LayerManager::kFlagNoUpdates;
    excluded.lm.retriggerVoice(0, 0, 62, 100, true, 1, true);
    excluded.lm.updateVoicePitch(0, 0);
    excluded.lm.updateVoiceAmplitude(0, 0);
    EXPECT_TRUE(excluded.rx.log.empty());
}

// A voice beyond a layer's slot count plays on slot 0; it used to be skipped
// at release, so its note sounded on until voice 0 happened to release.
TEST(LayerManager, VoiceBeyondTheSlotCountReleasesItsSlot) {
    struct Case {
        const char* what;
        std::vector<std::string> script; // "+v" start voice v, "-v" release it
    };
    const Case cases[] = {
        {"voice 3 after voice 0", {"+0", "+3", "-0", "-3"}},
        {"voice 3 before voice 0", {"+3", "+0", "-3", "-0"}},
        {"voice 3 alone", {"+3", "-3"}},
        {"two voices beyond", {"+4", "+5", "-5", "-4"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Layers f;
        f.layers[0].slotCount = 1;
        f.lm.initLayers(&f.rx, false);
        for (const std::string& s : c.script) {
            const uint64_t v = static_cast<uint64_t>(s[1] - '0');
            if (s[0] == '+') {
                f.lm.startVoice(0, v, static_cast<uint8_t>(60 + v), 100, 128);
            } else {
                f.lm.releaseVoice(0, v);
                f.lm.endVoice(0, v);
            }
        }
        EXPECT_FALSE(f.rx.anySounding());
    }
    // Voice 0's release does not cut voice 3, which took slot 0 after it;
    // voice 3's pitch changes reach slot 0, voice 0's no longer do.
    Layers f;
    f.layers[0].slotCount = 1;
    f.lm.initLayers(&f.rx, false);
    f.lm.startVoice(0, 0, 60, 100, 128);
    f.lm.startVoice(0, 3, 63, 100, 60);
    f.rx.log.clear();
    f.lm.releaseVoice(0, 0);
    f.lm.updateVoicePitch(0, 0);
    EXPECT_TRUE(f.rx.log.empty());
    EXPECT_TRUE(f.rx.sounding[0][0]);
    f.lm.updateVoicePitch(0, 3);
    EXPECT_EQ(f.rx.log, std::vector<std::string>{"pitch 0 0"});
}

// Events of a voice that shares slot 0 leave the note of the voice that
// owns the slot alone.
TEST(LayerManager, SharedSlotBelongsToItsOwner) {
    struct Case {
        const char* what;
        void (*act)(LayerManager&);
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"a note outside the range does not silence the owner",
         [](LayerManager& lm) { lm.startVoice(0, 3, 90, 100, 60); },
         {}},
        {"a legato move does not re-pitch the owner",
         [](LayerManager& lm) { lm.retriggerVoice(0, 3, 62, 100, false, 1, false); },
         {}},
        {"a restart takes the slot over",
         [](LayerManager& lm) { lm.retriggerVoice(0, 3, 62, 100, true, 1, false); },
         {"pitch 0 0", "retrig 0 0 62"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Layers f;
        f.layers[0].slotCount = 1;
        f.layers[0].keyHigh = 80;
        f.layers[0].flags = LayerManager::kFlagSilenceOutside;
        f.lm.initLayers(&f.rx, false);
        f.lm.startVoice(0, 0, 60, 100, 128);
        f.rx.log.clear();
        c.act(f.lm);
        EXPECT_EQ(f.rx.log, c.log);
    }
    // A voice started again while it holds another slot leaves that slot.
    Layers f;
    f.lm.startVoice(0, 4, 60, 100, 128);
    f.lm.setLayerField(0, LayerManager::kSlotCount, 2.0f); // slot 4 is released here
    f.lm.setLayerField(0, LayerManager::kSlotCount, 6.0f);
    f.lm.slots[0].owner[1] = 4; // as if voice 4 held slot 1
    f.rx.sounding[0][1] = true;
    f.lm.startVoice(0, 4, 62, 100, 60);
    EXPECT_FALSE(f.rx.sounding[0][1]);
    EXPECT_TRUE(f.rx.sounding[0][4]);

    // Transpose and detune fields hold a signed byte: large values saturate.
    f.lm.setLayerField(0, LayerManager::kTranspose, 300.0f);
    EXPECT_FLOAT_EQ(f.lm.getLayerField(0, LayerManager::kTranspose), 127.0f);
}

TEST(LayerManager, SlotCountIsClampedAndLoweringReleases) {
    Layers f;
    for (uint64_t v = 0; v < 6; ++v) f.lm.startVoice(0, v, 60, 100, 128);
    f.lm.setLayerField(0, LayerManager::kSlotCount, 20.0f);
    EXPECT_FLOAT_EQ(f.lm.getLayerField(0, LayerManager::kSlotCount), 6.0f);
    f.rx.log.clear();
    f.lm.setLayerField(0, LayerManager::kSlotCount, 2.0f);
    EXPECT_EQ(f.rx.only("release"), (std::vector<std::string>{"release 2 0", "release 3 0",
                                                              "release 4 0", "release 5 0"}));
    f.lm.setLayerField(0, LayerManager::kSlotCount, -4.0f);
    EXPECT_FLOAT_EQ(f.lm.getLayerField(0, LayerManager::kSlotCount), 0.0f);
    f.lm.setLayerField(0, LayerManager::kSlotCount, 6.0f);
    f.lm.releaseVoice(0, 0);
    f.lm.releaseVoice(0, 1);
    EXPECT_FALSE(f.rx.anySounding());

    // A layer set up with no slots plays nothing and indexes nothing.
    Layers none;
    none.layers[0].slotCount = 0;
    none.lm.initLayers(&none.rx, false);
    none.rx.log.clear();
    none.lm.startVoice(0, 0, 60, 100, 128);
    none.lm.retriggerVoice(0, 0, 60, 100, true, 1, true);
    none.lm.releaseVoice(0, 0);
    none.lm.setLayerField(0, LayerManager::kSlotCount, 3.0f);
    EXPECT_TRUE(none.rx.log.empty());
    EXPECT_FLOAT_EQ(none.lm.getSlotPitchCents(0, 0), 0.0f);
}

TEST(LayerManager, OutsideIndicesAndValuesAreIgnored) {
    Layers f;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    f.lm.setLayerField(10, LayerManager::kActive, 1.0f);
    f.lm.setLayerField(0, 15, 1.0f);
    f.lm.setLayerField(0, LayerManager::kTranspose, nan);
    f.lm.setLayerField(0, LayerManager::kAmp, std::numeric_limits<float>::infinity());
    f.lm.onParameterAction(uint64_t{0x0A00}, 5, 1.0f, true); // layer 10
    f.lm.onParameterAction(uint64_t{0x0007}, 5, 1.0f, true); // slot 7
    f.lm.startVoice(0, 6, 60, 100, 128);                     // voice 6
    f.lm.releaseVoice(0, 99);
    f.lm.updateVoicePitch(0, 6);
    EXPECT_TRUE(f.rx.log.empty());
    EXPECT_FLOAT_EQ(f.lm.getLayerField(0, LayerManager::kAmp), 1.0f);
    EXPECT_EQ(f.lm.markAmpModulation(uint64_t{0x0C00}, 7, 1, 1), 12u);

    struct Case {
        uint64_t layer;
        uint16_t field;
        float expected;
    };
    const Case defaults[] = {{10, LayerManager::kKeyHigh, 127.0f},
                             {10, LayerManager::kAmp, 1.0f},
                             {10, LayerManager::kAmpSteps, 15.0f},
                             {10, LayerManager::kKeyLow, 0.0f},
                             {0, 9, 0.0f},
                             {0, 15, 0.0f}};
    for (const Case& c : defaults)
        EXPECT_FLOAT_EQ(f.lm.getLayerField(c.layer, c.field), c.expected);

    uint64_t layer = 99;
    EXPECT_NE(f.lm.findLayerTarget("L02 AMP (STEPS)", &layer), nullptr);
    EXPECT_EQ(layer, 1u);
    for (const char* bad : {"L11 AMP", "L00 AMP", "L1", "L01", "X01 AMP", "L01 amp", "L0A AMP"})
        EXPECT_EQ(f.lm.findLayerTarget(bad, &layer), nullptr) << bad;
}

TEST(LayerManager, SlotModulationAndAmplitude) {
    Layers f;
    f.layers[0].flags = LayerManager::kFlagSilenceOutside;
    uint64_t layer = 0;
    std::vector<VSX::ParameterAction>* transpose = f.lm.findLayerTarget("L01 TRANSPOSE", &layer);
    ASSERT_NE(transpose, nullptr);
    ASSERT_EQ(transpose->size(), 6u);
    VSX::GenericFloatModulator m;
    VSX::ModRoute r;
    r.source = &m;
    r.amount = 12.0f / 127.0f; // x record max 127 = 12 semitones at value 1
    (*transpose)[2].addRoute(r);
    f.rx.log.clear();
    m.publish(1.0f);
    EXPECT_EQ(f.rx.log, (std::vector<std::string>{"modulated 5 0", "pitch 2 0"}));
    EXPECT_NEAR(f.lm.getSlotPitchCents(0, 2), 1200.0f, 0.01f);
    EXPECT_NEAR(f.lm.getSlotFrequency(0, 2, 440.0f), 880.0f, 0.01f);
    EXPECT_FLOAT_EQ(f.lm.getSlotPitchCents(0, 1), 0.0f);
    EXPECT_EQ(f.lm.ampMarks[1][0], 0); // only amplitude kinds are marked

    f.lm.setLayerField(0, LayerManager::kDetune, 7.9f); // integer part, to every slot
    EXPECT_NEAR(f.lm.getSlotPitchCents(0, 2), 1207.0f, 0.01f);
    f.lm.clearModulation();
    EXPECT_NEAR(f.lm.getSlotPitchCents(0, 2), 7.0f, 0.01f);

    f.lm.setLayerField(0, LayerManager::kFixedFreq, 1.0f);
    EXPECT_TRUE(f.lm.isFixedFreq(0, 4));

    // Amplitude: slot amplitude x layer amp while no amplitude route is marked.
    f.lm.startVoice(0, 0, 60, 100, 128);
    f.lm.setLayerField(0, LayerManager::kAmp, 0.5f);
    LayerManager::SlotAmplitude a = f.lm.getSlotAmplitude(0, 0);
    EXPECT_FLOAT_EQ(a.amplitude, 0.5f);
    EXPECT_FLOAT_EQ(a.base, 0.5f);
    f.lm.setLayerField(0, LayerManager::kAmpSteps, 0x1A); // masked by 15: 10
    EXPECT_FLOAT_EQ(f.lm.getLayerField(0, LayerManager::kAmpSteps), 10.0f);
    f.lm.markAmpModulation(uint64_t{0}, 14, 1, 0); // second set
    a = f.lm.getSlotAmplitude(0, 0);
    EXPECT_FLOAT_EQ(a.amplitude, 10.0f / 15.0f * 0.5f * 0.5f);
    EXPECT_FLOAT_EQ(f.lm.getSlotAmplitude(0, 5).amplitude, 0.0f); // slot 5 never started
    f.lm.setLayerField(0, LayerManager::kActive, 0.0f);
    EXPECT_FLOAT_EQ(f.lm.getSlotAmplitude(0, 0).amplitude, 0.0f);

    // Layer 10 offers no targets: its slot actions cannot be named.
    EXPECT_EQ(f.lm.findLayerTarget("L10 AMP", &layer), nullptr);
}

TEST(LayerManager, LayerParameters) {
    Layers f;
    f.layers[1].stepMask = 127;
    std::vector<vantor::ParameterInfo> list;
    f.lm.buildLayerParameters(list);
    ASSERT_EQ(list.size(), 160u);
    struct Case {
        size_t index;
        const char* label;
        uint8_t flags, math;
        float max;
    };
    const Case cases[] = {
        {0, "L01 Active", 0x03, 0x01, 1},        {1, "L01 Mono Retrig", 0x03, 0x01, 1},
        {4, "L01 Delay Start", 0x03, 0x01, 100}, {5, "L01 Transpose", 0x13, 0x07, 127},
        {6, "L01 Detune", 0x13, 0x03, 100},      {7, "L01 Amp", 0x13, 0x0B, 1},
        {8, "L01 Fixed Freq", 0x03, 0x01, 1},    {11, "L01 Glide Amount", 0x03, 0x01, 100},
        {14, "L01 Amp (steps)", 0x13, 0x0B, 15}, {30, "L02 Amp (steps)", 0x13, 0x0B, 127},
        {144, "L10 Active", 0x03, 0x01, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_NE(list[c.index].label, nullptr);
        EXPECT_STREQ(list[c.index].label, c.label);
        EXPECT_EQ(list[c.index].id, c.index);
        EXPECT_EQ(list[c.index].flags, c.flags);
        EXPECT_EQ(list[c.index].mathFlags, c.math);
        EXPECT_FLOAT_EQ(list[c.index].maxValue, c.max);
    }
    EXPECT_EQ(list[8].modFlags, 0x81);
    EXPECT_EQ(list[0].displayMode, 3u);
    for (size_t k : {2, 3, 9, 10, 12, 13, 15}) EXPECT_EQ(list[k].label, nullptr);
    EXPECT_EQ(list[144 + 7].label, nullptr); // layer 10 offers no Amp target
}

} // namespace
