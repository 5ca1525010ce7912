#include "vgm/VGMX.h"

#include "engine-support/VirtualRAMFile.h"
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

// One row per command family: the header clocks it needs, its bytes, and the
// list the chip ends up with.
TEST(VgmReader, EachCommandFamilyLandsOnItsChip) {
    struct Case {
        const char* what;
        std::vector<std::pair<uint32_t, uint32_t>> clocks; // header offset, value
        Bytes commands;
        MediaChipType type;
        const char* expected;
    };
    const Case cases[] = {
        {"PSG after two frames",
         {{0x0C, 3579545}},
         {0x62, 0x62, 0x50, 0x9F, 0x50, 0x80},
         0,
         "S0 W1470:00=9F W0:00=80 E0"},
        {"PSG stereo",
         {{0x0C, 3579545}},
         {0x4F, 0xF0, 0x70, 0x50, 0x80},
         0,
         "S0 W0:01=F0 W1:00=80 E0"},
        {"second PSG, bit 31",
         {{0x0C, 0x80000000 | 3579545}},
         {0x30, 0x9F, 0x3F, 0x0F},
         1,
         "S0 W0:00=9F W0:01=0F E0"},
        {"second PSG, bit 30",
         {{0x0C, 0x40000000 | 3579545}},
         {0x30, 0x9F, 0x30, 0x8F},
         1,
         "S0 W0:00=9F W0:00=8F E0"},
        {"YM2612 both ports",
         {{0x2C, 7670453}},
         {0x52, 0x28, 0xF0, 0x73, 0x53, 0x30, 0x71},
         5,
         "S0 W0:28=F0 W4:30=71@1 E0"},
        {"YM2413",
         {{0x10, 3579545}},
         {0x51, 0x10, 0x20, 0x51, 0x30, 0x40},
         4,
         "S0 W0:10=20 W0:30=40 E0"},
        {"YM2151",
         {{0x30, 3579545}},
         {0x54, 0x08, 0x78, 0x54, 0x20, 0xC7},
         6,
         "S0 W0:08=78 W0:20=C7 E0"},
        {"second YM2151",
         {{0x30, 0x40000000 | 3579545}},
         {0xA4, 0x08, 0x78, 0xA4, 0x20, 0xC7},
         18,
         "S0 W0:08=78 W0:20=C7 E0"},
        {"YM2203",
         {{0x44, 3993600}},
         {0x55, 0x28, 0x01, 0x55, 0x28, 0x00},
         7,
         "S0 W0:28=01 W0:28=00 E0"},
        {"YM2608 port 1",
         {{0x48, 7987200}},
         {0x57, 0x10, 0x01, 0x56, 0x28, 0x00},
         8,
         "S0 W0:10=01@1 W0:28=00 E0"},
        {"YM2610B second chip",
         {{0x4C, 0xC0000000 | 8000000}},
         {0xA8, 0x28, 1, 0xA9, 0x10, 2},
         22,
         "S0 W0:28=01 W0:10=02@1 E0"},
        {"YMF262 port 1",
         {{0x5C, 14318180}},
         {0x5F, 0x05, 0x01, 0x5E, 0xBD, 0x20},
         15,
         "S0 W0:05=01@1 W0:BD=20 E0"},
        {"AY and its second chip",
         {{0x74, 0x40000000 | 1789772}},
         {0xA0, 0x87, 0x38, 0xA0, 0x88, 0x0F},
         32,
         "S0 W0:07=38 W0:08=0F E0"},
        {"GB DMG",
         {{0x80, 4194304}},
         {0xB3, 0x12, 0xF0, 0xB3, 0x14, 0x87},
         48,
         "S0 W0:12=F0 W0:14=87 E0"},
        {"NES APU",
         {{0x84, 1789772}},
         {0xB4, 0x00, 0x3F, 0xB4, 0x03, 0x08},
         44,
         "S0 W0:15=0F W0:00=3F W0:03=08 E0"},
        {"FDS registers",
         {{0x84, 0x80000000 | 1789772}},
         {0xB4, 0x20, 0x11, 0xB4, 0x3F, 0x80, 0xB4, 0x40, 0x05},
         41,
         "S0 W0:23=83 W0:80=11 W0:23=80 W0:40=05 E0"},
        {"second NES APU",
         {{0x84, 0x40000000 | 1789772}},
         {0xB4, 0x80, 0x3F, 0xB4, 0x95, 0x0F},
         45,
         "S0 W0:00=3F W0:15=0F E0"},
        {"SCC with port",
         {{0x9C, 1789772}},
         {0xD2, 0x03, 0x0F, 0x1F, 0xD2, 0x01, 0x00, 0x55},
         59,
         "S0 W0:0F=1F@3 W0:00=55@1 E0"},
        {"POKEY",
         {{0xB0, 1789772}},
         {0xBB, 0x00, 0x10, 0xBB, 0x01, 0xAF},
         36,
         "S0 W0:00=10 W0:01=AF E0"},
        {"SAA1099",
         {{0xC8, 8000000}},
         {0xBD, 0x1C, 0x01, 0xBD, 0x00, 0xFF},
         53,
         "S0 W0:1C=01 W0:00=FF E0"},
        {"MIKEY",
         {{0xE4, 16000000}},
         {0x40, 0x20, 0x7F, 0x4E, 0x21, 0x10},
         39,
         "S0 W0:20=7F W0:21=10 E0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        VgmFile file;
        for (const auto& [offset, value] : c.clocks) file.set32(offset, value);
        for (uint8_t b : c.commands) file.op({b});
        Parsed p(file.end().bytes());
        ASSERT_TRUE(p.ok) << p.vgm.logText();
        EXPECT_EQ(p.list(c.type), c.expected);
    }
}

// Writes to a chip without a clock read their operands and are dropped.
TEST(VgmReader, WritesToChipsWithoutClockAreSkippedWhole) {
    Parsed p(VgmFile()
                 .set32(0x0C, 3579545)
                 .op({0x52, 0x50, 0x50, 0x30, 0x50, 0xA0, 0x50, 0x50, 0xB4, 0x50, 0x50})
                 .op({0x50, 0x9F, 0x50, 0x80})
                 .end()
                 .bytes());
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.vgm.track().chips.size(), 1u);
    EXPECT_EQ(p.list(0), "S0 W0:00=9F W0:00=80 E0");
}

