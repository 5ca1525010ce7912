#include "vgm/VGMXVisitor.h"

#include "vantor/support/PrivateHome.h"
#include "vgm/VGMX.h"
#include "vgm/support/VgmFixtures.h"

#include <gtest/gtest.h>

using VGM::MediaCommand;
using VGM::VGMX;

namespace {

// Reads a document held in memory; the collection keeps its track and log.
bool read(VGMX& vgm, const std::string& xml) {
    return vgm.parseVgmxBuffer(reinterpret_cast<const uint8_t*>(xml.data()), xml.size());
}

std::vector<VGM::MediaChipType> types(const VGMX& vgm) {
    std::vector<VGM::MediaChipType> out;
    for (const auto& [type, chip] : vgm.track().chips) out.push_back(type);
    return out;
}

class VGMXVisitorTest : public testhome::Scratch {};

TEST_F(VGMXVisitorTest, DocumentWithTwoChipsOpensByExtension) {
    const std::string doc = R"(<?xml version="1.0"?>
<VGMX version="1">
<Chip id="0" type="SN76489" clock="3579545" rate="60">
  <W dt="0" v="159"/>
  <W dt="2" hv="9f"/>
</Chip>
<!-- the FM part -->
<Chip id="1" type="YM2612" clock="7670453">
  <W dt="735" hr="2a" v="255" p="1"/>
  <R dt="10" r="40"/>
  <D dt="5"/>
  <I dt="1" r="1" v="2" p="3"/>
  <W dt="0" r="300" bv="10000001"/>
</Chip>
</VGMX>
)";
    for (const char* name : {"song.vgmx", "SONG.VGX"}) {
        SCOPED_TRACE(name);
        const std::string file = path(name);
        testhome::writeFile(file, doc);
        VGMX vgm;
        ASSERT_TRUE(vgm.openFile(file)) << vgm.logText();
        EXPECT_TRUE(vgm.track().playable);
        EXPECT_EQ(vgm.logText(), "");
        EXPECT_EQ(vgm.track().tags[VGM::kTagTrackName], std::u16string(file.begin(), file.end()));
        ASSERT_EQ(types(vgm), (std::vector<VGM::MediaChipType>{0, 5}));

        const VGM::MediaChipRecord& psg = vgm.track().chips.at(0);
        EXPECT_EQ(psg.clock, 3579545u);
        EXPECT_EQ(psg.commandRate, 60);
        EXPECT_EQ(vgmtest::describe(psg), "W0:00=9F W2:00=9F");
        EXPECT_EQ(psg.totalLength, 2u);

        const VGM::MediaChipRecord& fm = vgm.track().chips.at(5);
        EXPECT_EQ(fm.clock, 7670453u);
        EXPECT_EQ(fm.commandRate, 44100);
        EXPECT_EQ(fm.totalLength, 751u);
        const MediaCommand expected[] = {
            {735, 'W', 0x2A, 0xFF, 1}, {10, 'R', 40, 0, 0},   {5, 'D', 0, 0, 0},
            {1, 'I', 1, 2, 3},         {0, 'W', 44, 0x81, 0},
        };
        ASSERT_EQ(fm.commands.size(), std::size(expected));
        for (size_t i = 0; i < std::size(expected); ++i) {
            EXPECT_EQ(fm.commands[i].delta, expected[i].delta) << i;
            EXPECT_EQ(fm.commands[i].kind, expected[i].kind) << i;
            EXPECT_EQ(fm.commands[i].reg, expected[i].reg) << i;
            EXPECT_EQ(fm.commands[i].value, expected[i].value) << i;
            EXPECT_EQ(fm.commands[i].port, expected[i].port) << i;
        }
    }
}

