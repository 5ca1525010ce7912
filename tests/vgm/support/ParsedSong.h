// A VGM file's bytes parsed into a track, with the chip command lists it
// produced written out as text (see describe()) for comparison.
#pragma once

#include <string>

#include "vgm/VGMX.h"
#include "vgm/support/VgmFixtures.h"

namespace vgmtest {

struct Parsed {
    VGM::VGMX vgm;
    bool ok = false;
    explicit Parsed(const Bytes& bytes) { ok = vgm.parseVgmBuffer(bytes.data(), bytes.size()); }
    bool has(VGM::MediaChipType t) const { return vgm.track().chips.count(t) != 0; }
    const VGM::MediaChipRecord& chip(VGM::MediaChipType t) const { return vgm.track().chips.at(t); }
    std::string list(VGM::MediaChipType t) const { return has(t) ? describe(chip(t)) : "<none>"; }
    // The commands after the record's 'S'.
    std::string after(VGM::MediaChipType t, size_t from = 1) const {
        return has(t) ? describe(chip(t), from, chip(t).commands.size()) : "<none>";
    }
};

} // namespace vgmtest
