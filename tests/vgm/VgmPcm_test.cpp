#include "vgm/VGMX.h"

#include "vgm/support/ParsedSong.h"
#include "vgm/support/VgmFixtures.h"

#include <gtest/gtest.h>

using VGM::MediaChipType;
using VGM::VGMX;
using vgmtest::Bytes;
using vgmtest::describe;
using vgmtest::Parsed;
using vgmtest::VgmFile;

namespace {

constexpr MediaChipType kStream0 = VGM::kChipDacStream0;

std::vector<int16_t> samplesOf(const VGM::DataBlock& b) { return {b.samples.begin(), b.samples.end()}; }

// A song on the YM2612 whose DAC is fed by stream commands.
VgmFile dacSong() {
    VgmFile f;
    f.set32(0x2C, 7670453).op({0x52, 0x2B, 0x80, 0x52, 0x2B, 0x80});
    return f;
}

TEST(VgmStreams, StreamCommandsBecomeSubCommands) {
    struct Case {
        const char* what;
        Bytes commands;
        MediaChipType stream;
        const char* expected;
    };
    const Case cases[] = {
        {"set-up and data",
         {0x90, 0x00, 0x02, 0x00, 0x2A, 0x91, 0x00, 0x00, 0x01, 0x00},
         kStream0,
         "W0:00=02 W0:01=2A W0:02=00 W0:03=01 E0"},
        {"frequency",
         {0x92, 0x01, 0x44, 0xAC, 0x00, 0x00, 0x94, 0x01},
         kStream0 + 1,
         "W0:04=00 W0:05=AC@68 W0:0E=00 E0"},
        {"start, length ignored",
         {0x93, 0x02, 0x10, 0x20, 0x30, 0x40, 0x03, 9, 9, 9, 9},
         kStream0 + 2,
         "W0:08=40@48 W0:09=20@16 W0:0C=03 E0"},
        {"start, length in commands",
         {0x93, 0x02, 0x10, 0, 0, 0, 0x01, 0x34, 0x12, 0, 0},
         kStream0 + 2,
         "W0:08=00 W0:09=00@16 W0:0A=00 W0:0B=12@52 W0:0C=01 E0"},
        {"start, length in ms, looped",
         {0x93, 0x02, 0, 0, 0, 0, 0x82, 0x10, 0, 0, 0},
         kStream0 + 2,
         "W0:08=00 W0:09=00 W0:0A=00 W0:0B=00@16 W0:0C=82 E0"},
        {"fast start",
         {0x95, 0x03, 0x02, 0x01, 0x10, 0x95, 0x03, 0x00, 0x00, 0x00, 0x94, 0x03},
         kStream0 + 3,
         "W0:0D=02@16 W0:0D=00 W0:0E=00 E0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VgmFile file = dacSong();
        for (uint8_t b : c.commands) file.op({b});
        Parsed p(file.end().bytes());
        ASSERT_TRUE(p.ok) << p.vgm.logText();
        EXPECT_EQ(p.list(c.stream), c.expected);
    }
}

TEST(VgmStreams, StopAllStopsExactlyTheStartedStreams) {
    VgmFile file = dacSong();
    for (uint8_t s : {0, 3}) file.op({0x93, s, 0, 0, 0, 0, 0x00, 0, 0, 0, 0});
    file.wait(5).op({0x94, 0xFF}).end();
    Parsed p(file.bytes());
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.list(kStream0), "W0:08=00 W0:09=00 W0:0C=00 W5:0E=00 E0");
    EXPECT_EQ(p.list(kStream0 + 3), "W0:08=00 W0:09=00 W0:0C=00 W5:0E=00 E0");
    for (MediaChipType t = kStream0 + 4; t < kStream0 + 16; ++t) EXPECT_FALSE(p.has(t));
    EXPECT_FALSE(p.has(kStream0 + 1));
}

// Channel 0 with end page 0xFF, start 0, bank 0: one whole 64 KiB bank.
TEST(VgmStreams, SegaPcmEndPageFFPlaysTheWholeBank) {
    VgmFile file;
    file.set32(0x38, 4000000).set32(0x3C, 0x00F8000D);
    file.op({0xC0, 0x06, 0x00, 0xFF});                         // end page
    file.op({0xC0, 0x84, 0x00, 0x00, 0xC0, 0x85, 0x00, 0x00}); // start address
    file.op({0xC0, 0x07, 0x00, 0x80});                         // frequency byte
    file.op({0xC0, 0x02, 0x00, 0xFF});                         // left volume
    file.op({0xC0, 0x86, 0x00, 0x00}).wait(10);                // start
    file.op({0xC0, 0x86, 0x00, 0x01}).end();                   // stop
    Parsed p(file.bytes());
    ASSERT_TRUE(p.ok) << p.vgm.logText();
    EXPECT_EQ(p.chip(kStream0).shortName, "SegaPCM");
    EXPECT_EQ(p.after(kStream0),
              "W0:04=00 W0:05=3D@9 W0:06=7F "          // 4000000 / 128 * 128 / 256 = 15625
              "W0:08=00 W0:09=00 W0:0A=00@1 W0:0B=00 " // start 0, length 0x10000
              "W0:00=C0 W0:02=00 W0:0C=00 W10:0E=00 E0");
}

TEST(VgmStreams, SegaPcmBankAndRestartOnChange) {
    VgmFile file;
    file.set32(0x38, 4000000).set32(0x3C, 0x00F8000D);
    file.op({0xC0, 0x0E, 0x00, 0x00});       // channel 1: end page 0
    file.op({0xC0, 0x8C, 0x00, 0x80});       // start low 0x80
    file.op({0xC0, 0x8E, 0x00, 0x12});       // control: bank 1 (0x10), loop bit 2
    file.op({0xC0, 0x0E, 0x00, 0x01}).end(); // end page moves while playing
    Parsed p(file.bytes());
    ASSERT_TRUE(p.ok) << p.vgm.logText();
    // Control 0x12 masked with 0xF8 is 0x10; shifted by 13 the bank starts at 0x20000.
    EXPECT_EQ(p.after(kStream0 + 1),
              "W0:08=00@2 W0:09=00@128 W0:0A=00 W0:0B=00@128 W0:00=C0 W0:02=00 W0:0C=02 "
              "W0:08=00@2 W0:09=00@128 W0:0A=00 W0:0B=01@128 W0:00=C0 W0:02=00 W0:0C=02 E0");
}

// An OKIM6295 ROM with phrase 5 at 0x400-0x40F; phrase select 0x85 then
// voice 4 (0x40) at attenuation 0.
TEST(VgmStreams, OkiPhraseStartsOnItsStream) {
    Bytes rom(0x410, 0);
    const uint8_t entry[] = {0x00, 0x04, 0x00, 0x00, 0x04, 0x0F};
    std::copy(entry, entry + 6, rom.begin() + 5 * 8);
    for (size_t i = 0x400; i < 0x410; ++i) rom[i] = 0x17; // rising steps
    Bytes block = {0x00, 0x00, 0x04, 0x00, 0, 0, 0, 0};   // ROM size, start 0
    for (uint8_t x : rom) block.push_back(x);
    VgmFile file;
    file.set32(0x98, 1000000).block(0x8B, block);
    file.op({0xB8, 0x00, 0x85, 0xB8, 0x00, 0x40})
        .wait(3)
        .op({0xB8, 0x00, 0x20, 0xB8, 0x00, 0x20})
        .end();
    Parsed p(file.bytes());
    ASSERT_TRUE(p.ok) << p.vgm.logText();
    // 1000000 / 165 = 6061 Hz; start 0x800 and 32 samples; gain 128; fast start.
    EXPECT_EQ(p.after(kStream0 + 4), "W0:00=B8 W0:02=00 W0:04=00 W0:05=17@173 W0:08=00 W0:09=08 "
                                     "W0:0A=00 W0:0B=00@32 W0:06=80 W0:07=80 W0:0F=00 E3");
    EXPECT_EQ(p.after(kStream0), "W3:0E=00 W0:0E=00 E0");
    const VGM::DataBlock& b = p.vgm.track().dataBlocks.at(0);
    EXPECT_EQ(b.sampleCount, 0x820u);
    EXPECT_EQ(b.samples[0x7FF], 0);
    EXPECT_GT(b.samples[0x800], 0);
    EXPECT_GT(b.samples[0x81F], b.samples[0x800]);
    EXPECT_NEAR(b.nominalRate, 6060.6f, 0.1f);
}

TEST(VgmStreams, PwmCycleSetsTheRateAndCycleOneIsRefused) {
    VgmFile file = dacSong();
    file.set32(0x70, 23011361);
    file.op({0xB2, 0x10, 0x01});                   // cycle 1: would divide by zero
    file.op({0xB2, 0x14, 0x1F});                   // cycle 0x41F
    file.op({0xB2, 0x20, 0x10, 0xB2, 0x30, 0x10}); // pulse widths: state only
    file.op({0xB2, 0x70, 0x01}).end();             // no such register
    Parsed p(file.bytes());
    ASSERT_TRUE(p.ok) << p.vgm.logText();
    // 23011361 / 1054 = 21832 Hz.
    EXPECT_EQ(p.after(kStream0), "W0:04=00 W0:05=55@72 E0");
    EXPECT_NE(p.vgm.logText().find("PWM: cycle register of 1 ignored\n"), std::string::npos);
    EXPECT_NE(p.vgm.logText().find("Write at undefined PWM register 07 0001\n"), std::string::npos);
}

TEST(VgmDataBlocks, StorageByType) {
    VgmFile file = dacSong();
    file.set32(0x84, 1789772).op({0xB4, 0x00, 0x3F});
    file.block(0x00, {0x00, 0x80, 0xFF}); // YM2612 PCM
    file.block(0x01, {0x85, 0x05, 0x80}); // RF5C68: sign and magnitude
    file.block(0x80, {0x00, 0x00, 0x01, 0x00, 0x10, 0, 0, 0, 0x80, 0x90}); // SegaPCM ROM
    file.block(0xC2, {0x40, 0xC1, 0xFF});                                  // NES RAM at 0xC140
    file.block(0xE1, {0x00, 0x10, 0x00, 0x00, 0xAA});                      // RAM, 32-bit address
    file.block(0x84, {0, 0, 0, 0, 0, 0, 0, 0, 1, 2});                      // a ROM kind not kept
    file.end();
    Parsed p(file.bytes());
    ASSERT_TRUE(p.ok) << p.vgm.logText();
    const auto& blocks = p.vgm.track().dataBlocks;
    ASSERT_EQ(blocks.size(), 6u);
    EXPECT_EQ(blocks[0].bytes, (Bytes{0x00, 0x80, 0xFF}));
    EXPECT_EQ(samplesOf(blocks[0]), (std::vector<int16_t>{0, 128, 255}));
    EXPECT_EQ(blocks[0].sampleCount, 3u);
    EXPECT_FLOAT_EQ(blocks[0].nominalRate, 15734.0f);
    EXPECT_EQ(samplesOf(blocks[1]), (std::vector<int16_t>{5, -5, 0}));
    EXPECT_EQ(blocks[1].defaultGain, 32768 / 5);
    EXPECT_EQ(blocks[2].size, 0x10000u);
    EXPECT_EQ(blocks[2].startOffset, 0x10u);
    EXPECT_EQ(samplesOf(blocks[2]), (std::vector<int16_t>{0, 16}));
    EXPECT_NE(p.vgm.logText().find("ROM size 00010000 offset 00000010 Size 00000002, type 128\n"),
              std::string::npos);
    EXPECT_EQ(blocks[3].startOffset, 0xC140u);
    EXPECT_EQ(blocks[3].sampleCount, 8u);
    EXPECT_EQ(blocks[4].startOffset, 0x1000u);
    EXPECT_TRUE(blocks[4].bytes.empty()); // RAM of a chip the player does not feed
    EXPECT_TRUE(blocks[5].bytes.empty());
    EXPECT_EQ(blocks[5].type, 0x84u);
    // The NES learns where its sample RAM starts: (0xC140 - 0xC000) / 64 = 5.
    EXPECT_EQ(p.list(VGM::kChipNESAPU), "S0 W0:15=0F W0:00=3F W0:19=05 E0");
}

Bytes compressedBlock(uint8_t method, uint32_t unpackedBytes, uint8_t bitsDec, uint8_t bitsComp,
                      uint8_t subType, uint16_t add, const Bytes& packed) {
    Bytes b = {method,
               static_cast<uint8_t>(unpackedBytes),
               static_cast<uint8_t>(unpackedBytes >> 8),
               static_cast<uint8_t>(unpackedBytes >> 16),
               static_cast<uint8_t>(unpackedBytes >> 24),
               bitsDec,
               bitsComp,
               subType,
               static_cast<uint8_t>(add),
               static_cast<uint8_t>(add >> 8)};
    for (uint8_t x : packed) b.push_back(x);
    return b;
}

TEST(VgmDataBlocks, CompressedBlocksUnpack) {
    // Table of four 8-bit values for the table and DPCM cases.
    const Bytes table = {0x00, 0x00, 8, 2, 4, 0, 10, 20, 30, 40};
    const Bytes dpcmTable = {0x01, 0x00, 8, 2, 4, 0, 1, 2, 3, 0xFF};
    struct Case {
        const char* what;
        Bytes tableBlock;
        Bytes block;
        std::vector<int16_t> samples;
    };
    const Case cases[] = {
        // Codes 0,1,2,3 in two bits each: 0b00011011.
        {"copy plus add", {}, compressedBlock(0, 4, 8, 2, 0, 100, {0x1B}), {100, 101, 102, 103}},
        {"shift left", {}, compressedBlock(0, 4, 8, 2, 1, 0, {0x1B}), {0, 64, 128, 192}},
        {"table", table, compressedBlock(0, 4, 8, 2, 2, 0, {0x1B}), {10, 20, 30, 40}},
        {"DPCM", dpcmTable, compressedBlock(1, 4, 8, 2, 0, 50, {0x1B}), {51, 53, 56, 311}},
        {"no packed bits", {}, compressedBlock(0, 4, 8, 0, 0, 0, {}), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VgmFile file = dacSong();
        if (!c.tableBlock.empty()) file.block(0x7F, c.tableBlock);
        file.block(0x40, c.block).end();
        Parsed p(file.bytes());
        ASSERT_TRUE(p.ok) << p.vgm.logText();
        const VGM::DataBlock& b = p.vgm.track().dataBlocks.back();
        EXPECT_EQ(b.type, 0u);
        EXPECT_EQ(samplesOf(b), c.samples);
        EXPECT_EQ(b.sampleCount, c.samples.size());
        EXPECT_FLOAT_EQ(b.nominalRate, 22472.0f);
    }
}

} // namespace

// 0x80-0x8F writes send the bank's bytes in order, each after the wait of the
// opcode before it, and are kept as a few runs: a run stops at the loop
// point, at a seek and at the bank's end, and takes in waits between writes.
TEST(VgmDataBlocks, PcmBankWritesKeepTheirBytesAndWaits) {
    Bytes bank(32);
    for (size_t i = 0; i < bank.size(); ++i) bank[i] = uint8_t(i);
    VgmFile f;
    f.set32(0x2C, 7670453).block(0x00, bank).op({0x52, 0x2B, 0x80, 0x80, 0x81});
    f.loopHere().op({0x82, 0x83, 0x80, 0x8F, 0x70, 0x81, 0xE0}).u32(30);
    f.op({0x82, 0x80, 0x80}).end();
    const Parsed p(f.bytes());
    ASSERT_TRUE(p.ok) << p.vgm.logText();
    EXPECT_EQ(p.list(VGM::kChipYM2612),
              "S0 W0:2B=80 W0:2A=00 W0:2A=01 L1 W0:2A=02 W2:2A=03 W3:2A=04 "
              "W0:2A=05 W16:2A=06 W1:2A=1E W2:2A=1F E0");
    EXPECT_EQ(p.chip(VGM::kChipYM2612).commands.size(), 7u);
}
