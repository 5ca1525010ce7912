#include "instrument/DCSG_tone_sub.h"

#include <algorithm>
#include <cmath>

void DCSG_tone_sub::writePsg(uint8_t byte) {
    if (writer) writer->writeRegister(unit, 0, byte, 2);
}

void DCSG_tone_sub::writeAttenuation(uint8_t v) {
    writePsg(uint8_t(0x90 | (channel << 5) | (v & 15)));
}

uint8_t DCSG_tone_sub::attenuationOf(float level) {
    double l = std::isnan(level) ? 0.0 : double(level);
    // The octave (6 dB = three 2 dB steps), then the step within it.
    int base;
    if (l < 0.001)
        base = 15;
    else if (l < 0.0625)
        base = 12, l *= 16.0;
    else if (l < 0.125)
        base = 9, l *= 8.0;
    else if (l < 0.25)
        base = 6, l *= 4.0;
    else if (l < 0.5)
        base = 3, l *= 2.0;
    else
        base = 0;
    const int step = l < 0.63 ? 2 : l < 0.8 ? 1 : 0;
    return uint8_t(std::min(base + step, 15));
}

void DCSG_tone_sub::setClock(float clock) {
    if (!(clock > 0.0f) || !std::isfinite(clock)) return;
    dividedClock = double(clock) / 32.0;
}

void DCSG_tone_sub::noteOn(float velocity) {
    velocitySquared = velocity * velocity;
    writeAttenuationOf(velocitySquared * amplitude);
}

void DCSG_tone_sub::setAmplitude(float a) {
    amplitude = a;
    writeAttenuationOf(velocitySquared * amplitude);
}

void DCSG_tone_sub::setFrequency(float hz) {
    if (!(hz >= 1.0f)) return; // below 1 Hz, or not a number
    double period = std::max(1.0, dividedClock / double(hz));
    while (period > 1023.0) period /= 2.0;
    const uint16_t n = uint16_t(std::floor(period + 0.5));
    writePsg(uint8_t(0x80 | (channel << 5) | (n & 15)));
    writePsg(uint8_t((n >> 4) & 0xFF));
}
