#include "vgm/MetaContainer.h"

#include "vantor/support/PrivateHome.h"
#include "vgm/support/VgmFixtures.h"
#include "vgm/support/YmFixtures.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <zlib.h>

using vantor::MetaContainer;
using vantor::MetaMember;
using vgmtest::Bytes;

namespace {

Bytes pattern(size_t n, uint8_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 5));
    return b;
}

std::vector<std::string> names(const MetaContainer& box) {
    std::vector<std::string> out;
    for (const MetaMember& m : box.members) out.push_back(m.displayName);
    return out;
}

size_t countEntries(const std::string& dir) {
    size_t n = 0;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ++n;
        ::closedir(d);
    }
    return n;
}

class MetaContainerTest : public testhome::Scratch {};

// Every archive kind, from a path and from memory: listing, then each member
// unpacked to its exact bytes.
TEST_F(MetaContainerTest, ListsAndUnpacksEveryKindFromPathAndMemory) {
    const std::vector<std::pair<std::string, Bytes>> members = {
        {"a.vgm", pattern(3000, 1)}, {"b.txt", pattern(10, 2)}, {"c.vgz", pattern(70000, 3)}};
    struct Case {
        const char* name;
        Bytes bytes;
        MetaContainer::Kind kind;
        std::vector<std::pair<std::string, Bytes>> expected;
    };
    const Case cases[] = {
        {"zip", vgmtest::zipBytes(path("scratch.zip"), members), MetaContainer::kZip, members},
        {"7z", vgmtest::sevenZipBytes({members[0], {"", {}}, members[1], members[2]}),
         MetaContainer::k7z, members},
        {"lha", vgmtest::lhaStored(members), MetaContainer::kLha, members},
        {"gzip",
         vgmtest::gzipBytes(members[2].second, "song.vgm"),
         MetaContainer::kGzip,
         {{"song.vgm", members[2].second}}},
    };
    for (const Case& c : cases) {
        const std::string file = path(std::string("archive.") + c.name);
        vgmtest::writeFile(file, c.bytes);
        for (bool fromMemory : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (fromMemory ? " memory" : " path"));
            auto box = fromMemory ? std::make_unique<MetaContainer>(c.bytes.data(), c.bytes.size())
                                  : std::make_unique<MetaContainer>(file);
            ASSERT_TRUE(box->open());
            EXPECT_EQ(box->kind(), c.kind);
            ASSERT_EQ(box->members.size(), c.expected.size());
            // Walk backwards so the 7z reader has to start over for each member.
            for (size_t i = c.expected.size(); i-- > 0;) {
                EXPECT_EQ(box->members[i].displayName, c.expected[i].first);
                EXPECT_EQ(box->members[i].size, c.expected[i].second.size());
                Bytes out;
                ASSERT_TRUE(box->extractToVector(box->members[i], out)) << i;
                EXPECT_EQ(out, c.expected[i].second) << i;
                Bytes raw(out.size() + 4, 0xEE);
                ASSERT_TRUE(box->extractToMemory(box->members[i], raw.data()));
                EXPECT_TRUE(std::equal(out.begin(), out.end(), raw.begin()));
                EXPECT_EQ(raw.back(), 0xEE); // nothing written past the member
            }
        }
    }
}

// Members named beyond ASCII are listed, with their names in UTF-8, in a
// process that never set its locale, and every member keeps its number: a 7z
// stores its names in UTF-16, an LHA in bytes whose character set it does
// not say.
TEST_F(MetaContainerTest, MemberNamesBeyondAsciiAreListed) {
    const std::string name = "Caf\xC3\xA9 \xE3\x83\x86.vgm";
    const std::vector<std::pair<std::string, Bytes>> members = {{name, pattern(9, 1)},
                                                                {"plain.vgm", pattern(9, 2)}};
    for (const Bytes& archive : {vgmtest::sevenZipBytes(members), vgmtest::lhaStored(members)}) {
        MetaContainer box(archive.data(), archive.size());
        ASSERT_TRUE(box.open());
        EXPECT_EQ(names(box), (std::vector<std::string>{name, "plain.vgm"}));
        Bytes out;
        ASSERT_TRUE(box.extractToVector(box.members[1], out));
        EXPECT_EQ(out, pattern(9, 2));
    }
    // Names in another character set (Latin-1 here, Shift JIS the same) are
    // read byte for byte as Latin-1.
    const Bytes latin1 = vgmtest::lhaStored({{"Caf\xE9.vgm", pattern(9, 1)},
                                             {"\x82\xA0.vgm", pattern(9, 2)}});
    MetaContainer box(latin1.data(), latin1.size());
    ASSERT_TRUE(box.open());
    EXPECT_EQ(names(box), (std::vector<std::string>{"Caf\xC3\xA9.vgm", "\xC2\x82\xC2\xA0.vgm"}));
    Bytes out;
    ASSERT_TRUE(box.extractToVector(box.members[1], out));
    EXPECT_EQ(out, pattern(9, 2));
}

