#include "support/HexFixture.h"
#include "vantor/ParameterInfo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

using vantor::ParameterInfo;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The display-format pointer sits unaligned in the packed record: read it by
// value, never bind a reference to it.
const char* fmtOf(const ParameterInfo& p) {
    return p.displayFormat;
}

// ---- Binary layout against a hand-written fixture ----------------------------

// Bytes written by hand from the record's table; ".." marks the bytes of a
// pointer, which are checked separately.
const char* const kFixture = "49 08 00 00  03 00 00 00  09 00 00 00  7B 8F 05 04 " // 0..15
                             "00 00 C0 BF  00 00 00 40  00 00 40 3F  00 00 C8 42 " // 16..31
                             ".. .. .. .. .. .. .. ..  .. .. .. .. .. .. .. .. "   // 32..47
                             "34 12 CD AB  .. .. .. .. .. .. .. ..  00 00 00 C0";  // 48..63

TEST(ParameterInfoLayout, MatchesTheHandWrittenFixture) {
    ParameterInfo p;
    p.setLabel("Gain");
    p.setList("x|y|z");
    p.setDisplayFormat("%.1f");
    p.valueKind = 3;
    p.displayMode = 9;
    p.flags = 0x7B;
    p.mathFlags = 0x8F;
    p.modFlags = 0x0405;
    p.minValue = -1.5f;
    p.maxValue = 2.0f;
    p.defaultValue = 0.75f;
    p.factor = 100.0f;
    p.id = 0x1234;
    p.layerMask = 0xABCD;
    p.offset = -2.0f;

    unsigned char bytes[64];
    std::memcpy(bytes, &p, sizeof bytes);
    testsupport::expectBytesMatchFixture(bytes, sizeof bytes, kFixture);
    const auto pointerAt = [&](int pos) {
        uint64_t v;
        std::memcpy(&v, bytes + pos, 8);
        return v;
    };
    EXPECT_EQ(pointerAt(32), reinterpret_cast<uintptr_t>(p.label));
    EXPECT_EQ(pointerAt(40), reinterpret_cast<uintptr_t>(p.list));
    EXPECT_EQ(pointerAt(52), reinterpret_cast<uintptr_t>(p.displayFormat));
    EXPECT_STREQ(reinterpret_cast<const char*>(pointerAt(52)), "%.1f");
}

// ---- Construction, texts, copying ------------------------------------------

TEST(ParameterInfo, ConstructorsSetTheDefaults) {
    const ParameterInfo d;
    EXPECT_EQ(d.magic, 2121u);
    EXPECT_EQ(d.valueKind, 0u);
    EXPECT_EQ(d.displayMode, 0u);
    EXPECT_EQ(d.flags, 0);
    EXPECT_EQ(d.mathFlags, 0);
    EXPECT_EQ(d.modFlags, 0);
    EXPECT_EQ(d.minValue, 0.0f);
    EXPECT_EQ(d.maxValue, 1.0f);
    EXPECT_EQ(d.defaultValue, 0.0f);
    EXPECT_EQ(d.factor, 1.0f);
    EXPECT_EQ(d.label, nullptr);
    EXPECT_EQ(d.list, nullptr);
    EXPECT_EQ(fmtOf(d), nullptr);
    EXPECT_EQ(d.id, 0xFFFF);
    EXPECT_EQ(d.layerMask, 0xFFFF);
    EXPECT_EQ(d.offset, 0.0f);

    const ParameterInfo p("Cutoff", 1, -4.0f, 12.0f, 3.0f, 0x8F, 0x7FF);
    EXPECT_EQ(p.magic, 2121u);
    EXPECT_EQ(p.valueKind, 1u);
    EXPECT_EQ(p.minValue, -4.0f);
    EXPECT_EQ(p.maxValue, 12.0f);
    EXPECT_EQ(p.defaultValue, 3.0f);
    EXPECT_EQ(p.mathFlags, 0x8F); // 0x80 is kept
    EXPECT_EQ(p.modFlags, 0x7FF);
    EXPECT_EQ(p.flags, 0);
    EXPECT_EQ(p.factor, 1.0f);
    EXPECT_EQ(p.id, 0xFFFF);
    EXPECT_STREQ(p.label, "Cutoff");
    EXPECT_EQ(ParameterInfo("", 0, 0, 1, 0, 0, 0).label, nullptr);
    EXPECT_EQ(ParameterInfo(nullptr, 0, 0, 1, 0, 0, 0).label, nullptr);
}

