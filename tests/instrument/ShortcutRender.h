// Rendering the instrument with the exact shortcuts of the audio path on or
// off (emulators/FastPaths.h), for the tests that compare the two bit for
// bit. The material is a list of actions at times of the output: events go
// with the block that holds their time, at its frame; a direct action
// (register writes to a unit, a setter called on the object) runs before
// that block. The object plays the generated model profiles of the build's
// product folder, so a test that includes this defines SX_PRODUCT_DIR.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "ChipWrapTestSupport.h"
#include "MediaSongs.h"
#include "emulators/FastPaths.h"
#include "support/FmTestVoice.h"
#include "vantor/support/PrivateHome.h"

namespace shortcuttest {

using namespace wraptest;

inline const std::string& profilesPath() {
    static const std::string path = SX_PRODUCT_DIR "/md_profiles.riff";
    return path;
}

struct Action {
    double at; // seconds
    std::vector<HDMIDIEvent> events;
    std::function<void(ChipWrap&)> direct;
};

struct Output {
    std::vector<float> samples; // left and right, frame by frame
    bool settled = false;       // the chain was found settled after some block
};

// `seconds` of the material at `rate` in host blocks of the lengths in
// `blocks`, taken in turn (1 to 4096 frames); `actions` in order of their
// times.
inline Output render(double seconds, const std::vector<Action>& actions, double rate,
                     const std::vector<uint32_t>& blocks, bool fast) {
    FastPaths::Scope scope(fast);
    auto w = std::make_unique<ChipWrap>(nullptr, "MD");
    const uint32_t longest = *std::max_element(blocks.begin(), blocks.end());
    setProcessing(*w, rate, longest);
    ActivationRecord a = {};
    a.context = reinterpret_cast<uintptr_t>(profilesPath().c_str());
    dispatchEntry(w->getRecord(), PLUGIN_OP_ACTIVATE_RECORD, &a, nullptr);

    Output out;
    auto in = std::make_unique<EventList>();
    std::vector<float> l(longest), r(longest);
    const size_t total = size_t(seconds * rate);
    out.samples.reserve(2 * total);
    size_t next = 0;
    for (size_t frame = 0, turn = 0; frame < total; ++turn) {
        const uint32_t n = uint32_t(std::min<size_t>(blocks[turn % blocks.size()], total - frame));
        in->count = 0;
        for (; next < actions.size() && size_t(actions[next].at * rate) < frame + n; ++next) {
            const Action& act = actions[next];
            if (act.direct) act.direct(*w);
            const size_t at = size_t(act.at * rate);
            for (HDMIDIEvent e : act.events) {
                e.frameOffset = int32_t(at > frame ? at - frame : 0);
                in->events[in->count++] = e;
            }
        }
        float* outputs[2] = {l.data(), r.data()};
        w->getRecord()->process(w->getRecord(), outputs, int32_t(n), in.get(), nullptr, nullptr);
        for (uint32_t i = 0; i < n; ++i) {
            out.samples.push_back(l[i]);
            out.samples.push_back(r[i]);
        }
        out.settled = out.settled || w->isSettled();
        frame += n;
    }
    return out;
}

// The same in blocks of `block` frames.
inline Output render(double seconds, const std::vector<Action>& actions, double rate,
                     uint32_t block, bool fast) {
    return render(seconds, actions, rate, std::vector<uint32_t>{block}, fast);
}

using Write = std::tuple<uint8_t, uint8_t, uint8_t>; // port, register, value

// Register writes to one unit.
inline std::function<void(ChipWrap&)> writes(size_t unit, std::vector<Write> list) {
    return [unit, list](ChipWrap& w) {
        for (const auto& [port, reg, value] : list) w.unit(unit)->write(reg, value, port);
    };
}

// An FM voice on channel `ch` (0-2) of bank `port` of a unit.
inline std::vector<Write> fmVoice(uint8_t ch, uint8_t port = 0) {
    return testsupport::fmTestVoice<Write>(ch, port);
}

// The two renders agree bit for bit, and the material sounds.
inline void expectSameSounding(const Output& fast, const Output& full) {
    ASSERT_EQ(fast.samples.size(), full.samples.size());
    size_t differ = 0;
    while (differ < fast.samples.size() &&
           std::memcmp(&fast.samples[differ], &full.samples[differ], sizeof(float)) == 0)
        ++differ;
    EXPECT_EQ(differ, fast.samples.size())
        << "first difference at frame " << differ / 2 << " (" << (differ % 2 ? "right" : "left")
        << "): " << fast.samples[differ] << " vs " << full.samples[differ];
    float peak = 0.0f;
    for (float x : full.samples) peak = std::max(peak, std::fabs(x));
    EXPECT_GT(peak, 1e-3f) << "the material sounds";
}

// Writes the generated FM, PSG and DAC song to `path` and returns the path.
inline std::string writeSong(const std::string& path) {
    const mediatest::Bytes bytes = mediatest::fmPsgDacSong();
    testhome::writeFile(path, std::string(bytes.begin(), bytes.end()));
    return path;
}

} // namespace shortcuttest
