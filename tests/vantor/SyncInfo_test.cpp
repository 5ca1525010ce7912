#include "support/HexFixture.h"
#include "vantor/SyncInfo.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

using vantor::SyncInfo;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---- Binary layout against a hand-written fixture ----------------------------

const char* const kFixture = "00 00 00 00 00 00 F0 3F  00 00 00 00 00 70 E7 40 "   //   0 sp, sr
                             "00 00 00 00 00 00 00 40  00 00 00 00 00 00 E0 3F "   //  16 sys, ppq
                             "00 00 00 00 00 00 5E 40  00 00 00 00 00 00 10 40 "   //  32 bpm, bar
                             "00 00 00 00 00 00 20 40  00 00 00 00 00 00 30 40 "   //  48 ls, le
                             "06 00 00 00  08 00 00 00  FF FF FF 00  00 00 00 00 " // 64 n, d, clk
                             "00 00 00 00  01 02 03 04  05 06 34 12  04 03 02 01 " // 80
                             "00 00 00 00 00 00 08 40  00 00 00 00 00 00 D0 3F "   //  96 qpb, L
                             "00 00 00 00 00 00 F0 BF  00 00 00 00 00 00 00 00";   // 112 last

TEST(SyncInfoLayout, MatchesTheHandWrittenFixture) {
    SyncInfo s;
    s.samplePosition = 1.0;
    s.sampleRate = 48000.0;
    s.systemTime = 2.0;
    s.ppqPosition = 0.5;
    s.tempo = 120.0;
    s.barStartPpq = 4.0;
    s.loopStartPpq = 8.0;
    s.loopEndPpq = 16.0;
    s.timeSigNumerator = 6;
    s.timeSigDenominator = 8;
    s.samplesToNextClock = 0xFFFFFF;
    s.playing = 1;
    s.recording = 2;
    s.loopActive = 3;
    s.diff = 4;
    s.barInBlock = 5;
    s.loopInBlock = 6;
    s.blockFrames = 0x1234;
    s.samplesToNextBar = 0x01020304;
    s.quartersPerBar = 3.0;
    s.blockLengthPpq = 0.25;
    s.lastLoggedPpq = -1.0;

    unsigned char bytes[128];
    std::memcpy(bytes, &s, sizeof bytes);
    testsupport::expectBytesMatchFixture(bytes, sizeof bytes, kFixture);
}

TEST(SyncInfo, NewSnapshotIsZeroBut120BpmIn44) {
    const SyncInfo s;
    unsigned char expected[128] = {};
    const double bpm = 120.0;
    const int32_t four = 4;
    std::memcpy(expected + 32, &bpm, 8);
    std::memcpy(expected + 64, &four, 4);
    std::memcpy(expected + 68, &four, 4);
    EXPECT_EQ(std::memcmp(&s, expected, sizeof expected), 0);
}

// ---- valid() ------------------------------------------------------------------

struct ValidCase {
    const char* what;
    uint8_t playing;
    double rate, tempo;
    int32_t num, den;
    double ppq, bar;
    uint8_t loop;
    double loopStart, loopEnd;
    int code;
    uint8_t loopAfter;
};