TEST(VgmReader, VersionsAndHeaderGates) {
    struct Case {
        uint32_t version;
        uint32_t dataStart;
        uint32_t clockField;
        MediaChipType type;
        bool chipMade;
    };
    const Case cases[] = {
        {0x150, 0x100, 0x2C, 5, true},   // version 1.50 is read
        {0x150, 0x100, 0x44, 7, false},  // YM2203 needs 1.51
        {0x151, 0x100, 0x44, 7, true},   //
        {0x151, 0x40, 0x44, 7, false},   // a 64-byte header has no YM2203 field
        {0x160, 0x100, 0x80, 48, false}, // GB DMG needs 1.61
        {0x161, 0x100, 0x80, 48, true},  //
        {0x161, 0x80, 0x80, 48, false},  // ... and the field inside the header
        {0x170, 0x100, 0xC8, 53, false}, // SAA1099 needs 1.71
        {0x171, 0x100, 0xC8, 53, true},  //
        {0x171, 0xE0, 0xC8, 53, false},  // ... and a header of 0xE8 bytes
    };
    const uint8_t writeFor[][2] = {{5, 0x52}, {7, 0x55}, {48, 0xB3}, {53, 0xBD}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.version << " type " << std::dec << c.type
                                        << " start " << c.dataStart);
        uint8_t opcode = 0;
        for (const auto& w : writeFor)
            if (w[0] == c.type) opcode = w[1];
        VgmFile file(c.version, c.dataStart);
        file.set32(0x0C, 3579545).set32(c.clockField, 4000000);
        Parsed p(file.op({opcode, 0x11, 0x22, opcode, 0x33, 0x44, 0x50, 0x9F, 0x50, 0x80})
                     .end()
                     .bytes());
        ASSERT_TRUE(p.ok) << p.vgm.logText();
        EXPECT_EQ(p.has(c.type), c.chipMade);
    }
}

TEST(VgmReader, OldVersionsPlayYM2612AndYM2151AtTheYM2413Clock) {
    Parsed p(VgmFile(0x101, 0x40)
                 .set32(0x0C, 3579545)
                 .set32(0x10, 7670453)
                 .op({0x52, 0x28, 0x00, 0x52, 0x28, 0xF0, 0x54, 0x08, 0x00, 0x54, 0x08, 0x78})
                 .op({0x50, 0x9F, 0x50, 0x80})
                 .end()
                 .bytes());
    ASSERT_TRUE(p.ok) << p.vgm.logText();
    EXPECT_EQ(p.chip(5).clock, 7670453u);
    EXPECT_EQ(p.chip(6).clock, 7670453u);
    EXPECT_EQ(p.chip(0).name, "Sega PSG");
    EXPECT_EQ(p.chip(0).variant, VGM::kVariantSegaPSG);
}

