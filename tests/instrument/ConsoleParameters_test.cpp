#include "instrument/ConsoleParameters.h"

#include <cstring>
#include <map>
#include <string>

#include <gtest/gtest.h>

using vantor::ParameterInfo;
using namespace console;

namespace {

struct Expected {
    std::string name;
    uint32_t kind;
    uint8_t math;
    uint16_t mod;
    float min, max, def;
    uint16_t layerMask;
};

// The named records as the instrument documents them, written out field by
// field (operator fields once, then placed at A/B and OP4..OP1).
std::map<uint32_t, Expected> expectedTable(bool many) {
    struct Op {
        int field;
        const char* suffix;
        uint32_t kind;
        uint8_t math;
        uint16_t mod;
        float min, max, def;
    };
    static const Op ops[] = {
        {0, "Level", 1, 7, 1345, 0, 127, 0},  {1, "Mult", 1, 3, 1089, 0, 15, 1},
        {2, "Detune", 1, 3, 1089, -3, 3, 0},  {3, "A", 1, 1, 1089, 0, 31, 0},
        {4, "D", 1, 1, 1089, 0, 31, 16},      {5, "S", 1, 1, 1089, 0, 15, 15},
        {6, "D2", 1, 1, 1089, 0, 31, 31},     {7, "R", 1, 1, 1089, 0, 15, 0},
        {8, "TremOn", 2, 1, 1089, 0, 1, 0},   {9, "SSG Env", 3, 1, 1089, 0, 8, 0},
        {10, "KS Rate", 1, 1, 1025, 0, 3, 0}, {11, "Velocity", 1, 3, 1, 0, 7, 0},
        {12, "KS Amp", 1, 7, 1, 0, 99, 0},
    };
    std::map<uint32_t, Expected> t;
    for (uint32_t inst = 0; inst < 2; ++inst) {
        const std::string letter = inst ? "B" : "A";
        for (uint32_t block = 0; block < 4; ++block)
            for (const Op& o : ops) {
                float def = o.def;
                if (block == 3 && o.field == 0) def = 127;
                if (block == 3 && o.field == 11) def = 4;
                t[72 * inst + 16 * block + o.field] = {letter + ":OP" + std::to_string(4 - block) +
                                                           " " + o.suffix,
                                                       o.kind,
                                                       o.math,
                                                       o.mod,
                                                       o.min,
                                                       o.max,
                                                       def,
                                                       63};
            }
        t[72 * inst + 64] = {letter + ":Pch Algorithm", 1, 3, 1089, 0, 7, 0, 63};
        t[72 * inst + 65] = {letter + ":OP4 Feedback", 1, 3, 1089, 0, 7, 0, 63};
        t[72 * inst + 66] = {letter + ":Pch Vibrato", 1, 3, 1089, 0, 7, 0, 63};
        t[72 * inst + 67] = {letter + ":Pch Tremolo", 1, 1, 1025, 0, 3, 0, 63};
    }
    for (uint32_t l = 0; l < 6; ++l) {
        const std::string n = "L0" + std::to_string(l + 1);
        const float max = l == 5 ? (many ? 16 : 2) : (many ? 15 : 1);
        t[144 + l] = {n + " Instrument", 3, 1, 1089, 0, max, 0, uint16_t(1 << l)};
        t[150 + l] = {n + " Pan", 1, 1, 1089, -1, 1, 0, uint16_t(1 << l)};
    }
    t[156] = {"L10 Noise Type", 3, 1, 1089, 0, 1, 0, 512};
    t[157] = {"L10 Noise Freq", 3, 1, 1089, 0, 3, 0, 512};
    t[158] = {"LFO Rate", 1, 3, 1089, 0, 7, 0, 63};
    t[159] = {"CH3 Mode", 1, 1, 1089, 0, 2, 0, 4};
    const char* opNames[] = {"OP4", "OP3", "OP2", "OP1"};
    for (uint32_t k = 0; k < 4; ++k) {
        const std::string n = std::string("CH3 ") + opNames[k];
        t[160 + 3 * k] = {n + " Coarse", 1, 7, 1089, -120, 120, 0, 4};
        t[161 + 3 * k] = {n + " Fine", 1, 7, 1089, -100, 100, 0, 4};
        t[162 + 3 * k] = {n + " Fixed", 2, 1, 1025, 0, 1, 0, 4};
    }
    t[183] = {"DAC Jitter Mode", 3, 1, 1, 0, 2, 0, 32};
    t[184] = {"DAC Jitter Amount", 0, 1, 1025, 0, 1, 0, 32};
    t[185] = {"DAC Resolution", 1, 1, 1089, 1, 8, 8, 32};
    t[186] = {"DAC Gain", 0, 1, 1025, 0, 4, 1, 32};
    t[187] = {"DAC Loop Mode", 3, 1, 1, 0, 3, 1, 32};
    t[188] = {"DAC MIDI Offset", 1, 0, 0, 0, 48, 36, 32};
    return t;
}

} // namespace

