#include "nks/Validate.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using namespace nks::metadata;
using parameter_descriptive_info::Attributes;
using parameter_descriptive_info::Style;
using parameter_descriptive_info::Type;
using parameter_navigation::Group;
using parameter_navigation::Parameter;
using parameter_navigation::Section;

constexpr uint32_t kNoId = 0xFFFFFFFF;

// Navigation that passes every rule, so that a case shows one rule at a time.
parameter_navigation::Data wellFormedNavigation() {
    parameter_navigation::Data data;
    data.performance_mode = {{"Perf", {{7, "Seven"}, Section::noParameter}}};
    data.groups = {{"G1", {{"S1", {{1, "One"}}}}},
                   {"G2", {{"S2", {Section::noParameter, {2, "Two"}}}}}};
    return data;
}

Attributes attributes(int type, int style, uint32_t valueCount, size_t displayValues) {
    Attributes a(Type(type), Style(style), valueCount);
    for (size_t i = 0; i < displayValues; ++i) a.display_values.push_back("v" + std::to_string(i));
    return a;
}

struct AttributeCase {
    const char* name;
    int type, style;
    uint32_t valueCount;
    size_t displayValues;
    Result::Id expected;
};

const AttributeCase kAttributeCases[] = {
    // Style against type; styles 0 and 2 fit every type.
    {"continuous, style 0", 0, 0, 0, 0, Result::success},
    {"continuous, style 1", 0, 1, 0, 0, Result::success},
    {"continuous, style 2", 0, 2, 0, 0, Result::success},
    {"continuous, style 3", 0, 3, 0, 0, Result::invalidStyle},
    {"bipolar continuous, style 5", 1, 5, 0, 0, Result::invalidStyle},
    {"toggle, style 3", 2, 3, 0, 0, Result::success},
    {"toggle, style 4", 2, 4, 0, 0, Result::success},
    {"toggle, style 1", 2, 1, 0, 0, Result::invalidStyle},
    {"toggle, style 5", 2, 5, 0, 0, Result::invalidStyle},
    {"discrete, style 5", 3, 5, 0, 3, Result::success},
    {"discrete, style 7", 3, 7, 3, 3, Result::success},
    {"discrete, style 4", 3, 4, 3, 0, Result::invalidStyle},
    {"discrete, style 8", 3, 8, 0, 3, Result::invalidStyle},
    {"bipolar discrete, style 2", 4, 2, 128, 0, Result::success},
    {"bipolar discrete, style 5", 4, 5, 0, 3, Result::invalidStyle},
    {"unknown type, style 0", 9, 0, 0, 0, Result::success},
    {"unknown type, style 1", 9, 1, 0, 0, Result::invalidStyle},
    // Discretes need a value count or display values.
    {"discrete without values", 3, 2, 0, 0, Result::noValueCount},
    {"bipolar discrete without values", 4, 2, 0, 0, Result::noValueCount},
    // A value count must agree with the display values.
    {"count 4 for 3 names", 3, 5, 4, 3, Result::inconsistentValueCount},
    {"count 3 for 3 names", 3, 5, 3, 3, Result::success},
    // Discretes take 3 to 128 values.
    {"discrete count 1", 3, 2, 1, 0, Result::discreteLowerBound},
    {"discrete count 2", 3, 2, 2, 0, Result::discreteLowerBound},
    {"bipolar discrete count 2", 4, 2, 2, 0, Result::discreteLowerBound},
    {"discrete of 2 names", 3, 5, 0, 2, Result::discreteLowerBound},
    {"toggle of 2 names", 2, 0, 0, 2, Result::success},
    {"discrete count 3", 3, 2, 3, 0, Result::success},
    {"discrete count 128", 3, 2, 128, 0, Result::success},
    {"discrete count 129", 3, 2, 129, 0, Result::discreteUpperBound},
    {"discrete of 129 names", 3, 5, 0, 129, Result::discreteUpperBound},
    // Icon styles need display values.
    {"icon style without names", 3, 6, 3, 0, Result::missingDisplayValuesForIconStyle},
    {"icon style 7 without names", 3, 7, 5, 0, Result::missingDisplayValuesForIconStyle},
    // The first rule that breaks wins.
    {"breaks style and lower bound", 3, 1, 2, 0, Result::invalidStyle},
};

TEST(Validate, DescriptiveInformationRules) {
    for (const AttributeCase& c : kAttributeCases) {
        SCOPED_TRACE(c.name);
        Metadata metadata;
        metadata.parameter_descriptive_info.emplace(
            5, attributes(c.type, c.style, c.valueCount, c.displayValues));
        metadata.parameter_navigation = wellFormedNavigation();
        EXPECT_EQ(validate(metadata).id, c.expected);
    }
}

