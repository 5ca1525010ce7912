// Helpers for the instrument-object tests: a host that records its callbacks,
// a console controller that plays one FM note per MIDI note on unit 0 (the
// instrument's own controller is not needed to hear the audio chain), and
// block rendering through the C record as a host drives it.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "InstrumentTestSupport.h"
#include "instrument/ChipWrap.h"
#include "synth/SynthBase.h"

namespace wraptest {

using namespace vantor::EnginePluginSDK;
using acme::ChipWrap;
using vantor::HDMIDIEvent;

// A host record followed by what the plug-in told it.
struct FakeHost {
    struct Call {
        int32_t opcode;
        int64_t a;
        void* b;
        uint64_t range[2]; // HOST_OP_PARAMS_CHANGED
    };
    HostRecord record{&FakeHost::callback};
    std::vector<Call> calls;

    static intptr_t callback(HostRecord* r, int32_t opcode, int64_t a, void* b) {
        auto* self = reinterpret_cast<FakeHost*>(r);
        Call c{opcode, a, b, {0, 0}};
        if (opcode == HOST_OP_PARAMS_CHANGED && b) std::memcpy(c.range, b, sizeof c.range);
        self->calls.push_back(c);
        return 0;
    }
    size_t count(int32_t opcode, int64_t a = -1) const {
        size_t n = 0;
        for (const Call& c : calls) n += c.opcode == opcode && (a < 0 || c.a == a);
        return n;
    }
};

// Key-on of a pure sine on FM channel 1 of unit 0 for every note-on, key-off
// for note-off; bends by up to an octave. Records what reaches it.
class NoteController : public ChipController, public VSX::SynthBase {
public:
    NoteController(std::vector<ChipEmu*>* units, ChipControllerListener* listener)
        : ChipController(units, listener) {
        parameters.resize(16);
    }

    static std::unique_ptr<ChipController> make(std::vector<ChipEmu*>* units,
                                                ChipControllerListener* listener) {
        return std::make_unique<NoteController>(units, listener);
    }

    void resetForVersion(uint32_t version) override {
        resetVersion = version;
        unitEnabled[0] = 1;
    }
    bool setClock(uint64_t index, double chipRate, double clockHz) override {
        ChipController::setClock(index, chipRate, clockHz);
        clockRate = chipRate;
        return true;
    }
    void processMidiEvent(uint8_t status, uint8_t data1, uint8_t data2) override {
        midi.push_back({status, data1, data2});
        const uint8_t kind = status & 0xF0;
        if (kind == 0x90 && data2 > 0) {
            key = data1;
            keyOn();
        } else if (kind == 0x80 || kind == 0x90) {
            if (data1 == key) unit()->write(0x28, 0x00, 0);
        } else if (kind == 0xE0) {
            bend = ((data2 << 7) | data1) - 8192;
            if (key < 128) setFrequency();
        }
    }
    void setParameter(uint16_t index, float value) override {
        parameterSets.push_back({index, value});
    }
    float getVoiceFrequency(uint64_t, uint64_t) override { return 0.0f; }
    void setPitchBendRange(float cents) override { bendRange = cents; }
    void setGlobalCents(float) override {}
    void setVoiceCount(uint64_t n) override { voiceCount = n; }
    void setMonoRetrigger(uint8_t) override {}
    void setVelocitySensitivity(float) override {}
    void setNoteTuningSource(VSX::NoteTuningSource* s) override { tuning = s; }
    void setVoiceMode(uint32_t) override {}
    void setFixedPitchKey(uint8_t) override {}
    void setMonoVelocityUpdate(uint8_t) override {}
    int32_t getHeldKeyCount(uint64_t) override { return 0; }
    uint64_t getVoiceCount(uint64_t) override { return 1; }
    uint64_t getActiveVoiceCount(uint64_t) override { return 0; }

