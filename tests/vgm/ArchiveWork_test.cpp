// The work of opening an archive and loading its songs, counted by the
// container (entries looked at, bytes decompressed, libarchive walks): it
// grows with the members once, never with members times members, and only
// the members that are used are unpacked.
#include "vgm/VGMX.h"

#include "vantor/support/PrivateHome.h"
#include "vgm/support/VgmFixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using vantor::MetaContainer;
using vgmtest::Bytes;
using Members = std::vector<std::pair<std::string, Bytes>>;

namespace {

Bytes textOf(size_t n, int seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>('a' + (i * 7 + seed) % 26);
    return b;
}

// `count` text members of `size` bytes, then the songs.
Members textsThenSongs(size_t count, size_t size, const std::vector<std::u16string>& titles) {
    Members m;
    for (size_t i = 0; i < count; ++i)
        m.push_back({"notes" + std::to_string(i) + ".txt", textOf(size, static_cast<int>(i))});
    for (const std::u16string& t : titles)
        m.push_back({std::string(t.begin(), t.end()) + ".vgm", vgmtest::titledSong(t)});
    return m;
}

class ArchiveWorkTest : public testhome::Scratch {};

// Opening a zip looks at each directory entry once and unpacks only the last
// text member; each song load goes straight to its entry.
TEST_F(ArchiveWorkTest, ZipOpensInOneDirectoryPassAndReachesMembersByPosition) {
    for (size_t count : {200u, 800u}) {
        SCOPED_TRACE(count);
        const std::string file = path("texts" + std::to_string(count) + ".zip");
        const Members members = textsThenSongs(count, 120, {u"One", u"Two"});
        vgmtest::writeZip(file, members);
        VGM::VGMX vgm;
        ASSERT_TRUE(vgm.openFile(file));
        const MetaContainer::Work& work = vgm.container()->work();
        const uint64_t entries = members.size();
        EXPECT_EQ(work.entriesVisited, entries + 1); // the listing, then the last text
        EXPECT_EQ(work.bytesUnpacked, 120u);
        Bytes expected = members[count - 1].second;
        expected.push_back(0);
        EXPECT_EQ(vgm.textBuffer(), expected);

        EXPECT_EQ(vgm.loadMember(1).tags[VGM::kTagTrackName], u"Two");
        EXPECT_EQ(vgm.loadMember(0).tags[VGM::kTagTrackName], u"One");
        EXPECT_EQ(work.entriesVisited, entries + 3);
        EXPECT_EQ(work.bytesUnpacked, 120u + members[count].second.size() +
                                          members[count + 1].second.size());
    }
}

// A solid 7z is walked once at open: the headers, then one walk that unpacks
// what lies before the last text member. Songs loaded in archive order go on
// from there; only going back starts a new walk.
TEST_F(ArchiveWorkTest, SolidSevenZipIsWalkedOnceInArchiveOrder) {
    const size_t count = 200, size = 4096;
    Members members = textsThenSongs(count, size, {u"A", u"B", u"C"});
    members.push_back({"last.txt", textOf(10, 99)});
    const std::string file = path("solid.7z");
    vgmtest::writeFile(file, vgmtest::sevenZipBytes(members));

    VGM::VGMX vgm;
    ASSERT_TRUE(vgm.openFile(file));
    const MetaContainer::Work& work = vgm.container()->work();
    uint64_t total = 0;
    for (const auto& [name, bytes] : members) total += bytes.size();
    EXPECT_EQ(work.walks, 2u);
    EXPECT_EQ(work.entriesVisited, 2 * members.size()); // listed, then walked to the end
    EXPECT_EQ(work.bytesUnpacked, total);                 // every byte once
    Bytes lastText = textOf(10, 99);
    lastText.push_back(0);
    EXPECT_EQ(vgm.textBuffer(), lastText);

    // The reader stands at the end: the first song starts one new walk, the
    // others follow it.
    const std::u16string titles[] = {u"A", u"B", u"C"};
    for (uint64_t i = 0; i < 3; ++i) EXPECT_EQ(vgm.loadMember(i).tags[VGM::kTagTrackName], titles[i]);
    EXPECT_EQ(work.walks, 3u);
    const uint64_t songs = members[count].second.size() + members[count + 1].second.size() +
                           members[count + 2].second.size();
    EXPECT_EQ(work.bytesUnpacked, 2 * total - 10); // the texts again on the way, then the songs
    EXPECT_EQ(work.bytesUnpacked - total, count * size + songs);
    EXPECT_EQ(vgm.loadMember(1).tags[VGM::kTagTrackName], u"B"); // behind the reader
    EXPECT_EQ(work.walks, 4u);
    // The member the track holds is not unpacked again.
    const uint64_t unpacked = work.bytesUnpacked;
    EXPECT_EQ(vgm.loadMember(1).tags[VGM::kTagTrackName], u"B");
    EXPECT_EQ(work.walks, 4u);
    EXPECT_EQ(work.bytesUnpacked, unpacked);
}

// The same song gives the same track as a plain file, gzip-packed, and as a
// member of a zip and of a 7z archive.
TEST_F(ArchiveWorkTest, ASongReadsTheSameFromEveryContainer) {
    const Bytes song = vgmtest::VgmFile()
                           .set32(0x0C, 3579545)
                           .op({0x50, 0x9F})
                           .waitFrame()
                           .op({0x50, 0x80})
                           .wait(1000)
                           .end()
                           .bytes();
    const Members members = {{"readme.txt", {'r'}}, {"song.vgm", song}};
    vgmtest::writeFile(path("song.vgm"), song);
    vgmtest::writeFile(path("song.vgz"), vgmtest::gzipBytes(song, "song.vgm"));
    vgmtest::writeZip(path("song.zip"), members);
    vgmtest::writeFile(path("song.7z"), vgmtest::sevenZipBytes(members));
    std::string reference;
    for (const char* name : {"song.vgm", "song.vgz", "song.zip", "song.7z"}) {
        SCOPED_TRACE(name);
        VGM::VGMX vgm;
        ASSERT_TRUE(vgm.openFile(path(name))) << vgm.logText();
        const VGM::MediaTrack& track = vgm.container() ? vgm.loadMember(0) : vgm.track();
        ASSERT_TRUE(track.playable);
        const std::string described = vgmtest::describe(track.chips.at(VGM::kChipSN76489));
        if (reference.empty()) reference = described;
        EXPECT_EQ(described, reference);
    }
    EXPECT_EQ(reference, "S0 W0:00=9F W735:00=80 E1000");
}

} // namespace
