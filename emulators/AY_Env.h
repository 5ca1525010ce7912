// The envelope generator of the AY family. It steps through a level table, one
// step every scaledPeriod samples, in the pattern chosen by its shape, and
// renders each block's levels into its own level buffer.
#pragma once

#include <cstdint>
#include <memory>

class AY_Env {
public:
    // Output levels: six times an 8-bit level, so the top is 1530.
    static constexpr uint32_t kAYTable[16] = {0,   6,   12,  18,  24,  42,  60,   90,
                                              126, 186, 258, 378, 528, 762, 1062, 1530};
    static constexpr uint32_t kYMTable[32] = {
        0,   6,   12,  12,  12,  18,  18,  24,  30,  36,  42,  48,  54,  66,   78,   96,
        114, 138, 162, 192, 228, 270, 324, 384, 456, 540, 642, 768, 912, 1080, 1284, 1530};
    static constexpr uint32_t kHoldHigh = 1530;

    explicit AY_Env(uint32_t maxFrames);
    virtual ~AY_Env();
    AY_Env(const AY_Env&) = delete;
    AY_Env& operator=(const AY_Env&) = delete;

    // Period bytes (low, high); the period takes effect at once, and a
    // period of 0 steps like a period of 1.
    void writeFine(uint8_t data);
    void writeCoarse(uint8_t data);
    // Selects shape `data & 15` and restarts the envelope; the period bytes
    // stay as they are.
    void writeShape(uint8_t data);

    // Applies a pending type change, then fills `frames` levels.
    void renderBlock(uint64_t frames);
    // A count lasts `whole` samples plus fraction / 2^32; the period in force
    // takes the new length at once.
    void setScale(uint64_t whole, uint32_t fraction);

    uint16_t periodRegister = 0;
    uint64_t stepCount = 16;
    const uint32_t* table = kAYTable;
    uint64_t scaledPeriod = 2; // samples per step
    uint64_t counter = 0;
    uint64_t stepIndex = 0;
    uint64_t stepMultiplier = 2;
    uint64_t periodScale = 1;
    uint32_t scaleFraction = 0; // with a fraction, each step takes its own whole length
    uint32_t scaleCarry = 0;
    uint64_t rawPeriod = 1;
    uint32_t shape = 0;
    uint8_t finished = 0;
    uint32_t appliedType = 0;
    uint32_t type = 0;     // 0 = AY (16 steps), 1..3 = YM (32 steps), others ignored
    uint8_t direction = 1; // 1 = first-pass direction of the alternating shapes
    std::unique_ptr<uint32_t[]> levels;

private:
    void applyPeriod();
    // scaledPeriod for the period and type in force.
    void scaleStep();
    void applyType();
    void restart();
    uint32_t currentLevel() const;
    uint32_t holdLevel() const;
    void endPass();
};