TEST_F(VGMXVisitorTest, CommandAttributes) {
    struct Case {
        const char* element;
        const char* commands;
    };
    const Case cases[] = {
        {R"(<W dt="735" hr="2a" v="255" p="1"/>)", "W735:2A=FF@1"},
        {R"(<W bv="10000001"/>)", "W0:00=81"},
        {R"(<W v="7" bv="1000000"/>)", "W0:00=07"},         // seven characters: ignored
        {R"(<W bv="1x1x1x1x"/>)", "W0:00=AA"},              // anything but '1' is a clear bit
        {R"(<W r="300" hv="1ff"/>)", "W0:2C=FF"},           // cut to 8 bits
        {R"(<W r="1" hr="20" v="3" hv="4"/>)", "W0:20=04"}, // the later attribute wins
        {R"(<W r="x" v="" dt="z"/>)", "W0:00=00"},          // what does not parse is 0
        {R"(<W dt="4294967295"/>)", "W4294967295:00=00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.element);
        VGMX vgm;
        ASSERT_TRUE(read(vgm, std::string(R"(<Chip id="0" type="OPN2">)") + c.element));
        EXPECT_EQ(vgmtest::describe(vgm.track().chips.at(5)), c.commands);
    }
}

// A second chip of a type takes the type's alternate code; when none is
// free, a chip of the current chip's type joins it.
TEST_F(VGMXVisitorTest, RepeatedTypesTakeAlternateCodes) {
    struct Case {
        const char* type;
        int count;
        std::vector<VGM::MediaChipType> codes;
    };
    const Case cases[] = {
        {"YM2612", 2, {5, 17}},
        {"YM2612", 3, {5, 17}},
        {"SN76489", 5, {0, 1, 2, 3}},
        {"AY8910", 6, {31, 32, 33, 34, 35}},
        {"DAC", 17, {84, 85, 86, 87, 88, 89, 90, 91, 92, 93, 94, 95, 96, 97, 98, 99}},
        {"YMF271", 2, {29}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " x" + std::to_string(c.count));
        std::string doc;
        for (int i = 0; i < c.count; ++i)
            doc += "<Chip id=\"" + std::to_string(i) + "\" type=\"" + c.type + "\"><W v=\"" +
                   std::to_string(i) + "\"/>";
        VGMX vgm;
        ASSERT_TRUE(read(vgm, doc));
        EXPECT_EQ(types(vgm), c.codes);
        // The surplus chips' commands follow the last chip's own.
        const auto& last = vgm.track().chips.at(c.codes.back());
        EXPECT_EQ(last.commands.size(), static_cast<size_t>(c.count) - c.codes.size() + 1);
        EXPECT_EQ(last.commands.back().value, c.count - 1);
    }
}

// Commands belong to the chip declared before them; where that chip was
// refused, or none was declared, they are dropped instead of reaching
// another chip.
TEST_F(VGMXVisitorTest, CommandsWithoutTheirChipAreDropped) {
    struct Case {
        const char* name;
        const char* doc;
        const char* psg; // the commands the SN76489 keeps
        uint64_t dropped;
    };
    const Case cases[] = {
        {"before any chip", R"(<W v="1"/><Chip id="0" type="SN76489"><W v="2"/>)", "W0:00=02", 1},
        {"id begins with a letter",
         R"(<Chip id="0" type="SN76489"><W v="2"/><Chip id="a1" type="YM2612"><W v="3"/>)",
         "W0:00=02", 1},
        {"empty id", R"(<Chip id="0" type="SN76489"><W v="2"/><Chip id="" type="OPN2"><W v="3"/>)",
         "W0:00=02", 1},
        {"type name in lower case",
         R"(<Chip id="0" type="SN76489"><W v="2"/><Chip id="1" type="ym2612"><W v="3"/><W/>)",
         "W0:00=02", 1},
        {"no free code for another type",
         R"(<Chip id="0" type="YMF271"/><Chip id="0" type="YMF271"><Chip id="1" type="SN76489">)"
         R"(<W v="2"/><Chip id="2" type="YMF271"><W v="3"/>)",
         "W0:00=02", 1},
        {"elements that are not ours",
         R"(<Chip id="0" type="SN76489"><W v="2"/><Meta v="9"/><W v="3">)", "W0:00=02", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VGMX vgm;
        ASSERT_TRUE(read(vgm, c.doc));
        EXPECT_EQ(vgmtest::describe(vgm.track().chips.at(0)), c.psg);
        EXPECT_EQ(vgm.track().chips.count(5), 0u);
        if (c.dropped)
            EXPECT_NE(vgm.logText().find("VGMX: " + std::to_string(c.dropped) +
                                         " commands without a declared chip were dropped\n"),
                      std::string::npos)
                << vgm.logText();
        else
            EXPECT_EQ(vgm.logText(), "");
    }
}

// Rates divide the ticks: a rate of 0 or below, or a negative clock,
// refuses the whole document with a log line.
TEST_F(VGMXVisitorTest, UnplayableRateOrClockRefusesTheDocument) {
    struct Case {
        const char* chip;
        const char* logLine;
    };
    const Case cases[] = {
        {R"(<Chip id="1" type="YM2612" rate="0">)",
         "VGMX: chip YM2612 has a command rate of 0; the document cannot be played\n"},
        {R"(<Chip id="1" type="YM2612" rate="-44100">)",
         "VGMX: chip YM2612 has a command rate of -44100; the document cannot be played\n"},
        {R"(<Chip id="1" type="OPN2" rate="x">)",
         "VGMX: chip OPN2 has a command rate of 0; the document cannot be played\n"},
        {R"(<Chip id="1" type="YM2612" clock="-1">)",
         "VGMX: chip YM2612 has a clock of -1; the document cannot be played\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chip);
        VGMX vgm;
        EXPECT_FALSE(read(vgm, std::string(R"(<Chip id="0" type="SN76489"><W/>)") + c.chip +
                                   R"(<W v="1"/>)"));
        EXPECT_FALSE(vgm.track().playable);
        EXPECT_TRUE(vgm.track().chips.empty());
        EXPECT_EQ(vgm.logText().rfind(c.logLine, 0), 0u) << vgm.logText(); // first line
    }
}

TEST_F(VGMXVisitorTest, DocumentWithoutChipsIsNotPlayable) {
    for (const char* doc : {"", "<VGMX></VGMX>", "<W v=\"1\"/>", "<Chip id=\"0\" type=\"NOPE\">",
                            "not xml at all <<<>>> \"\"\""}) {
        SCOPED_TRACE(doc);
        VGMX vgm;
        EXPECT_FALSE(read(vgm, doc));
        EXPECT_FALSE(vgm.track().playable);
        EXPECT_NE(vgm.logText().find(*doc ? "VGMX: the document declares no chip\n"
                                          : "VGMX: the document cannot be read\n"),
                  std::string::npos);
    }
}

} // namespace
