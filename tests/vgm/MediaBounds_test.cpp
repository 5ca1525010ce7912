// Files far larger than any song are refused by every media reader before
// they are read: a sparse 3 GB file (no disk used) under each extension, with
// the tag its reader looks for, is opened in a child process whose memory
// peak is measured. And members claiming more than the bound are refused
// with the reason in the log.
#include "vgm/MediaFile.h"
#include "vgm/VGMX.h"

#include "support/BoundedCall.h"
#include "vantor/support/PrivateHome.h"
#include "vgm/support/VgmFixtures.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

using vgmtest::Bytes;

namespace {

constexpr uint64_t kSparseSize = 3ull << 30;
constexpr uint64_t kPeakLimitKb = 100 * 1024;

// The process's peak resident size in kB (VmHWM), 0 when unknown.
uint64_t peakKb() {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    uint64_t kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, "VmHWM:", 6) == 0) kb = std::strtoull(line + 6, nullptr, 10);
    std::fclose(f);
    return kb;
}

// Writes `head` and extends the file to `size` without writing the rest.
bool makeSparse(const std::string& path, const Bytes& head, uint64_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const bool ok = ::write(fd, head.data(), head.size()) == static_cast<ssize_t>(head.size()) &&
                    ::ftruncate(fd, static_cast<off_t>(size)) == 0;
    ::close(fd);
    return ok;
}

Bytes text(const char* s) {
    return Bytes(s, s + std::strlen(s));
}

class MediaBoundsTest : public testhome::Scratch {};

TEST_F(MediaBoundsTest, SparseHugeFilesAreRefusedWithLittleMemory) {
    struct Case {
        const char* extension;
        Bytes head;
        const char* logLine; // what the log must hold; null: refused for another reason
    };
    const Case cases[] = {
        {"vgm", text("Vgm "), "VGM: the file holds 3072 MB, more than the 128 MB"},
        {"vgz", text("Vgm "), "VGM: the file holds 3072 MB"},  // a .vgz that was never packed
        {"bin", {}, "Raw log: the file holds 3072 MB"},         // no tag to check
        {"dro", text("DBRAWOPL"), "DRO: the file holds 3072 MB"},
        {"vgmx", text("<Chip id=\"1\" type=\"YM2612\">"), "VGMX: the document holds 3072 MB"},
        {"vgm", text("Xgm "), "VGM: marker not found\n"},      // wrong tag: refused unread
        {"dro", text("DBRAWOPX"), nullptr},                     // wrong tag, as the reader says nothing
        {"vgz", {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 0, 3}, nullptr}, // gzip whose data is zeros
        {"zip", {'P', 'K', 3, 4, 20, 0}, "Archive:"},
        {"7z", {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C, 0, 4}, "Archive:"},
        {"ym", {'Y', 'M', '5', '!'}, "YM: not an archive"},
    };
    for (const Case& c : cases) {
        const std::string file = path(std::string("huge.") + c.extension);
        SCOPED_TRACE(file);
        ASSERT_TRUE(makeSparse(file, c.head, kSparseSize));
        const testsupport::Outcome outcome = testsupport::runBounded([&] {
            VGM::VGMX vgm;
            const bool opened = vgm.openFile(file);
            const uint64_t peak = peakKb();
            const bool said = !c.logLine || vgm.logText().find(c.logLine) != std::string::npos;
            if (opened || !said || peak == 0 || peak > kPeakLimitKb)
                std::fprintf(stderr, "opened %d, peak %llu kB, log: %s\n", opened,
                             static_cast<unsigned long long>(peak), vgm.logText().c_str());
            return !opened && said && peak > 0 && peak <= kPeakLimitKb;
        });
        EXPECT_EQ(outcome, testsupport::Outcome::kTrue) << testsupport::outcomeName(outcome);
        std::remove(file.c_str());
    }
}