TEST(VgmReader, BadMarkerVersionOrLengthFailWithTheirLine) {
    Bytes noMarker = vgmtest::minimalSong();
    noMarker[0] = 'X';
    Bytes badVersion = VgmFile(0x0050, 0x40).set32(0x0C, 3579545).end().bytes();
    Bytes tooShort = vgmtest::minimalSong();
    tooShort.resize(127);
    const std::pair<Bytes, const char*> cases[] = {
        {noMarker, "VGM: marker not found\n"},
        {badVersion, "VGM: bad version 0050 \n"},
        {tooShort, "VGM: File too short\n"},
        {VgmFile().set32(0x0C, 3579545).end().bytes(), "no chips used?\n"},
    };
    for (const auto& [bytes, line] : cases) {
        Parsed p(bytes);
        EXPECT_FALSE(p.ok) << line;
        EXPECT_NE(p.vgm.logText().find(line), std::string::npos) << p.vgm.logText();
        EXPECT_FALSE(p.vgm.track().playable);
    }
}

// With a data offset of 0 the commands start at 0x40, where a 1.51 header
// would hold clocks: those bytes are commands, not chips.
TEST(VgmReader, DataOffsetZeroStartsAt0x40) {
    VgmFile file(0x151, 0x40);
    file.set32(0x0C, 3579545).op({0x50, 0x9F, 0x50, 0x80, 0x55, 0x00, 0x00}).end();
    Parsed p(file.bytes());
    ASSERT_TRUE(p.ok) << p.vgm.logText();
    EXPECT_FALSE(p.has(7));
    EXPECT_EQ(p.list(0), "S0 W0:00=9F W0:00=80 E0");
}

TEST(VgmReader, UnassignedOpcodesAdvanceOrEndTheSong) {
    Parsed skip(VgmFile().set32(0x0C, 3579545).op({0x50, 0x9F, 0x21, 0x50, 0x80}).end().bytes());
    ASSERT_TRUE(skip.ok);
    EXPECT_EQ(skip.list(0), "S0 W0:00=9F W0:00=80 E0");
    EXPECT_NE(skip.vgm.logText().find("00000102 UNKNOWN OPCODE 0x21, advancing 1\n"),
              std::string::npos)
        << skip.vgm.logText();

    Parsed end(
        VgmFile().set32(0x0C, 3579545).op({0x50, 0x9F, 0x50, 0x80, 0x65, 0x50, 0x10}).bytes());
    ASSERT_TRUE(end.ok);
    EXPECT_EQ(end.list(0), "S0 W0:00=9F W0:00=80 E0");
    EXPECT_NE(end.vgm.logText().find("Treating this last opcode as the end\n"), std::string::npos);

    // Reserved opcodes and PCM RAM writes are stepped over by their length.
    Parsed lengths(VgmFile()
                       .set32(0x0C, 3579545)
                       .op({0x50, 0x9F, 0x33, 0x50, 0x41, 0x50, 0x50, 0xC5, 0x50, 0x50, 0x50})
                       .op({0xE5, 0x50, 0x50, 0x50, 0x50, 0x31, 0x50})
                       .op({0x68, 0x66, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50, 0x50})
                       .op({0x50, 0x80})
                       .end()
                       .bytes());
    ASSERT_TRUE(lengths.ok);
    EXPECT_EQ(lengths.list(0), "S0 W0:00=9F W0:00=80 E0");
}

TEST(VgmReader, LoopPointMarksEveryChip) {
    VgmFile file;
    file.set32(0x0C, 3579545).set32(0x2C, 7670453);
    file.op({0x50, 0x9F, 0x52, 0x28, 0x00}).wait(100).loopHere();
    file.op({0x50, 0x80}).wait(50).op({0x52, 0x28, 0xF0}).wait(10).end();
    Parsed p(file.bytes());
    ASSERT_TRUE(p.ok) << p.vgm.logText();
    EXPECT_EQ(p.list(0), "S0 W0:00=9F L100 W0:00=80 E60");
    EXPECT_EQ(p.list(5), "S0 W0:28=00 L100 W50:28=F0 E10");
    EXPECT_EQ(p.chip(0).loopIndex, 2);
    EXPECT_EQ(p.chip(5).loopIndex, 2);
    EXPECT_EQ(p.vgm.track().loop.startTicks, 100u);
    EXPECT_GE(p.vgm.track().loop.marker, 0);
}