TEST(ParameterInfo, SetListStoresOnlyRealLists) {
    struct Case {
        const char* text;
        const char* stored; // nullptr: nothing stored
        float min, max;
    } cases[] = {
        {"Long|Periodic", "Long|Periodic", 0.0f, 1.0f},
        {"a|b|c|", "a|b|c|", 0.0f, 3.0f}, // an empty last item counts
        {"Periodic", nullptr, 5.0f, 9.0f},
        {"", nullptr, 5.0f, 9.0f},
        {nullptr, nullptr, 5.0f, 9.0f},
    };
    for (const auto& c : cases) {
        ParameterInfo p("P", 3, 5.0f, 9.0f, 5.0f, 0, 0);
        p.setList("old|list|here"); // replaced (or just cleared) by the call below
        p.minValue = 5.0f;
        p.maxValue = 9.0f;
        p.setList(c.text);
        if (c.stored)
            EXPECT_STREQ(p.list, c.stored);
        else
            EXPECT_EQ(p.list, nullptr) << (c.text ? c.text : "(null)");
        EXPECT_EQ(p.minValue, c.min);
        EXPECT_EQ(p.maxValue, c.max);
    }
}

TEST(ParameterInfo, TextsAreOwnedCopiesWithLimits) {
    ParameterInfo p;
    const std::string ok(511, 'f'), tooLong(512, 'f');
    p.setDisplayFormat(ok.c_str());
    ASSERT_NE(fmtOf(p), nullptr);
    EXPECT_EQ(std::string(p.displayFormat), ok);
    p.setDisplayFormat(tooLong.c_str());
    EXPECT_EQ(fmtOf(p), nullptr);
    p.setDisplayFormat("");
    EXPECT_EQ(fmtOf(p), nullptr);

    char name[] = "Name";
    p.setLabel(name);
    name[0] = 'X';
    EXPECT_STREQ(p.label, "Name");
    p.setLabel(p.label); // its own text
    EXPECT_STREQ(p.label, "Name");
    p.setList("a|b|c");
    p.setList(p.list); // its own list: still there, range unchanged
    EXPECT_STREQ(p.list, "a|b|c");
    EXPECT_EQ(p.maxValue, 2.0f);
    p.setDisplayFormat("%.3f");
    p.setDisplayFormat(fmtOf(p));
    EXPECT_STREQ(fmtOf(p), "%.3f");
    p.setLabel("");
    EXPECT_EQ(p.label, nullptr);

    p.setLabel("L");
    p.setList("a|b");
    p.setDisplayFormat("%f");
    p.clearList();
    p.clearDisplayFormat();
    EXPECT_EQ(p.list, nullptr);
    EXPECT_EQ(fmtOf(p), nullptr);
    p.clearLabel();
    EXPECT_EQ(p.label, nullptr);
    EXPECT_EQ(ParameterInfo::safeAllocCopyString(nullptr), nullptr);
    EXPECT_EQ(ParameterInfo::safeAllocCopyString(""), nullptr);
    char* copy = ParameterInfo::safeAllocCopyString("abc");
    EXPECT_STREQ(copy, "abc");
    delete[] copy;
}

ParameterInfo fullRecord() {
    ParameterInfo p("Wave", 3, 0.0f, 2.0f, 1.0f, 0x85, 0x401);
    p.setList("Sine|Square|Saw");
    p.setDisplayFormat("%.2f");
    p.displayMode = 9;
    p.flags = 0x7B;
    p.factor = 3.0f;
    p.offset = 0.5f;
    p.id = 17;
    p.layerMask = 0x0004;
    p.maxValue = 10.0f; // range changed after the list was set
    return p;
}

