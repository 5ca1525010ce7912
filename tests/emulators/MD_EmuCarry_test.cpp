// A unit that adds the whole of a chip sample cut by the end of a block, its
// rest past the block for the caller to carry into the next one, sounds the
// same as a unit that holds the rest back and adds it in its next block: the
// same writes played both ways, in blocks of odd lengths, give the same
// output bit for bit, also where the rest must not be heard after all (a
// reset, a block in which the unit is skipped, the YM2608 selected, the
// other frame length) and where a silent unit only moves on. A unit that
// hands its whole samples over as rows on its caller's grid (which the
// caller adds into their frames) sounds the same again, and says truly
// whether it added anything into the frames themselves. Driven as the
// controller drives it, one renderSpan a block and a unit known silent only
// owing its frames, it sounds the same once more.
#include "emulators/MD_Emu.h"
#include "emulators/FastPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <tuple>
#include <vector>

namespace {

constexpr uint32_t kMaxFrames = 1024;
constexpr uint32_t kCarry = ChipEmu::kSpreadCarry;

// What happens after a step's frames: a register write (port 0-3), a
// parameter (port 9), a reset (port 10), a clock index (port 11), the unit
// skipped for the next `value` blocks (port 12), or skipped for one block of
// exactly `value` frames (port 13).
using Action = std::tuple<uint8_t, uint16_t, float>;

struct Step {
    uint64_t frames;
    std::vector<Action> after;
};

struct Case {
    const char* name;
    std::vector<Action> setup;
    std::vector<Step> steps;
    uint64_t longestBlock;
};

// How a block's samples reach the caller: cut frames held back by the unit,
// carried past the block, carried and handed over as rows, or as rows by
// one renderSpan a block (a unit knownSilent passed over with oweSilent).
enum class Way { Held, Carried, Rows, Span };

// Blocks a unit rendered into rows alone (Way::Rows).
int rowsOnlyBlocks = 0;

// First frame of each record's two in a chip sample's 21.
constexpr uint32_t kRecordFrame[6] = {0, 10, 7, 17, 3, 14};

// Plays the case the way the instrument's controller does, in blocks of 1
// to `longestBlock` frames: each block starts with the frames carried from
// the last one, a skipped unit takes back what it added past its last block,
// a silent unit only moves on.
std::vector<int32_t> play(const Case& c, Way way) {
    const FastPaths::Scope shortcuts(true);
    MD_Emu md;
    md.init(kMaxFrames, nullptr, 0);
    md.setSpreadCarry(way != Way::Held);
    std::vector<int32_t> out;
    std::vector<int32_t> carryLeft(kCarry), carryRight(kCarry);
    std::vector<int32_t> rowStore(16 * (kMaxFrames / kCarry + 2));
    auto* rows = reinterpret_cast<int32_t(*)[2][8]>(rowStore.data());
    uint64_t phase = 0; // the grid: the place of the next frame in its sample
    uint64_t seed = 11;
    int skipped = 0;
    uint64_t skipFrames = 0;
    auto act = [&](const std::vector<Action>& actions) {
        for (const auto& [port, address, value] : actions) {
            if (port == 9)
                md.setParameter(address, value);
            else if (port == 10)
                md.reset();
            else if (port == 11)
                md.setClockIndex(uint64_t(value));
            else if (port == 12)
                skipped = int(value);
            else if (port == 13)
                skipFrames = uint64_t(value);
            else
                md.write(address, uint8_t(value), port);
        }
    };
    act(c.setup);
    for (const Step& step : c.steps) {
        for (uint64_t done = 0; done < step.frames;) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            uint64_t n = std::min<uint64_t>(step.frames - done, 1 + (seed >> 33) % c.longestBlock);
            if (skipFrames > 0) {
                n = std::min(step.frames - done, skipFrames);
                skipped = 1;
                skipFrames = 0;
            }
            std::vector<int32_t> l(n + kCarry), r(n + kCarry);
            std::copy(carryLeft.begin(), carryLeft.end(), l.begin());
            std::copy(carryRight.begin(), carryRight.end(), r.begin());
            int32_t* outputs[2] = {l.data(), r.data()};
            if (skipped > 0) {
                --skipped;
                md.retractCarry(outputs);
            } else if (way == Way::Span && md.knownSilent) {
                md.oweSilent(n);
            } else if (way != Way::Span && md.isSilent()) {
                md.advanceSilent(n);
            } else if (way == Way::Rows || way == Way::Span) {
                SpreadRows grid;
                grid.rows = rows;
                grid.first = uint32_t((kCarry - phase) % kCarry);
                grid.count = n > grid.first ? (n - grid.first + kCarry - 1) / kCarry : 0;
                std::fill(rowStore.begin(), rowStore.end(), 0);
                const std::vector<int32_t> before[2] = {l, r};
                const bool added = way == Way::Span
                                       ? md.renderSpan(outputs, n, &grid, true, true)
                                       : md.renderRows(outputs, n, grid);
                if (!added) {
                    ++rowsOnlyBlocks;
                    EXPECT_EQ(l, before[0]) << "frames added by a unit that said it added none";
                    EXPECT_EQ(r, before[1]) << "frames added by a unit that said it added none";
                }
                for (uint64_t k = 0; k < grid.count; ++k)
                    for (int rec = 0; rec < 6; ++rec)
                        for (uint32_t f : {kRecordFrame[rec], kRecordFrame[rec] + 1}) {
                            l[grid.first + kCarry * k + f] += rows[k][0][rec];
                            r[grid.first + kCarry * k + f] += rows[k][1][rec];
                        }
            } else {
                md.render32(outputs, n);
            }
            phase = (phase + n) % kCarry;
            for (uint64_t i = 0; i < n; ++i) {
                out.push_back(l[i]);
                out.push_back(r[i]);
            }
            std::copy(l.begin() + long(n), l.end(), carryLeft.begin());
            std::copy(r.begin() + long(n), r.end(), carryRight.begin());
            done += n;
        }
        act(step.after);
    }
    return out;
}

