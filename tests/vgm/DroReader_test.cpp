#include "vgm/DroReader.h"

#include "vantor/support/PrivateHome.h"
#include "vgm/VGMX.h"
#include "vgm/support/VgmFixtures.h"

#include <gtest/gtest.h>

using VGM::VGMX;
using vgmtest::Bytes;

namespace {

void put32(Bytes& b, uint32_t v) {
    for (int s = 0; s < 32; s += 8) b.push_back(static_cast<uint8_t>(v >> s));
}

// Version 0.1: the version words 0 and 1, song length, data length, the
// hardware type as one byte or (later recorders) four, then byte codes.
Bytes droV1(uint8_t hardware, const Bytes& data, bool wideHardware = true) {
    Bytes b = {'D', 'B', 'R', 'A', 'W', 'O', 'P', 'L', 0, 0, 1, 0};
    put32(b, 1234);
    put32(b, static_cast<uint32_t>(data.size()));
    b.push_back(hardware);
    if (wideHardware) b.insert(b.end(), {0, 0, 0});
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

// Version 2.0: pair count, length, hardware, format, compression, the two
// delay codes and the register table, then (code, value) pairs.
Bytes droV2(uint8_t hardware, const Bytes& table, const Bytes& pairs) {
    Bytes b = {'D', 'B', 'R', 'A', 'W', 'O', 'P', 'L', 2, 0, 0, 0};
    put32(b, static_cast<uint32_t>(pairs.size() / 2));
    put32(b, 1234);
    b.insert(b.end(), {hardware, 0, 0, 0x7E, 0x7F, static_cast<uint8_t>(table.size())});
    b.insert(b.end(), table.begin(), table.end());
    b.insert(b.end(), pairs.begin(), pairs.end());
    return b;
}

class DroReaderTest : public testhome::Scratch {
protected:
    // Opens the bytes as a .dro file; the one chip record, or null.
    const VGM::MediaChipRecord* open(const Bytes& bytes) {
        const std::string file = path("song" + std::to_string(++count) + ".dro");
        vgmtest::writeFile(file, bytes);
        vgm = std::make_unique<VGMX>();
        opened = vgm->openFile(file);
        EXPECT_EQ(vgm->track().playable, opened);
        if (!opened || vgm->track().chips.size() != 1) return nullptr;
        return &vgm->track().chips.begin()->second;
    }
    std::unique_ptr<VGMX> vgm;
    bool opened = false;
    int count = 0;
};

TEST_F(DroReaderTest, Version1CodesBecomeTimedWrites) {
    const Bytes data = {
        0x00, 0x05,       // wait 6 ms
        0x01, 0x10, 0x02, // wait 0x0210 + 1 = 529 ms
        0x20, 0x01,       // register 0x20 := 0x01
        0x03,             // second register set
        0xB0, 0x31,       // register 0xB0 := 0x31 on port 1
        0x04, 0x02, 0x40, // escaped register 0x02 := 0x40
        0x02,             // first register set
        0x00, 0x00,       // wait 1 ms
        0x04, 0x03,       // cut short by the end of the data
    };
    const VGM::MediaChipRecord* chip = open(droV1(0, data));
    ASSERT_TRUE(chip);
    EXPECT_EQ(vgmtest::describe(*chip), "S0 W535:20=01 W0:B0=31@1 W0:02=40@1");
    EXPECT_EQ(chip->commandRate, 1000);
    EXPECT_EQ(chip->totalLength, 535u);
}

TEST_F(DroReaderTest, Version1HeaderVariants) {
    struct Case {
        const char* name;
        Bytes file;
        const char* commands;
    };
    const Case cases[] = {
        {"four-byte hardware type", droV1(0, {0x20, 0x01}), "S0 W0:20=01"},
        // Early recorders: the song data starts right after the type byte.
        {"one-byte hardware type", droV1(0, {0x20, 0x01, 0x00, 0x09, 0x40, 0x3F}, false),
         "S0 W0:20=01 W10:40=3F"},
        {"no data", droV1(0, {}), "S0"},
        {"data length past the file",
         [] {
             Bytes b = droV1(0, {0x20, 0x01, 0x21, 0x02});
             b[16] = 0xFF; // claims 255 bytes
             return b;
         }(),
         "S0 W0:20=01 W0:21=02"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const VGM::MediaChipRecord* chip = open(c.file);
        ASSERT_TRUE(chip);
        EXPECT_EQ(vgmtest::describe(*chip), c.commands);
    }
}

TEST_F(DroReaderTest, Version2PairsThroughTheRegisterTable) {
    const Bytes table = {0x20, 0x40, 0xB0};
    const Bytes pairs = {
        0x00, 0x01, // table[0] = 0x20 := 0x01
        0x7E, 0x09, // short delay: 10 ms
        0x7F, 0x03, // long delay: (3 << 8) + 256 = 1024 ms
        0x82, 0x31, // bank bit: table[2] = 0xB0 := 0x31 on port 1
        0x05, 0x77, // index past the table: passed over
        0x01, 0x3F, // table[1] = 0x40 := 0x3F
    };
    const VGM::MediaChipRecord* chip = open(droV2(0, table, pairs));
    ASSERT_TRUE(chip);
    EXPECT_EQ(vgmtest::describe(*chip), "S0 W0:20=01 W1034:B0=31@1 W0:40=3F");

    // A pair count beyond the file is cut at its end.
    Bytes lying = droV2(0, table, {0x00, 0x01, 0x01, 0x02, 0x02});
    lying[12] = 0xFF;
    chip = open(lying);
    ASSERT_TRUE(chip);
    EXPECT_EQ(vgmtest::describe(*chip), "S0 W0:20=01 W0:40=02");
}

// Each version numbers its hardware in its own way: version 0.1 calls OPL3
// 1 and two OPL2s 2, version 2.0 the other way round.
TEST_F(DroReaderTest, HardwareTypeChoosesTheChip) {
    struct Case {
        Bytes file;
        VGM::MediaChipType type;
        const char* name;
        uint32_t clock;
    };
    const Case cases[] = {
        {droV1(0, {}), VGM::kChipYM3812, "YM3812", 3579545},
        {droV1(1, {}), VGM::kChipYMF262, "YMF262", 14318182},
        {droV1(2, {}), VGM::kChipYM3812, "YM3812", 3579545},
        {droV2(0, {}, {}), VGM::kChipYM3812, "YM3812", 3579545},
        {droV2(1, {}, {}), VGM::kChipYM3812, "YM3812", 3579545},
        {droV2(2, {}, {}), VGM::kChipYMF262, "YMF262", 14318182},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file[8] == 2 ? "version 2" : "version 1");
        SCOPED_TRACE(c.name);
        const VGM::MediaChipRecord* chip = open(c.file);
        ASSERT_TRUE(chip);
        EXPECT_EQ(chip->type, c.type);
        EXPECT_EQ(chip->name, c.name);
        EXPECT_EQ(chip->shortName, c.type == VGM::kChipYMF262 ? "OPL3" : "OPL2");
        EXPECT_EQ(chip->clock, c.clock);
        EXPECT_EQ(chip->commandRate, 1000);
    }
}

} // namespace