TEST(SyncInfo, ValidChecksInOrder) {
    const ValidCase cases[] = {
        {"stopped", 0, 0, 0, 0, 0, 3, 4, 1, -1, -1, 0, 1},
        {"fine", 1, 48000, 120, 4, 4, 5, 4, 0, 0, 0, 0, 0},
        {"no rate", 1, 0, 0, 0, 0, 3, 4, 0, 0, 0, 1, 0},
        {"nan rate", 1, kNaN, 120, 4, 4, 5, 4, 0, 0, 0, 1, 0},
        {"tempo 0", 1, 48000, 0, 4, 4, 5, 4, 0, 0, 0, 3, 0},
        {"0/4", 1, 48000, 120, 0, 4, 5, 4, 0, 0, 0, 5, 0},
        {"4/0", 1, 48000, 120, 4, 0, 5, 4, 0, 0, 0, 6, 0},
        {"before bar", 1, 48000, 120, 4, 4, 3, 4, 0, 0, 0, 7, 0},
        {"past the bar", 1, 48000, 120, 4, 4, 9, 4, 1, -1, -1, 0, 1},
        {"loop end < 0", 1, 48000, 120, 4, 4, 5, 4, 1, 0, -1, 9, 1},
        {"loop start < 0", 1, 48000, 120, 4, 4, 5, 4, 1, -1, 8, 10, 1},
        {"start after end", 1, 48000, 120, 4, 4, 5, 4, 1, 8, 4, 0, 0},
        {"loop ahead", 1, 48000, 120, 4, 4, 5, 4, 1, 6, 10, 0, 0},
        {"loop in reach", 1, 48000, 120, 4, 4, 5, 4, 1, 5.25, 10, 0, 1},
        {"past loop end", 1, 48000, 120, 4, 4, 5, 4, 1, 0, 4.5, 0, 0},
    };
    for (const auto& c : cases) {
        SyncInfo s;
        s.playing = c.playing;
        s.sampleRate = c.rate;
        s.tempo = c.tempo;
        s.timeSigNumerator = c.num;
        s.timeSigDenominator = c.den;
        s.ppqPosition = c.ppq;
        s.barStartPpq = c.bar;
        s.loopActive = c.loop;
        s.loopStartPpq = c.loopStart;
        s.loopEndPpq = c.loopEnd;
        s.quartersPerBar = 4.0;
        s.blockLengthPpq = 0.5; // from the previous block
        EXPECT_EQ(s.valid(), c.code) << c.what;
        EXPECT_EQ(s.loopActive, c.loopAfter) << c.what;
    }
}

// ---- prepare() ----------------------------------------------------------------

SyncInfo playingAt(double ppq, double bar) {
    SyncInfo s;
    s.playing = 1;
    s.ppqPosition = ppq;
    s.barStartPpq = bar;
    return s;
}

TEST(SyncInfo, PrepareDerivesBarValues) {
    SyncInfo s = playingAt(1.0, 0.0);
    EXPECT_TRUE(s.prepare(512, 48000.0, nullptr, nullptr, true));
    EXPECT_EQ(s.samplesToNextBar, 72000);
    EXPECT_EQ(s.blockFrames, 512);
    EXPECT_EQ(s.sampleRate, 48000.0);
    EXPECT_EQ(s.quartersPerBar, 4.0);
    EXPECT_DOUBLE_EQ(s.blockLengthPpq, 2.0 / 48000.0 * 512);
    EXPECT_EQ(s.barInBlock, 0);

    s = playingAt(0.0, 0.0);
    EXPECT_TRUE(s.prepare(512, 48000.0, nullptr, nullptr, true));
    EXPECT_EQ(s.samplesToNextBar, 0);
    EXPECT_EQ(s.barInBlock, 1);

    s = playingAt(3.99, 0.0); // the block crosses the bar line at 4.0
    EXPECT_TRUE(s.prepare(512, 48000.0, nullptr, nullptr, true));
    EXPECT_EQ(s.barInBlock, 1);
}

TEST(SyncInfo, PrepareDerivesLoopValues) {
    struct Case {
        uint8_t loop;
        double ppq, loopStart, loopEnd;
        uint8_t inBlock;
    } cases[] = {
        {1, 2.0, 2.0, 3.0, 1},  // starts on the loop start
        {1, 2.99, 2.0, 3.0, 1}, // crosses the loop end
        {1, 2.5, 2.0, 3.0, 0},
        {0, 2.0, 2.0, 3.0, 0},
    };
    for (const auto& c : cases) {
        SyncInfo s = playingAt(c.ppq, 0.0);
        s.loopActive = c.loop;
        s.loopStartPpq = c.loopStart;
        s.loopEndPpq = c.loopEnd;
        EXPECT_TRUE(s.prepare(1024, 48000.0, nullptr, nullptr, true));
        EXPECT_EQ(s.loopInBlock, c.inBlock) << c.ppq;
    }
}

