// A synth controller set up the way the instrument sets it up (ten layer
// records, voice parameters, a timer queue at 48 kHz), with a log of what
// reaches the automation slots, the hooks, watched modulators and layer 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine-support/QuantumManager.h"
#include "synth/SynthController.h"

namespace rig {

using Log = std::vector<std::string>;

// Layer 0's reports as "layer start s 0 key", "layer release s 0", ...
class LayerLog : public VSX::LayerListener {
public:
    explicit LayerLog(Log& target) : log(target) {}
    void onLayerVoicePitch(uint64_t s, uint64_t l) override { add("pitch", s, l); }
    void onLayerVoiceAmplitude(uint64_t s, uint64_t l) override { add("amp", s, l); }
    void onLayerVoiceStart(uint64_t s, uint64_t l, uint8_t key) override {
        add("start", s, l, key);
    }
    void onLayerVoiceRelease(uint64_t s, uint64_t l) override { add("release", s, l); }
    void onLayerVoiceVelocity(uint64_t s, uint64_t l) override { add("velocity", s, l); }
    void onLayerVoiceRetrigger(uint64_t s, uint64_t l, uint8_t key) override {
        add("retrig", s, l, key);
    }
    bool enabled = true;

private:
    void add(const char* what, uint64_t s, uint64_t l, int key = -1) {
        if (!enabled || l != 0) return;
        std::string e =
            "layer " + std::string(what) + " " + std::to_string(s) + " " + std::to_string(l);
        if (key >= 0) e += " " + std::to_string(key);
        log.push_back(e);
    }
    Log& log;
};

// Logs the modulator's name each time it takes a value.
class ModulatorLog : public VSX::ModListener {
public:
    ModulatorLog(Log& target, VSX::Modulator& m, const char* label)
        : log(target), watched(m), name(label) {
        watched.addListener(this);
    }
    ~ModulatorLog() override { watched.removeListener(this); }
    void onModulatorChanged(VSX::Modulator*, bool) override { log.push_back(name); }
    void onModulatorEvent(VSX::Modulator*, int, int) override {}

private:
    Log& log;
    VSX::Modulator& watched;
    std::string name;
};

class Controller : public VSX::SynthController, public VSX::ParameterActionListener {
public:
    explicit Controller(Log& target) : log(target) {}

    void setParameter(uint16_t, float) override {}
    void onParameterAction(float value, uint64_t owner, uint16_t index, bool modulated) override {
        if (modulated) reports.push_back({value, owner, index});
    }
    void onControlChange(uint64_t p, uint8_t c, uint8_t v) override { add("hook cc", p, c, v); }
    void onProgramChange(uint64_t p, uint8_t program) override { add("hook program", p, program); }
    void handleRpn(uint8_t c, uint16_t parameter, uint8_t msb, uint8_t lsb) override {
        add("rpn", c, parameter, msb);
        SynthController::handleRpn(c, parameter, msb, lsb);
    }
    void triggerAutomSlots(uint64_t p, uint64_t v) override { add("slots on", p, v); }
    void releaseAutomSlots(uint64_t p, uint64_t v) override { add("slots off", p, v); }
    void rescheduleAutomSlots(uint64_t p, uint64_t n) override { add("slots rearm", p, n); }
    void setAutomSlotActive(uint64_t slot, bool on) override { add("slot active", slot, on); }
    void setAutomSlotParam(uint64_t slot, uint16_t field, float value) override {
        add("slot param", slot, field, static_cast<int>(value));
    }
    // Stands in for the matrix: clears, then runs the test's own routes.
    void parseModMatrix() override {
        ++parses;
        SynthController::parseModMatrix();
        if (routes) routes(*this);
    }

    struct Report {
        float value;
        uint64_t owner;
        uint16_t index;
    };
    Log& log;
    bool logging = true;
    int parses = 0;
    void (*routes)(Controller&) = nullptr;
    std::vector<Report> reports;

private:
    // Builds the entry only while logging: the audio-path test counts allocations.
    template <class... Parts> void add(const char* what, Parts... parts) {
        if (!logging) return;
        std::string e = what;
        ((e += " " + std::to_string(parts)), ...);
        log.push_back(e);
    }
};

// Layer 0 is the only active layer; every layer has six slots.
struct Rig {
    explicit Rig(uint32_t mode = 1, uint32_t legacy = 0) {
        queue.rate = 48000.0;
        layers[0].active = 1;
        ctl.quantumManager = &queue;
        ctl.layerManager.attachLayers(layers);
        for (VSX::VoiceManager& vm : ctl.voiceManagers) vm.initParameters(&ctl, 7);
        ctl.initController(ctl.parameters, &layerLog, nullptr, legacy);
        ctl.setVoiceMode(mode);
        log.clear();
    }
    void midi(uint8_t status, uint8_t d1, uint8_t d2 = 0) { ctl.processMidiEvent(status, d1, d2); }
    // A complete RPN run with data MSB only, closed by a null parameter.
    void rpn(uint8_t channel, uint16_t parameter, uint8_t msb) {
        const uint8_t cc = static_cast<uint8_t>(0xB0 | channel);
        midi(cc, 101, static_cast<uint8_t>(parameter >> 7));
        midi(cc, 100, static_cast<uint8_t>(parameter & 127));
        midi(cc, 6, msb);
        midi(cc, 101, 127);
        midi(cc, 100, 127);
    }

    vantor::QuantumManager queue{32}; // outlives the controller's timers
    VSX::LayerRecord layers[10];
    Log log;
    LayerLog layerLog{log};
    Controller ctl{log};
};

} // namespace rig
