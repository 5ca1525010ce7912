// The register mirror of one console unit's YM2612. The chip's registers are
// write-only, so every byte written to a unit is stored here first: the
// sub-controllers read it back to change single bit fields of a register and
// to skip writes that would not change anything, and patch capture and the
// register monitor read the chip's current state from it. Two banks of 256
// bytes, port 0 (channels 1-3 and the global registers) then port 1
// (channels 4-6), each indexed by register address.
#pragma once

#include <cstdint>
#include <cstring>

class ChipSubShadow {
public:
    // Byte of register `reg` on bank `port` (only bit 0 of the port counts).
    uint8_t get(uint64_t port, uint8_t reg) const { return regs[port & 1][reg]; }
    void set(uint64_t port, uint8_t reg, uint8_t value) { regs[port & 1][reg] = value; }
    // Every register of both banks back to 0.
    void clear() { std::memset(regs, 0, sizeof regs); }

    uint8_t regs[2][256] = {};
};

class OPN2_shadow : public ChipSubShadow {};

static_assert(sizeof(OPN2_shadow) == 512, "two banks of 256 registers");
