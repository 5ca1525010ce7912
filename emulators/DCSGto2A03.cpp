#include "emulators/DCSGto2A03.h"

#include "vgm/MediaCallback.h"

DCSGto2A03::DCSGto2A03(uint32_t variant, MediaCallback* sink) : DCSGDecoder(variant), sink(sink) {
    listener = this;
    static constexpr uint32_t kStartup[][2] = {
        {0x4000, 0xB0}, {0x4001, 0x08}, {0x4002, 0}, {0x4003, 0},    {0x4004, 0xB0},
        {0x4005, 0x08}, {0x4006, 0},    {0x4007, 0}, {0x4008, 0x80}, {0x400A, 0},
        {0x400B, 0},    {0x400C, 0x30}, {0x400E, 0}, {0x400F, 0},    {0x4015, 0x0F}};
    for (const auto& w : kStartup) out(w[0], w[1]);
}

void DCSGto2A03::out(uint32_t reg, uint32_t value) {
    if (sink) sink->mediaRegisterWrite(kChipType, 0, 0, reg, value);
}

void DCSGto2A03::onVolume(uint32_t channel, uint32_t attenuation) {
    const uint32_t level = 15 - (attenuation & 15);
    switch (channel) {
    case 0:
        out(0x4000, 0xB0 | level);
        break;
    case 1:
        out(0x4004, 0xB0 | level);
        break;
    case 2:
        out(0x4008, level == 0 ? 0 : 0xFF);
        break;
    case 3:
        out(0x400C, 0x30 | level);
        out(0x400F, 0xFF);
        break;
    default:
        break;
    }
}

void DCSGto2A03::pulsePeriod(uint32_t period, uint32_t lowReg, uint8_t& highCache) {
    const uint32_t t = ((((period >= 10) ? period : 9) & 0x3FF) - 1) & 0x3FF;
    out(lowReg, t & 0xFF);
    const uint8_t high = uint8_t(t >> 8);
    if (high != highCache) out(lowReg + 1, high);
    highCache = high;
}

void DCSGto2A03::onPeriod(uint32_t channel, uint32_t period) {
    switch (channel) {
    case 0:
        pulsePeriod(period, 0x4002, converterState[0]);
        break;
    case 1:
        pulsePeriod(period, 0x4006, converterState[1]);
        break;
    case 2: {
        const uint64_t t = period == 0 ? 0 : (uint64_t(period & 0x3FF) - 1) >> 1;
        out(0x400A, uint32_t(t & 0xFF));
        out(0x400B, uint32_t((t >> 8) & 3));
        break;
    }
    case 3:
        converterState[3] = uint8_t((converterState[3] & 0x80) | ((period >> 6) & 0x0F));
        out(0x400E, converterState[3]);
        break;
    default:
        break;
    }
}

void DCSGto2A03::onNoiseMode(uint32_t /*channel*/, uint32_t /*ignored*/, uint32_t white) {
    converterState[3] = uint8_t((converterState[3] & 0x7F) | (white == 0 ? 0x80 : 0));
    out(0x400E, converterState[3]);
}