TEST(ParameterInfo, CopiesAreDeepAndComplete) {
    const ParameterInfo src = fullRecord();
    ParameterInfo viaCtor(src);
    ParameterInfo viaAssign("Old", 1, 0, 5, 0, 0, 0);
    viaAssign.setList("p|q");
    viaAssign.setDisplayFormat("old");
    viaAssign = src;
    for (const ParameterInfo* c : {&viaCtor, &viaAssign}) {
        EXPECT_EQ(c->magic, 2121u);
        EXPECT_EQ(c->valueKind, 3u);
        EXPECT_EQ(c->displayMode, 9u);
        EXPECT_EQ(c->flags, 0x7B);
        EXPECT_EQ(c->mathFlags, 0x85);
        EXPECT_EQ(c->modFlags, 0x401);
        EXPECT_EQ(c->minValue, 0.0f);
        EXPECT_EQ(c->maxValue, 2.0f); // the three-item list sets 0..2 again
        EXPECT_EQ(c->defaultValue, 1.0f);
        EXPECT_EQ(c->factor, 3.0f);
        EXPECT_EQ(c->offset, 0.5f);
        EXPECT_EQ(c->id, 17);
        EXPECT_EQ(c->layerMask, 0x0004);
        EXPECT_STREQ(c->label, "Wave");
        EXPECT_STREQ(c->list, "Sine|Square|Saw");
        EXPECT_STREQ(c->displayFormat, "%.2f");
        EXPECT_NE(c->label, src.label);
        EXPECT_NE(c->list, src.list);
        EXPECT_NE(fmtOf(*c), fmtOf(src));
    }
    // Assigning a record without texts drops the target's texts.
    viaAssign = ParameterInfo();
    EXPECT_EQ(viaAssign.label, nullptr);
    EXPECT_EQ(viaAssign.list, nullptr);
    EXPECT_EQ(fmtOf(viaAssign), nullptr);
}

TEST(ParameterInfo, SelfAssignmentKeepsTheRecord) {
    ParameterInfo p = fullRecord();
    ParameterInfo& alias = p;
    p = alias;
    EXPECT_STREQ(p.label, "Wave");
    EXPECT_STREQ(p.list, "Sine|Square|Saw");
    EXPECT_STREQ(p.displayFormat, "%.2f");
    EXPECT_EQ(p.maxValue, 10.0f); // unchanged, not re-ranged
}

TEST(ParameterInfo, ResetsKeepOrDropTheLabel) {
    ParameterInfo p = fullRecord();
    p.resetEverythingButLabel();
    EXPECT_STREQ(p.label, "Wave");
    EXPECT_EQ(p.list, nullptr);
    EXPECT_EQ(fmtOf(p), nullptr);
    EXPECT_EQ(p.flags, 0);
    EXPECT_EQ(p.mathFlags, 0);
    EXPECT_EQ(p.valueKind, 0u);
    EXPECT_EQ(p.maxValue, 1.0f);
    EXPECT_EQ(p.factor, 1.0f);
    EXPECT_EQ(p.offset, 0.0f);
    EXPECT_EQ(p.id, 0xFFFF);
    EXPECT_EQ(p.layerMask, 0xFFFF);
    p.reset();
    EXPECT_EQ(p.label, nullptr);
    EXPECT_EQ(p.magic, 2121u);
}

// ---- Value conversions ------------------------------------------------------

struct PackCase {
    uint32_t kind;
    float min, max, offset, factor;
    float in, packed, unpacked;
};

TEST(ParameterInfo, Pack01AndUnpack01) {
    const PackCase cases[] = {
        {0, 0.0f, 2.0f, 0, 1, 0.5f, 0.25f, 1.0f},
        {0, 0.0f, 3.0f, 0, 1, 0.5f, 1.0f / 6.0f, 1.5f},
        {0, -1.0f, 1.0f, 0, 1, 2.0f, 1.5f, 3.0f}, // no clamping
        {1, 0.0f, 3.0f, 0, 1, 0.5f, 0.5f / 3.0f, 2.0f},
        {1, 0.0f, 3.0f, 0, 1, 2.0f, 2.0f / 3.0f, 6.0f},
        {3, -2.0f, 2.0f, 0, 1, 0.3f, 2.3f / 4.0f, -1.0f},
        {2, 0.0f, 1.0f, 0, 1, 0.0f, 0.0f, 0.0f},
        {2, 0.0f, 1.0f, 0, 1, 0.3f, 1.0f, 1.0f},
        {2, 0.0f, 1.0f, 0, 1, 0.0001f, 1.0f, 1.0f},
        {2, 0.0f, 1.0f, 5, 9, 5.0f, 0.0f, 9.0f},
        {2, 0.0f, 1.0f, 5, 9, 0.0f, 1.0f, 5.0f},
        {4, 0.0f, 10.0f, 0, 1, 0.5f, 0.05f, 5.0f},
        {5, 2.0f, 4.0f, 0, 1, 3.0f, 0.5f, 8.0f},
        {6, 0.0f, 10.0f, 0, 1, 0.5f, 0.5f, 0.5f}, // unknown kind: unchanged
        {0, 3.0f, 3.0f, 0, 1, 0.5f, 0.5f, 0.5f},  // empty range: unchanged
        {1, 5.0f, 2.0f, 0, 1, 0.5f, 0.5f, 0.5f},  // inverted range: unchanged
    };
    for (const auto& c : cases) {
        ParameterInfo p("P", c.kind, c.min, c.max, 0.0f, 0, 0);
        p.offset = c.offset;
        p.factor = c.factor;
        float v = c.in;
        p.pack01(v);
        EXPECT_FLOAT_EQ(v, c.packed) << "kind " << c.kind << " in " << c.in;
        v = c.in;
        p.unpack01(v);
        EXPECT_FLOAT_EQ(v, c.unpacked) << "kind " << c.kind << " in " << c.in;
        // pack/unpack touch on/off parameters only.
        v = c.in;
        p.pack(v);
        EXPECT_EQ(v, c.kind == 2 ? c.packed : c.in);
        v = c.in;
        p.unpack(v);
        EXPECT_EQ(v, c.kind == 2 ? c.unpacked : c.in);
    }
}

