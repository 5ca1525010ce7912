#include "instrument/DCSG_group.h"

#include "instrument/DCSG_noise_sub.h"
#include "instrument/DCSG_tone_sub.h"

void DCSG_group::build(ChipSubWriter* writer, uint32_t value, uint64_t unit) {
    for (uint8_t c = 0; c < 3; ++c)
        members[c] = std::make_unique<DCSG_tone_sub>(writer, value, unit, c);
    members[3] = std::make_unique<DCSG_noise_sub>(writer, value, unit);
}
