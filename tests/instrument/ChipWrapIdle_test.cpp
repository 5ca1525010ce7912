// Silence costs nothing and changes nothing: the same material rendered with
// the exact shortcuts of the audio path (silent chips moving on in a few
// steps, a settled chain counting its frames instead of converting them) and
// with them switched off gives the same output bit for bit, whatever the
// host's block length. Each case leaves the chain long enough to settle and
// then sounds again, so that what moved on during the silence (envelope and
// LFO counters, timers, PSG counters and noise register, the resampler's
// phase) is heard.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ShortcutRender.h"
#include "vantor/support/PrivateHome.h"

using namespace shortcuttest;

namespace {

struct Case {
    const char* name;
    double seconds;
    std::vector<Action> actions;
    bool settles = true; // the chain must be found settled at some point
};

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
    std::string song() { return writeSong(path("song.vgm")); }
    static void expectSame(const Case& c, double rate, uint32_t block) {
        SCOPED_TRACE(std::string(c.name) + ", block " + std::to_string(block) + " at " +
                     std::to_string(int(rate)));
        const Output fast = render(c.seconds, c.actions, rate, block, true);
        const Output full = render(c.seconds, c.actions, rate, block, false);
        expectSameSounding(fast, full);
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
