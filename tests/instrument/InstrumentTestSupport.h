// Helpers shared by the instrument tests: a writer that records the register
// writes of the sub-controllers (and can forward them to real console units),
// a console unit ready to render, and a pitch measurement by zero crossings.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "emulators/MD_Emu.h"
#include "instrument/ChipSubController.h"
#include "support/ZeroCrossings.h"
#include "vantor/HDMIDIEvent.h"

namespace insttest {

using vantor::HDMIDIEvent;

// A three-byte MIDI message as the engine host hands it in.
inline HDMIDIEvent midiEvent(uint8_t status, uint8_t d1, uint8_t d2, int32_t frame = 0) {
    HDMIDIEvent e{};
    e.status = status;
    e.data1 = d1;
    e.data2 = d2;
    e.valid = 1;
    e.frameOffset = frame;
    return e;
}

// A parameter change with no tuning, as the engine host hands it in.
inline HDMIDIEvent parameterEvent(int32_t id, float value, int32_t frame = 0) {
    HDMIDIEvent e{};
    e.kind = 176;
    e.id = id;
    e.value = value;
    e.tuning = std::numeric_limits<float>::infinity();
    e.frameOffset = frame;
    return e;
}

struct Write {
    uint64_t unit;
    uint8_t reg, value;
    uint64_t port;
    bool operator==(const Write&) const = default;
};

// Records every write; forwards it to units[unit] when that unit is set.
struct RecordingWriter : ChipSubWriter {
    void writeRegister(uint64_t unit, uint8_t reg, uint8_t value, uint64_t port) override {
        writes.push_back({unit, reg, value, port});
        if (unit < units.size() && units[unit]) units[unit]->write(reg, value, port);
    }
    // Writes of one register (and port) in order.
    std::vector<uint8_t> valuesOf(uint8_t reg, uint64_t port = 0) const {
        std::vector<uint8_t> v;
        for (const Write& w : writes)
            if (w.reg == reg && w.port == port) v.push_back(w.value);
        return v;
    }
    std::vector<Write> writes;
    std::vector<ChipEmu*> units;
};

constexpr uint32_t kMaxFrames = 2048;

inline std::unique_ptr<MD_Emu> makeUnit() {
    auto md = std::make_unique<MD_Emu>();
    md->init(kMaxFrames, nullptr, 0);
    return md;
}

// The console unit's frame rate and its FM chip's input clock (144 clocks
// per FM sample, one FM sample per 21 frames).
inline double frameRate(MD_Emu& md) {
    return md.getInfo()->clocks[0];
}
inline float fmClock(MD_Emu& md) {
    return float(frameRate(md) * 48.0 / 7.0);
}

// Left channel of `frames` frames, summed per FM sample (21 frames).
inline std::vector<double> renderFmSamples(MD_Emu& md, size_t fmSamples) {
    std::vector<int32_t> left(fmSamples * 21), right(fmSamples * 21);
    for (size_t at = 0; at < left.size(); at += kMaxFrames) {
        const size_t n = std::min<size_t>(kMaxFrames, left.size() - at);
        int32_t* out[2] = {left.data() + at, right.data() + at};
        md.render32(out, n);
    }
    std::vector<double> x(fmSamples, 0.0);
    for (size_t i = 0; i < fmSamples; ++i)
        for (size_t k = 0; k < 21; ++k) x[i] += left[21 * i + k];
    return x;
}

using testsupport::pitchByZeroCrossings;

inline double peakOf(const std::vector<double>& x) {
    double m = 0.0;
    for (double v : x) m = std::max(m, std::fabs(v));
    return m;
}

} // namespace insttest
