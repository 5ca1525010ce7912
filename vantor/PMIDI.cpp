#include "vantor/PMIDI.h"

#include "vantor/PlatformTools.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

int PMIDICombineBytes(uint8_t lsb, uint8_t msb) {
    return lsb | (msb << 7);
}

void PMIDICreateBytes(uint16_t value, uint8_t& lsb, uint8_t& msb) {
    lsb = static_cast<uint8_t>(value & 0x7F);
    msb = static_cast<uint8_t>((value >> 7) & 0x7F);
}

int32_t PDowngradeToMIDI7(const float& x) {
    return PSaturateToInt32(std::floor(x * 127.0f + 0.5f)) & 0x7F;
}

int32_t PDowngradeToMIDI7(const double& x) {
    return PSaturateToInt32(std::floor(x * 127.0 + 0.5)) & 0x7F;
}

int32_t PDowngradeToMIDI14(const float& x) {
    const float y = x * 8192.0f + 8192.0f;
    if (y < 0.0f) return 0;
    return PSaturateToInt32(std::floor(std::min(y, 16383.0f) + 0.5f)) & 0x3FFF;
}

int32_t PDowngradeToMIDI14(const double& x) {
    const double y = x * 8192.0 + 8192.0;
    if (y < 0.0) return 0;
    return PSaturateToInt32(std::floor(std::min(y, 16383.0) + 0.5)) & 0x3FFF;
}

void PMIDILogMessage(char* buffer, uint64_t size, const uint8_t* message, bool zeroBasedChannel) {
    if (!buffer || size < 32 || !message) return;
    buffer[size - 1] = 0;
    const size_t n = static_cast<size_t>(size - 1);
    const unsigned status = message[0];

    if (status < 0x80) {
        snprintf(buffer, n, "????");
        return;
    }
    if (status < 0xF0) {
        const int channel = (status & 0x0F) + (zeroBasedChannel ? 0 : 1);
        const int d1 = message[1] & 0x7F;
        const int d2 = message[2] & 0x7F;
        switch (status & 0xF0) {
        case 0x80:
            snprintf(buffer, n, "Chn: %2d Note Off(%3d): %3d", channel, d1, d2);
            break;
        case 0x90:
            if (d2 != 0)
                snprintf(buffer, n, "Chn: %2d Note On (%3d): %3d", channel, d1, d2);
            else
                snprintf(buffer, n, "Chn: %2d Note Off(%3d): %3d", channel, d1, 0);
            break;
        case 0xA0:
            snprintf(buffer, n, "Chn: %2d Aftertouch(%3d): %3d", channel, d1, d2);
            break;
        case 0xB0:
            snprintf(buffer, n, "Chn: %2d CC(%3d): %3d", channel, d1, d2);
            break;
        case 0xC0:
            snprintf(buffer, n, "Chn: %2d Program(%3d)", channel, d1);
            break;
        case 0xD0:
            snprintf(buffer, n, "Chn: %2d Channel Pressure: %3d", channel, d1);
            break;
        default: // 0xE0
            snprintf(buffer, n, "Chn: %2d Pitch Bend: %4d", channel,
                     (message[2] * 128 + message[1]) - 8192);
            break;
        }
        return;
    }
    switch (status) {
    case 0xF1:
        snprintf(buffer, n, "MTC Qtr Frame: %3d", message[1]);
        break;
    case 0xF2:
        snprintf(buffer, n, "Song Position Ptr: %5d", message[2] * 128 + message[1]);
        break;
    case 0xF3:
        snprintf(buffer, n, "Song Select: %3d", message[1]);
        break;
    case 0xF6:
        snprintf(buffer, n, "Tune Request");
        break;
    case 0xF8:
        snprintf(buffer, n, "Clock");
        break;
    case 0xFA:
        snprintf(buffer, n, "Start");
        break;
    case 0xFB:
        snprintf(buffer, n, "Continue");
        break;
    case 0xFC:
        snprintf(buffer, n, "Stop");
        break;
    case 0xFE:
        snprintf(buffer, n, "Active Sense");
        break;
    case 0xFF:
        snprintf(buffer, n, "Reset");
        break;
    default:
        break; // 0xF0, 0xF4, 0xF5, 0xF7, 0xF9, 0xFD: only the final NUL
    }
}
