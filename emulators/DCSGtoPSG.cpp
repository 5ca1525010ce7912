#include "emulators/DCSGtoPSG.h"

#include <algorithm>

#include "vgm/MediaCallback.h"

DCSGtoPSG::DCSGtoPSG(uint32_t variant, MediaCallback* sink, const uint8_t* mirror)
    : DCSGDecoder(variant), sink(sink), mirror(mirror) {
    listener = this;
}

void DCSGtoPSG::out(uint32_t reg, uint32_t value) {
    if (sink) sink->mediaRegisterWrite(kChipType, 0, 0, reg, value);
}

void DCSGtoPSG::onVolume(uint32_t channel, uint32_t attenuation) {
    const uint32_t level = 15 - (attenuation & 15);
    if (channel < 3) {
        out(8 + channel, level);
    } else if (channel == 3) {
        if (level == 0) {
            out(7, 0xB8);
        } else {
            out(7, 0x9C);
            out(10, level);
        }
    }
}

void DCSGtoPSG::onPeriod(uint32_t channel, uint32_t period) {
    if (channel < 3) {
        out(2 * channel, period & 0xFF);
        out(2 * channel + 1, (period >> 8) & 3);
    } else if (channel == 3) {
        uint32_t value = period;
        if (value == 0) // follow tone 2: its period / 32
            value = mirror ? (uint32_t(mirror[4]) >> 5) | (uint32_t(mirror[5]) << 3) : 0;
        // Rates beyond the 5-bit register would wrap to the fastest noise.
        out(6, std::min(value, kMaxNoisePeriod));
    }
}

void DCSGtoPSG::onNoiseMode(uint32_t /*channel*/, uint32_t /*ignored*/, uint32_t /*white*/) {}
