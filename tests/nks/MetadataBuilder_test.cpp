#include "nks/MetadataBuilder.h"
#include "nks/PageTable.h"
#include "nks/Validate.h"
#include "nks/support/ConsoleParameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using namespace nks::metadata;
using parameter_descriptive_info::Attributes;
using parameter_descriptive_info::Style;
using parameter_descriptive_info::Type;
using vantor::ParameterInfo;

using Names = std::vector<std::string>;

std::string listOf(int entries) {
    std::string text;
    for (int i = 0; i < entries; ++i) text += (i ? "|" : "") + std::to_string(i);
    return text;
}

Names namesOf(int entries) {
    Names names;
    for (int i = 0; i < entries; ++i) names.push_back(std::to_string(i));
    return names;
}

struct DescribeCase {
    const char* name;
    uint32_t kind;
    float minValue, maxValue;
    std::string list; // empty: none
    uint32_t displayMode;
    Type type;
    int style;
    uint32_t valueCount;
    Names displayValues;
};

const DescribeCase kDescribeCases[] = {
    {"continuous", 0, 0, 1, "", 0, Type::continuous, 0, 0, {}},
    {"continuous below zero", 0, -1, 1, "", 0, Type::continuousBipolar, 0, 0, {}},
    {"integer 0..7", 1, 0, 7, "", 0, Type::discrete, 2, 8, {}},
    {"integer -3..3", 1, -3, 3, "", 0, Type::discreteBipolar, 2, 7, {}},
    {"integer -64..63", 1, -64, 63, "", 0, Type::discreteBipolar, 2, 128, {}},
    {"integer 0..127", 1, 0, 127, "", 0, Type::discrete, 2, 128, {}},
    {"integer 0..2.5 truncates", 1, 0, 2.5f, "", 0, Type::discrete, 2, 3, {}},
    {"integer 0..128 is continuous", 1, 0, 128, "", 0, Type::continuous, 0, 0, {}},
    {"integer 0..200", 1, 0, 200, "", 0, Type::continuous, 0, 0, {}},
    {"integer -120..120", 1, -120, 120, "", 0, Type::continuousBipolar, 0, 0, {}},
    // Fewer than three values: a toggle, which the host accepts.
    {"integer 0..1", 1, 0, 1, "", 0, Type::toggle, 0, 0, {}},
    {"integer -1..0", 1, -1, 0, "", 0, Type::toggle, 0, 0, {}},
    {"integer of one value", 1, 5, 5, "", 0, Type::toggle, 0, 0, {}},
    // A range the wrong way round has no count.
    {"integer inverted", 1, 10, 0, "", 0, Type::continuous, 0, 0, {}},
    {"integer inverted below zero", 1, -1, -10, "", 0, Type::continuousBipolar, 0, 0, {}},
    {"integer of NaN range", 1, 0, NAN, "", 0, Type::continuous, 0, 0, {}},
    {"on/off", 2, 0, 1, "", 0, Type::toggle, 0, 0, {}},
    {"on/off centred", 2, 0, 1, "", 2, Type::toggle, 3, 0, {}},
    {"on/off zero", 2, 0, 1, "", 3, Type::toggle, 3, 0, {}},
    {"on/off other mode", 2, 0, 1, "", 4, Type::toggle, 0, 0, {}},
    {"list of 3", 3, 0, 2, "Off|VSYNC|Random", 0, Type::discrete, 5, 0, {"Off", "VSYNC", "Random"}},
    {"list of 128", 3, 0, 127, listOf(128), 0, Type::discrete, 5, 0, namesOf(128)},
    {"list of 2 keeps its names",
     3,
     0,
     1,
     "Long|Periodic",
     0,
     Type::toggle,
     0,
     0,
     {"Long", "Periodic"}},
    {"list of 1", 3, 0, 1, "Only", 0, Type::toggle, 0, 0, {"Only"}},
    {"list with an empty entry", 3, 0, 2, "a||c", 0, Type::discrete, 5, 0, {"a", "", "c"}},
    {"list of 129 is continuous", 3, 0, 128, listOf(129), 0, Type::continuous, 0, 0, {}},
    {"list kind without a list", 3, 0, 5, "", 0, Type::continuous, 0, 0, {}},
    {"other kind", 7, -5, 5, "", 0, Type::continuous, 0, 0, {}},
};

// Navigation that passes, so that validation judges the descriptions alone.
Metadata withPages() {
    Metadata metadata;
    nks::fillPerfWithNKFSInfo(metadata.parameter_navigation.performance_mode);
    nks::fillGroupsWithNKSFInfo(metadata.parameter_navigation.groups);
    return metadata;
}

