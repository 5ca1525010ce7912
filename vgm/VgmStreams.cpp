// PCM-producing commands of a VGM file as DAC stream records. Each 'W'
// command of stream record 84 + s is one stream-control sub-command: register
// = sub-command, value = a, port = b. A 32-bit quantity goes as two
// sub-commands, the high pair then the low pair. The VGM stream commands map
// one to one; SegaPCM, OKIM6295 and 32X PWM register writes are turned into
// the same sub-commands from a model of the chip's channel state.

#include "vgm/VgmParser.h"

#include <cmath>
#include <cstdio>

namespace VGM {

namespace {

enum StreamSub : uint8_t {
    kSubTarget = 0,
    kSubPort = 1,
    kSubBank = 2,
    kSubStep = 3,
    kSubFrequencyHigh = 4,
    kSubGainLeft = 6,
    kSubGainRight = 7,
    kSubStartHigh = 8,
    kSubLengthHigh = 10,
    kSubStart = 12,
    kSubPlayBlock = 13,
    kSubStop = 14,
    kSubFastStart = 15,
};

constexpr uint8_t kSegaPcmChipCode = 192;
constexpr uint8_t kOkiChipCode = 184;
constexpr uint8_t kOkiGain[16] = {128, 96, 64, 48, 32, 24, 16, 12, 8, 8, 8, 8, 8, 8, 8, 8};

} // namespace

void VgmParser::stream(uint32_t s, uint8_t sub, uint8_t a, uint8_t b) {
    vgm.appendToChip(kChipDacStream0 + (s & 15), waits, a, b, sub, kCommandWrite);
}

void VgmParser::stream32(uint32_t s, uint8_t subHigh, uint32_t x) {
    stream(s, subHigh, static_cast<uint8_t>(x >> 24), static_cast<uint8_t>(x >> 16));
    stream(s, subHigh + 1, static_cast<uint8_t>(x >> 8), static_cast<uint8_t>(x));
}

// 0x90-0x95: set-up, data, frequency, start, stop, fast start.
void VgmParser::streamControl(uint8_t opcode) {
    const uint8_t s = u8();
    switch (opcode) {
    case 0x90: {
        const uint8_t tt = u8(), pp = u8(), cc = u8();
        stream(s, kSubTarget, tt);
        stream(s, kSubPort, cc, pp);
        break;
    }
    case 0x91: {
        const uint8_t dd = u8(), ll = u8(), bb = u8();
        stream(s, kSubBank, dd);
        stream(s, kSubStep, ll, bb);
        break;
    }
    case 0x92:
        stream32(s, kSubFrequencyHigh, u32());
        break;
    case 0x93: {
        const uint32_t offset = u32();
        const uint8_t mode = u8();
        const uint32_t length = u32();
        streamSeen[s & 15] = true;
        stream32(s, kSubStartHigh, offset);
        // Length counted in commands or in milliseconds; bit 7 (loop) rides along.
        if ((mode & 3) == 1 || (mode & 3) == 2) stream32(s, kSubLengthHigh, length);
        stream(s, kSubStart, mode);
        break;
    }
    case 0x94:
        if (s == 0xFF) {
            for (uint32_t i = 0; i < 16; ++i)
                if (streamSeen[i]) stream(i, kSubStop, 0);
        } else {
            streamSeen[s & 15] = true;
            stream(s, kSubStop, 0);
        }
        break;
    case 0x95: {
        const uint16_t block = u16();
        const uint8_t flags = u8();
        streamSeen[s & 15] = true;
        stream(s, kSubPlayBlock, static_cast<uint8_t>(block), flags);
        break;
    }
    default:
        break;
    }
}

// Start = start address + bank; end = one past the last byte of the end page.
// An end page of 0xFF reaches 0x10000, a whole 64 KiB bank.
bool VgmParser::segaPcmRestart(uint32_t c) {
    SegaPcmChannel& ch = segaPcm[c];
    const uint32_t start = ch.startAddress + ch.bankOffset;
    const uint32_t end = ((static_cast<uint32_t>(ch.endHigh) << 8) + 256) + ch.bankOffset;
    if (end <= start) return false;
    stream32(c, kSubStartHigh, start);
    stream32(c, kSubLengthHigh, end - start);
    stream(c, kSubTarget, kSegaPcmChipCode);
    stream(c, kSubBank, 0);
    stream(c, kSubStart, ch.control & 2);
    return true;
}

void VgmParser::segaPcmWrite(uint16_t address, uint8_t dd) {
    const uint32_t c = (address >> 3) & 15;
    SegaPcmChannel& ch = segaPcm[c];
    switch (address & 0x87) {
    case 0x02:
        stream(c, kSubGainLeft, dd & 0x7F);
        break;
    case 0x03:
        stream(c, kSubGainRight, dd & 0x7F);
        break;
    case 0x04:
        ch.loopAddress = static_cast<uint16_t>((ch.loopAddress & 0xFF00) | dd);
        break;
    case 0x05:
        ch.loopAddress = static_cast<uint16_t>((ch.loopAddress & 0x00FF) | (dd << 8));
        break;
    case 0x06: {
        const bool changed = ch.endHigh != dd;
        ch.endHigh = dd;
        if (ch.playing && changed) segaPcmRestart(c);
        break;
    }
    case 0x07: {
        const uint32_t f =
            static_cast<uint32_t>(std::floor(segaPcmClock / 128.0 * dd / 256.0 + 0.5));
        stream32(c, kSubFrequencyHigh, f);
        break;
    }
    case 0x84:
    case 0x85: {
        const uint32_t old = ch.startAddress;
        if ((address & 0x87) == 0x84)
            ch.startAddress = (ch.startAddress & 0xFF00) | dd;
        else
            ch.startAddress = (ch.startAddress & 0x00FF) | (static_cast<uint32_t>(dd) << 8);
        if (ch.playing && old != ch.startAddress) segaPcmRestart(c);
        break;
    }
    case 0x86: {
        const uint8_t old = ch.control;
        ch.control = dd;
        ch.bankOffset = (dd & segaPcmBankMask) << segaPcmBankShift;
        if (!(dd & 1)) {
            ch.playing = segaPcmRestart(c);
        } else if (!(old & 1)) {
            stream(c, kSubStop, 0);
            ch.playing = false;
        }
        break;
    }
    default:
        break;
    }
}

// Command register only: a phrase number (bit 7 set) arms the phrase, the
// next byte picks the voice and its attenuation and starts it.
void VgmParser::okiWrite(uint8_t aa, uint8_t dd) {
    if ((aa & 0x7F) != 0) return;
    const int chip = (aa & 0x80) ? 1 : 0;
    if (okiPending[chip] >= 0) {
        const OkiPhrase& phrase = okiPhrases[chip][okiPending[chip] & 0x7F];
        const uint32_t s = dd >> 4;
        const double divider = (okiClock & 0x80000000u) ? 132.0 : 165.0;
        const uint32_t f =
            static_cast<uint32_t>(std::floor((okiClock & 0x3FFFFFFF) / divider + 0.5));
        stream(s, kSubTarget, kOkiChipCode);
        stream(s, kSubBank, static_cast<uint8_t>(phrase.bank));
        stream32(s, kSubFrequencyHigh, f);
        stream32(s, kSubStartHigh, phrase.start);
        stream32(s, kSubLengthHigh, phrase.length);
        stream(s, kSubGainLeft, kOkiGain[dd & 15]);
        stream(s, kSubGainRight, kOkiGain[dd & 15]);
        stream(s, kSubFastStart, 0);
        okiPending[chip] = -1;
    } else if (dd & 0x80) {
        okiPending[chip] = dd;
    } else {
        stream(0, kSubStop, 0);
    }
}

void VgmParser::pwmWrite(uint8_t ad, uint8_t dd) {
    if (pwm.clock == 0) return;
    const uint8_t reg = ad >> 4;
    const uint16_t value = static_cast<uint16_t>(((ad & 0x0F) << 8) | dd);
    switch (reg) {
    case 0:
        pwm.control = value;
        break;
    case 1: {
        const uint16_t cycle = value ? value : 4095;
        // A cycle of 1 would divide by zero; the chip cannot run it either.
        if (cycle == 1) {
            vgm.appendLog("PWM: cycle register of 1 ignored\n");
            break;
        }
        pwm.cycle = cycle;
        pwm.sampleRate = static_cast<uint32_t>(std::floor(pwm.clock / (cycle - 1.0) + 0.5));
        if (pwm.control & 0x0F) {
            for (auto& count : pwm.fifoCount) count = 0;
        }
        stream32(0, kSubFrequencyHigh, pwm.sampleRate);
        break;
    }
    case 2:
    case 3:
    case 4: {
        // Pulse widths go through three-entry FIFOs; the newest entry wins when full.
        const int lane = reg - 2;
        uint8_t& count = pwm.fifoCount[lane];
        if (count < 3) {
            pwm.fifo[lane][count++] = value;
        } else {
            pwm.fifo[lane][0] = pwm.fifo[lane][1];
            pwm.fifo[lane][1] = pwm.fifo[lane][2];
            pwm.fifo[lane][2] = value;
        }
        break;
    }
    default: {
        char line[64];
        std::snprintf(line, sizeof line, "Write at undefined PWM register %02x %04x\n", reg, value);
        vgm.appendLog(line);
        break;
    }
    }
}

} // namespace VGM