// A voice on channel `ch` of port 0, panned to both sides, keyed on.
std::vector<Action> voice(uint8_t ch, uint8_t pan) {
    std::vector<Action> v;
    for (uint8_t slot : {0, 4, 8, 12}) {
        v.push_back({0, uint16_t(0x30 + slot + ch), 0x01 + slot / 4});
        v.push_back({0, uint16_t(0x40 + slot + ch), slot == 12 ? 0x00 : 0x18});
        v.push_back({0, uint16_t(0x50 + slot + ch), 0x1F});
        v.push_back({0, uint16_t(0x60 + slot + ch), 0x04});
        v.push_back({0, uint16_t(0x70 + slot + ch), 0x02});
        v.push_back({0, uint16_t(0x80 + slot + ch), 0x1F});
    }
    v.push_back({0, uint16_t(0xB0 + ch), 0x32});
    v.push_back({0, uint16_t(0xB4 + ch), pan});
    v.push_back({0, uint16_t(0xA4 + ch), 0x22});
    v.push_back({0, uint16_t(0xA0 + ch), uint8_t(0x69 + 16 * ch)});
    v.push_back({0, 0x28, float(0xF0 | ch)});
    return v;
}

std::vector<Case> cases() {
    std::vector<Action> chord = voice(0, 0xC0);
    for (const auto& a : voice(1, 0x80)) chord.push_back(a);
    for (const auto& a : voice(2, 0x40)) chord.push_back(a);
    const std::vector<Action> keyOn = {{0, 0x28, 0xF0}, {0, 0x28, 0xF1}, {0, 0x28, 0xF2}};
    const std::vector<Action> keyOff = {{0, 0x28, 0x00}, {0, 0x28, 0x01}, {0, 0x28, 0x02}};

    std::vector<Case> list;
    for (uint64_t longest : {uint64_t(40), uint64_t(997)}) {
        list.push_back({"held notes", chord, {{60000, {}}}, longest});
        list.push_back({"notes released into silence and struck again",
                        chord,
                        {{5000, keyOff}, {40000, keyOn}, {3000, keyOff}, {30000, {}}},
                        longest});
        // Step lengths end blocks inside frames whose rest holds a sounding
        // slot. Resets at many places in the frame: the rest of a frame
        // that a reset drops is not heard.
        std::vector<Step> resets;
        for (int k = 0; k < 12; ++k) {
            resets.push_back({uint64_t(777 + 131 * k), {{10, 0, 0}}});
            resets.push_back({uint64_t(500 + 17 * k), chord});
        }
        list.push_back({"resets between notes", chord, resets, longest});
        list.push_back({"the unit skipped for a few blocks",
                        chord,
                        {{3001, {{12, 0, 3}}},
                         {4003, {{12, 0, 1}}},
                         {2005, {{12, 0, 5}}},
                         {6000, {}}},
                        longest});
        // Skips a whole number of FM samples long: the unit comes back on
        // its caller's grid, with the rest of its sample in progress to emit.
        list.push_back({"the unit skipped for whole samples",
                        chord,
                        {{3001, {{13, 0, 42}}}, {2005, {{13, 0, 21}}}, {4003, {}}},
                        longest});
        list.push_back({"the YM2608 selected and the YM2612 again",
                        chord,
                        {{2990, {{9, 30, 1}}}, {2003, {{9, 30, 0}}}, {4005, {}}},
                        longest});
        list.push_back({"the other frame length and back",
                        chord,
                        {{2990, {{11, 0, 3}}}, {2003, {{11, 0, 0}}}, {4005, {{11, 0, 3}}},
                         {3000, {}}},
                        longest});
        list.push_back({"the PSG sounding under the notes for a while",
                        chord,
                        {{1990, {{2, 0, 0x8A}, {2, 0, 0x0F}, {2, 0, 0x92}}},
                         {3003, {{2, 0, 0x9F}}},
                         {4005, {}}},
                        longest});
        // The curve and output mode a span keeps are found again.
        list.push_back({"the DAC curve changed under the notes",
                        chord,
                        {{2990, {{9, 7, -1.0f}}}, {2003, {{9, 7, 0.0f}}}, {3001, {{9, 7, -2.0f}}},
                         {3000, {}}},
                        longest});
        std::vector<Action> dac = chord;
        dac.push_back({0, 0x2B, 0x80});
        dac.push_back({0, 0x2A, 0xF0});
        list.push_back({"DAC bytes",
                        dac,
                        {{1001, {{0, 0x2A, 0x10}}}, {997, {{0, 0x2A, 0xC0}}}, {3000, {}}},
                        longest});
        // The DAC switched off where a block cuts a chip sample before
        // channel 6's slots, the notes long released: the unit is silent
        // from there, and skipped after a few frames, before or after the
        // rest of that sample has passed (for whole samples, so that the
        // unit stays on its caller's grid).
        std::vector<Step> dacOff = {{3000, keyOff}};
        uint64_t at = 3000;
        for (uint64_t cut : {3, 8, 13})
            for (uint64_t gap : {1, 6, 19, 30}) {
                const uint64_t to = (at + 4000) / kCarry * kCarry + cut;
                dacOff.push_back({to - at, {{0, 0x2A, 0x80}, {0, 0x2B, 0x00}}});
                dacOff.push_back({gap, {{13, 0, 42}}});
                dacOff.push_back({500, {{0, 0x2B, 0x80}, {0, 0x2A, float(0x90 + 8 * cut)}}});
                at = to + gap + 500;
            }
        dacOff.push_back({3000, {}});
        std::vector<Action> dacBoth = dac;
        dacBoth.push_back({1, 0xB6, 0xC0}); // channel 6 on both sides
        list.push_back({"the DAC switched off, then the unit skipped", dacBoth, dacOff, longest});
    }
    return list;
}

} // namespace

TEST(MD_EmuCarry, CarryingTheCutFrameOrHandingOverRowsChangesNoSample) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        SCOPED_TRACE(c.longestBlock);
        const std::vector<int32_t> held = play(c, Way::Held);
        EXPECT_TRUE(std::any_of(held.begin(), held.end(), [](int32_t x) { return x != 0; }));
        for (Way way : {Way::Carried, Way::Rows, Way::Span}) {
            SCOPED_TRACE(way == Way::Rows ? "rows" : way == Way::Span ? "spans" : "carried");
            rowsOnlyBlocks = 0;
            const std::vector<int32_t> other = play(c, way);
            if (way != Way::Carried) {
                EXPECT_GT(rowsOnlyBlocks, 0) << "no block went by rows alone";
            }
            ASSERT_EQ(other.size(), held.size());
            size_t differ = 0;
            while (differ < held.size() && other[differ] == held[differ]) ++differ;
            EXPECT_EQ(differ, held.size()) << "first difference at frame " << differ / 2;
        }
    }
}
