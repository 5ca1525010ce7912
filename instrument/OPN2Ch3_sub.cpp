#include "instrument/OPN2Ch3_sub.h"

#include <algorithm>
#include <cmath>

double OPN2Ch3_sub::ratioOf(float cents) {
    if (cents != cachedCents) {
        cachedCents = cents;
        cachedRatio = std::pow(2.0, double(cents) / 1200.0);
    }
    return cachedRatio;
}

void OPN2Ch3_sub::updateFrequency() {
    const int32_t mode = ch3Mode();
    if (mode == 0) {
        OPN2_sub::updateFrequency();
        return;
    }
    const double played = double(factor) * double(frequency);
    if (mode == 2) {
        // Timer A overflows once per period of the played pitch, counted in
        // chip samples; periods beyond the timer's 1024 steps are folded down
        // by octaves.
        const double x = std::isnan(played) ? 1.0 : std::max(1.0, played);
        double period = std::floor(2097152.0 / x + 0.5);
        if (period >= 2065.0)
            period = std::floor(period / 4.0);
        else if (period >= 1033.0)
            period = std::floor(period / 2.0);
        const int32_t steps = int32_t(std::clamp(period, 1.0, 1024.0));
        const int32_t timer = 1024 - steps;
        sendRegister(0x24, uint8_t(timer >> 2), 0);
        sendRegister(0x25, uint8_t(timer & 3), 0);
    }
    static constexpr uint8_t kHigh[4] = {0xAD, 0xAE, 0xAC, 0xA6};
    static constexpr uint8_t kLow[4] = {0xA9, 0xAA, 0xA8, 0xA2};
    for (int k = 0; k < 4; ++k) {
        const float cents = float(ch3->coarse[k]) * 100.0f + float(ch3->fine[k]);
        const double base = ch3->fixed[k] ? kFixedHz : double(frequency);
        int32_t block, fnum;
        fnumberOf(double(factor) * base * ratioOf(cents), block, fnum, pitchIndex[k]);
        writeFrequencyPair(kHigh[k], kLow[k], block, fnum);
    }
}

void OPN2Ch3_sub::setTimerARunning(bool running) {
    sendBits(0x27, 0x01, running ? 1 : 0, 0);
}

void OPN2Ch3_sub::setKey(bool on, bool retrig) {
    if (ch3Mode() == 2) {
        // The timer keys the operators; the key register stays off.
        if (!on || retrig) setTimerARunning(false);
        if (on) setTimerARunning(true);
        sendRegister(0x28, 0x02, 0);
        return;
    }
    setTimerARunning(false);
    if (!on || retrig) sendRegister(0x28, 0x02, 0);
    if (on) sendRegister(0x28, 0xF2, 0);
}
