#include "vgm/VGMX.h"

#include "vantor/support/PrivateHome.h"
#include "vgm/support/VgmFixtures.h"

#include <gtest/gtest.h>

using VGM::VGMX;
using vgmtest::Bytes;
using vgmtest::titledSong;
using vgmtest::VgmFile;

namespace {

class VGMXTest : public testhome::Scratch {};

TEST_F(VGMXTest, OpensByExtension) {
    const Bytes song = vgmtest::minimalSong();
    const Bytes packed = vgmtest::gzipBytes(song, "song.vgm");
    const Bytes rar = {'R', 'a', 'r', '!', 0x1A, 7, 0, 0};
    Bytes twoMembers = vgmtest::gzipBytes(Bytes(song.begin(), song.begin() + 200), "song.vgm");
    const Bytes rest = vgmtest::gzipBytes(Bytes(song.begin() + 200, song.end()), "");
    twoMembers.insert(twoMembers.end(), rest.begin(), rest.end());
    struct Case {
        const char* name;
        Bytes bytes;
        bool opens;
        const char* logLine;
    };
    const Case cases[] = {
        {"song.VGZ", packed, true, nullptr},   // extension compared in lower case
        {"x.gz", packed, true, nullptr},       // a gzip file is a compressed VGM
        {"x.vgm", song, true, nullptr},        // read whole
        {"plain.vgz", song, true, nullptr},    // a .vgz that was never compressed
        {"packed.vgm", packed, true, nullptr}, // and the other way round
        {"parts.vgz", twoMembers, true, nullptr}, // gzip members unpack as one
        {"x.rar", rar, false, "Archive:"},     // reaches the archive opener, which knows no rar
        {"x.vgmx", song, false, "VGMX: the file is not a document: it holds a zero byte"},
        {"x.dro", song, false, nullptr},                                  // no DRO tag
        {"x.ym", song, false, nullptr},                                   // not packed
        {"x.txt", song, false, nullptr},
        {"noextension", song, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = path(c.name);
        vgmtest::writeFile(file, c.bytes);
        VGMX vgm;
        EXPECT_EQ(vgm.openFile(file), c.opens) << vgm.logText();
        EXPECT_EQ(vgm.track().playable, c.opens);
        if (c.logLine) {
            EXPECT_NE(vgm.logText().find(c.logLine), std::string::npos) << vgm.logText();
        }
        if (c.opens) {
            EXPECT_EQ(vgmtest::describe(vgm.track().chips.at(0)), "S0 W0:00=9F W735:00=80 E0");
        }
    }
    VGMX missing;
    EXPECT_FALSE(missing.openFile(path("absent.vgm")));
}

TEST_F(VGMXTest, ZipArchiveKeepsSongsTextPlaylistAndPicture) {
    const Bytes png = {0x89, 'P', 'N', 'G', 13, 10, 26, 10, 0, 1};
    const std::string zip = path("pack.zip");
    vgmtest::writeZip(zip, {{"01 first.vgm", titledSong(u"First")},
                            {"notes.txt", {'h', 'i'}},
                            {"02 second.vgz", vgmtest::gzipBytes(titledSong(u"Second"), "")},
                            {"cover.png", png},
                            {"SHOUT.VGZ", titledSong(u"Upper")},
                            {"list.m3u", {'a'}},
                            {"03 third.gz", vgmtest::gzipBytes(titledSong(u"Third"), "x.vgm")}});
    VGMX vgm;
    ASSERT_TRUE(vgm.openFile(zip));
    EXPECT_EQ(vgm.getTrackCount(), 3u);
    EXPECT_EQ(vgm.pictureBuffer(), png);
    EXPECT_EQ(vgm.pictureSize(), png.size());
    EXPECT_EQ(vgm.textBuffer(), (Bytes{'h', 'i', 0}));
    EXPECT_EQ(vgm.playlistBuffer(), (Bytes{'a', 0}));
    const std::u16string titles[] = {u"First", u"Second", u"Third"};
    for (uint64_t i : {2u, 0u, 1u}) {
        const VGM::MediaTrack& track = vgm.loadMember(i);
        EXPECT_TRUE(track.playable) << i << vgm.logText();
        EXPECT_EQ(track.tags[VGM::kTagTrackName], titles[i]);
    }
    // Out of range: nothing happens.
    EXPECT_EQ(vgm.loadMember(3).tags[VGM::kTagTrackName], u"Second");
}

TEST_F(VGMXTest, SevenZipArchiveLoadsItsMembers) {
    const std::string file = path("pack.vgm7z");
    vgmtest::writeFile(file, vgmtest::sevenZipBytes({{"a.vgm", titledSong(u"A")},
                                                     {"b.vgm", titledSong(u"B")},
                                                     {"readme.txt", {'x'}}}));
    VGMX vgm;
    ASSERT_TRUE(vgm.openFile(file));
    ASSERT_EQ(vgm.getTrackCount(), 2u);
    EXPECT_EQ(vgm.loadMember(1).tags[VGM::kTagTrackName], u"B");
    EXPECT_EQ(vgm.loadMember(0).tags[VGM::kTagTrackName], u"A");
    EXPECT_EQ(vgm.textBuffer(), (Bytes{'x', 0}));
}

TEST_F(VGMXTest, ArchiveWithoutSongsOrWithBrokenSongs) {
    const std::string noSongs = path("art.zip");
    vgmtest::writeZip(noSongs, {{"readme.txt", {'x'}}, {"cover.png", {1, 2}}});
    VGMX empty;
    EXPECT_FALSE(empty.openFile(noSongs));
    EXPECT_EQ(empty.pictureBuffer(), (Bytes{1, 2}));
    EXPECT_EQ(empty.logText(), "Archive: the archive holds no song (no .vgm, .vgz or .gz member)\n");

    Bytes broken = titledSong(u"Broken");
    broken[0] = 'X';
    const std::string mixed = path("mixed.zip");
    vgmtest::writeZip(mixed, {{"bad.vgm", broken}, {"good.vgm", titledSong(u"Good")}});
    VGMX vgm;
    ASSERT_TRUE(vgm.openFile(mixed));
    EXPECT_TRUE(vgm.loadMember(1).playable);
    EXPECT_FALSE(vgm.loadMember(0).playable);
    EXPECT_NE(vgm.logText().find("VGM: marker not found\n"), std::string::npos);
}

TEST_F(VGMXTest, TrackCountAndCopy) {
    VGMX fresh;
    EXPECT_EQ(fresh.getTrackCount(), 1u);
    const std::string file = path("a.vgm");
    vgmtest::writeFile(file, titledSong(u"Copied"));
    ASSERT_TRUE(fresh.openFile(file));
    const VGMX copy(fresh);
    EXPECT_EQ(copy.track().tags[VGM::kTagTrackName], u"Copied");
    EXPECT_EQ(copy.track().chips.size(), 1u);
    EXPECT_TRUE(copy.path().empty());
}

TEST(VGMXModel, AppendOperationsKeepTotalsAndFlags) {
    VGMX vgm;
    VGM::MediaChipRecord r;
    r.type = VGM::kChipYM2612;
    vgm.addChipRecord(r, true);
    VGM::PendingWaits waits;
    waits.advance(10);
    vgm.appendToChip(VGM::kChipYM2612, waits, 0x80, 0, 0x2B, 'W');
    waits.advance(5);
    vgm.appendToChip(VGM::kChipSN76489, waits, 0x9F, 0, 0, 'W'); // made when missing
    vgm.appendToChipDirect(VGM::kChipYM2612, 7, 0x01, 1, 0, 'W');
    vgm.closeAll(waits, VGM::kCommandEnd);
    const auto& fm = vgm.track().chips.at(VGM::kChipYM2612);
    EXPECT_EQ(vgmtest::describe(fm), "S0 W10:2B=80 W7:00=01@1 E5");
    EXPECT_EQ(fm.totalLength, 22u);
    EXPECT_TRUE(fm.hasRegister);
    EXPECT_TRUE(fm.hasPort);
    const auto& psg = vgm.track().chips.at(VGM::kChipSN76489);
    EXPECT_EQ(vgmtest::describe(psg), "W15:00=9F E0");
    EXPECT_FALSE(psg.hasRegister);
    EXPECT_FALSE(vgm.track().playable);
    EXPECT_TRUE(vgm.playable());
}

TEST(VGMXModel, ChipNamesAreMatchedExactly) {
    const std::pair<const char*, VGM::MediaChipType> cases[] = {
        {"YM2612", 5},  {"OPN2", 5},  {"ym2612", 100}, {"", 100},     {"SID", 77},
        {"VIC1", 77},   {"6581", 77}, {"CIA", 102},    {"6526", 102}, {"DAC", 84},
        {"YM2420", 30}, {"PSG", 31},  {"DCSG", 0},     {"L431C", 83}};
    for (const auto& [name, type] : cases) EXPECT_EQ(VGM::chipTypeForName(name), type) << name;
}

} // namespace