// Every one of the 191 records, for a version with two instruments and one
// with sixteen: name, kind, masks, range, default, flags and index; every
// other record is a "dummy" without an index.
TEST(ConsoleParameters, EveryRecordMatchesTheDocumentedTable) {
    for (uint32_t version : {1104u, 1105u, 0u}) {
        SCOPED_TRACE(version);
        std::vector<ParameterInfo> table;
        buildConsoleParameters(table, version);
        ASSERT_EQ(table.size(), 191u);
        const auto expected = expectedTable(version == 0 || version >= 1105);
        for (uint32_t i = 0; i < 191; ++i) {
            SCOPED_TRACE(i);
            const ParameterInfo& r = table[i];
            EXPECT_EQ(r.magic, 2121u);
            auto it = expected.find(i);
            if (it == expected.end()) {
                EXPECT_STREQ(r.label, "dummy");
                EXPECT_EQ(r.id, 0xFFFF);
                continue;
            }
            const Expected& e = it->second;
            EXPECT_EQ(r.label, e.name);
            EXPECT_EQ(r.valueKind, e.kind);
            EXPECT_EQ(r.mathFlags, e.math);
            EXPECT_EQ(r.modFlags, e.mod);
            EXPECT_EQ(r.minValue, e.min);
            EXPECT_EQ(r.maxValue, e.max);
            EXPECT_EQ(r.defaultValue, e.def);
            EXPECT_EQ(r.factor, 1.0f);
            EXPECT_EQ(r.flags, 19);
            EXPECT_EQ(r.id, i);
            EXPECT_EQ(r.layerMask, e.layerMask);
            const bool toggle = e.name.ends_with("TremOn") || e.name.ends_with("Fixed");
            EXPECT_EQ(r.displayMode, toggle ? 3u : 0u);
            EXPECT_EQ(r.list != nullptr, e.kind == 3);
        }
    }
}

TEST(ConsoleParameters, ListsFollowThePresetVersion) {
    struct Case {
        uint32_t version;
        const char* layer1;
        const char* layer6;
    } cases[] = {
        {1104, "A|B", "A|B|DAC"},
        {1105, "A|B|C|D|E|F|G|H|I|J|K|L|M|N|O|P", "A|B|DAC|C|D|E|F|G|H|I|J|K|L|M|N|O|P"},
    };
    for (const Case& c : cases) {
        std::vector<ParameterInfo> table;
        buildConsoleParameters(table, c.version);
        for (uint32_t i = 144; i < 149; ++i) EXPECT_STREQ(table[i].list, c.layer1) << i;
        EXPECT_STREQ(table[149].list, c.layer6);
    }
    std::vector<ParameterInfo> table;
    buildConsoleParameters(table, 1114);
    EXPECT_STREQ(table[9].list, R"(OFF|\\\\\\|\_____|\/\/\/|\-----|//////|/-----|/\/\/\|/_____)");
    EXPECT_STREQ(table[72 + 57].list, table[9].list);
    EXPECT_STREQ(table[156].list, "Long|Periodic");
    EXPECT_STREQ(table[157].list, "High|Med|Low|Ch3");
    EXPECT_STREQ(table[183].list, "Off|VSYNC|Random");
    EXPECT_STREQ(table[187].list, "Region|Continue|Loop|Future");
}

// Where each index lands in the shadow, by byte offset.
TEST(ConsoleParameters, IndexToShadowMapping) {
    struct Case {
        uint32_t index;
        size_t offset;
    } cases[] = {
        {0, 0},      {13, 52},    {16, 64},    {63, 252},   {64, 256},      {65, 260},
        {67, 268},   {68, 272},   {71, 272},   {72, 512},   {72 + 64, 768}, {143, 784},
        {144, 1084}, {149, 1104}, {150, 1108}, {155, 1128}, {156, 1024},    {157, 1028},
        {158, 1132}, {159, 1032}, {160, 1036}, {161, 1052}, {162, 1068},    {169, 1048},
        {170, 1064}, {171, 1080}, {172, 1136}, {183, 1136}, {190, 1136},    {5000, 1136},
    };
    ConsoleShadow s;
    const auto* base = reinterpret_cast<const char*>(&s);
    for (const Case& c : cases)
        EXPECT_EQ(reinterpret_cast<const char*>(&shadowField(s, c.index)) - base,
                  std::ptrdiff_t(c.offset))
            << c.index;
}

TEST(ConsoleParameters, ShadowDefaults) {
    std::vector<ParameterInfo> table;
    buildConsoleParameters(table, 1114);
    ConsoleShadow s;
    s.spare = 99;
    setShadowDefaults(s, table);
    for (int inst = 0; inst < 2; ++inst) {
        const PatchRecord& p = s.instruments[inst];
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(p.op(k, PatchRecord::kLevel), k == 3 ? 127 : 0);
            EXPECT_EQ(p.op(k, PatchRecord::kMult), 1);
            EXPECT_EQ(p.op(k, PatchRecord::kDecay), 16);
            EXPECT_EQ(p.op(k, PatchRecord::kSustain), 15);
            EXPECT_EQ(p.op(k, PatchRecord::kDecay2), 31);
            EXPECT_EQ(p.op(k, PatchRecord::kVelocity), k == 3 ? 4 : 0);
        }
    }
    EXPECT_EQ(s.spare, 0);
    EXPECT_EQ(s.layerInstrument[5], 0);
}