TEST_F(MetaContainerTest, GzipMemberNameComesFromHeaderPathOrFallback) {
    const Bytes song = pattern(500, 9);
    const std::string named = path("named.vgz");
    const std::string bare = path("song.vgz");
    vgmtest::writeFile(named, vgmtest::gzipBytes(song, "song.vgm"));
    const Bytes anonymous = vgmtest::gzipBytes(song, "");
    vgmtest::writeFile(bare, anonymous);

    MetaContainer fromName(named);
    ASSERT_TRUE(fromName.open());
    EXPECT_EQ(names(fromName), std::vector<std::string>{"song.vgm"});
    EXPECT_EQ(fromName.members[0].size, 500u);

    MetaContainer fromPath(bare);
    ASSERT_TRUE(fromPath.open());
    EXPECT_EQ(names(fromPath), std::vector<std::string>{path("song")});

    MetaContainer fromMemory(anonymous.data(), anonymous.size());
    ASSERT_TRUE(fromMemory.open());
    EXPECT_EQ(names(fromMemory), std::vector<std::string>{"gzextract_noname.bin"});
}

// Headers with every optional field, and streams that lie about themselves.
TEST_F(MetaContainerTest, GzipHeaderFieldsAndBrokenStreams) {
    const Bytes song = pattern(2000, 4);
    const Bytes good = vgmtest::gzipBytes(song, "");
    const Bytes deflate(good.begin() + 10, good.end() - 8);
    const Bytes trailer(good.end() - 8, good.end());

    // FEXTRA, FNAME, FCOMMENT and FHCRC together.
    Bytes full = {0x1F, 0x8B, 0x08, 0x1E, 0, 0, 0, 0, 0, 3, 3, 0, 'x', 'y', 'z'};
    for (char c : std::string("in.vgm")) full.push_back(static_cast<uint8_t>(c));
    full.push_back(0);
    for (char c : std::string("comment")) full.push_back(static_cast<uint8_t>(c));
    full.push_back(0);
    full.push_back(0x12);
    full.push_back(0x34);
    full.insert(full.end(), deflate.begin(), deflate.end());
    full.insert(full.end(), trailer.begin(), trailer.end());
    MetaContainer fullBox(full.data(), full.size());
    ASSERT_TRUE(fullBox.open());
    EXPECT_EQ(names(fullBox), std::vector<std::string>{"in.vgm"});
    Bytes out;
    ASSERT_TRUE(fullBox.extractToVector(fullBox.members[0], out));
    EXPECT_EQ(out, song);

    struct Broken {
        const char* what;
        Bytes bytes;
        bool opens;
    };
    Bytes cutShort(good.begin(), good.begin() + good.size() / 2);
    cutShort.insert(cutShort.end(), trailer.begin(), trailer.end());
    Bytes hugeSize = good;
    hugeSize[hugeSize.size() - 1] = 0xFF; // ISIZE near 4 GiB
    Bytes smallSize = good;
    smallSize[smallSize.size() - 4] = 10;
    smallSize[smallSize.size() - 3] = 0;
    Bytes zeroSize = good;
    std::fill(zeroSize.end() - 4, zeroSize.end(), 0);
    const Bytes headerOnly(good.begin(), good.begin() + 12);
    const Bytes nameRunsOff = {0x1F, 0x8B, 0x08, 0x08, 0,   0,   0,   0,   0,  3,
                               'a',  'b',  'c',  'd',  'e', 'f', 'g', 'h', 'i'};
    const Bytes extraRunsOff = {0x1F, 0x8B, 0x08, 0x04, 0, 0, 0, 0, 0, 3,
                                0xFF, 0xFF, 1,    2,    3, 4, 5, 6, 7, 8};
    const Broken cases[] = {
        {"stream ends early", cutShort, true},
        {"ISIZE too large", hugeSize, true},
        {"ISIZE too small", smallSize, true},
        {"ISIZE zero", zeroSize, true},
        {"header only", headerOnly, false},
        {"name runs off the end", nameRunsOff, false},
        {"extra runs off the end", extraRunsOff, false},
    };
    for (const Broken& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool fromMemory : {false, true}) {
            const std::string file = path("broken.gz");
            vgmtest::writeFile(file, c.bytes);
            auto box = fromMemory ? std::make_unique<MetaContainer>(c.bytes.data(), c.bytes.size())
                                  : std::make_unique<MetaContainer>(file);
            ASSERT_EQ(box->open(), c.opens);
            if (!c.opens) continue;
            Bytes bytes;
            EXPECT_FALSE(box->extractToVector(box->members[0], bytes));
        }
    }
}

