#include "instrument/PatchText.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

using P = PatchRecord;

namespace {

PatchRecord filledWith(int32_t v) {
    PatchRecord r;
    for (int32_t& w : r.words) w = v;
    return r;
}

int readOpm(PatchRecord& r, const std::string& text, int number) {
    return readOpmPatch(r, text.data(), text.size(), number);
}

// Instrument 3 follows another instrument; its last line has no line feed.
const std::string kBank = "// VOPM bank\n"
                          "@:1 Other\r\n"
                          "CH: 64 1 2 0 0 120 0\r\n"
                          "M1: 1 1 1 1 1 1 1 1 1 1 1\r\n"
                          "@:3 Wanted 2\n"
                          "LFO: 0 0 0 0 0\n"
                          "CH: 64 6 4 3 5 120 0 // SLOT 0x78: all four operators\n"
                          "M1: 31 10 3 7 2 20 1 1 5 0 128\n"
                          "C1: 25 11 4 8 3 30 2 2 7 0 0\n"
                          "m2: 20 12 5 9 4 40 3 3 0 0 127\n"
                          "C2: 15 13 6 10 5 0 0 4 2 0 0";

} // namespace

// OPM operator lines M1, C1, M2, C2 are operators 0, 1, 2, 3.
TEST(PatchText, OpmPinsOperatorOrder) {
    for (const std::string& text : {kBank, kBank + "\n"}) {
        SCOPED_TRACE(text.size());
        PatchRecord r = filledWith(77);
        ASSERT_EQ(readOpm(r, text, 3), 1);
        EXPECT_EQ(r.words[P::kAlgorithm], 4);
        EXPECT_EQ(r.words[P::kFeedback], 6);
        EXPECT_EQ(r.words[P::kTremoloDepth], 3);
        EXPECT_EQ(r.words[P::kVibrato], 5);
        struct Op {
            int a, d, d2, r, s, level, ks, mult, detune, tremolo, velocity;
        };
        const Op ops[4] = {
            {0, 21, 28, 8, 13, 107, 1, 1, -1, 1, 0}, // DT1 5 = -1, AMS-EN 128
            {6, 20, 27, 7, 12, 97, 2, 2, -3, 0, 4},  // DT1 7 = -3
            {11, 19, 26, 6, 11, 87, 3, 3, 0, 0, 0},  // AMS-EN 127: no tremolo
            {16, 18, 25, 5, 10, 127, 0, 4, 2, 0, 4}, // the line without a line feed
        };
        for (int k = 0; k < 4; ++k) {
            SCOPED_TRACE(k);
            const Op& o = ops[k];
            EXPECT_EQ(r.op(k, P::kAttack), o.a);
            EXPECT_EQ(r.op(k, P::kDecay), o.d);
            EXPECT_EQ(r.op(k, P::kDecay2), o.d2);
            EXPECT_EQ(r.op(k, P::kRelease), o.r);
            EXPECT_EQ(r.op(k, P::kSustain), o.s);
            EXPECT_EQ(r.op(k, P::kLevel), o.level);
            EXPECT_EQ(r.op(k, P::kKsRate), o.ks);
            EXPECT_EQ(r.op(k, P::kMult), o.mult);
            EXPECT_EQ(r.op(k, P::kDetune), o.detune);
            EXPECT_EQ(r.op(k, P::kTremolo), o.tremolo);
            EXPECT_EQ(r.op(k, P::kVelocity), o.velocity);
            EXPECT_EQ(r.op(k, P::kKsLevel), 0);
            EXPECT_EQ(r.op(k, P::kSsg), 0); // the OPM has no SSG-EG
        }
    }
}

