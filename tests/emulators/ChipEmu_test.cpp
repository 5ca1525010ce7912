#include <gtest/gtest.h>

#include "emulators/ChipEmu.h"

namespace {

// The smallest emulator: counts resets, adds a constant.
class CountingEmu : public ChipEmu {
public:
    int resets = 0;
    ChipInfo info;
    bool init(uint32_t, const char*, uint32_t) override { return true; }
    void reset() override { ++resets; }
    ChipInfo* getInfo() override { return &info; }
    void write(uint16_t, uint8_t, uint64_t) override {}
    void setParameter(uint32_t, float) override {}
    int render32(int32_t** outputs, uint64_t frames) override {
        for (uint64_t i = 0; i < frames; ++i) outputs[0][i] += 1;
        return 0;
    }
    void render16(int16_t*, uint64_t, uint64_t) override {}
};

TEST(ChipEmuTest, InfoDefaults) {
    ChipInfo info;
    EXPECT_EQ(info.firstWord, 1u);
    EXPECT_EQ(info.inputCount, 0u);
    EXPECT_EQ(info.outputCount, 1u);
    EXPECT_EQ(info.clockDivisor, 1u);
    EXPECT_EQ(info.initialClockIndex, 0u);
    EXPECT_TRUE(info.clocks.empty());
    EXPECT_TRUE(info.parameters.empty());
    EXPECT_EQ(info.partName[0], '\0');
    EXPECT_EQ(info.familyName[0], '\0');
    for (float g : info.outputGains) EXPECT_EQ(g, 0.00390625f);
}

TEST(ChipEmuTest, BaseDefaultsOfOptionalSlots) {
    CountingEmu emu;
    ChipEmu& base = emu;
    base.fullReset();
    EXPECT_EQ(emu.resets, 1);
    EXPECT_EQ(base.readRegister(0x10), 0);
    EXPECT_EQ(base.getFilterSettings(), nullptr);
    EXPECT_EQ(base.reserved10(), 0u);
    EXPECT_EQ(base.reserved15(), 0u);
    EXPECT_EQ(base.reserved16(), 0u);
    EXPECT_EQ(base.reserved17(), 0u);
    EXPECT_EQ(base.reserved20(), 0u);
    EXPECT_EQ(base.reserved21(), 0u);
    base.setClockIndex(2);
    base.setOutputOffset(0, 5, -5);
    EXPECT_EQ(base.getInfo(), base.getInfo());
}

TEST(ChipEmuTest, DeletesThroughTheBase) {
    ChipEmu* emu = new CountingEmu;
    int32_t buffer[4] = {10, 10, 10, 10};
    int32_t* outputs[1] = {buffer};
    EXPECT_EQ(emu->render32(outputs, 4), 0);
    EXPECT_EQ(emu->render32(outputs, 0), 0);
    EXPECT_EQ(buffer[3], 11);
    delete emu; // the leak checker catches a missing virtual destructor's leak
}

} // namespace