TEST(Validate, DescriptiveMessagesNameTheEntry) {
    struct Case {
        Attributes attributes;
        const char* message;
    };
    const Case cases[] = {
        {attributes(0, 3, 0, 0),
         "Parameter Descriptive Information: Attributes for parameter id '42' define an "
         "incompatible style '3' for the given parameter type '0'"},
        {attributes(3, 2, 0, 0),
         "Parameter Descriptive Information: Attributes for parameter id '42' define it as a "
         "discrete parameter type, but 'display values' is empty and 'value count' is set to `0`"},
        {attributes(3, 5, 4, 3),
         "Parameter Descriptive Information: Attributes for parameter id '42' define a 'value "
         "count' '4' that does not match the defined 'display values' size '3'"},
        {attributes(3, 5, 0, 2),
         "Parameter Descriptive Information: Attributes for parameter id '42' define a 'value "
         "count' of '0' and 'display values' of size '2' of which at least one is less than '3'. "
         "Please consider either using a toggle parameter type instead or increasing the defined "
         "'value count'/'display values'"},
        {attributes(4, 2, 200, 0),
         "Parameter Descriptive Information: Attributes for parameter id '42' define a 'value "
         "count' of '200' and 'display values' of size '0' of which at least one is greater than "
         "'128'. Please consider either using a toggle parameter type instead or increasing the "
         "defined 'valuecount'/'display values'"},
        {attributes(3, 6, 3, 0), "Parameter Descriptive Information: Attribute for parameter id "
                                 "'42' defines style '6' but no display values"},
    };
    for (const Case& c : cases) {
        Metadata metadata;
        metadata.parameter_descriptive_info.emplace(42, c.attributes);
        EXPECT_EQ(validate(metadata).message, c.message);
    }
}

TEST(Validate, EachRuleIsCheckedAcrossTheWholeMapBeforeTheNext) {
    // Id 10 breaks only the lower bound, id 20 only the style rule: whatever
    // the map's order, the style rule is reported, for id 20.
    Metadata metadata;
    metadata.parameter_descriptive_info.emplace(10, attributes(3, 2, 2, 0));
    metadata.parameter_descriptive_info.emplace(20, attributes(0, 3, 0, 0));
    const Result result = validate(metadata);
    EXPECT_EQ(result.id, Result::invalidStyle);
    EXPECT_NE(result.message.find("parameter id '20'"), std::string::npos);
}

struct NavigationCase {
    const char* name;
    void (*change)(parameter_navigation::Data&);
    Result expected;
};

const NavigationCase kNavigationCases[] = {
    {"well formed", [](parameter_navigation::Data&) {}, Result()},
    {"no performance mode",
     [](parameter_navigation::Data& d) { d.performance_mode.clear(); },
     {Result::performanceModeUndefined, "Parameter navigation: The Performance Mode is undefined"}},
    {"group without a name",
     [](parameter_navigation::Data& d) { d.groups[1].name.clear(); },
     {Result::groupNameUndefined,
      "Parameter navigation: Undefined name for group at index '1' (0-based)"}},
    {"group names come before performance sections",
     [](parameter_navigation::Data& d) {
         d.groups[1].name.clear();
         d.performance_mode[0].name.clear();
     },
     {Result::groupNameUndefined,
      "Parameter navigation: Undefined name for group at index '1' (0-based)"}},
    {"performance section without a name",
     [](parameter_navigation::Data& d) { d.performance_mode[0].name.clear(); },
     {Result::sectionNameUndefined, "Parameter navigation: Undefined name for section at index "
                                    "'0' (0-based) in Performance Mode"}},
    {"performance section of empty slots",
     [](parameter_navigation::Data& d) {
         d.performance_mode.push_back({"Empty", {Section::noParameter, Section::noParameter}});
     },
     {Result::sectionWithoutValidParameter, "Parameter navigation: Section 'Empty' in Performance "
                                            "Mode does not define any parameter with a valid id"}},
    {"performance section without parameters",
     [](parameter_navigation::Data& d) { d.performance_mode[0].parameters.clear(); },
     {Result::sectionWithoutValidParameter, "Parameter navigation: Section 'Perf' in Performance "
                                            "Mode does not define any parameter with a valid id"}},
    {"group section without a name",
     [](parameter_navigation::Data& d) {
         d.groups[1].sections.push_back({"", {{3, "Three"}}});
     },
     {Result::sectionNameUndefined, "Parameter navigation: Undefined name for section at index "
                                    "'1' (0-based) of group 'G2'"}},
    {"group section of empty slots",
     [](parameter_navigation::Data& d) {
         d.groups[0].sections[0].parameters = {Section::noParameter, {kNoId, "named but empty"}};
     },
     {Result::sectionWithoutValidParameter,
      "Parameter navigation: Section 'S1' in group 'G1' does not define any parameter with a "
      "valid id"}},
    {"group without sections", [](parameter_navigation::Data& d) { d.groups[0].sections.clear(); },
     Result()},
    {"no groups at all", [](parameter_navigation::Data& d) { d.groups.clear(); }, Result()},
};

TEST(Validate, NavigationRules) {
    for (const NavigationCase& c : kNavigationCases) {
        SCOPED_TRACE(c.name);
        Metadata metadata;
        metadata.parameter_descriptive_info.emplace(1, attributes(3, 5, 0, 3));
        metadata.parameter_navigation = wellFormedNavigation();
        c.change(metadata.parameter_navigation);
        const Result result = validate(metadata);
        EXPECT_EQ(result.id, c.expected.id);
        EXPECT_EQ(result.message, c.expected.message);
    }
}

TEST(Validate, DescriptiveRulesComeBeforeNavigation) {
    Metadata metadata; // no performance mode either
    metadata.parameter_descriptive_info.emplace(1, attributes(3, 2, 0, 0));
    EXPECT_EQ(validate(metadata).id, Result::noValueCount);
}

TEST(Validate, StringFormatFormatsOrRefusesAnEmptyResult) {
    EXPECT_EQ(utilities::stringFormat("Section '%s' at '%d'", "Name", -3),
              "Section 'Name' at '-3'");
    EXPECT_EQ(utilities::stringFormat("%s", std::string(600, 'x').c_str()).size(), 600u);
    try {
        utilities::stringFormat("%s", "");
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Formatting error");
    }
}

} // namespace
