// Register writes that the SN76489-to-2A03 and SN76489-to-AY converters send
// to their media sink.
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "emulators/DCSGto2A03.h"
#include "emulators/DCSGtoPSG.h"
#include "vgm/MediaCallback.h"

namespace {

using Write = std::pair<uint32_t, uint32_t>; // register, value

class Sink : public MediaCallback {
public:
    void mediaRegisterWrite(uint32_t chipType, uint64_t delta, uint32_t port, uint32_t reg,
                            uint32_t value) override {
        EXPECT_EQ(chipType, expectedType);
        EXPECT_EQ(delta, 0u);
        EXPECT_EQ(port, 0u);
        writes.push_back({reg, value});
    }
    uint32_t expectedType = 0;
    std::vector<Write> writes;
};

struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    std::vector<Write> writes;
};

TEST(DCSGto2A03, StartupRegisters) {
    Sink sink;
    sink.expectedType = 44;
    DCSGto2A03 conv(0, &sink);
    const std::vector<Write> expected = {
        {0x4000, 0xB0}, {0x4001, 0x08}, {0x4002, 0}, {0x4003, 0},    {0x4004, 0xB0},
        {0x4005, 0x08}, {0x4006, 0},    {0x4007, 0}, {0x4008, 0x80}, {0x400A, 0},
        {0x400B, 0},    {0x400C, 0x30}, {0x400E, 0}, {0x400F, 0},    {0x4015, 0x0F}};
    EXPECT_EQ(sink.writes, expected);
}

TEST(DCSGto2A03, CommandsBecomeApuWrites) {
    const Case cases[] = {
        {"short pulse period is raised to 9", {0x85}, {{0x4002, 8}}},
        {"period 0 on pulse 1", {0x80}, {{0x4002, 8}}},
        {"high bits written when they change",
         {0x8F, 0x3F},
         {{0x4002, 14}, {0x4002, 0xFE}, {0x4003, 3}}},
        {"same high bits written once",
         {0x80, 0x3F, 0x81},
         {{0x4002, 8}, {0x4002, 0xEF}, {0x4003, 3}, {0x4002, 0xF0}}},
        {"pulse 2 keeps its own cache",
         {0x80, 0x3F, 0xA0, 0x3F},
         {{0x4002, 8}, {0x4002, 0xEF}, {0x4003, 3}, {0x4006, 8}, {0x4006, 0xEF}, {0x4007, 3}}},
        {"triangle period", {0xC0, 0x3F}, {{0x400A, 0}, {0x400B, 0}, {0x400A, 0xF7}, {0x400B, 1}}},
        {"volumes",
         {0x90, 0xB5, 0xDF, 0xD3},
         {{0x4000, 0xBF}, {0x4004, 0xBA}, {0x4008, 0}, {0x4008, 0xFF}}},
        {"noise volume", {0xF2}, {{0x400C, 0x3D}, {0x400F, 0xFF}}},
        {"noise white rate 64, then periodic follow",
         {0xE6, 0xE3},
         {{0x400E, 1}, {0x400E, 1}, {0x400E, 0}, {0x400E, 0x80}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Sink sink;
        sink.expectedType = 44;
        DCSGto2A03 conv(0, &sink);
        sink.writes.clear();
        for (uint8_t b : c.bytes) conv.decode(b);
        EXPECT_EQ(sink.writes, c.writes);
    }
}

TEST(DCSGtoPSG, CommandsBecomeAyWrites) {
    const Case cases[] = {
        {"tone periods",
         {0x85, 0x12, 0xA7, 0xC2},
         {{0, 5}, {1, 0}, {0, 0x25}, {1, 1}, {2, 7}, {3, 0}, {4, 2}, {5, 0}}},
        {"tone volumes", {0x93, 0xB0, 0xDF}, {{8, 12}, {9, 15}, {10, 0}}},
        {"noise off, then on with channel C", {0xFF, 0xF4}, {{7, 0xB8}, {7, 0x9C}, {10, 11}}},
        {"noise rate 16", {0xE0}, {{6, 16}}},
        // Rates 32 and 64 exceed the 5-bit noise period: they are held at 31
        // instead of wrapping to the fastest noise.
        {"noise rates 32 and 64 clamp", {0xE1, 0xE6}, {{6, 31}, {6, 31}}},
        {"noise follows tone C / 32", {0xE3}, {{6, 10}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Sink sink;
        sink.expectedType = 31;
        uint8_t mirror[16] = {};
        mirror[4] = 0x40;
        mirror[5] = 0x01; // tone C period 0x140 -> noise 10
        DCSGtoPSG conv(1, &sink, mirror);
        EXPECT_TRUE(sink.writes.empty());
        for (uint8_t b : c.bytes) conv.decode(b);
        EXPECT_EQ(sink.writes, c.writes);
    }
}

TEST(DCSGtoPSG, SlowToneCNoiseClamps) {
    Sink sink;
    sink.expectedType = 31;
    uint8_t mirror[16] = {};
    mirror[4] = 0xFF;
    mirror[5] = 0x0F; // period 0xFFF / 32 = 127
    DCSGtoPSG conv(0, &sink, mirror);
    conv.decode(0xE7);
    EXPECT_EQ(sink.writes, (std::vector<Write>{{6, 31}}));
}

} // namespace
