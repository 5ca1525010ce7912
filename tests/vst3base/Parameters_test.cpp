// Parameters and their container: value conversions of plain, range and
// string-list parameters, their text forms, and what the container refuses.
#include <string>

#include <gtest/gtest.h>

#include "vst3base/ParameterContainer.h"
#include "vst3base/UString.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

std::string text(const Parameter& p, ParamValue v) {
    String128 s;
    p.toString(v, s);
    return utf16ToUtf8(s);
}

TEST(Parameter, ConvertsBetweenNormalisedPlainAndText) {
    Parameter cont(u"Level", 1, u"dB", 0.25);
    Parameter toggle(u"Bypass", 2, nullptr, 0.0, 1);
    Parameter stepped(u"Steps", 3, nullptr, 0.0, 4);
    RangeParameter range(u"Cutoff", 4, u"Hz", 20.0, 220.0, 120.0);
    RangeParameter octave(u"Octave", 5, nullptr, -2.0, 2.0, 0.0, 4);
    const struct {
        const Parameter* p;
        ParamValue normalized;
        ParamValue plain;
        const char* text;
    } cases[] = {
        {&cont, 0.5, 0.5, "0.5000 dB"},
        {&cont, 1.7, 1.0, "1.0000 dB"}, // out of range is clamped
        {&toggle, 0.0, 0.0, "Off"},
        {&toggle, 1.0, 1.0, "On"},
        {&stepped, 0.0, 0.0, "0"},
        {&stepped, 0.5, 2.0, "2"},
        {&stepped, 1.0, 4.0, "4"}, // the top value stays in the last step
        {&range, 0.0, 20.0, "20.0000 Hz"},
        {&range, 0.5, 120.0, "120.0000 Hz"},
        {&octave, 0.0, -2.0, "-2"},
        {&octave, 0.5, 0.0, "0"},
        {&octave, 1.0, 2.0, "2"},
    };
    for (const auto& c : cases) {
        const std::string title = utf16ToUtf8(c.p->getInfo().title);
        EXPECT_DOUBLE_EQ(c.p->toPlain(c.normalized), c.plain) << title << " " << c.normalized;
        EXPECT_EQ(text(*c.p, c.normalized), c.text) << title << " " << c.normalized;
        if (c.normalized > 1.0) continue; // clamped: the way back gives 1
        EXPECT_NEAR(c.p->toNormalized(c.plain), c.normalized, 1e-12) << title;
    }
    EXPECT_EQ(range.getInfo().defaultNormalizedValue, 0.5);
    EXPECT_EQ(octave.getInfo().stepCount, 4);
}

TEST(Parameter, ParsesTextBackAndRefusesNonNumbers) {
    Parameter toggle(u"Bypass", 2, nullptr, 0.0, 1);
    RangeParameter range(u"Cutoff", 4, u"Hz", 20.0, 220.0, 120.0);
    ParamValue v = -1;
    EXPECT_TRUE(toggle.fromString(u"On", v));
    EXPECT_EQ(v, 1.0);
    EXPECT_TRUE(range.fromString(u"70 Hz", v));
    EXPECT_DOUBLE_EQ(v, 0.25);
    EXPECT_TRUE(range.fromString(u"9999", v));
    EXPECT_EQ(v, 1.0);
    EXPECT_FALSE(range.fromString(u"loud", v));
    EXPECT_FALSE(range.fromString(nullptr, v));
    EXPECT_FALSE(range.fromString(u"nan", v));
}

TEST(Parameter, SetNormalizedClampsAndReportsChanges) {
    Parameter p(u"Level", 1);
    EXPECT_TRUE(p.setNormalized(0.5));
    EXPECT_FALSE(p.setNormalized(0.5));
    EXPECT_TRUE(p.setNormalized(7.0));
    EXPECT_EQ(p.getNormalized(), 1.0);
    EXPECT_TRUE(p.setNormalized(-std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(p.getNormalized(), 0.0);
    p.setTitle(std::u16string(200, u'x').c_str());
    EXPECT_EQ(strlen16(p.getInfo().title, 128), 127);
}

TEST(StringListParameter, EntriesAreItsSteps) {
    StringListParameter list(u"Wave", 7);
    EXPECT_EQ(text(list, 0.3), ""); // empty list: no entry, no crash
    for (const char16* s : {u"Sine", u"Square", u"Saw", u"Noise"}) list.appendString(s);
    EXPECT_EQ(list.getInfo().stepCount, 3);
    EXPECT_EQ(list.getInfo().flags, ParameterInfo::kCanAutomate | ParameterInfo::kIsList);
    const struct {
        ParamValue v;
        const char* text;
    } cases[] = {{0.0, "Sine"}, {0.26, "Square"}, {0.6, "Saw"}, {1.0, "Noise"}, {3.0, "Noise"}};
    for (const auto& c : cases) EXPECT_EQ(text(list, c.v), c.text) << c.v;
    ParamValue v;
    ASSERT_TRUE(list.fromString(u"Saw", v));
    EXPECT_DOUBLE_EQ(v, 2.0 / 3.0);
    EXPECT_FALSE(list.fromString(u"Pulse", v));
    EXPECT_TRUE(list.replaceString(1, u"Pulse"));
    EXPECT_FALSE(list.replaceString(4, u"Extra"));
    EXPECT_EQ(text(list, 1.0 / 3.0), "Pulse");
}

TEST(ParameterContainer, KeepsOrderFindsByIdAndRefusesDuplicates) {
    ParameterContainer c;
    ASSERT_TRUE(c.addParameter(u"A", 9000));
    ASSERT_TRUE(c.addParameter(new RangeParameter(u"B", 3, nullptr, 0, 10, 5)));
    EXPECT_EQ(c.addParameter(u"again", 9000), nullptr);
    EXPECT_EQ(c.addParameter(nullptr), nullptr);
    ASSERT_EQ(c.getParameterCount(), 2);
    EXPECT_EQ(c.getParameterByIndex(0)->getId(), 9000u);
    EXPECT_EQ(c.getParameterByIndex(1)->getId(), 3u);
    EXPECT_EQ(c.getParameterByIndex(2), nullptr);
    EXPECT_EQ(c.getParameterByIndex(-1), nullptr);
    EXPECT_EQ(c.getParameter(3)->toPlain(0.5), 5.0);
    EXPECT_EQ(c.getParameter(4), nullptr);
    c.removeAll();
    EXPECT_EQ(c.getParameterCount(), 0);
    EXPECT_EQ(c.getParameter(3), nullptr);
}

} // namespace