TEST(PatchText, OpmInstrumentsAndDamagedLines) {
    const std::string ops = "M1: 31 0 0 15 0 0 0 1 0 0 0\nC1: 31 0 0 15 0 0 0 1 0 0 0\n"
                            "M2: 31 0 0 15 0 0 0 1 0 0 0\nC2: 31 0 0 15 0 0 0 1 0 0 0\n";
    struct Case {
        const char* head; // followed by the four operator lines when withOps is 1
        int withOps, number, result;
        std::array<int, 4> channel; // algorithm, feedback, tremolo depth, vibrato
        std::array<int, 4> levels;
    };
    const std::array<int, 4> untouched = {-1, -1, -1, -1}, full = {127, 127, 127, 127};
    const Case cases[] = {
        // SLOT 0x40: only operator 3 sounds.
        {"@:0\nCH: 64 0 7 0 0 64 0\n", 1, 0, 1, {7, 0, 0, 0}, {0, 0, 0, 127}},
        // Values beyond the record's ranges are clamped.
        {"@:0\nCH: 64 9 12 7 9 120 0\n", 1, 0, 1, {7, 7, 3, 7}, full},
        // Minus signs are skipped.
        {"@:0\nCH: -64 -1 -2 0 0 120 0\n", 1, 0, 1, {2, 1, 0, 0}, full},
        // A run of digits too long for any integer.
        {"@:0\nCH: 64 0 99999999999999999999999 0 0 120 0\n", 1, 0, 1, {7, 0, 0, 0}, full},
        // A UTF-8 byte order mark before the first header.
        {"\xEF\xBB\xBF@:0\nCH: 64 0 7 0 0 120 0\n", 1, 0, 1, {7, 0, 0, 0}, full},
        // No such instrument.
        {"@:0\nCH: 64 0 7 0 0 64 0\n", 1, 1, 0, untouched, untouched},
        // No CH line, or one of six numbers.
        {"@:0\n", 1, 0, 0, untouched, full},
        {"@:0\nCH: 64 0 7 0 0 64\n", 1, 0, 0, untouched, full},
        // An operator line of ten numbers is ignored.
        {"@:0\nCH: 64 0 7 0 0 120 0\nM1: 1 0 0 1 0 0 0 1 0 0\n", 0, 0, 1, {7, 0, 0, 0}, untouched},
        {"", 0, 0, 0, untouched, untouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.head);
        PatchRecord r = filledWith(-1);
        EXPECT_EQ(readOpm(r, c.head + (c.withOps ? ops : std::string()), c.number), c.result);
        EXPECT_EQ(r.words[P::kAlgorithm], c.channel[0]);
        EXPECT_EQ(r.words[P::kFeedback], c.channel[1]);
        EXPECT_EQ(r.words[P::kTremoloDepth], c.channel[2]);
        EXPECT_EQ(r.words[P::kVibrato], c.channel[3]);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(r.op(k, P::kLevel), c.levels[k]) << k;
    }
}

namespace {

std::string presetText(const std::vector<std::pair<int, std::string>>& items) {
    std::string t = "<Preset version=\"1\">\n<Target name=\"com.Vantor.Emulator.MD\">\n";
    for (const auto& [id, value] : items)
        t += "  <Param id=\"" + std::to_string(id) + "\" value=\"" + value + "\"/>\n";
    return t + "</Target>\n</Preset>\n";
}

} // namespace

TEST(PatchText, MorvanepItemsInOrder) {
    // Items 0-30, then 32: index 31 becomes 0 and the rest stays.
    std::vector<std::pair<int, std::string>> items;
    for (int i = 0; i <= 30; ++i) items.push_back({i, std::to_string(i % 8)});
    items.push_back({32, "5"});
    PatchRecord r = filledWith(9);
    importXmlPatch(r, presetText(items));
    for (int i = 0; i <= 30; ++i) EXPECT_EQ(r.words[i], i % 8) << i;
    EXPECT_EQ(r.words[31], 0);
    for (int i = 32; i < 128; ++i) EXPECT_EQ(r.words[i], 9) << i;

    // All 72 indices: 68-71 all land on word 68, the last one wins.
    items.clear();
    for (int i = 0; i < 72; ++i) items.push_back({i, std::to_string(i == 71 ? 42 : 1)});
    r = filledWith(9);
    importXmlPatch(r, presetText(items));
    EXPECT_EQ(r.words[67], 1);
    EXPECT_EQ(r.words[68], 42);
    EXPECT_EQ(r.words[69], 9);
}

TEST(PatchText, MorvanepValuesAreClampedAndBounded) {
    struct Case {
        int id;
        const char* value;
        int32_t stored;
    };
    const Case cases[] = {
        {0, "500", 127},
        {2, "-9", -3},
        {2, "2.75", 2},
        {9, "12", 8},
        {11, "-4", 0},
        {12, "1000", 99},
        {13, "-77", -77},
        {64, "8", 7},
        {67, "4", 3},
        {0, "99999999999999999999999", 127},
        {2, "-99999999999999999", -3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << " " << c.value);
        std::vector<std::pair<int, std::string>> items;
        for (int i = 0; i < c.id; ++i) items.push_back({i, "0"});
        items.push_back({c.id, c.value});
        PatchRecord r = filledWith(1);
        importXmlPatch(r, presetText(items));
        EXPECT_EQ(r.words[PatchRecord::wordOfParameter(c.id)], c.stored);
    }
}

TEST(PatchText, MorvanepWithoutTargetOrWithBrokenItems) {
    PatchRecord r = filledWith(3);
    importXmlPatch(r, "<Target name=\"com.Vantor.Emulator.Other\">\n<Param id=\"0\" value=\"1\"/>");
    EXPECT_EQ(r.words[0], 3); // untouched

    // A value that is not a number, and a text that ends inside an item.
    importXmlPatch(r, presetText({{0, "4"}, {1, "x"}, {2, "6"}}));
    EXPECT_EQ(r.words[0], 4);
    EXPECT_EQ(r.words[1], 0);
    EXPECT_EQ(r.words[2], 3);
    r = filledWith(3);
    importXmlPatch(r, "<Target name=\"com.Vantor.Emulator.MD\"><Param id=\"0\" value=\"");
    EXPECT_EQ(r.words[0], 0);
    EXPECT_EQ(r.words[1], 3);
}
