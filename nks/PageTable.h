// The instrument's NKS pages: how an NKS host lays the engine's automatable
// parameters out on its eight-knob pages. The page table `g_macros` holds 30
// pages of 8 slots (global FM settings and operators of instruments A and B,
// the LFO and channel-3 pitch, then one page per FM, square and noise layer);
// the performance table `g_perf` names the one section the host shows in its
// performance mode. Both are constant data, read by the two fill functions.
#pragma once

#include "nks/Metadata.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace nks {

constexpr size_t kMacroPages = 30;
constexpr size_t kMacroSlotsPerPage = 8;

// One slot of a page. The page name stands on the page's first slot only; an
// empty slot has id -1 and no name.
struct NKS2MacroSlot {
    const char* page;
    int32_t id; // engine automatable-parameter id
    const char* name;
};

extern const NKS2MacroSlot g_macros[kMacroPages * kMacroSlotsPerPage];

struct NKS2PerfEntry {
    int32_t id;
    const char* name;
};

struct NKS2PerfSection {
    const char* name; // an empty name adds no performance section
    std::vector<NKS2PerfEntry> entries;
};

extern const NKS2PerfSection g_perf;

// Appends the performance section (nothing when its name is empty).
void fillPerfWithNKFSInfo(std::vector<metadata::parameter_navigation::Section>& sections);
// Appends the 30 pages in order, each a group with one section of all 8 slots.
void fillGroupsWithNKSFInfo(std::vector<metadata::parameter_navigation::Group>& groups);

} // namespace nks