TEST(MetadataBuilder, DescribesByValueKindAndRange) {
    for (const DescribeCase& c : kDescribeCases) {
        SCOPED_TRACE(c.name);
        ParameterInfo info("P", c.kind, c.minValue, c.maxValue, 0, 1, 1);
        // The list as a record from the engine may carry it, also with one entry.
        if (!c.list.empty()) info.list = ParameterInfo::safeAllocCopyString(c.list.c_str());
        info.displayMode = c.displayMode;
        const Attributes a = describeParameter(info);
        EXPECT_EQ(a.type, c.type);
        EXPECT_EQ(static_cast<int>(a.style), c.style);
        EXPECT_EQ(a.value_count, c.valueCount);
        EXPECT_EQ(a.display_values, c.displayValues);

        // Whatever a parameter looks like, its description passes the host's rules.
        Metadata metadata = withPages();
        metadata.parameter_descriptive_info.emplace(3, a);
        EXPECT_EQ(validate(metadata), Result());
    }
}

TEST(MetadataBuilder, LeavesOutIdsWithoutDescriptionOrName) {
    const ParameterInfo named("Named", 1, 0, 7, 0, 1, 1);
    const ParameterInfo nameless(nullptr, 1, 0, 7, 0, 1, 1);
    std::vector<uint32_t> asked;
    const Metadata metadata = buildMetadata(4, [&](uint32_t id) -> const ParameterInfo* {
        asked.push_back(id);
        if (id == 0 || id == 3) return &named;
        return id == 1 ? &nameless : nullptr;
    });
    EXPECT_EQ(asked, (std::vector<uint32_t>{0, 1, 2, 3}));
    ASSERT_EQ(metadata.parameter_descriptive_info.size(), 2u);
    EXPECT_EQ(metadata.parameter_descriptive_info.count(0), 1u);
    EXPECT_EQ(metadata.parameter_descriptive_info.count(3), 1u);
    EXPECT_EQ(metadata.parameter_navigation.groups.size(), 30u);
    EXPECT_EQ(metadata.parameter_navigation.performance_mode.size(), 1u);
}

TEST(MetadataBuilder, CountBeyondTheIdSpaceStopsAtItsEnd) {
    // Engine ids are 16-bit: a larger count asks each id once and ends.
    uint32_t asked = 0, last = 0;
    buildMetadata(0xFFFFFFFF, [&](uint32_t id) -> const ParameterInfo* {
        ++asked;
        last = id;
        return nullptr;
    });
    EXPECT_EQ(asked, 0x10000u);
    EXPECT_EQ(last, 0xFFFFu);
}

class ConsoleMetadata : public ::testing::TestWithParam<int> {};

TEST_P(ConsoleMetadata, TheInstrumentsOwnMetadataValidates) {
    const std::vector<ParameterInfo> table = testsupport::consoleParameters(GetParam());
    // The engine's automatable ids beyond the console table describe nothing here.
    const Metadata metadata = buildMetadata(300, [&](uint32_t id) -> const ParameterInfo* {
        return id < table.size() ? &table[id] : nullptr;
    });
    EXPECT_EQ(validate(metadata), Result());
    EXPECT_EQ(metadata.parameter_descriptive_info.size(), table.size());

    const auto& info = metadata.parameter_descriptive_info;
    // Two-value lists are toggles that keep their names.
    EXPECT_EQ(info.at(156).type, Type::toggle);
    EXPECT_EQ(info.at(156).display_values, (Names{"Long", "Periodic"}));
    EXPECT_EQ(info.at(8).type, Type::toggle); // "TremOn", drawn centred
    EXPECT_EQ(static_cast<int>(info.at(8).style), 3);
    EXPECT_EQ(info.at(150).type, Type::discreteBipolar); // pan -1..1
    EXPECT_EQ(info.at(150).value_count, 3u);
    EXPECT_EQ(info.at(9).display_values.size(), 9u); // the SSG envelope shapes
    EXPECT_EQ(info.at(160).type, Type::continuousBipolar);
    if (GetParam() < 1105) {
        EXPECT_EQ(info.at(144).type, Type::toggle);
        EXPECT_EQ(info.at(144).display_values, (Names{"A", "B"}));
        EXPECT_EQ(info.at(149).display_values, (Names{"A", "B", "DAC"}));
    } else {
        EXPECT_EQ(info.at(144).type, Type::discrete);
        EXPECT_EQ(info.at(144).display_values.size(), 16u);
        EXPECT_EQ(info.at(149).display_values.size(), 17u);
    }
}

INSTANTIATE_TEST_SUITE_P(PresetVersions, ConsoleMetadata, ::testing::Values(1104, 1105));

} // namespace