// ---- Display ------------------------------------------------------------------

struct TextCase {
    uint32_t mode;
    uint32_t kind;
    const char* format; // display format
    const char* list;
    float factor, offset;
    float x;
    size_t size;
    const char* text; // nullptr: the buffer is left unwritten
};

TEST(ParameterInfo, ToStringByDisplayMode) {
    const char* hml = "High|Med|Low|Ch3";
    const TextCase cases[] = {
        // mode 0, by value kind
        {0, 1, nullptr, nullptr, 1, 0, 2.5f, 32, "3"},
        {0, 1, nullptr, nullptr, 1, 0, -2.5f, 32, "-2"},
        {0, 1, nullptr, nullptr, 1, 0, 1e30f, 32, "2147483647"},
        {0, 1, nullptr, nullptr, 1, 0, kNaN, 32, "0"},
        {0, 2, nullptr, nullptr, 1, 0, 0.0f, 32, "False"},
        {0, 2, nullptr, nullptr, 1, 0, 0.3f, 32, "True"},
        {0, 2, nullptr, nullptr, 1, 0, 1.0f, 3, "Tr"},
        {0, 3, nullptr, "a|b|c", 1, 0, 1.4f, 32, "b"},
        {0, 3, nullptr, "a|b|c", 1, 0, 2.6f, 32, nullptr},
        {0, 3, nullptr, "a|b|c", 1, 0, -0.6f, 32, nullptr},
        {0, 3, nullptr, "a|b|c", 1, 0, kNaN, 32, "a"},
        {0, 3, nullptr, nullptr, 1, 0, 2.0f, 32, "2"}, // no list: the step number
        {0, 0, nullptr, nullptr, 1, 0, 0.5f, 32, "0.500000"},
        {0, 4, nullptr, nullptr, 1, 0, 0.5f, 32, "0.500000"},
        {0, 5, nullptr, nullptr, 1, 0, 0.5f, 32, "0.500000"},
        {0, 6, nullptr, nullptr, 1, 0, 0.5f, 32, nullptr},
        // "cformat": offset before factor; "cformatfactoroffset": factor first
        {1, 0, "%.1f Hz", nullptr, 2, 1, 0.5f, 32, "3.0 Hz"},
        {11, 0, "%.1f Hz", nullptr, 2, 1, 0.5f, 32, "2.0 Hz"},
        {1, 0, nullptr, nullptr, 2, 1, 0.5f, 32, "0.500000"},
        {11, 0, nullptr, nullptr, 2, 1, 0.5f, 32, "0.500000"},
        {1, 0, "100%% %.0f", nullptr, 100, 0, 0.5f, 32, "100% 50"},
        {1, 0, "%+5.2lf", nullptr, 1, 0, 0.5f, 32, "+0.50"},
        {1, 0, "plain", nullptr, 1, 0, 0.5f, 32, "plain"},
        {1, 0, "%.1f Hz", nullptr, 2, 1, 0.5f, 5, "3.0 "},
        // formats that would read arguments never passed fall back to "%f"
        {1, 0, "%s", nullptr, 1, 0, 0.5f, 32, "0.500000"},
        {1, 0, "%d", nullptr, 1, 0, 0.5f, 32, "0.500000"},
        {1, 0, "%f %f", nullptr, 1, 0, 0.5f, 32, "0.500000"},
        {11, 0, "%*f", nullptr, 1, 0, 0.5f, 32, "0.500000"},
        {11, 0, "%Lf", nullptr, 1, 0, 0.5f, 32, "0.500000"},
        {11, 0, "%n", nullptr, 1, 0, 0.5f, 32, "0.500000"},
        {11, 0, "abc%", nullptr, 1, 0, 0.5f, 32, "0.500000"},
        // a width or precision that cannot fit the buffer falls back as well
        {1, 0, "%.999999999f", nullptr, 1, 0, 0.5f, 32, "0.500000"},
        {1, 0, "%999999999f", nullptr, 1, 0, 0.5f, 32, "0.500000"},
        {1, 0, "%99999999999999999999999.1f", nullptr, 1, 0, 0.5f, 32, "0.500000"},
        {1, 0, "%.32f", nullptr, 2, 0, 0.5f, 32, "0.500000"},
        {1, 0, "%32f", nullptr, 2, 0, 0.5f, 32, "0.500000"},
        {1, 0, "%.31f", nullptr, 2, 0, 0.5f, 32, "1.00000000000000000000000000000"},
        {1, 0, "%31.1f", nullptr, 2, 0, 0.5f, 32, "                            1.0"},
        // on/off
        {2, 0, nullptr, nullptr, 1, 0, 0.49f, 32, "Off"},
        {2, 0, nullptr, nullptr, 1, 0, 0.5f, 32, "On"},
        {3, 0, nullptr, nullptr, 1, 0, 0.0f, 32, "Off"},
        {3, 0, nullptr, nullptr, 1, 0, 0.01f, 32, "On"},
        {10, 0, nullptr, nullptr, 1, 0.25f, 0.25f, 32, "Off"},
        {10, 0, nullptr, nullptr, 1, 0.25f, 0.0f, 32, "On"},
        // stereo pan: printf pads 50 to three characters
        {4, 0, nullptr, nullptr, 1, 0, 0.25f, 32, " 50% L"},
        {4, 0, nullptr, nullptr, 1, 0, 0.75f, 32, " 50% R"},
        {4, 0, nullptr, nullptr, 1, 0, 0.0f, 32, "100% L"},
        {4, 0, nullptr, nullptr, 1, 0, 1.0f, 32, "100% R"},
        {4, 0, nullptr, nullptr, 1, 0, 0.5f, 32, "C"},
        {4, 0, nullptr, nullptr, 1, 0, 0.495f, 32, "C"},
        {4, 0, nullptr, nullptr, 1, 0, 0.25f, 4, " 50"},
        // decibels
        {5, 0, nullptr, nullptr, 1, 0, 0.0f, 32, "-oo dB"},
        {5, 0, nullptr, nullptr, 1, 0, 1.0f, 32, "0 dB"},
        {5, 0, nullptr, nullptr, 1, 0, 0.5f, 32, " -6 dB"},
        {5, 0, nullptr, nullptr, 1, 0, 2.0f, 32, " +6 dB"},
        {6, 0, nullptr, nullptr, 1, 0, 0.999995f, 32, "0 dB"},
        {6, 0, nullptr, nullptr, 1, 0, 0.5f, 32, "-12 dB"},
        {6, 0, nullptr, nullptr, 1, 0, 1e-7f, 32, "-oo dB"},
        // MIDI values
        {7, 0, nullptr, nullptr, 1, 0, 0.5f, 32, "064"},
        {7, 0, nullptr, nullptr, 1, 0, 1.0f, 32, "127"},
        {7, 0, nullptr, nullptr, 1, 0, kNaN, 32, "000"},
        {8, 0, nullptr, nullptr, 1, 0, 0.0f, 32, "08192"},
        {8, 0, nullptr, nullptr, 1, 0, -1.0f, 32, "00000"},
        {8, 0, nullptr, nullptr, 1, 0, 1.0f, 32, "16383"},
        // list from the display format, index n * x
        {9, 0, hml, nullptr, 1, 0, 1.0f, 32, "Ch3"},
        {9, 0, hml, nullptr, 1, 0, 0.1f, 32, "High"},
        {9, 0, hml, nullptr, 1, 0, 0.5f, 32, "Low"},
        {9, 0, hml, nullptr, 1, 0, -3.0f, 32, "High"},
        {9, 0, hml, nullptr, 1, 0, 7.0f, 32, "Ch3"},
        {9, 0, hml, nullptr, 1, 0, kNaN, 32, "High"},
        {9, 0, "a|b|c", nullptr, 1, 0, 0.16f, 32, "a"},
        {9, 0, "a|b|c", nullptr, 1, 0, 0.17f, 32, "b"},
        {9, 0, "a|b|c", nullptr, 1, 0, 0.49f, 32, "b"},
        {9, 0, "a|b|c", nullptr, 1, 0, 0.5f, 32, "c"},
        {9, 0, "only", nullptr, 1, 0, 0.5f, 32, "0.500000"},
        {9, 0, nullptr, "a|b", 1, 0, 0.5f, 32, "0.500000"}, // `list` is not used here
        // fixed text
        {12, 0, "Fixed text", nullptr, 1, 0, 0.5f, 6, "Fixed"},
        {12, 0, nullptr, nullptr, 1, 0, 0.5f, 32, ""},
        {13, 0, "x", nullptr, 1, 0, 0.5f, 32, nullptr},
    };
    for (const auto& c : cases) {
        ParameterInfo p("P", c.kind, 0.0f, 1.0f, 0.0f, 0, 0);
        p.setList(c.list);
        p.setDisplayFormat(c.format);
        p.displayMode = c.mode;
        p.factor = c.factor;
        p.offset = c.offset;
        char buffer[33];
        std::memset(buffer, 'x', sizeof buffer - 1);
        buffer[sizeof buffer - 1] = 0;
        p.toString(buffer, c.x, c.size);
        const std::string expected = c.text ? c.text : std::string(32, 'x');
        EXPECT_EQ(std::string(buffer), expected)
            << "mode " << c.mode << " kind " << c.kind << " x " << c.x << " size " << c.size;
    }
    ParameterInfo p;
    p.toString(nullptr, 0.5f, 32); // nothing happens
}

