#include "vantor/PMIDI.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(PMIDIBytes, CombineAndSplit) {
    struct Case {
        uint16_t value;
        uint8_t lsb, msb;
    } cases[] = {
        {8192, 0, 64}, {0, 0, 0}, {16383, 127, 127}, {129, 1, 1}, {0xFFFF, 127, 127},
    };
    for (const auto& c : cases) {
        uint8_t lsb = 0xAA, msb = 0xAA;
        PMIDICreateBytes(c.value, lsb, msb);
        EXPECT_EQ(lsb, c.lsb) << c.value;
        EXPECT_EQ(msb, c.msb) << c.value;
        EXPECT_EQ(PMIDICombineBytes(lsb, msb), c.value & 0x3FFF) << c.value;
    }
    EXPECT_EQ(PMIDICombineBytes(0xFF, 0x01), 0xFF | 0x80); // bytes are not masked
}

TEST(PDowngradeToMIDI, SevenBitWrapsOutsideTheRange) {
    struct Case {
        double x;
        int32_t expected;
    } cases[] = {
        {0.0, 0},  {0.5, 64},   {1.0, 127}, {1.01, 0},   {-0.01, 127},
        {kNaN, 0}, {kInf, 127}, {-kInf, 0}, {1e30, 127}, {-1e30, 0},
    };
    for (const auto& c : cases) {
        const float f = static_cast<float>(c.x);
        EXPECT_EQ(PDowngradeToMIDI7(c.x), c.expected) << c.x;
        EXPECT_EQ(PDowngradeToMIDI7(f), c.expected) << c.x;
    }
}

TEST(PDowngradeToMIDI, FourteenBitClamps) {
    struct Case {
        double x;
        int32_t expected;
    } cases[] = {
        {-1.0, 0},    {0.0, 8192}, {1.0, 16383},  {-2.0, 0},  {2.0, 16383},
        {0.5, 12288}, {kNaN, 0},   {kInf, 16383}, {-kInf, 0}, {1e30, 16383},
    };
    for (const auto& c : cases) {
        const float f = static_cast<float>(c.x);
        EXPECT_EQ(PDowngradeToMIDI14(c.x), c.expected) << c.x;
        EXPECT_EQ(PDowngradeToMIDI14(f), c.expected) << c.x;
    }
}

struct LogCase {
    uint8_t msg[3];
    bool zeroBased;
    const char* text;
};

TEST(PMIDILogMessage, WritesOneLinePerMessage) {
    const LogCase cases[] = {
        {{0x90, 60, 0}, false, "Chn:  1 Note Off( 60):   0"},
        {{0x90, 60, 100}, false, "Chn:  1 Note On ( 60): 100"},
        {{0x9F, 0xBC, 0x80}, true, "Chn: 15 Note Off( 60):   0"}, // data bytes masked
        {{0x85, 1, 2}, false, "Chn:  6 Note Off(  1):   2"},
        {{0xA0, 64, 127}, false, "Chn:  1 Aftertouch( 64): 127"},
        {{0xBF, 7, 99}, false, "Chn: 16 CC(  7):  99"},
        {{0xC3, 5, 0}, true, "Chn:  3 Program(  5)"},
        {{0xD0, 33, 0}, false, "Chn:  1 Channel Pressure:  33"},
        {{0xE0, 0x00, 0x40}, false, "Chn:  1 Pitch Bend:    0"},
        {{0xE0, 0x7F, 0x7F}, false, "Chn:  1 Pitch Bend: 8191"},
        {{0xE0, 0x00, 0x00}, false, "Chn:  1 Pitch Bend: -8192"},
        {{0xF1, 17, 0}, false, "MTC Qtr Frame:  17"},
        {{0xF2, 1, 2}, false, "Song Position Ptr:   257"},
        {{0xF3, 9, 0}, false, "Song Select:   9"},
        {{0xF6, 0, 0}, false, "Tune Request"},
        {{0xF8, 0, 0}, false, "Clock"},
        {{0xFA, 0, 0}, false, "Start"},
        {{0xFB, 0, 0}, false, "Continue"},
        {{0xFC, 0, 0}, false, "Stop"},
        {{0xFE, 0, 0}, false, "Active Sense"},
        {{0xFF, 0, 0}, false, "Reset"},
        {{0x45, 0, 0}, false, "????"},
    };
    for (const auto& c : cases) {
        char buffer[64];
        std::memset(buffer, 'x', sizeof buffer);
        PMIDILogMessage(buffer, sizeof buffer, c.msg, c.zeroBased);
        EXPECT_STREQ(buffer, c.text) << std::hex << int(c.msg[0]);
    }
}

TEST(PMIDILogMessage, LeavesBufferAloneWhenItCannot) {
    const uint8_t noteOn[3] = {0x90, 60, 100};
    char small[31];
    std::memset(small, 'x', sizeof small);
    PMIDILogMessage(small, sizeof small, noteOn, false);
    EXPECT_EQ(std::string(small, sizeof small), std::string(sizeof small, 'x'));
    PMIDILogMessage(nullptr, 64, noteOn, false);

    // Status bytes without a text: only the final NUL is written.
    for (uint8_t status : {0xF0, 0xF4, 0xF5, 0xF7, 0xF9, 0xFD}) {
        char buffer[40];
        std::memset(buffer, 'x', sizeof buffer);
        const uint8_t msg[3] = {status, 0, 0};
        PMIDILogMessage(buffer, sizeof buffer, msg, false);
        EXPECT_EQ(std::string(buffer, sizeof buffer - 1), std::string(sizeof buffer - 1, 'x'));
        EXPECT_EQ(buffer[sizeof buffer - 1], 0);
    }
}

TEST(PMIDILogMessage, LongestTextsFitTheSmallestBuffer) {
    const uint8_t pressure[3] = {0xDF, 127, 0};
    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    PMIDILogMessage(buffer, sizeof buffer, pressure, false);
    EXPECT_STREQ(buffer, "Chn: 16 Channel Pressure: 127");
    const uint8_t pos[3] = {0xF2, 127, 127};
    PMIDILogMessage(buffer, sizeof buffer, pos, false);
    EXPECT_STREQ(buffer, "Song Position Ptr: 16383");
}

} // namespace