    struct Midi {
        uint8_t status, data1, data2;
    };
    std::vector<Midi> midi;
    std::vector<std::pair<uint16_t, float>> parameterSets;
    float bendRange = 0.0f;
    uint64_t voiceCount = 0;
    VSX::NoteTuningSource* tuning = nullptr;
    uint32_t resetVersion = 0xFFFFFFFF;
    double clockRate = 0.0;

private:
    ChipEmu* unit() { return (*units)[0]; }
    void write(uint8_t reg, uint8_t value) { unit()->write(reg, value, 0); }
    void keyOn() {
        write(0x22, 0x00);
        write(0x27, 0x00);
        write(0x2B, 0x00);
        for (int slot = 0; slot < 4; ++slot) {
            const uint8_t s = uint8_t(4 * slot);
            write(0x30 + s, 0x01);
            write(0x40 + s, slot == 3 ? 0x00 : 0x7F);
            write(0x50 + s, 0x1F);
            write(0x60 + s, 0x00);
            write(0x70 + s, 0x00);
            write(0x80 + s, 0x0F); // fastest release
            write(0x90 + s, 0x00);
        }
        write(0xB0, 0x07);
        write(0xB4, 0xC0);
        setFrequency();
        write(0x28, 0xF0);
    }
    void setFrequency() {
        const double hz = 440.0 * std::exp2((key - 69) / 12.0 + bend / 8192.0);
        const double fmRate = clockRate * 48.0 / 7.0 / 144.0;
        int block = 0;
        double fnum = hz * 1048576.0 / fmRate * 2.0;
        while (fnum >= 2048.0 && block < 7) {
            fnum /= 2.0;
            ++block;
        }
        const int f = int(std::lround(fnum));
        write(0xA4, uint8_t((block << 3) | (f >> 8)));
        write(0xA0, uint8_t(f & 0xFF));
    }
    uint8_t key = 128;
    int bend = 0;
};

inline void setProcessing(ChipWrap& w, double rate, uint32_t block) {
    ProcessingInfo info = {};
    info.sampleRate = rate;
    info.sampleRateInt = static_cast<uint32_t>(rate);
    info.maxBlockFrames = block;
    dispatchEntry(w.getRecord(), PLUGIN_OP_SET_PROCESSING_INFO, &info, nullptr);
}

// A "MD" instance with note controllers, set up for `rate` and `block` and
// activated.
inline std::unique_ptr<ChipWrap> makeWrap(double rate, uint32_t block = 256) {
    auto w = std::make_unique<ChipWrap>(nullptr, "MD", NoteController::make);
    setProcessing(*w, rate, block);
    EXPECT_EQ(dispatchEntry(w->getRecord(), PLUGIN_OP_ACTIVATE, nullptr, nullptr), 1);
    return w;
}

using insttest::midiEvent;
using insttest::parameterEvent;

// Renders `frames` frames in blocks of `block` through the process entry;
// `events` go with the first block. Returns the left channel.
inline std::vector<double> render(ChipWrap& w, size_t frames, uint32_t block,
                                  const std::vector<HDMIDIEvent>& events = {},
                                  std::vector<double>* right = nullptr) {
    auto in = std::make_unique<EventList>();
    std::vector<float> l(block), r(block);
    std::vector<double> out;
    bool first = true;
    for (size_t done = 0; done < frames;) {
        const uint32_t n = uint32_t(std::min<size_t>(block, frames - done));
        in->count = 0;
        if (first)
            for (const HDMIDIEvent& e : events) in->events[in->count++] = e;
        first = false;
        float* outputs[2] = {l.data(), r.data()};
        w.getRecord()->process(w.getRecord(), outputs, int32_t(n), in.get(), nullptr, nullptr);
        for (uint32_t i = 0; i < n; ++i) {
            out.push_back(l[i]);
            if (right) right->push_back(r[i]);
        }
        done += n;
    }
    return out;
}

inline double rmsDb(const std::vector<double>& x, size_t from = 0) {
    double sum = 0.0;
    size_t n = 0;
    for (size_t i = from; i < x.size(); ++i, ++n) sum += x[i] * x[i];
    if (n == 0 || sum == 0.0) return -400.0;
    return 10.0 * std::log10(sum / double(n));
}

} // namespace wraptest