// A size field alone never decides an allocation: a gzip claiming more than
// the bound is unpacked as far as its data goes and refused for the lie, and
// a zip member or a YM member claiming more is refused with the reason.
TEST_F(MediaBoundsTest, MembersClaimingMoreThanTheBoundAreRefusedWithTheReason) {
    Bytes packed = vgmtest::gzipBytes(vgmtest::minimalSong(), "song.vgm");
    const uint32_t claimed = 200u << 20; // ISIZE, the trailer's last four bytes
    for (int i = 0; i < 4; ++i) packed[packed.size() - 4 + i] = static_cast<uint8_t>(claimed >> (8 * i));
    const std::string vgz = path("claims.vgz");
    vgmtest::writeFile(vgz, packed);
    VGM::VGMX vgm;
    EXPECT_FALSE(vgm.openFile(vgz));
    const std::string lie = "not the 209715200 its trailer states; the file is damaged";
    EXPECT_NE(vgm.logText().find(lie), std::string::npos)
        << vgm.logText();

    // The same gzip as a song member of a zip: refused when it is loaded.
    const std::string zip = path("claims.zip");
    vgmtest::writeZip(zip, {{"a.vgz", packed}});
    VGM::VGMX pack;
    ASSERT_TRUE(pack.openFile(zip));
    EXPECT_FALSE(pack.loadMember(0).playable);
    EXPECT_NE(pack.logText().find(lie), std::string::npos) << pack.logText();
}

// A compressed data block of one bit per sample would decode to sixteen
// times its size; past the bound it is refused before anything is decoded.
TEST_F(MediaBoundsTest, CompressedDataBlockDecodingPastTheBoundIsRefused) {
    const uint32_t samples = (VGM::kMaxMediaBytes / 2) + 8; // 8-bit samples, kept as 16 bits
    Bytes block = {0, static_cast<uint8_t>(samples), static_cast<uint8_t>(samples >> 8),
                   static_cast<uint8_t>(samples >> 16), static_cast<uint8_t>(samples >> 24),
                   8, 1, 0, 0, 0}; // bit packing, 8 bits from 1, copy, add 0
    block.resize(block.size() + samples / 8 + 1, 0x55);
    const Bytes song = vgmtest::VgmFile()
                           .set32(0x0C, 3579545)
                           .set32(0x2C, 7670453)
                           .block(0x40, block)
                           .op({0x50, 0x9F})
                           .waitFrame()
                           .op({0x50, 0x80})
                           .end()
                           .bytes();
    const std::string file = path("packed-block.vgm");
    vgmtest::writeFile(file, song);
    VGM::VGMX vgm;
    EXPECT_FALSE(vgm.openFile(file));
    EXPECT_NE(vgm.logText().find("VGM: a compressed data block decoded holds 129 MB, more than the "
                                 "128 MB"),
              std::string::npos)
        << vgm.logText();
}

// A file that sends a new OKIM6295 phrase table again and again, each one
// moving every phrase over a 256 KB ROM, would have every phrase decoded anew
// for each table; the decoding stops at a bound with a log line.
TEST(MediaBounds, OkiPhraseTablesSentOverAndOverStopBeingDecoded) {
    auto romBlock = [](uint32_t size, uint32_t phraseStart) {
        Bytes b = {0x00, 0x00, 0x04, 0x00, 0, 0, 0, 0}; // ROM size 256 KB, start 0
        Bytes rom(size, 0x17);
        for (uint32_t phrase = 1; phrase < 128; ++phrase) {
            const uint8_t entry[6] = {static_cast<uint8_t>(phraseStart >> 16),
                                      static_cast<uint8_t>(phraseStart >> 8),
                                      static_cast<uint8_t>(phraseStart), 0x03, 0xFF, 0xFF};
            std::copy(entry, entry + 6, rom.begin() + phrase * 8);
        }
        b.insert(b.end(), rom.begin(), rom.end());
        return b;
    };
    vgmtest::VgmFile file;
    file.set32(0x98, 1000000).block(0x8B, romBlock(0x40000, 0x400));
    for (int i = 0; i < 40; ++i) file.block(0x8B, romBlock(0x400, 0x400 + (i & 1)));
    file.op({0x50, 0x9F}).waitFrame().end();
    const Bytes bytes = file.bytes();
    VGM::VGMX vgm;
    vgm.parseVgmBuffer(bytes.data(), bytes.size());
    EXPECT_NE(vgm.logText().find("VGM: the OKIM6295 phrase tables change too often to decode"),
              std::string::npos)
        << vgm.logText().substr(0, 400);
}

} // namespace
