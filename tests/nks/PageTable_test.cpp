#include "nks/PageTable.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using nks::metadata::parameter_navigation::Group;
using nks::metadata::parameter_navigation::Parameter;
using nks::metadata::parameter_navigation::Section;

constexpr uint32_t kNoId = 0xFFFFFFFF;

std::vector<Group> pages() {
    std::vector<Group> groups;
    nks::fillGroupsWithNKSFInfo(groups);
    return groups;
}

// The slots of a page as {id, name}, empty slots as {0xFFFFFFFF, ""}.
using Slots = std::vector<std::pair<uint32_t, std::string>>;

Slots slotsOf(const Group& group) {
    Slots slots;
    for (const Parameter& p : group.sections.at(0).parameters) slots.emplace_back(p.id, p.name);
    return slots;
}

const std::pair<uint32_t, std::string> kEmpty = {kNoId, ""};

TEST(PageTable, ThirtyPagesOfOneSectionWithEightSlots) {
    const std::vector<Group> groups = pages();
    ASSERT_EQ(groups.size(), 30u);
    size_t entries = 0, empty = 0;
    for (const Group& g : groups) {
        SCOPED_TRACE(g.name);
        EXPECT_FALSE(g.name.empty());
        ASSERT_EQ(g.sections.size(), 1u);
        EXPECT_EQ(g.sections[0].name, g.name);
        ASSERT_EQ(g.sections[0].parameters.size(), 8u);
        bool anyFilled = false;
        for (const Parameter& p : g.sections[0].parameters) {
            ++entries;
            empty += p.id == kNoId;
            anyFilled |= p.id != kNoId;
            EXPECT_EQ(p.id == kNoId, p.name.empty()) << p.id;
        }
        EXPECT_TRUE(anyFilled);
    }
    EXPECT_EQ(entries, 240u);
    EXPECT_EQ(empty, 56u);
}

TEST(PageTable, OperatorPagesFollowTheOperatorBlocks) {
    // Block fields: 0 Level, 1 Mult, 2 Detune, 3 A, 4 D, 5 S, 6 D2, 7 R,
    // 8 Tremolo, 9 SSG, 10 Ks Rate, 11 Velocity, 12 Ks Level.
    const std::vector<Group> groups = pages();
    const char* ops[] = {"OP4", "OP3", "OP2", "OP1"};
    for (int inst = 0; inst < 2; ++inst) {
        for (int op = 0; op < 4; ++op) {
            const uint32_t base = 72 * inst + 16 * op;
            const std::string name = std::string(inst ? "B:" : "A:") + ops[op];
            const size_t page = 9 * inst + 1 + 2 * op;
            SCOPED_TRACE(name);
            EXPECT_EQ(groups[page].name, name);
            EXPECT_EQ(slotsOf(groups[page]), (Slots{{base + 0, "Level"},
                                                    {base + 1, "Mult"},
                                                    {base + 2, "Detune"},
                                                    {base + 8, "Tremolo"},
                                                    {base + 11, "Velocity"},
                                                    {base + 12, "Ks Level"},
                                                    kEmpty,
                                                    kEmpty}));
            EXPECT_EQ(groups[page + 1].name, name + " Env");
            EXPECT_EQ(slotsOf(groups[page + 1]), (Slots{{base + 3, "A"},
                                                        {base + 4, "D"},
                                                        {base + 5, "S"},
                                                        {base + 6, "D2"},
                                                        {base + 7, "R"},
                                                        {base + 10, "Ks Rate"},
                                                        {base + 9, "SSG"},
                                                        kEmpty}));
        }
    }
}

