#include "vgm/YmReader.h"

#include "vantor/support/PrivateHome.h"
#include "vgm/VGMX.h"
#include "vgm/support/YmFixtures.h"

#include <gtest/gtest.h>

#include <cstdio>

using VGM::VGMX;
using vgmtest::Bytes;
using vgmtest::YmSong;

namespace {

bool hasLoopFrame(const YmSong& s) {
    return s.tag != "YM2!" && s.tag != "YM3!";
}

// What the player must see for a fixture song: 'S', then per frame the
// loop point where it falls and the 14 register writes, without the shape
// writes of 0xFF. Frame f sounds at tick f: its first command waits one tick
// (frame 0 none), and the 'E' after the last frame waits one more, so the
// last frame is heard for its tick.
std::string expectedCommands(const YmSong& s) {
    std::string out = "S0";
    char item[24];
    for (uint32_t f = 0; f < s.frames; ++f) {
        int wait = f == 0 ? 0 : 1;
        if (hasLoopFrame(s) && f == s.loopFrame) {
            out += " L" + std::to_string(wait);
            wait = 0;
        }
        for (int r = 0; r < 14; ++r) {
            const uint8_t v = vgmtest::ymValue(f, r);
            if (r == 13 && v == 0xFF) continue;
            std::snprintf(item, sizeof item, " W%d:%02X=%02X", r == 0 ? wait : 0, r, v);
            out += item;
        }
    }
    return out + " E1";
}

class YmReaderTest : public testhome::Scratch {};

// Every YM kind, in every container it comes in: the decoded register
// writes, the chip's clock and rate, the loop and the tags.
TEST_F(YmReaderTest, DecodesEveryKindFromEveryContainer) {
    YmSong ym3;
    ym3.tag = "YM3!";
    YmSong ym2 = ym3;
    ym2.tag = "YM2!";
    YmSong ym3b = ym3;
    ym3b.tag = "YM3b";
    ym3b.loopFrame = 5;
    YmSong ym4;
    ym4.tag = "YM4!";
    ym4.loopFrame = 2;
    ym4.digidrums = {Bytes(7, 1), Bytes(3, 2)};
    ym4.interleaved = false;
    YmSong ym6flat = vgmtest::packedYm6();
    ym6flat.interleaved = false;
    YmSong ym5 = vgmtest::packedYm5();
    const Bytes lh5Five = vgmtest::fixtureFile("ym5.lzh");
    const Bytes lh5Six = vgmtest::fixtureFile("ym6.lzh");
    for (const Bytes* lzh : {&lh5Five, &lh5Six}) {
        ASSERT_GT(lzh->size(), 7u) << "checked-in LHA fixture missing";
        EXPECT_EQ(std::string(lzh->begin() + 2, lzh->begin() + 7), "-lh5-");
    }

    struct Case {
        const char* file;
        YmSong song;
        Bytes archive; // empty: the song in a zip
        uint32_t clock;
        int32_t rate;
    };
    const Case cases[] = {
        {"five.ym", ym5, {}, 2000000, 50},
        {"six.ym", vgmtest::packedYm6(), {}, 1773400, 60},
        {"five-lh5.ym", ym5, lh5Five, 2000000, 50},
        {"six-lh5.ym", vgmtest::packedYm6(), lh5Six, 1773400, 60},
        {"six-lh0.ym", vgmtest::packedYm6(),
         vgmtest::lhaStored({{"x.ym", ymBytes(vgmtest::packedYm6())}}), 1773400, 60},
        {"six-flat.ym", ym6flat, {}, 1773400, 60},
        // The early kinds are Atari ST songs: 2 MHz and 50 frames a second.
        {"three.ym", ym3, {}, 2000000, 50},
        {"two.ym", ym2, vgmtest::sevenZipBytes({{"two.ym", ymBytes(ym2)}}), 2000000, 50},
        {"three-b.ym", ym3b, vgmtest::gzipBytes(ymBytes(ym3b), "a.ym"), 2000000, 50},
        {"four.ym", ym4, {}, 2000000, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string file = path(c.file);
        if (c.archive.empty())
            vgmtest::writeZip(file, {{"song.ym", ymBytes(c.song)}});
        else
            vgmtest::writeFile(file, c.archive);
        VGMX vgm;
        ASSERT_TRUE(vgm.openFile(file)) << vgm.logText();
        const VGM::MediaTrack& track = vgm.track();
        EXPECT_TRUE(track.playable);
        EXPECT_EQ(vgm.path(), file);
        ASSERT_EQ(track.chips.size(), 1u);
        const VGM::MediaChipRecord& chip = track.chips.at(VGM::kChipAY8910);
        EXPECT_EQ(chip.name, "AY-3-8910");
        EXPECT_EQ(chip.clock, c.clock);
        EXPECT_EQ(chip.commandRate, c.rate);
        EXPECT_EQ(vgmtest::describe(chip), expectedCommands(c.song));
        EXPECT_EQ(chip.totalLength, c.song.frames);

        const std::string tag = c.song.tag;
        EXPECT_EQ(track.tags[VGM::kTagGameName],
                  std::u16string(tag.begin(), tag.end()) + u" import");
        const std::string stem = std::string(c.file).substr(0, std::string(c.file).size() - 3);
        EXPECT_EQ(track.tags[VGM::kTagTrackName], std::u16string(stem.begin(), stem.end()));
        if (tag >= "YM4!" && tag != "YM3b") {
            EXPECT_EQ(track.tags[VGM::kTagAuthor],
                      std::u16string(c.song.author.begin(), c.song.author.end()));
            EXPECT_EQ(track.tags[VGM::kTagNotes],
                      std::u16string(c.song.comment.begin(), c.song.comment.end()));
        }
    }
}

// A small song written out by hand: register data interleaved, the shape
// register written in frame 0 and left alone (0xFF) in frame 1.
TEST_F(YmReaderTest, InterleavedRegistersAndUntouchedEnvelope) {
    Bytes ym = {'Y', 'M', '3', '!'};
    for (int r = 0; r < 14; ++r) {
        ym.push_back(static_cast<uint8_t>(r == 13 ? 0x0E : r));        // frame 0
        ym.push_back(static_cast<uint8_t>(r == 13 ? 0xFF : 0x10 + r)); // frame 1
    }
    const std::string file = path("hand.ym");
    vgmtest::writeZip(file, {{"hand.ym", ym}});
    VGMX vgm;
    ASSERT_TRUE(vgm.openFile(file));
    EXPECT_EQ(vgmtest::describe(vgm.track().chips.at(VGM::kChipAY8910)),
              "S0 W0:00=00 W0:01=01 W0:02=02 W0:03=03 W0:04=04 W0:05=05 W0:06=06 W0:07=07 "
              "W0:08=08 W0:09=09 W0:0A=0A W0:0B=0B W0:0C=0C W0:0D=0E "
              "W1:00=10 W0:01=11 W0:02=12 W0:03=13 W0:04=14 W0:05=15 W0:06=16 W0:07=17 "
              "W0:08=18 W0:09=19 W0:0A=1A W0:0B=1B W0:0C=1C E1");
    EXPECT_EQ(vgm.track().loop.marker, -1); // a YM3 has no loop frame
}

TEST_F(YmReaderTest, LoopFrameMarksTheLoopCommand) {
    YmSong s;
    s.tag = "YM5!";
    s.frames = 100;
    s.loopFrame = 50;
    const std::string file = path("loop.ym");
    vgmtest::writeZip(file, {{"loop.ym", ymBytes(s)}});
    VGMX vgm;
    ASSERT_TRUE(vgm.openFile(file));
    const VGM::MediaChipRecord& chip = vgm.track().chips.at(VGM::kChipAY8910);
    ASSERT_GT(chip.loopIndex, 0);
    const auto& c = chip.commands;
    EXPECT_EQ(c[static_cast<size_t>(chip.loopIndex)].kind, VGM::kCommandLoop);
    // 'S', then 50 frames of writes before the loop point.
    size_t writes = 0;
    for (size_t i = 0; i < static_cast<size_t>(chip.loopIndex); ++i)
        writes += c[i].kind == VGM::kCommandWrite;
    EXPECT_EQ(static_cast<int64_t>(writes) + 1, chip.loopIndex);
    EXPECT_EQ(vgmtest::describe(chip, static_cast<size_t>(chip.loopIndex), 2), "L1 W0:00=97");
    EXPECT_EQ(c.back().kind, VGM::kCommandEnd);
    EXPECT_EQ(vgm.track().loop.startTicks, 50u);
    EXPECT_EQ(vgm.track().loop.marker, 100);
}

// YM songs are taken from an archive of exactly one member only.
TEST_F(YmReaderTest, RefusesBareFilesAndArchivesOfSeveralMembers) {
    const Bytes ym = ymBytes(vgmtest::packedYm5());
    const std::string bare = path("bare.ym");
    vgmtest::writeFile(bare, ym);
    const std::string two = path("two.ym");
    vgmtest::writeZip(two, {{"a.ym", ym}, {"b.ym", ym}});
    const std::string twoLha = path("two-lha.ym");
    vgmtest::writeFile(twoLha, vgmtest::lhaStored({{"a.ym", ym}, {"b.ym", ym}}));
    for (const std::string& file : {bare, two, twoLha, path("missing.ym")}) {
        VGMX vgm;
        EXPECT_FALSE(vgm.openFile(file)) << file;
        EXPECT_FALSE(vgm.track().playable);
        EXPECT_TRUE(vgm.track().chips.empty());
    }
}

} // namespace
