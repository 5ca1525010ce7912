// Silence costs nothing and changes nothing: the same material rendered with
// the exact shortcuts of the audio path (silent chips moving on in a few
// steps, a settled chain counting its frames instead of converting them) and
// with them switched off gives the same output bit for bit, whatever the
// host's block length. Each case leaves the chain long enough to settle and
// then sounds again, so that what moved on during the silence (envelope and
// LFO counters, timers, PSG counters and noise register, the resampler's
// phase) is heard.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ChipWrapTestSupport.h"
#include "MediaSongs.h"
#include "emulators/FastPaths.h"
#include "vantor/support/PrivateHome.h"

using namespace wraptest;

namespace {

const std::string kProfiles = SX_PRODUCT_DIR "/md_profiles.riff";

// Something done at a time of the material: events go with the block that
// holds it, at its frame; a direct action (register writes to a unit, a
// media file opened) runs before that block.
struct Action {
    double at; // seconds
    std::vector<HDMIDIEvent> events;
    std::function<void(ChipWrap&)> direct;
};

struct Case {
    const char* name;
    double seconds;
    std::vector<Action> actions;
    bool settles = true; // the chain must be found settled at some point
};

struct Output {
    std::vector<float> samples; // left and right, frame by frame
    bool settled = false;
};

Output render(const Case& c, double rate, uint32_t block, bool fast) {
    FastPaths::Scope scope(fast);
    auto w = std::make_unique<ChipWrap>(nullptr, "MD");
    setProcessing(*w, rate, block);
    ActivationRecord a = {};
    a.context = reinterpret_cast<uintptr_t>(kProfiles.c_str());
    dispatchEntry(w->getRecord(), PLUGIN_OP_ACTIVATE_RECORD, &a, nullptr);

    Output out;
    auto in = std::make_unique<EventList>();
    std::vector<float> l(block), r(block);
    const size_t total = size_t(c.seconds * rate);
    size_t next = 0;
    for (size_t frame = 0; frame < total;) {
        const uint32_t n = uint32_t(std::min<size_t>(block, total - frame));
        in->count = 0;
        for (; next < c.actions.size() && size_t(c.actions[next].at * rate) < frame + n; ++next) {
            const Action& act = c.actions[next];
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

// Register writes to one unit.
std::function<void(ChipWrap&)> writes(size_t unit,
                                      std::vector<std::tuple<uint8_t, uint8_t, uint8_t>> list) {
    return [unit, list](ChipWrap& w) {
        for (const auto& [port, reg, value] : list) w.unit(unit)->write(reg, value, port);
    };
}

// An FM voice on channel `ch` (0-2, port 0) of a unit: algorithm 4, every
// operator with amplitude modulation, AMS and PMS at their most, a fast
// release.
std::vector<std::tuple<uint8_t, uint8_t, uint8_t>> fmVoice(uint8_t ch) {
    std::vector<std::tuple<uint8_t, uint8_t, uint8_t>> v;
    for (uint8_t slot : {0, 4, 8, 12}) {
        v.push_back({0, uint8_t(0x30 + slot + ch), 0x02});
        v.push_back({0, uint8_t(0x40 + slot + ch), slot == 4 || slot == 12 ? 0x00 : 0x20});
        v.push_back({0, uint8_t(0x50 + slot + ch), 0x1F});
        v.push_back({0, uint8_t(0x60 + slot + ch), 0x85});
        v.push_back({0, uint8_t(0x70 + slot + ch), 0x03});
        v.push_back({0, uint8_t(0x80 + slot + ch), 0x2F});
        v.push_back({0, uint8_t(0x90 + slot + ch), 0x00});
    }
    v.push_back({0, uint8_t(0xB0 + ch), 0x04});
    v.push_back({0, uint8_t(0xB4 + ch), 0xF7});
    v.push_back({0, uint8_t(0xA4 + ch), 0x22});
    v.push_back({0, uint8_t(0xA0 + ch), 0x69});
    return v;
}

std::vector<Case> cases(const std::string& song) {
    const auto noteOn = [](uint8_t key) { return midiEvent(0x90, key, 100); };
    const auto noteOff = [](uint8_t key) { return midiEvent(0x80, key, 0); };
    std::vector<Case> list;
    list.push_back({"notes between long silences",
                    4.4,
                    {{0.0, {noteOn(60)}, {}},
                     {0.3, {noteOff(60)}, {}},
                     {2.6, {noteOn(67)}, {}},
                     {2.9, {noteOff(67)}, {}}}});

    auto lfoVoice = fmVoice(1);
    lfoVoice.insert(lfoVoice.begin(), {0, 0x22, 0x0B});
    lfoVoice.push_back({0, 0x28, 0xF1});
    list.push_back({"LFO running through the silence",
                    4.4,
                    {{0.0, {}, writes(5, lfoVoice)},
                     {0.3, {}, writes(5, {{0, 0x28, 0x01}})},
                     {2.63, {}, writes(5, {{0, 0x28, 0xF1}})},
                     {2.9, {}, writes(5, {{0, 0x28, 0x01}})}}});

    Case dac{"DAC samples", 4.4, {{0.0, {}, writes(4, {{0, 0x2B, 0x80}})}}};
    for (int k = 0; k < 40; ++k) {
        const double t = (k < 20 ? 0.0 : 2.5) + 0.011 * (k % 20);
        dac.actions.push_back({t, {}, writes(4, {{0, 0x2A, uint8_t(0x40 + 9 * k)}})});
        if (k == 0 && t > 0.0) dac.actions.back().direct = writes(4, {{0, 0x2B, 0x80}});
    }
    dac.actions.push_back({0.25, {}, writes(4, {{0, 0x2A, 0x80}, {0, 0x2B, 0x00}})});
    dac.actions.push_back({2.5, {}, writes(4, {{0, 0x2B, 0x80}})});
    dac.actions.push_back({2.8, {}, writes(4, {{0, 0x2B, 0x00}})});
    std::stable_sort(dac.actions.begin(), dac.actions.end(),
                     [](const Action& a, const Action& b) { return a.at < b.at; });
    list.push_back(dac);

    list.push_back(
        {"PSG tone and noise",
         4.4,
         {{0.0,
           {},
           writes(3, {{2, 0, 0x8A}, {2, 0, 0x0F}, {2, 0, 0x92}, {2, 0, 0xE4}, {2, 0, 0xF1}})},
          {0.3, {}, writes(3, {{2, 0, 0x9F}, {2, 0, 0xFF}})},
          {2.61, {}, writes(3, {{2, 0, 0xF2}, {2, 0, 0x94}})},
          {2.9, {}, writes(3, {{2, 0, 0xFF}, {2, 0, 0x9F}})}}});

    list.push_back({"PSG starting and stopping under a held note",
                    3.0,
                    {{0.0, {noteOn(60)}, {}},
                     {0.1003, {}, writes(3, {{2, 0, 0x8A}, {2, 0, 0x0F}, {2, 0, 0x92}})},
                     {0.2001, {}, writes(3, {{2, 0, 0x9F}})},
                     {0.2507, {}, writes(3, {{2, 0, 0x94}})},
                     {0.25071, {}, writes(3, {{2, 0, 0x9F}})},
                     {0.4, {noteOff(60)}, {}}}});

    auto csm = fmVoice(2);
    csm.insert(csm.end(), {{0, 0x24, 0xF8}, {0, 0x25, 0x01}, {0, 0x27, 0x85}});
    list.push_back({"CSM",
                    4.4,
                    {{0.0, {}, writes(2, csm)},
                     {0.3, {}, writes(2, {{0, 0x27, 0x00}, {0, 0x28, 0x02}})},
                     {2.62, {}, writes(2, {{0, 0x28, 0xF2}})},
                     {2.9, {}, writes(2, {{0, 0x28, 0x02}})}}});

    const auto play = [](float value) {
        HDMIDIEvent e = parameterEvent(384 + 2, value);
        return e;
    };
    list.push_back({"a song on the media unit, then a note",
                    4.8,
                    {{0.0,
                      {play(1.0f)},
                      [song](ChipWrap& w) { ASSERT_TRUE(w.getController()->openMedia(0, song)); }},
                     {3.6, {noteOn(64)}, {}},
                     {3.9, {noteOff(64)}, {}}},
                    false});

    list.push_back({"parameter changes during the silence",
                    4.4,
                    {{0.0, {noteOn(60)}, {}},
                     {0.3, {noteOff(60)}, {}},
                     {2.0,
                      {parameterEvent(257, 20.0f), parameterEvent(1025, 1.0f),
                       parameterEvent(259, 10.0f), parameterEvent(261, 3.0f)},
                      {}},
                     {2.1, {parameterEvent(1025, 0.0f)}, {}},
                     {2.6, {noteOn(67)}, {}},
                     {2.9, {noteOff(67)}, {}}}});
    return list;
}

class ChipWrapIdle : public testhome::Scratch {
protected:
    std::string song() {
        const mediatest::Bytes bytes = mediatest::fmPsgDacSong();
        const std::string p = path("song.vgm");
        testhome::writeFile(p, std::string(bytes.begin(), bytes.end()));
        return p;
    }
    static void expectSame(const Case& c, double rate, uint32_t block) {
        SCOPED_TRACE(std::string(c.name) + ", block " + std::to_string(block) + " at " +
                     std::to_string(int(rate)));
        const Output fast = render(c, rate, block, true);
        const Output full = render(c, rate, block, false);
        ASSERT_EQ(fast.samples.size(), full.samples.size());
        size_t differ = 0;
        while (differ < fast.samples.size() &&
               std::memcmp(&fast.samples[differ], &full.samples[differ], sizeof(float)) == 0)
            ++differ;
        EXPECT_EQ(differ, fast.samples.size())
            << "first difference at frame " << differ / 2 << ": " << fast.samples[differ] << " vs "
            << full.samples[differ];
        float peak = 0.0f;
        for (float x : full.samples) peak = std::max(peak, std::fabs(x));
        EXPECT_GT(peak, 1e-3f) << "the material sounds";
        if (c.settles) {
            EXPECT_TRUE(fast.settled) << "the chain settled during the silence";
        }
        EXPECT_FALSE(full.settled);
    }
};

} // namespace

TEST_F(ChipWrapIdle, ShortcutsChangeNoSampleOfAnyCase) {
    for (const Case& c : cases(song())) expectSame(c, 48000.0, 256);
}

TEST_F(ChipWrapIdle, ShortcutsChangeNoSampleAtAnyBlockLengthOrRate) {
    const std::vector<Case> all = cases(song());
    const Case& c = all[0];
    for (uint32_t block : {1u, 37u, 4096u}) expectSame(c, 48000.0, block);
    for (uint32_t block : {1u, 37u, 4096u}) expectSame(all[4], 48000.0, block);
    for (double rate : {44100.0, 192000.0}) expectSame(c, rate, 256);
}
