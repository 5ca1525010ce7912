// AY8930Emu: the AY8930, an AY-3-8910 with an expanded mode. Writing register 13
// with bits 5-7 = 101 enters expanded mode: 16-bit tone periods with a duty
// cycle per tone, one envelope per channel, 32-step fixed volumes with the
// envelope flag in bit 5, and a second register bank chosen by bit 4 of
// register 13. Any other value of those bits returns to compatibility mode,
// where the chip behaves as AYEmu (with YM-table fixed volumes).
#pragma once

#include "emulators/AY8930Noise.h"
#include "emulators/AYEmu.h"

class AY8930Emu : public AYEmu {
public:
    AY8930Emu(uint64_t periodScale, uint8_t monoOutput, uint64_t monoOutputIndex);
    ~AY8930Emu() override;

    bool init(uint32_t maxFrames, const char* context, uint32_t flags) override;
    void write(uint16_t address, uint8_t data, uint64_t port) override;
    int render32(int32_t** outputs, uint64_t frames) override;

    // Sets the mode that a register-13 value selects, whatever the current mode.
    void setExpandedMode(uint8_t reg13);
    bool expanded() const { return expanded_ != 0; }

private:
    void writeBankA(uint16_t address, uint8_t data);
    void writeBankB(uint16_t address, uint8_t data);
    void writeEnvelopeAShape(uint8_t data);
    void renderExpandedPiece(int32_t** outputs, uint64_t offset, uint64_t frames);
    bool expandedReady() const;

    uint8_t expanded_ = 0;
    AY8930Noise* noise8930_ = nullptr; // the same object as noise_
};
