// The page and performance tables and their conversion to navigation groups.
// Operator pages follow the engine's operator blocks: instrument A's operators
// 4, 3, 2, 1 at ids 0, 16, 32, 48 and instrument B's at 72, 88, 104, 120, each
// block Level, Mult, Detune, A, D, S, D2, R, Tremolo, SSG, Ks Rate, Velocity,
// Ks Level at offsets 0 to 12.
#include "nks/PageTable.h"

namespace nks {
namespace {
constexpr NKS2MacroSlot kEmpty = {"", -1, ""};
} // namespace

// clang-format off
const NKS2MacroSlot g_macros[kMacroPages * kMacroSlotsPerPage] = {
    {"A:Global", 64, "Algorithm"}, {"", 65, "Feedback"}, {"", 66, "Vibrato Lv"}, {"", 67, "Tremolo Lv"},
        kEmpty, kEmpty, kEmpty, kEmpty,
    {"A:OP4", 0, "Level"}, {"", 1, "Mult"}, {"", 2, "Detune"}, {"", 8, "Tremolo"},
        {"", 11, "Velocity"}, {"", 12, "Ks Level"}, kEmpty, kEmpty,
    {"A:OP4 Env", 3, "A"}, {"", 4, "D"}, {"", 5, "S"}, {"", 6, "D2"},
        {"", 7, "R"}, {"", 10, "Ks Rate"}, {"", 9, "SSG"}, kEmpty,
    {"A:OP3", 16, "Level"}, {"", 17, "Mult"}, {"", 18, "Detune"}, {"", 24, "Tremolo"},
        {"", 27, "Velocity"}, {"", 28, "Ks Level"}, kEmpty, kEmpty,
    {"A:OP3 Env", 19, "A"}, {"", 20, "D"}, {"", 21, "S"}, {"", 22, "D2"},
        {"", 23, "R"}, {"", 26, "Ks Rate"}, {"", 25, "SSG"}, kEmpty,
    {"A:OP2", 32, "Level"}, {"", 33, "Mult"}, {"", 34, "Detune"}, {"", 40, "Tremolo"},
        {"", 43, "Velocity"}, {"", 44, "Ks Level"}, kEmpty, kEmpty,
    {"A:OP2 Env", 35, "A"}, {"", 36, "D"}, {"", 37, "S"}, {"", 38, "D2"},
        {"", 39, "R"}, {"", 42, "Ks Rate"}, {"", 41, "SSG"}, kEmpty,
    {"A:OP1", 48, "Level"}, {"", 49, "Mult"}, {"", 50, "Detune"}, {"", 56, "Tremolo"},
        {"", 59, "Velocity"}, {"", 60, "Ks Level"}, kEmpty, kEmpty,
    {"A:OP1 Env", 51, "A"}, {"", 52, "D"}, {"", 53, "S"}, {"", 54, "D2"},
        {"", 55, "R"}, {"", 58, "Ks Rate"}, {"", 57, "SSG"}, kEmpty,
    {"B:Global", 136, "Algorithm"}, {"", 137, "Feedback"}, {"", 138, "Tremolo Lv"}, {"", 139, "Vibrato Lv"},
        kEmpty, kEmpty, kEmpty, kEmpty,
    {"B:OP4", 72, "Level"}, {"", 73, "Mult"}, {"", 74, "Detune"}, {"", 80, "Tremolo"},
        {"", 83, "Velocity"}, {"", 84, "Ks Level"}, kEmpty, kEmpty,
    {"B:OP4 Env", 75, "A"}, {"", 76, "D"}, {"", 77, "S"}, {"", 78, "D2"},
        {"", 79, "R"}, {"", 82, "Ks Rate"}, {"", 81, "SSG"}, kEmpty,
    {"B:OP3", 88, "Level"}, {"", 89, "Mult"}, {"", 90, "Detune"}, {"", 96, "Tremolo"},
        {"", 99, "Velocity"}, {"", 100, "Ks Level"}, kEmpty, kEmpty,
    {"B:OP3 Env", 91, "A"}, {"", 92, "D"}, {"", 93, "S"}, {"", 94, "D2"},
        {"", 95, "R"}, {"", 98, "Ks Rate"}, {"", 97, "SSG"}, kEmpty,
    {"B:OP2", 104, "Level"}, {"", 105, "Mult"}, {"", 106, "Detune"}, {"", 112, "Tremolo"},
        {"", 115, "Velocity"}, {"", 116, "Ks Level"}, kEmpty, kEmpty,
    {"B:OP2 Env", 107, "A"}, {"", 108, "D"}, {"", 109, "S"}, {"", 110, "D2"},
        {"", 111, "R"}, {"", 114, "Ks Rate"}, {"", 113, "SSG"}, kEmpty,
    {"B:OP1", 120, "Level"}, {"", 121, "Mult"}, {"", 122, "Detune"}, {"", 128, "Tremolo"},
        {"", 131, "Velocity"}, {"", 132, "Ks Level"}, kEmpty, kEmpty,
    {"B:OP1 Env", 123, "A"}, {"", 124, "D"}, {"", 125, "S"}, {"", 126, "D2"},
        {"", 127, "R"}, {"", 130, "Ks Rate"}, {"", 129, "SSG"}, kEmpty,
    {"Global", 158, "Lfo Rate"}, kEmpty, kEmpty, kEmpty,
        {"", 159, "CH3 Mode"}, kEmpty, kEmpty, kEmpty,
    {"CH3 Pitch", 160, "OP4 Coarse"}, {"", 161, "OP4 Fine"}, {"", 163, "OP3 Coarse"}, {"", 164, "OP3 Fine"},
        {"", 166, "OP2 Coarse"}, {"", 167, "OP2 Fine"}, {"", 169, "OP1 Coarse"}, {"", 170, "OP1 Fine"},
    {"FM 1", 191, "Active"}, {"", 192, "Delay"}, {"", 193, "Transpose"}, {"", 194, "Detune"},
        {"", 195, "Amp"}, {"", 150, "Pan"}, {"", 144, "Patch"}, kEmpty,
    {"FM 2", 196, "Active"}, {"", 197, "Delay"}, {"", 198, "Transpose"}, {"", 199, "Detune"},
        {"", 200, "Amp"}, {"", 151, "Pan"}, {"", 145, "Patch"}, kEmpty,
    {"FM 3", 201, "Active"}, {"", 202, "Delay"}, {"", 203, "Transpose"}, {"", 204, "Detune"},
        {"", 205, "Amp"}, {"", 152, "Pan"}, {"", 146, "Patch"}, kEmpty,
    {"FM 4", 206, "Active"}, {"", 207, "Delay"}, {"", 208, "Transpose"}, {"", 209, "Detune"},
        {"", 210, "Amp"}, {"", 153, "Pan"}, {"", 147, "Patch"}, kEmpty,
    {"FM 5", 211, "Active"}, {"", 212, "Delay"}, {"", 213, "Transpose"}, {"", 214, "Detune"},
        {"", 215, "Amp"}, {"", 154, "Pan"}, {"", 148, "Patch"}, kEmpty,
    {"FM 6", 216, "Active"}, {"", 217, "Delay"}, {"", 218, "Transpose"}, {"", 219, "Detune"},
        {"", 220, "Amp"}, {"", 155, "Pan"}, {"", 149, "Patch"}, kEmpty,
    {"Square 1", 221, "Active"}, {"", 222, "Delay"}, {"", 223, "Transpose"}, {"", 224, "Detune"},
        {"", 225, "Amp"}, kEmpty, kEmpty, kEmpty,
    {"Square 2", 226, "Active"}, {"", 227, "Delay"}, {"", 228, "Transpose"}, {"", 229, "Detune"},
        {"", 230, "Amp"}, kEmpty, kEmpty, kEmpty,
    {"Square 3", 231, "Active"}, {"", 232, "Delay"}, {"", 233, "Transpose"}, {"", 234, "Detune"},
        {"", 235, "Amp"}, kEmpty, kEmpty, kEmpty,
    {"Noise", 236, "Active"}, {"", 237, "Delay"}, {"", 156, "Noise Type"}, {"", 157, "Noise Freq"},
        {"", 238, "Amp"}, kEmpty, kEmpty, kEmpty,
};
// clang-format on

// The performance mode shows the sound-shaping controls of instrument A and the
// chip-wide LFO and channel-3 mode, named as on their pages.
const NKS2PerfSection g_perf = {
    "Performance",
    {
        {64, "Algorithm"},
        {65, "Feedback"},
        {66, "Vibrato Lv"},
        {67, "Tremolo Lv"},
        {158, "Lfo Rate"},
        {159, "CH3 Mode"},
    },
};

void fillPerfWithNKFSInfo(std::vector<metadata::parameter_navigation::Section>& sections) {
    if (!g_perf.name || !*g_perf.name) return;
    metadata::parameter_navigation::Section section;
    section.name = g_perf.name;
    for (const NKS2PerfEntry& entry : g_perf.entries)
        section.parameters.push_back({static_cast<uint32_t>(entry.id), entry.name});
    sections.push_back(std::move(section));
}

void fillGroupsWithNKSFInfo(std::vector<metadata::parameter_navigation::Group>& groups) {
    for (size_t page = 0; page < kMacroPages; ++page) {
        const NKS2MacroSlot* slots = &g_macros[page * kMacroSlotsPerPage];
        metadata::parameter_navigation::Section section;
        section.name = slots[0].page;
        for (size_t s = 0; s < kMacroSlotsPerPage; ++s)
            section.parameters.push_back({static_cast<uint32_t>(slots[s].id), slots[s].name});
        groups.push_back({slots[0].page, {std::move(section)}});
    }
}

} // namespace nks