TEST(SyncInfo, QuartersPerBarFromTheSignature) {
    struct Case {
        int32_t num, den;
        uint8_t playing;
        double quarters;
        bool ok;
    } cases[] = {
        {6, 8, 1, 3.0, true},
        {7, 0, 0, 4.0, true},
        {7, 0, 1, 4.0, false}, // code 6
        {3, 4, 1, 3.0, true},
    };
    for (const auto& c : cases) {
        SyncInfo s = playingAt(0.0, 0.0);
        s.playing = c.playing;
        s.timeSigNumerator = c.num;
        s.timeSigDenominator = c.den;
        EXPECT_EQ(s.prepare(256, 44100.0, nullptr, nullptr, true), c.ok);
        EXPECT_EQ(s.quartersPerBar, c.quarters) << c.num << "/" << c.den;
    }
}

TEST(SyncInfo, InvalidSnapshotKeepsTheLastDerivedValues) {
    SyncInfo s = playingAt(1.0, 0.0);
    ASSERT_TRUE(s.prepare(512, 48000.0, nullptr, nullptr, true));
    const double length = s.blockLengthPpq;
    s.tempo = 0.0;
    std::string text = "untouched";
    EXPECT_FALSE(s.prepare(64, 44100.0, nullptr, &text, true)); // quiet
    EXPECT_EQ(text, "untouched");
    EXPECT_EQ(s.samplesToNextBar, 72000);
    EXPECT_EQ(s.blockLengthPpq, length);
    EXPECT_EQ(s.blockFrames, 64);
    EXPECT_EQ(s.sampleRate, 44100.0);

    EXPECT_FALSE(s.prepare(64, 44100.0, nullptr, &text, false));
    EXPECT_EQ(text.rfind(" 3 ppq:", 0), 0u) << text;
    EXPECT_FALSE(s.prepare(64, 44100.0, nullptr, nullptr, false)); // no text to fill
}

TEST(SyncInfo, StoppedWithoutTempoOrRateDerivesZero) {
    struct Case {
        double tempo, rate;
    } cases[] = {{0.0, 48000.0}, {120.0, 0.0}, {0.0, 0.0}, {kNaN, 48000.0}, {120.0, -1.0}};
    for (const auto& c : cases) {
        SyncInfo s = playingAt(1.0, 0.0);
        ASSERT_TRUE(s.prepare(512, 48000.0, nullptr, nullptr, true));
        s.playing = 0;
        s.tempo = c.tempo;
        EXPECT_TRUE(s.prepare(512, c.rate, nullptr, nullptr, true));
        EXPECT_EQ(s.samplesToNextBar, 0) << c.tempo << " " << c.rate;
        EXPECT_EQ(s.blockLengthPpq, 0.0) << c.tempo << " " << c.rate;
    }
}

TEST(SyncInfo, FarBarLineSaturatesTo32Bits) {
    SyncInfo s = playingAt(0.0, 0.0);
    s.playing = 0;
    s.barStartPpq = 1.0;
    s.tempo = 1e-9;
    EXPECT_TRUE(s.prepare(32767, 48000.0, nullptr, nullptr, true));
    EXPECT_EQ(s.samplesToNextBar, INT32_MAX);
    EXPECT_EQ(s.blockFrames, 32767);
}

// ---- Free functions -------------------------------------------------------------

struct SamplesCase {
    double tempo, ppq, bar, num, den, rate;
    int64_t toBar, toBeat;
};

