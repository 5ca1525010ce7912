// A console controller on seven real console units, activated at the units'
// own rate, with a listener that records what the controller reports.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "InstrumentTestSupport.h"
#include "instrument/MD_ctrl.h"

namespace insttest {

struct RecordingListener : ChipControllerListener {
    struct Value {
        uint32_t index;
        uint8_t mode;
        float value;
    };
    void controllerParameterValue(uint32_t index, uint8_t mode, float value) override {
        values.push_back({index, mode, value});
    }
    void paramInfoChanged(uint64_t, uint64_t first, uint64_t last) override {
        ranges.push_back({first, last});
    }
    std::vector<Value> values;
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
};

// Seven console units and the controller on them, activated at the units'
// own rate (clock index 0).
struct Console {
    std::vector<std::unique_ptr<MD_Emu>> owned;
    std::vector<ChipEmu*> units;
    RecordingListener listener;
    std::unique_ptr<MD_ctrl> ctrl;
    double rate = 0.0;

    explicit Console(uint32_t version = 0) {
        for (int i = 0; i < 7; ++i) {
            owned.push_back(makeUnit());
            units.push_back(owned.back().get());
        }
        rate = frameRate(*owned[0]);
        ctrl = makeConsoleController(&units, &listener);
        ctrl->setClock(0, rate, rate);
        ctrl->resetForVersion(version);
    }
    void midi(uint8_t status, uint8_t d1, uint8_t d2) { ctrl->processMidiEvent(status, d1, d2); }
    // Renders `seconds` of all enabled units; the left channel summed per
    // FM sample (21 frames), as the FM chip produces it.
    std::vector<double> render(double seconds) {
        const size_t fmSamples = size_t(seconds * rate / 21.0);
        std::vector<int32_t> left(fmSamples * 21), right(fmSamples * 21);
        for (size_t at = 0; at < left.size(); at += kMaxFrames) {
            const size_t n = std::min<size_t>(kMaxFrames, left.size() - at);
            int32_t* out[2] = {left.data() + at, right.data() + at};
            ctrl->render(out, 2, n);
        }
        std::vector<double> x(fmSamples, 0.0);
        for (size_t i = 0; i < fmSamples; ++i)
            for (size_t k = 0; k < 21; ++k) x[i] += left[21 * i + k];
        return x;
    }
    double fmRate() const { return rate / 21.0; }
    uint8_t reg(uint64_t unit, uint8_t r, uint64_t port = 0) const {
        return ctrl->mirrors[unit].get(port, r);
    }
};

} // namespace insttest