// A chip that stops early is held to the song's length by its last command.
TEST(VgmReader, EveryListEndsAtTheSongLength) {
    VgmFile file;
    file.set32(0x0C, 3579545).set32(0x2C, 7670453);
    file.op({0x52, 0x28, 0x00, 0x52, 0x28, 0xF0, 0x66});
    Parsed early(VgmFile()
                     .set32(0x0C, 3579545)
                     .set32(0x2C, 7670453)
                     .op({0x52, 0x28, 0x00, 0x50, 0x9F})
                     .wait(300)
                     .op({0x52, 0x28, 0xF0})
                     .wait(200)
                     .op({0x50, 0x80})
                     .end()
                     .bytes());
    ASSERT_TRUE(early.ok);
    EXPECT_EQ(early.list(5), "S0 W0:28=00 W300:28=F0 E200");
    EXPECT_EQ(early.list(0), "S0 W0:00=9F W500:00=80 E0");
    for (const auto& [type, record] : early.vgm.track().chips) EXPECT_EQ(record.totalLength, 500u);
    EXPECT_EQ(early.vgm.logText().find("TotalLength!=sampleCount"), std::string::npos);

    // A header total that disagrees is only noted.
    Parsed off(VgmFile()
                   .set32(0x0C, 3579545)
                   .op({0x50, 0x9F})
                   .wait(7)
                   .op({0x50, 0x80})
                   .end()
                   .totalSamples(9)
                   .bytes());
    EXPECT_TRUE(off.ok);
    EXPECT_NE(off.vgm.logText().find("TotalLength!=sampleCount\n"), std::string::npos);
}

TEST(VgmReader, StereoWritesMakeTheGameGearVariant) {
    const std::pair<uint8_t, const char*> cases[] = {{0xFF, "SN76489"}, {0x0F, "Sega GG"}};
    for (const auto& [stereo, name] : cases) {
        Parsed p(VgmFile().set32(0x0C, 3579545).op({0x4F, stereo, 0x50, 0x9F}).end().bytes());
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.chip(0).name, name);
        EXPECT_EQ(p.chip(0).variant, stereo == 0xFF ? 0u : VGM::kVariantSegaGG);
    }
}

TEST(VgmReader, Gd3TagsAreReadAsUtf16) {
    const std::vector<std::u16string> texts = {
        u"Green Hill",  u"グリーンヒル", u"Sonic", u"ソニック", u"Mega Drive", u"メガドライブ",
        u"M. Nakamura", u"中村",         u"1991",  u"someone",  u"notes"};
    Parsed p(VgmFile().set32(0x0C, 3579545).op({0x50, 0x9F, 0x50, 0x80}).end().gd3(texts).bytes());
    ASSERT_TRUE(p.ok);
    for (int i = 0; i < VGM::kTagCount; ++i) EXPECT_EQ(p.vgm.track().tags[i], texts[i]) << i;

    // Fewer texts leave the rest empty.
    Parsed few(
        VgmFile().set32(0x0C, 3579545).op({0x50, 0x9F, 0x50, 0x80}).end().gd3({u"Only"}).bytes());
    ASSERT_TRUE(few.ok);
    EXPECT_EQ(few.vgm.track().tags[VGM::kTagTrackName], u"Only");
    EXPECT_TRUE(few.vgm.track().tags[VGM::kTagNotes].empty());
}

TEST(VgmReader, VolumeModifierSetsTheGain) {
    // Version, modifier byte, gain. Bytes 0xC1-0xFF are -63..-1 and lower the volume.
    const std::tuple<uint32_t, uint8_t, float> cases[] = {
        {0x151, 0x20, 1.0f}, {0x160, 0x20, 2.0f},     {0x150, 0x20, 1.0f},    {0x171, 0xC0, 64.0f},
        {0x171, 0xE0, 0.5f}, {0x171, 0xC1, 0.25547f}, {0x171, 0xFF, 0.97857f}};
    for (const auto& [version, modifier, gain] : cases) {
        VgmFile file(version, 0x100);
        file.set32(0x0C, 3579545).set8(0x7C, modifier).op({0x50, 0x9F, 0x50, 0x80}).end();
        Parsed p(file.bytes());
        ASSERT_TRUE(p.ok);
        EXPECT_NEAR(p.vgm.track().volumeGain, gain, 1e-4)
            << std::hex << version << " " << +modifier;
    }
}

