// The exact shortcuts of the audio path at the edges of a silence: a release
// that reaches full attenuation inside the FM samples computed ahead of the
// output, and a unit that falls silent right after a block that cut a chip
// sample (its rest carried past the block) and is then left out of the
// render for a while. Rendered with the shortcuts on and off, the output is
// the same bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "ShortcutRender.h"
#include "vantor/support/PrivateHome.h"

using namespace shortcuttest;

namespace {

// The time of output frame `frame` at `rate`, safely inside that frame.
double atFrame(uint64_t frame, double rate) {
    return (double(frame) + 0.5) / rate;
}

// A phrase as the render command plays it: keys with their lengths in
// seconds (-1 a rest), note-on and note-off at the rounded frames.
std::vector<Action> phrase(const std::vector<std::pair<int, double>>& notes, double rate) {
    std::vector<Action> list;
    double at = 0.0;
    for (const auto& [key, seconds] : notes) {
        const uint64_t start = uint64_t(std::llround(at * rate));
        at += seconds;
        const uint64_t end = uint64_t(std::llround(at * rate));
        if (key < 0) continue;
        list.push_back({atFrame(start, rate), {midiEvent(0x90, uint8_t(key), 100)}, {}});
        list.push_back({atFrame(end, rate), {midiEvent(0x80, uint8_t(key), 0)}, {}});
    }
    return list;
}

// YM2612 writes (port 0) at times in seconds from the start, then the end.
struct TimedWrites {
    double at;
    std::vector<std::pair<uint8_t, uint8_t>> writes;
};

std::string writeFmSong(const std::string& path, const std::vector<TimedWrites>& list, double end) {
    mediatest::VgmFile v = mediatest::consoleVgm();
    uint64_t now = 0; // in 44.1 kHz ticks
    const auto waitUntil = [&](double seconds) {
        for (const uint64_t tick = uint64_t(std::llround(seconds * 44100.0)); now < tick;) {
            const uint16_t n = uint16_t(std::min<uint64_t>(tick - now, 60000));
            v.wait(n);
            now += n;
        }
    };
    for (const TimedWrites& t : list) {
        waitUntil(t.at);
        for (const auto& [reg, value] : t.writes) mediatest::fm(v, reg, value);
    }
    waitUntil(end);
    const mediatest::Bytes bytes = v.end().bytes();
    testhome::writeFile(path, std::string(bytes.begin(), bytes.end()));
    return path;
}

class ChipWrapSilenceEdges : public testhome::Scratch {
protected:
    static void expectSame(const char* name, double seconds, const std::vector<Action>& actions,
                           double rate, uint32_t block) {
        SCOPED_TRACE(std::string(name) + ", block " + std::to_string(block) + " at " +
                     std::to_string(int(rate)));
        const Output fast = render(seconds, actions, rate, block, true);
        const Output full = render(seconds, actions, rate, block, false);
        expectSameSounding(fast, full);
    }
};

} // namespace

// The release of the first note ends inside the samples computed ahead; the
// second note's attack and release hear the envelopes the silence left.
TEST_F(ChipWrapSilenceEdges, AReleaseEndingAheadOfTheOutputChangesNoSample) {
    const double rate = 11025.0;
    const std::vector<Action> notes = phrase({{-1, 0.003}, {3, 0.25}, {-1, 2.0}, {3, 0.1}}, rate);
    expectSame("a low note, a rest, the note again", 2.853, notes, rate, 64);
}

// A song of ten commands: a channel keyed on, released, keyed on again after
// a silence.
TEST_F(ChipWrapSilenceEdges, ASongReleasedIntoSilenceAndKeyedAgainChangesNoSample) {
    const std::string song =
        writeFmSong(path("release.vgm"),
                    {{0.0, {{0xB0, 0x15}, {0x50, 0x4E}, {0x80, 0xE6}, {0x5C, 0x94}, {0x7C, 0x12}}},
                     {0.03, {{0xA4, 0x2C}, {0xA0, 0x5C}, {0x28, 0xF0}}},
                     {0.63, {{0x28, 0x00}}},
                     {1.69, {{0x28, 0xF0}}}},
                    1.79);
    const std::vector<Action> play = {
        {0.0, {parameterEvent(384 + ChipController::kPlay, 1.0f)}, [song](ChipWrap& w) {
             ASSERT_TRUE(w.getController()->openMedia(0, song));
         }}};
    expectSame("a song of ten commands", 1.85, play, 48000.0, 64);
    expectSame("a song of ten commands", 1.85, play, 44100.0, 256);
}

// DAC bytes on unit 4 stop at a time that cuts a chip sample; a little later
// the controller's voice mask leaves the unit out of the render, before
// anything else reaches it, and takes it back a little after that.
TEST_F(ChipWrapSilenceEdges, AUnitDroppedRightAfterFallingSilentChangesNoSample) {
    const auto mask = [](uint8_t on) {
        return [on](ChipWrap& w) { w.getController()->unitEnabled[4] = on; };
    };
    for (uint32_t block : {16u, 37u, 64u, 100u, 256u, 1024u}) {
        for (double stop : {0.0301, 0.03037, 0.03053, 0.03071, 0.03089, 0.03101}) {
            const std::vector<Action> actions = {
                {0.0, {}, writes(4, {{1, 0xB6, 0xC0}, {0, 0x2B, 0x80}, {0, 0x2A, 0xF0}})},
                {stop, {}, writes(4, {{0, 0x2A, 0x80}, {0, 0x2B, 0x00}})},
                {stop + 0.012, {}, mask(0)},
                {stop + 0.02, {}, mask(1)}};
            expectSame(("DAC stopped at " + std::to_string(stop)).c_str(), 0.08, actions, 48000.0,
                       block);
        }
    }
}