TEST(SyncInfo, SamplesToNextBarAndBeat) {
    const SamplesCase cases[] = {
        {120, 1.0, 0, 4, 4, 48000, 72000, 0},
        {120, 0.0, 0, 4, 4, 48000, 0, 0},
        {120, 2.25, 0, 4, 4, 48000, 42000, 18000},
        {120, 3.0, 0, 4, 4, 48000, 24000, 0},
        {120, 9.0, 4, 4, 4, 48000, 72000, 0}, // more than a bar past the bar start
        {120, 4.0, 4, 4, 4, 48000, 0, 0},     // on the bar start
        {120, 2.0, 4, 4, 4, 48000, 48000, 0}, // bar start ahead
        {120, 0.0, 8, 4, 4, 48000, 96000, 0}, // exactly one bar: stays a whole bar
        {120, 0.5, 0, 6, 8, 48000, 60000, 12000},
        {120, 3.5, 0, 3, 4, 48000, 60000, 0}, // next beat past the bar end: negative -> 0
        {120, 1.0, 0, 0, 4, 48000, 72000, 0}, // no signature: 4 quarters
        {60, 1.5, 0, 4, 4, 44100, 110250, 22050},
        {0, 1.0, 0, 4, 4, 48000, 0, 0},
        {-120, 1.0, 0, 4, 4, 48000, 0, 0},
        {120, 1.0, 0, 4, 4, 0, 0, 0},
        {kNaN, 1.0, 0, 4, 4, 48000, 0, 0},
        {120, 1e300, 0, 4, 4, 48000, 0, 0}, // finishes at once
        {120, kInf, 0, 4, 4, 48000, 0, 0},
        {120, kNaN, 0, 4, 4, 48000, 0, 0},
        {120, 1.0, 0, 4, 0, 48000, INT64_MAX, 0}, // infinite bar: saturates
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vantor::samplesToNextBar(c.tempo, c.ppq, c.bar, c.num, c.den, c.rate), c.toBar)
            << c.tempo << " " << c.ppq << " " << c.bar << " " << c.num << "/" << c.den;
        EXPECT_EQ(vantor::samplesToNextBeat(c.tempo, c.ppq, c.bar, c.num, c.den, c.rate), c.toBeat)
            << c.tempo << " " << c.ppq << " " << c.bar << " " << c.num << "/" << c.den;
    }
}

// ---- log() --------------------------------------------------------------------

TEST(SyncInfo, LogDescribesTheSnapshot) {
    SyncInfo s = playingAt(1.5, 0.0);
    s.blockLengthPpq = 0.25;
    s.timeSigNumerator = 3;
    s.tempo = 90.0;
    s.sampleRate = 44100.0;
    s.blockFrames = 256;
    s.samplePosition = 66150.0;
    s.loopEndPpq = 8.0;
    std::string text = "old";
    EXPECT_FALSE(s.log(7, text));
    EXPECT_EQ(text, " 7 ppq:  1.500000 L:  0.250000 D:    1.500000 bar:0.000000 (3/4)"
                    " bpm:90.000000 play:1 loop:0 diff:0 sr:44100.000000 sl:  256"
                    " sp:66150.000000 ls:0.000000 le:8.000000");
    EXPECT_EQ(s.lastLoggedPpq, 1.5);
    EXPECT_TRUE(s.log(0, text));
    EXPECT_EQ(text.rfind(" 0 ppq:", 0), 0u);
    EXPECT_NE(text.find(" D:    0.000000 bar:"), std::string::npos) << text;
}

TEST(SyncInfo, LogCutsLongNumbers) {
    SyncInfo s;
    s.samplePosition = 1e300;
    s.loopStartPpq = -1e300;
    std::string text;
    s.log(0, text);
    const size_t sp = text.find(" sp:");
    const size_t ls = text.find(" ls:");
    const size_t le = text.find(" le:");
    ASSERT_NE(sp, std::string::npos);
    EXPECT_EQ(ls - (sp + 4), 62u);
    EXPECT_EQ(le - (ls + 4), 62u);
}

} // namespace
