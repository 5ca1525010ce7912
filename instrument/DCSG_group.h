// The four PSG sub-controllers of one console unit: tone channels 0-2 (the
// instrument's layers L07-L09) and the noise channel (L10), in channel order.
#pragma once

#include <cstdint>
#include <memory>

#include "instrument/ChipSubController.h"

struct DCSG_group {
    // Creates the four members, replacing (and destroying) any already there.
    void build(ChipSubWriter* writer, uint32_t value, uint64_t unit);
    std::unique_ptr<ChipSubController> members[4];
};