TEST(PageTable, GlobalAndChannelPages) {
    const std::vector<Group> groups = pages();
    EXPECT_EQ(groups[0].name, "A:Global");
    EXPECT_EQ(slotsOf(groups[0]), (Slots{{64, "Algorithm"},
                                         {65, "Feedback"},
                                         {66, "Vibrato Lv"},
                                         {67, "Tremolo Lv"},
                                         kEmpty,
                                         kEmpty,
                                         kEmpty,
                                         kEmpty}));
    // Instrument B lists tremolo before vibrato.
    EXPECT_EQ(groups[9].name, "B:Global");
    EXPECT_EQ(slotsOf(groups[9]), (Slots{{136, "Algorithm"},
                                         {137, "Feedback"},
                                         {138, "Tremolo Lv"},
                                         {139, "Vibrato Lv"},
                                         kEmpty,
                                         kEmpty,
                                         kEmpty,
                                         kEmpty}));
    EXPECT_EQ(groups[18].name, "Global");
    EXPECT_EQ(
        slotsOf(groups[18]),
        (Slots{
            {158, "Lfo Rate"}, kEmpty, kEmpty, kEmpty, {159, "CH3 Mode"}, kEmpty, kEmpty, kEmpty}));
    EXPECT_EQ(groups[19].name, "CH3 Pitch");
    EXPECT_EQ(slotsOf(groups[19]), (Slots{{160, "OP4 Coarse"},
                                          {161, "OP4 Fine"},
                                          {163, "OP3 Coarse"},
                                          {164, "OP3 Fine"},
                                          {166, "OP2 Coarse"},
                                          {167, "OP2 Fine"},
                                          {169, "OP1 Coarse"},
                                          {170, "OP1 Fine"}}));
}

TEST(PageTable, LayerPages) {
    // Five layer fields per layer from 191 on; FM layers add their pan and patch.
    const std::vector<Group> groups = pages();
    for (uint32_t n = 0; n < 6; ++n) {
        const uint32_t base = 191 + 5 * n;
        EXPECT_EQ(groups[20 + n].name, "FM " + std::to_string(n + 1));
        EXPECT_EQ(slotsOf(groups[20 + n]), (Slots{{base, "Active"},
                                                  {base + 1, "Delay"},
                                                  {base + 2, "Transpose"},
                                                  {base + 3, "Detune"},
                                                  {base + 4, "Amp"},
                                                  {150 + n, "Pan"},
                                                  {144 + n, "Patch"},
                                                  kEmpty}));
    }
    for (uint32_t n = 0; n < 3; ++n) {
        const uint32_t base = 221 + 5 * n;
        EXPECT_EQ(groups[26 + n].name, "Square " + std::to_string(n + 1));
        EXPECT_EQ(slotsOf(groups[26 + n]), (Slots{{base, "Active"},
                                                  {base + 1, "Delay"},
                                                  {base + 2, "Transpose"},
                                                  {base + 3, "Detune"},
                                                  {base + 4, "Amp"},
                                                  kEmpty,
                                                  kEmpty,
                                                  kEmpty}));
    }
    EXPECT_EQ(groups[29].name, "Noise");
    EXPECT_EQ(slotsOf(groups[29]), (Slots{{236, "Active"},
                                          {237, "Delay"},
                                          {156, "Noise Type"},
                                          {157, "Noise Freq"},
                                          {238, "Amp"},
                                          kEmpty,
                                          kEmpty,
                                          kEmpty}));
}

TEST(PageTable, PerformanceSectionUsesSlotsOfThePages) {
    std::vector<Section> sections;
    nks::fillPerfWithNKFSInfo(sections);
    ASSERT_EQ(sections.size(), 1u);
    EXPECT_FALSE(sections[0].name.empty());
    ASSERT_FALSE(sections[0].parameters.empty());
    EXPECT_LE(sections[0].parameters.size(), 8u); // one page of knobs

    std::set<std::pair<uint32_t, std::string>> onPages;
    for (const Group& g : pages())
        for (const auto& slot : slotsOf(g)) onPages.insert(slot);
    for (const Parameter& p : sections[0].parameters) {
        EXPECT_NE(p.id, kNoId);
        EXPECT_TRUE(onPages.count({p.id, p.name})) << p.id << " " << p.name;
    }
}

TEST(PageTable, FillFunctionsAppend) {
    std::vector<Group> groups(1);
    nks::fillGroupsWithNKSFInfo(groups);
    EXPECT_EQ(groups.size(), 31u);
    std::vector<Section> sections(2);
    nks::fillPerfWithNKFSInfo(sections);
    EXPECT_EQ(sections.size(), 3u);
}

} // namespace
