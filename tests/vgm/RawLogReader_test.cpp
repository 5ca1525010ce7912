#include "vgm/RawLogReader.h"

#include "vantor/support/PrivateHome.h"
#include "vgm/VGMX.h"
#include "vgm/support/VgmFixtures.h"

#include <gtest/gtest.h>

using VGM::VGMX;
using vgmtest::Bytes;

namespace {

class RawLogReaderTest : public testhome::Scratch {};

TEST_F(RawLogReaderTest, RecordsBecomeWritesFromTheFirstOn) {
    struct Case {
        const char* name;
        Bytes file;
        const char* commands;
    };
    const Case cases[] = {
        // The first record's delay is not waited for.
        {"three records",
         {0x12, 0x34, 0x08, 0x7F, 0x01, 0x00, 0x20, 0x11, 0x00, 0x02, 0x21, 0x22},
         "S0 W0:08=7F W256:20=11 W2:21=22"},
        {"partial last record", {0x00, 0x00, 0x08, 0x01, 0x00, 0x05}, "S0 W0:08=01"},
        {"empty file", {}, "S0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = path(std::string(c.name) + ".bin");
        vgmtest::writeFile(file, c.file);
        VGMX vgm;
        ASSERT_TRUE(vgm.openFile(file));
        EXPECT_TRUE(vgm.track().playable);
        EXPECT_EQ(vgm.path(), file);
        ASSERT_EQ(vgm.track().chips.size(), 1u);
        const VGM::MediaChipRecord& chip = vgm.track().chips.at(60);
        EXPECT_EQ(vgmtest::describe(chip), c.commands);
        EXPECT_EQ(chip.name, "YM7129");
        EXPECT_EQ(chip.shortName, "OPK2");
        EXPECT_EQ(chip.clock, 3579545u);
        EXPECT_EQ(chip.commandRate, 180000);
    }
    VGMX missing;
    EXPECT_FALSE(missing.openFile(path("missing.bin")));
}

} // namespace
