// The audio path switches between its exact shortcuts and its frame-by-frame
// work while it plays: a silent unit moves on in closed form and a sounding
// one renders, a unit adds the whole FM sample a block's end cuts and takes
// it back when it is skipped or reset, and the stereo filter gives one sum
// per channel for FM samples whose 21 frames hold the plain channel layout
// and filters frame by frame whenever something else (a PSG, an output
// offset, the YM2608, the 9-slot clock, a unit on another sample grid) puts
// values in the frames. Each case holds notes over several units and
// switches one of those things on and off at odd times; rendered with the
// shortcuts on and off, the output is the same bit for bit at any host block
// length.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "ShortcutRender.h"
#include "emulators/MD_Emu.h"
#include "vantor/support/PrivateHome.h"

using namespace shortcuttest;

namespace {

struct Case {
    const char* name;
    double seconds;
    std::vector<Action> actions; // in order of their times
};

HDMIDIEvent noteOn(uint8_t key) {
    return midiEvent(0x90, key, 100);
}
HDMIDIEvent noteOff(uint8_t key) {
    return midiEvent(0x80, key, 0);
}
// One MIDI note per key: the notes spread over the voice units from unit 0.
std::vector<HDMIDIEvent> chordOn(std::initializer_list<uint8_t> keys) {
    std::vector<HDMIDIEvent> e;
    for (uint8_t k : keys) e.push_back(noteOn(k));
    return e;
}
// Layers L02, L04 and L06 on besides L01, then the chord: every note sounds
// on FM channels 1, 2, 4 and 6 of its unit, whose slots lie early, in the
// middle and late in the FM sample's 21 frames (a carried rest of a sample
// then holds sound wherever a block cuts it).
std::vector<HDMIDIEvent> layersAndChordOn(std::initializer_list<uint8_t> keys) {
    std::vector<HDMIDIEvent> e;
    for (int layer : {1, 3, 5}) e.push_back(parameterEvent(512 + 16 * layer, 1.0f));
    for (uint8_t k : keys) e.push_back(noteOn(k));
    return e;
}
std::vector<HDMIDIEvent> chordOff(std::initializer_list<uint8_t> keys) {
    std::vector<HDMIDIEvent> e;
    for (uint8_t k : keys) e.push_back(noteOff(k));
    return e;
}

MD_Emu& md(ChipWrap& w, size_t unit) {
    return *static_cast<MD_Emu*>(w.unit(unit));
}

// fmVoice on channel `ch` of bank `port` of a unit, keyed on.
std::function<void(ChipWrap&)> voiceOn(size_t unit, uint8_t ch, uint8_t port) {
    std::vector<Write> v = fmVoice(ch, port);
    v.push_back({0, 0x28, uint8_t(0xF0 | (4 * port + ch))});
    return writes(unit, v);
}

// The host's voice count (a master setting): every voice is released and
// the voice units past the count are left out of the render.
std::function<void(ChipWrap&)> voiceCount(int64_t n) {
    return [n](ChipWrap& w) {
        MasterSetting s = {};
        s.code = 3;
        s.integer = n;
        dispatchEntry(w.getRecord(), PLUGIN_OP_MASTER_SETTING, &s, nullptr);
    };
}

// Units left out of the render or taken back into it, as the controller's
// voice mask does, while their notes go on.
std::function<void(ChipWrap&)> enable(std::initializer_list<size_t> units, bool on) {
    std::vector<size_t> list(units);
    return [list, on](ChipWrap& w) {
        for (size_t u : list) w.getController()->unitEnabled[u] = on ? 1 : 0;
    };
}

// Parameter 30 of one unit: 0 the YM2612 sounds, 1 the YM2608.
std::function<void(ChipWrap&)> fmChip(size_t unit, float value) {
    return [unit, value](ChipWrap& w) { w.unit(unit)->setParameter(30, value); };
}

std::function<void(ChipWrap&)> offset(size_t unit, int16_t left, int16_t right) {
    return [unit, left, right](ChipWrap& w) { md(w, unit).setOutputOffset(0, left, right); };
}

std::function<void(ChipWrap&)> offsetOff(size_t unit) {
    return [unit](ChipWrap& w) {
        md(w, unit).setOutputOffset(0, 0, 0);
        md(w, unit).offsetEnabled = 0;
    };
}

// The PSG bytes of tone 1 (period 250) and the white noise at their levels,
// or silenced.
const std::vector<Write> kToneOn = {{2, 0, 0x8A}, {2, 0, 0x0F}, {2, 0, 0x92}};
const std::vector<Write> kToneOff = {{2, 0, 0x9F}};
const std::vector<Write> kNoiseOn = {{2, 0, 0xE4}, {2, 0, 0xF1}};
const std::vector<Write> kNoiseOff = {{2, 0, 0xFF}};
// The YM2608's rhythm bass drum at full level on both sides.
const std::vector<Write> kBassDrum = {{0, 0x11, 0x3F}, {0, 0x18, 0xDF}, {0, 0x10, 0x01}};

std::vector<Case> cases(const std::string& song) {
    std::vector<Case> list;

    list.push_back({"a chord over five units while one unit's PSG starts and stops",
                    0.8,
                    {{0.0, layersAndChordOn({60, 64, 67, 71, 74}), {}},
                     {0.1003, {}, writes(2, kToneOn)},
                     {0.1571, {}, writes(2, kToneOff)},
                     {0.2137, {}, writes(2, kNoiseOn)},
                     {0.2609, {}, writes(2, kNoiseOff)},
                     {0.3001, {}, writes(2, kToneOn)},
                     {0.30013, {}, writes(2, kNoiseOn)},
                     {0.3627, {}, writes(2, kToneOff)},
                     {0.4441, {}, writes(2, kNoiseOff)},
                     {0.44412, {}, writes(2, kToneOn)},
                     {0.44419, {}, writes(2, kToneOff)},
                     {0.5119, {}, writes(2, kNoiseOn)},
                     {0.6003, {}, writes(2, kNoiseOff)},
                     {0.7, chordOff({60, 64, 67, 71, 74}), {}}}});

    list.push_back({"a unit reset while the others hold a chord, then notes on it again",
                    0.8,
                    {{0.0, layersAndChordOn({60, 64, 67, 71}), voiceOn(5, 0, 1)},
                     {0.1237, {}, [](ChipWrap& w) { w.unit(5)->reset(); }},
                     {0.1589, {}, voiceOn(5, 2, 0)},
                     {0.2903, {}, [](ChipWrap& w) { w.unit(5)->reset(); }},
                     {0.3111, {}, voiceOn(5, 2, 1)},
                     {0.4327, {}, [](ChipWrap& w) { w.unit(1)->reset(); }},
                     {0.4711, {}, voiceOn(1, 1, 1)},
                     {0.5523, {}, [](ChipWrap& w) { w.unit(5)->reset(); }},
                     {0.55231, {}, voiceOn(5, 0, 1)},
                     {0.7, chordOff({60, 64, 67, 71}), {}}}});

    list.push_back({"voice units disabled and enabled again under a chord",
                    1.0,
                    {{0.0, layersAndChordOn({60, 64, 67, 71, 74, 77}), {}},
                     {0.1301, {}, enable({2, 4}, false)},
                     {0.1877, {}, enable({2}, true)},
                     {0.2459, {}, enable({4}, true)},
                     {0.24591, {}, enable({0}, false)},
                     {0.2903, {}, enable({0}, true)},
                     {0.3517, {}, voiceCount(3)},
                     {0.4123, {}, voiceCount(6)},
                     {0.4561, chordOn({62, 65, 69, 72}), {}},
                     {0.6011, {}, voiceCount(2)},
                     {0.6377, {}, voiceCount(6)},
                     {0.6801, chordOn({60, 64, 67}), {}},
                     {0.9, chordOff({60, 64, 67}), {}}}});

    list.push_back({"the YM2608 on a unit and back while others hold notes",
                    0.8,
                    {{0.0, layersAndChordOn({60, 64, 67}), voiceOn(5, 0, 1)},
                     {0.1113, {}, fmChip(5, 1.0f)},
                     {0.1709, {}, fmChip(5, 0.0f)},
                     {0.2311, {}, fmChip(1, 1.0f)},
                     {0.3001, {}, fmChip(5, 1.0f)},
                     {0.3507, {}, fmChip(1, 0.0f)},
                     {0.4003, {}, fmChip(5, 0.0f)},
                     // A unit whose YM2612 is silent sounds on the YM2608 alone.
                     {0.4111,
                      {},
                      [](ChipWrap& w) {
                          fmChip(4, 1.0f)(w);
                          writes(4, kBassDrum)(w);
                      }},
                     {0.5009, {}, fmChip(4, 0.0f)},
                     // Addressed to unit 0, the chip choice goes to every unit.
                     {0.5527, {parameterEvent(1024 + 122, 1.0f)}, {}},
                     {0.6307, {parameterEvent(1024 + 122, 0.0f)}, {}},
                     {0.7, chordOff({60, 64, 67}), {}}}});

    list.push_back({"the 9-slot clock and back under a chord",
                    0.8,
                    {{0.0, layersAndChordOn({60, 64, 67, 71}), {}},
                     {0.1531, {parameterEvent(256, 3.0f)}, {}},
                     {0.3013, {parameterEvent(256, 0.0f)}, {}},
                     {0.4177, {parameterEvent(256, 3.0f)}, {}},
                     {0.5591, {parameterEvent(256, 0.0f)}, {}},
                     {0.7, chordOff({60, 64, 67, 71}), {}}}});

    list.push_back({"an output offset on a unit under a held note",
                    0.8,
                    {{0.0, layersAndChordOn({60, 64, 67}), {}},
                     {0.1097, {}, offset(1, 0x300, -0x200)},
                     {0.2203, {}, offset(1, 0, 0)},
                     {0.2819, {}, offset(1, -0x180, 0x240)},
                     {0.3907, {}, offsetOff(1)},
                     {0.4513, {}, offset(5, 0x200, 0x200)},
                     {0.5701, {}, offsetOff(5)},
                     {0.7, chordOff({60, 64, 67}), {}}}});

    Case dac{"DAC bytes on a unit under a chord",
             0.8,
             {{0.0, layersAndChordOn({60, 64, 67, 71}), {}},
              {0.0503, {}, writes(5, {{0, 0x2B, 0x80}})},
              {0.3511, {}, writes(5, {{0, 0x2B, 0x00}})},
              {0.4001, {}, writes(2, {{0, 0x2B, 0x80}})},
              {0.5513, {}, writes(2, {{0, 0x2B, 0x00}})},
              {0.7, chordOff({60, 64, 67, 71}), {}}}};
    for (int k = 0; k < 220; ++k)
        dac.actions.push_back(
            {0.0504 + 0.00137 * k, {}, writes(5, {{0, 0x2A, uint8_t(0x40 + 37 * k)}})});
    for (int k = 0; k < 100; ++k)
        dac.actions.push_back(
            {0.4002 + 0.00149 * k, {}, writes(2, {{0, 0x2A, uint8_t(0xC0 - 29 * k)}})});
    std::stable_sort(dac.actions.begin(), dac.actions.end(),
                     [](const Action& a, const Action& b) { return a.at < b.at; });
    list.push_back(dac);

    // Opening the file again while it plays resets the media unit and leaves
    // it out of the render until play.
    const auto open = [song](ChipWrap& w) { ASSERT_TRUE(w.getController()->openMedia(0, song)); };
    const HDMIDIEvent play = parameterEvent(384 + ChipController::kPlay, 1.0f);
    list.push_back({"a song on the media unit, opened again, under notes on a voice unit",
                    2.0,
                    {{0.0, {play}, open},
                     {0.2113, {noteOn(64)}, {}},
                     {0.3517, {play}, open},
                     {0.8017, {noteOff(64)}, {}},
                     {1.4009, {noteOn(69)}, {}},
                     {1.7503, {noteOff(69)}, {}}}});
    return list;
}

class ChipWrapPaths : public testhome::Scratch {
protected:
    std::string song() { return writeSong(path("song.vgm")); }
    static void expectSame(const Case& c, uint32_t block) {
        SCOPED_TRACE(std::string(c.name) + ", block " + std::to_string(block));
        const Output fast = render(c.seconds, c.actions, 48000.0, block, true);
        const Output full = render(c.seconds, c.actions, 48000.0, block, false);
        expectSameSounding(fast, full);
    }
};

} // namespace

TEST_F(ChipWrapPaths, ShortcutsChangeNoSampleAcrossPathSwitches) {
    const std::vector<Case> all = cases(song());
    for (uint32_t block : {256u, 16u, 37u, 1u})
        for (const Case& c : all) expectSame(c, block);
}
