// An FM voice for tests that drive a YM2612 by its registers: algorithm 4,
// every operator with amplitude modulation, AMS and PMS at their most, a
// fast release, on channel `ch` (0-2) of bank `port` (0 channels 1-3, 1
// channels 4-6). The writes come as (port, register, value) in whatever
// tuple-like record the test keeps its writes in.
#pragma once

#include <cstdint>
#include <vector>

namespace testsupport {

template <class Write> std::vector<Write> fmTestVoice(uint8_t ch, uint8_t port) {
    std::vector<Write> v;
    for (uint8_t slot : {0, 4, 8, 12}) {
        v.emplace_back(port, 0x30 + slot + ch, 0x02);
        v.emplace_back(port, 0x40 + slot + ch, slot == 4 || slot == 12 ? 0x00 : 0x20);
        v.emplace_back(port, 0x50 + slot + ch, 0x1F);
        v.emplace_back(port, 0x60 + slot + ch, 0x85);
        v.emplace_back(port, 0x70 + slot + ch, 0x03);
        v.emplace_back(port, 0x80 + slot + ch, 0x2F);
        v.emplace_back(port, 0x90 + slot + ch, 0x00);
    }
    v.emplace_back(port, 0xB0 + ch, 0x04);
    v.emplace_back(port, 0xB4 + ch, 0xF7);
    v.emplace_back(port, 0xA4 + ch, 0x22);
    v.emplace_back(port, 0xA0 + ch, 0x69);
    return v;
}

} // namespace testsupport
