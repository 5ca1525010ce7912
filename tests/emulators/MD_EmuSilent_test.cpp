// A silent console unit moves on without rendering: the same writes played
// once by rendering every frame and once by letting the unit move on
// whenever it is silent (in pieces of odd lengths, some paid at once, some
// owed over several pieces) give the same output, bit for bit, including
// every note after a silence, which hears what moved on meanwhile (FM phases,
// EG counter and LFO, the PSG counters and noise register, the spread phase).
#include "emulators/MD_Emu.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <tuple>
#include <vector>

#include "support/FmTestVoice.h"

namespace {

constexpr uint32_t kMaxFrames = 1024;

// A register write (port, address, data) or, with port 9, a parameter.
using Write = std::tuple<uint8_t, uint16_t, float>;

struct Step {
    uint64_t frames; // rendered before the writes
    std::vector<Write> writes;
};

struct Case {
    const char* name;
    std::vector<Write> setup;
    std::vector<Step> steps;
    bool silentStretches = true; // the unit falls silent at times
};

void applyWrites(MD_Emu& md, const std::vector<Write>& writes) {
    for (const auto& [port, address, value] : writes) {
        if (port == 9)
            md.setParameter(address, value);
        else
            md.write(address, uint8_t(value), port);
    }
}

// Renders the steps in pieces of 1 to 997 frames; with `fast` a silent unit
// only moves on, paid at once or owed over up to three pieces. Counts the
// pieces found silent.
std::vector<int32_t> play(const Case& c, bool fast, int& silentPieces) {
    MD_Emu md;
    md.init(kMaxFrames, nullptr, 0);
    md.setShortcuts(fast);
    applyWrites(md, c.setup);
    std::vector<int32_t> out;
    uint64_t seed = 7;
    int owed = 0;
    for (const Step& step : c.steps) {
        for (uint64_t done = 0; done < step.frames;) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            const uint64_t n = std::min<uint64_t>(step.frames - done, 1 + (seed >> 33) % 997);
            std::vector<int32_t> l(n), r(n);
            if (fast && md.isSilent()) {
                md.advanceSilent(n);
                ++silentPieces;
                if (++owed == 3) {
                    md.settleSilent();
                    owed = 0;
                }
            } else {
                int32_t* outputs[2] = {l.data(), r.data()};
                md.render32(outputs, n);
            }
            for (uint64_t i = 0; i < n; ++i) {
                out.push_back(l[i]);
                out.push_back(r[i]);
            }
            done += n;
        }
        applyWrites(md, step.writes);
    }
    return out;
}

// An FM voice on channel `ch` (0-2) of port `port`.
std::vector<Write> fmVoice(uint8_t port, uint8_t ch) {
    return testsupport::fmTestVoice<Write>(ch, port);
}

// Key on, a note's length, key off, a long silence; twice.
std::vector<Step> keyed(uint8_t key) {
    const std::vector<Write> on = {{0, 0x28, float(0xF0 | key)}};
    const std::vector<Write> off = {{0, 0x28, float(key)}};
    return {{1000, on}, {30000, off}, {400000, on}, {30000, off}, {300000, {}}};
}