// A gzip file may hold several members, which unpack one after the other
// into one file; each is checked against its trailer's CRC-32 and size, and
// the whole is bounded while it unpacks, whatever the trailers claim.
TEST_F(MetaContainerTest, GzipMembersUnpackAsOneAndEachIsChecked) {
    const Bytes head = pattern(3000, 1), tail = pattern(700, 2);
    Bytes whole = head;
    whole.insert(whole.end(), tail.begin(), tail.end());
    const Bytes first = vgmtest::gzipBytes(head, "song.vgm");
    const Bytes second = vgmtest::gzipBytes(tail, "");
    auto join = [](std::initializer_list<Bytes> parts) {
        Bytes out;
        for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
        return out;
    };
    Bytes badCrc = join({first, second});
    badCrc[first.size() + second.size() - 8] ^= 0x01; // the second member's CRC-32
    Bytes shortStream = first;
    shortStream[shortStream.size() - 4] += 1; // ISIZE one more than the stream gives
    const Bytes cut(first.begin(), first.end() - 3);
    Bytes cutData = join({first, Bytes(second.begin(), second.begin() + second.size() / 2)});
    // A megabyte of zeros deflates to about a kilobyte: 129 of those members
    // unpack past the bound, though every trailer tells of one megabyte.
    const Bytes megabyte = vgmtest::gzipBytes(Bytes(1u << 20, 0), "");
    Bytes bomb;
    for (int i = 0; i < 129; ++i) bomb.insert(bomb.end(), megabyte.begin(), megabyte.end());

    struct Case {
        const char* what;
        Bytes file;
        Bytes unpacked;      // when it unpacks
        const char* refusal; // else the refusal text holds this
    };
    const Case cases[] = {
        {"two members", join({first, second}), whole, nullptr},
        {"two members and trailing zeros", join({first, second, Bytes(16, 0)}), whole, nullptr},
        // The last four bytes, taken for the size, tell of more than there is.
        {"one member and trailing bytes", join({first, Bytes{0, 0, 0, 0, 0x00, 0x40, 0, 0}}), head,
         nullptr},
        {"CRC-32 of the second member wrong", badCrc, {},
         "Gzip: the data of member 2 fails its CRC-32 check; the file is damaged\n"},
        {"stated size larger than the stream", shortStream, {},
         "Gzip: member 1 unpacks to 3000 bytes, not the 3001 its trailer states"},
        {"trailer cut", cut, {}, "Gzip: the file ends inside the trailer of member 1"},
        {"second member cut", cutData, {},
         "Gzip: the file ends inside the compressed data of member 2; it is cut short"},
        {"bomb of many members", bomb, {},
         "Gzip: the data unpacks past 128 MB, the most a media file may hold; it is refused"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string file = path("members.vgz");
        vgmtest::writeFile(file, c.file);
        for (bool fromMemory : {false, true}) {
            SCOPED_TRACE(fromMemory ? "memory" : "file");
            auto box = fromMemory ? std::make_unique<MetaContainer>(c.file.data(), c.file.size())
                                  : std::make_unique<MetaContainer>(file);
            ASSERT_TRUE(box->open());
            ASSERT_EQ(box->members.size(), 1u);
            Bytes out;
            const bool ok = box->extractToVector(box->members[0], out);
            if (!c.refusal) {
                EXPECT_TRUE(ok) << box->refusal();
                EXPECT_EQ(out, c.unpacked);
            } else {
                EXPECT_FALSE(ok);
                EXPECT_NE(box->refusal().find(c.refusal), std::string::npos) << box->refusal();
            }
        }
    }
}

TEST_F(MetaContainerTest, UnrecognisedDataIsRefused) {
    const Bytes fourBytes = {'P', 'K', 3, 4};
    const std::string shortZip = path("short.zip");
    vgmtest::writeFile(shortZip, fourBytes);
    EXPECT_FALSE(MetaContainer(shortZip).open());
    EXPECT_FALSE(MetaContainer(fourBytes.data(), fourBytes.size()).open());
    const Bytes rar = {'R', 'a', 'r', '!', 0x1A, 7, 0, 0};
    EXPECT_FALSE(MetaContainer(rar.data(), rar.size()).open());
    EXPECT_FALSE(MetaContainer(path("missing.zip")).open());
    EXPECT_FALSE(MetaContainer().open());
}

// The central directory promises three entries but the second is damaged.
TEST_F(MetaContainerTest, ZipWithUnreadableEntryListsWhatPrecedesIt) {
    Bytes zip = vgmtest::zipBytes(path("s.zip"), {{"one.vgm", pattern(100, 1)},
                                                  {"two.vgm", pattern(100, 2)},
                                                  {"three.vgm", pattern(100, 3)}});
    const uint8_t central[] = {'P', 'K', 1, 2};
    auto first = std::search(zip.begin(), zip.end(), central, central + 4);
    auto second = std::search(first + 4, zip.end(), central, central + 4);
    ASSERT_NE(second, zip.end());
    second[2] = 9;
    MetaContainer box(zip.data(), zip.size());
    EXPECT_FALSE(box.open());
    EXPECT_EQ(names(box), std::vector<std::string>{"one.vgm"});
}

TEST_F(MetaContainerTest, ZipMemberWithBadCrcOrLyingSizeFails) {
    const Bytes data = pattern(4000, 5);
    Bytes zip = vgmtest::zipBytes(path("s.zip"), {{"a.vgm", data}});
    Bytes badCrc = zip;
    badCrc[14] ^= 0xFF; // CRC in the local header
    const uint8_t central[] = {'P', 'K', 1, 2};
    auto dir = std::search(badCrc.begin(), badCrc.end(), central, central + 4);
    dir[16] ^= 0xFF; // and in the directory entry
    MetaContainer crcBox(badCrc.data(), badCrc.size());
    ASSERT_TRUE(crcBox.open());
    Bytes out;
    EXPECT_FALSE(crcBox.extractToVector(crcBox.members[0], out));

    Bytes huge = zip;
    dir = std::search(huge.begin(), huge.end(), central, central + 4);
    dir[24] = 0xFF; // uncompressed size in the directory: 0xFF......
    dir[27] = 0x7F;
    MetaContainer hugeBox(huge.data(), huge.size());
    ASSERT_TRUE(hugeBox.open());
    EXPECT_FALSE(hugeBox.extractToVector(hugeBox.members[0], out));
    EXPECT_LT(out.capacity(), 1u << 20);
}

TEST_F(MetaContainerTest, ZipInMemoryLeavesNoTemporaryFile) {
    const std::string temp = testhome::root() + "/tmp";
    const size_t before = countEntries(temp);
    const Bytes zip = vgmtest::zipBytes(path("s.zip"), {{"a.vgm", pattern(10, 1)}});
    {
        MetaContainer box(zip.data(), zip.size());
        ASSERT_TRUE(box.open());
        ASSERT_TRUE(box.open()); // opened again: still one copy
        EXPECT_EQ(countEntries(temp), before + 1);
    }
    EXPECT_EQ(countEntries(temp), before);

    // A file of the user's that merely ends in ".deleteme" is left alone.
    const std::string own = path("mine.deleteme");
    vgmtest::writeFile(own, zip);
    { ASSERT_TRUE(MetaContainer(own).open()); }
    EXPECT_EQ(vgmtest::readFile(own), zip);
}

TEST_F(MetaContainerTest, SevenZipEmptyMemberCannotBeUnpacked) {
    const Bytes archive = vgmtest::sevenZipBytes({{"empty.vgm", {}}, {"full.vgm", pattern(9, 1)}});
    MetaContainer box(archive.data(), archive.size());
    ASSERT_TRUE(box.open());
    ASSERT_EQ(box.members.size(), 2u);
    for (const MetaMember& m : box.members) {
        Bytes out;
        EXPECT_EQ(box.extractToVector(m, out), m.size != 0) << m.displayName;
    }
}

TEST_F(MetaContainerTest, SevenZipCutShortGivesNoMembersOrFailedUnpacking) {
    const Bytes archive = vgmtest::sevenZipBytes({{"a.vgm", pattern(5000, 1)}});
    for (size_t keep : {size_t{40}, archive.size() / 2, archive.size() - 1}) {
        const Bytes cut(archive.begin(), archive.begin() + keep);
        MetaContainer box(cut.data(), cut.size());
        if (!box.open()) continue;
        Bytes out;
        EXPECT_FALSE(box.extractToVector(box.members[0], out)) << keep;
    }
}

// LHA is recognised by the method id of its first header, and its data is
// checked against the header's CRC and sizes.
TEST_F(MetaContainerTest, LhaCutShortOrCorruptGivesNoMembersOrFailedUnpacking) {
    const Bytes data = pattern(600, 4);
    const Bytes archive = vgmtest::lhaStored({{"a.ym", data}});
    Bytes badCrc = archive;
    badCrc[archive.size() - 2] ^= 0x01; // the last data byte
    Bytes noMethod = archive;
    noMethod[4] = 'x'; // "-lx0-" is no LHA method
    EXPECT_FALSE(MetaContainer(noMethod.data(), noMethod.size()).open());

    std::vector<Bytes> broken = {badCrc};
    for (size_t keep : {size_t{22}, size_t{40}, archive.size() / 2, archive.size() - 2})
        broken.emplace_back(archive.begin(), archive.begin() + keep);
    for (const Bytes& b : broken) {
        MetaContainer box(b.data(), b.size());
        if (!box.open()) continue;
        ASSERT_EQ(box.members.size(), 1u);
        Bytes out;
        EXPECT_FALSE(box.extractToVector(box.members[0], out)) << b.size();
    }
}

TEST_F(MetaContainerTest, ExtractToFileStaysInsideTheFolder) {
    const Bytes zip = vgmtest::zipBytes(
        path("s.zip"), {{"ok.vgm", pattern(5, 1)}, {"../escape.vgm", pattern(5, 2)}});
    MetaContainer box(zip.data(), zip.size());
    ASSERT_TRUE(box.open());
    ASSERT_EQ(box.members.size(), 2u);
    const std::string out = path("out");
    ASSERT_EQ(::mkdir(out.c_str(), 0755), 0);
    EXPECT_TRUE(box.extractToFile(box.members[0], out));
    EXPECT_EQ(vgmtest::readFile(out + "/ok.vgm"), pattern(5, 1));
    EXPECT_FALSE(box.extractToFile(box.members[1], out));
    EXPECT_TRUE(vgmtest::readFile(dir + "/escape.vgm").empty());
}

TEST(InflateRawBuffer, NeedsTheWholeStreamInsideTheOutput) {
    const Bytes data = pattern(1000, 3);
    const Bytes gz = vgmtest::gzipBytes(data, "");
    const Bytes deflate(gz.begin() + 10, gz.end() - 8);
    Bytes out(1000);
    EXPECT_TRUE(vantor::inflateRawBuffer(deflate.data(), deflate.size(), out.data(), out.size()));
    EXPECT_EQ(out, data);
    Bytes small(999);
    EXPECT_FALSE(
        vantor::inflateRawBuffer(deflate.data(), deflate.size(), small.data(), small.size()));
    EXPECT_FALSE(
        vantor::inflateRawBuffer(deflate.data(), deflate.size() / 2, out.data(), out.size()));
}

} // namespace