TEST(ParameterInfo, DisplayModeKeywords) {
    struct Case {
        const char* keyword;
        uint32_t mode;
    } cases[] = {
        {"cformat", 1},
        {"cformatoffsetfactor", 1},
        {"onoffcenter", 2},
        {"onoffzero", 3},
        {"stereopan", 4},
        {"linear2db", 5},
        {"linear2dbconcave", 6},
        {"float2midi7", 7},
        {"float2midi14", 8},
        {"list", 9},
        {"onoffvalue", 10},
        {"cformatfactoroffset", 11},
        {"fixedstring", 12},
        {"List", 0},
        {"list ", 0},
        {"", 0},
        {nullptr, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParameterInfo::getDisplayModeFromText(c.keyword), c.mode)
            << (c.keyword ? c.keyword : "(null)");
}

// ---- Flags and tables -------------------------------------------------------

TEST(ParameterInfo, FlagListsAndNames) {
    std::vector<uint8_t> math{99};
    ParameterInfo::listMathFlags(math);
    EXPECT_EQ(math, (std::vector<uint8_t>{99, 1, 2, 4, 8}));
    std::vector<uint16_t> mod{7};
    ParameterInfo::listModFlags(mod);
    EXPECT_EQ(mod, (std::vector<uint16_t>{7, 1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024}));

    struct Case {
        uint8_t flag;
        const char* name;
    } cases[] = {{1, "Replace"}, {2, "Offset"}, {4, "Accum"},   {8, "Scale"},
                 {3, "keep"},    {0, "keep"},   {0x80, "keep"}, {16, "keep"}};
    for (const auto& c : cases) {
        std::string name = "keep";
        ParameterInfo::getMathFlagName(c.flag, name);
        EXPECT_EQ(name, c.name) << int(c.flag);
    }
}

TEST(ParameterInfo, MergeReplacesAndAddsById) {
    vantor::ParameterInfoMap target;
    target[1] = ParameterInfo("Kept", 0, 0, 1, 0, 0, 0);
    target[5] = ParameterInfo("Old five", 0, 0, 1, 0, 0, 0);
    vantor::ParameterInfoMap source;
    source[5] = ParameterInfo("New five", 1, 0, 7, 3, 0x80, 0);
    source[9] = ParameterInfo("Nine", 2, 0, 1, 1, 0, 0);
    source[9].setList("Off|On");

    vantor::mergeParamInfo(target, source);
    ASSERT_EQ(target.size(), 3u);
    EXPECT_STREQ(target[1].label, "Kept");
    EXPECT_STREQ(target[5].label, "New five");
    EXPECT_EQ(target[5].maxValue, 7.0f);
    EXPECT_EQ(target[5].mathFlags, 0x80);
    EXPECT_STREQ(target[9].list, "Off|On");
    EXPECT_NE(target[9].list, source[9].list);
    EXPECT_STREQ(source[5].label, "New five"); // the source is untouched
}

} // namespace