TEST(VgmReader, AyTypeNamesTheChip) {
    const std::tuple<uint8_t, const char*, uint32_t> cases[] = {
        {0x00, "AY8910", 0},
        {0x03, "AY8930", VGM::kVariantAY8930},
        {0x10, "YM2149", 0},
        {0x7F, "AY8910", 0}};
    for (const auto& [ayType, name, variant] : cases) {
        Parsed p(VgmFile()
                     .set32(0x74, 1789772)
                     .set8(0x78, ayType)
                     .op({0xA0, 0x07, 0x38, 0xA0, 0x08, 0x0F})
                     .end()
                     .bytes());
        ASSERT_TRUE(p.ok);
        EXPECT_EQ(p.chip(31).name, name);
        EXPECT_EQ(p.chip(31).variant, variant);
    }
}

// A console VGM writes its drums with 0x80-0x8F from the YM2612 data bank,
// moved by 0xE0; no stream record is involved.
TEST(VgmReader, DataBankWritesPlayThroughTheDacRegister) {
    VgmFile file;
    file.set32(0x2C, 7670453).block(0x00, {0x10, 0x20, 0x30, 0x40});
    file.op({0x52, 0x2B, 0x80});
    file.op({0xE0}).u32(1);
    file.op({0x80, 0x82, 0x81, 0x8F}); // the last one is past the bank: no write
    file.op({0xE0}).u32(0);
    file.op({0x80}).end();
    Parsed p(file.bytes());
    ASSERT_TRUE(p.ok) << p.vgm.logText();
    EXPECT_EQ(p.list(5), "S0 W0:2B=80 W0:2A=20 W0:2A=30 W2:2A=40 W16:2A=10 E0");
    ASSERT_EQ(p.vgm.track().dataBlocks.size(), 1u);
    EXPECT_EQ(p.vgm.track().dataBlocks[0].seekOffsets, (std::vector<uint32_t>{0, 1}));
    EXPECT_FALSE(p.vgm.track().chips.count(VGM::kChipDacStream0));
}

TEST(VgmReader, DataBankSpansEveryYM2612Block) {
    VgmFile file;
    file.set32(0x2C, 7670453).block(0x00, {0x01, 0x02}).block(0x00, {0x03});
    file.op({0x80, 0x80, 0x80}).end();
    Parsed p(file.bytes());
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.list(5), "S0 W0:2A=01 W0:2A=02 W0:2A=03 E0");
}

TEST(VgmReader, DataBankWritesWithoutDataAreLoggedOnce) {
    Parsed p(VgmFile()
                 .set32(0x2C, 7670453)
                 .op({0x52, 0x2B, 0x80, 0x81, 0x81, 0x81, 0x52, 0x2B, 0x00})
                 .end()
                 .bytes());
    ASSERT_TRUE(p.ok);
    EXPECT_EQ(p.list(5), "S0 W0:2B=80 W3:2B=00 E0");
    const std::string line = "OPN2 Data needed but no PCM data in file?\n";
    const std::string& log = p.vgm.logText();
    EXPECT_NE(log.find(line), std::string::npos);
    EXPECT_EQ(log.find(line), log.rfind(line));
}

// Lists grow as they fill: a header that announces many chips reserves
// nothing for them.
TEST(VgmReader, CommandListsDoNotReserveAhead) {
    VgmFile file(0x171, 0x100);
    for (uint32_t offset : {0x0Cu, 0x10u, 0x2Cu, 0x30u, 0x44u, 0x48u, 0x4Cu, 0x50u, 0x54u, 0x58u,
                            0x5Cu, 0x60u, 0x64u, 0x68u, 0x74u, 0x80u, 0x84u, 0x9Cu, 0xB0u, 0xC0u,
                            0xC4u, 0xC8u, 0xCCu, 0xD0u, 0xD8u, 0xDCu, 0xE0u, 0xE4u})
        file.set32(offset, 0xC0000000u | 4000000);
    file.set32(0x38, 4000000).set32(0x98, 4000000);
    file.op({0x50, 0x9F, 0x50, 0x80}).end();
    VGMX vgm;
    const Bytes bytes = file.bytes();
    vantor::VirtualRAMFile ram(bytes.data(), bytes.size());
    ASSERT_TRUE(VGM::parseVgmFile(vgm, ram, true));
    for (const auto& [type, record] : vgm.track().chips)
        EXPECT_LT(record.commands.capacity(), 64u) << type;
}

} // namespace
