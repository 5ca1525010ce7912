// The noise channel of a console unit's PSG: a linear-feedback shift register
// clocked at one of three fixed rates or at the third tone channel's rate,
// giving white noise or a periodic buzz. Its level works like a tone
// channel's; its pitch comes only from the noise control byte (0xE0 | mode),
// so frequency changes write nothing.
#pragma once

#include "instrument/DCSG_tone_sub.h"

class DCSG_noise_sub : public DCSG_tone_sub {
public:
    DCSG_noise_sub(ChipSubWriter* writer, uint32_t value, uint64_t unit)
        : DCSG_tone_sub(writer, value, unit, 3) {}

    void setFrequency(float) override {}
    // Index 0 periodic flag (0 "Long" white noise, 1 "Periodic"), index 1 the
    // rate (0 "High", 1 "Med", 2 "Low", 3 "Ch3" = tone channel 3's period);
    // every call then writes the noise control byte.
    void setParameter(uint32_t index, const int32_t* ivalue, const float* fvalue) override;
    // Sends the noise control byte from the stored flag and rate.
    void rewrite();

    int32_t periodic = 0;
    int32_t rate = 0;
};