std::vector<Case> cases() {
    std::vector<Case> list;
    auto lfo = fmVoice(0, 1);
    lfo.insert(lfo.begin(), {0, 0x22, 0x0B});
    list.push_back({"FM with the LFO", lfo, keyed(1)});
    // Two channels with vibrato under the fastest LFO: their phases move at
    // every LFO step through the silences.
    auto fast = fmVoice(0, 0);
    for (const Write& w : fmVoice(1, 2)) fast.push_back(w);
    fast.insert(fast.begin(), {0, 0x22, 0x0F});
    std::vector<Step> both = keyed(0);
    for (Step& step : both)
        for (const Write& w : std::vector<Write>(step.writes))
            step.writes.push_back({std::get<0>(w), std::get<1>(w), float(int(std::get<2>(w)) | 6)});
    list.push_back({"FM on two channels with the fastest LFO", fast, both});

    auto slots9 = fmVoice(1, 0);
    slots9.push_back({9, 31, 1.5f}); // FM clock ratio
    Case nine{"FM on the second port at a clock ratio", slots9, keyed(4)};
    list.push_back(nine);

    // The second time only the levels are written: a noise mode write
    // would start the noise register afresh.
    const std::vector<Write> psgOn = {
        {2, 0, 0x8A}, {2, 0, 0x0F}, {2, 0, 0x92}, {2, 0, 0xE4}, {2, 0, 0xF1}};
    const std::vector<Write> psgAgain = {{2, 0, 0x92}, {2, 0, 0xF1}};
    const std::vector<Write> psgOff = {{2, 0, 0x9F}, {2, 0, 0xFF}};
    const std::vector<Step> psgSteps = {
        {1000, psgOn}, {40000, psgOff}, {500000, psgAgain}, {40000, psgOff}, {200000, {}}};
    list.push_back({"PSG tone and white noise", {}, psgSteps});
    list.push_back({"PSG at a clock ratio", {{9, 32, 0.75f}}, psgSteps});
    list.push_back(
        {"Game Gear stereo, noise on both sides", {{9, 15, 1.0f}, {2, 1, 0x8C}}, psgSteps});
    // An FM note held throughout: the unit always sounds and only its PSG
    // is quiet at times (it moves on later, when the unit is next touched).
    auto held = fmVoice(0, 2);
    held.push_back({0, 0x28, 0xF2});
    for (const auto& [type, name] : {std::pair{0.0f, "FM held, PSG quiet at times"},
                                     std::pair{1.0f, "FM held, Game Gear PSG quiet at times"}}) {
        Case c{name, held, psgSteps, false};
        c.setup.push_back({9, 15, type});
        list.push_back(c);
    }
    return list;
}

} // namespace

TEST(MD_EmuSilent, MovingOnWhileSilentChangesNoSample) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        int silent = 0, none = 0;
        const std::vector<int32_t> fast = play(c, true, silent);
        const std::vector<int32_t> full = play(c, false, none);
        ASSERT_EQ(fast.size(), full.size());
        size_t differ = 0;
        while (differ < fast.size() && fast[differ] == full[differ]) ++differ;
        EXPECT_EQ(differ, fast.size()) << "first difference at frame " << differ / 2;
        if (c.silentStretches) {
            EXPECT_GT(silent, 100) << "the unit was found silent";
        }
        bool sounds = false;
        for (int32_t x : full) sounds = sounds || x != 0;
        EXPECT_TRUE(sounds);
    }
}

// What keeps a unit from being silent: a sounding channel, the DAC, timer A,
// an output offset, the AY or the YM2608 selected.
TEST(MD_EmuSilent, OnlyAUnitThatAddsNothingIsSilent) {
    const std::vector<std::pair<const char*, std::vector<Write>>> sounding = {
        {"a keyed channel", {{0, 0x28, 0xF0}}},
        {"the DAC", {{0, 0x2B, 0x80}}},
        {"timer A", {{0, 0x24, 0xFF}, {0, 0x27, 0x05}}},
        {"a PSG tone at a level", {{2, 0, 0x90}}},
        {"the AY", {{9, 15, 3.0f}}},
        {"the YM2608", {{9, 30, 1.0f}}},
    };
    MD_Emu quiet;
    quiet.init(kMaxFrames, nullptr, 0);
    EXPECT_TRUE(quiet.isSilent());
    for (const auto& [what, writes] : sounding) {
        SCOPED_TRACE(what);
        MD_Emu md;
        md.init(kMaxFrames, nullptr, 0);
        applyWrites(md, fmVoice(0, 0));
        applyWrites(md, writes);
        EXPECT_FALSE(md.isSilent());
    }
    MD_Emu offset;
    offset.init(kMaxFrames, nullptr, 0);
    offset.setOutputOffset(0, 3, 0);
    EXPECT_FALSE(offset.isSilent());
}
