// Broken VGM files: every size field too large, files cut short at every
// header field, data blocks that claim more than the file holds. Each must
// end in a clear result with a log line, never a crash, a hang or a huge
// allocation. The suite also runs under the sanitizer build.

#include "vgm/VGMX.h"

#include "vgm/support/VgmFixtures.h"

#include <gtest/gtest.h>

using VGM::VGMX;
using vgmtest::Bytes;
using vgmtest::VgmFile;

namespace {

Bytes with32(Bytes b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
    return b;
}

VgmFile psg() {
    VgmFile f;
    f.set32(0x0C, 3579545).op({0x50, 0x9F, 0x50, 0x80});
    return f;
}

Bytes compressedHeader(uint8_t method, uint32_t unpacked, uint8_t bitsDec, uint8_t bitsComp,
                       uint8_t subType) {
    return {method,
            static_cast<uint8_t>(unpacked),
            static_cast<uint8_t>(unpacked >> 8),
            static_cast<uint8_t>(unpacked >> 16),
            static_cast<uint8_t>(unpacked >> 24),
            bitsDec,
            bitsComp,
            subType,
            0,
            0};
}

struct Broken {
    const char* what;
    Bytes bytes;
    bool ok;
    const char* logLine; // expected in the log text, or null
};

std::vector<Broken> brokenFiles() {
    const Bytes good = psg().end().bytes();
    const Bytes smallTable = {0x00, 0x00, 8, 2, 2, 0, 10, 20};
    const Bytes twoBitCodes = compressedHeader(0, 4, 8, 2, 2);
    Bytes tableCodes = compressedHeader(0, 4, 8, 2, 2);
    tableCodes.resize(11, 0x1B); // codes 0, 1, 2, 3: the last two past a table of two
    return {
        {"end-of-file offset too large", with32(good, 0x04, 0xFFFFFFF0), true, nullptr},
        {"GD3 offset too large", with32(good, 0x14, 0xFFFFFFF0), true, nullptr},
        {"GD3 length too large",
         [&] {
             Bytes b = psg().end().gd3({u"Title"}).bytes();
             const size_t tag = 0x14 + (b[0x14] | (b[0x15] << 8));
             return with32(b, tag + 8, 0x7FFFFFF0);
         }(),
         true, "VGM: GD3 tag runs past the end of the file\n"},
        {"loop offset too large", with32(with32(good, 0x1C, 0xFFFFFFF0), 0x20, 1), true, nullptr},
        {"data offset too large", with32(good, 0x34, 0xFFFFFFF0), false, "no chips used?\n"},
        {"data offset inside the header", with32(good, 0x34, 4), true, nullptr},
        {"data block larger than the file", psg().block(0x00, {1, 2, 3}).bytes(), true, nullptr},
        {"data block claims more than the file",
         [&] {
             VgmFile f = psg();
             f.op({0x67, 0x66, 0x00}).u32(0x7FFFFFFF).op({1, 2, 3});
             return f.bytes();
         }(),
         false, "data block busting protection\n"},
        {"data block not framed", psg().op({0x67, 0x00, 0x00}).u32(1).end().bytes(), false,
         "data block not at end\n"},
        {"RAM write not framed", psg().op({0x68, 0x00}).end().bytes(), false,
         "pcm ram block not at end\n"},
        {"ROM block shorter than its header", psg().block(0x80, {1, 2, 3, 4}).end().bytes(), false,
         "ROM data block shorter than its header\n"},
        {"RAM block shorter than its address", psg().block(0xC0, {1}).end().bytes(), false,
         "RAM data block shorter than its address\n"},
        {"32-bit RAM block shorter than its address", psg().block(0xE0, {1, 2, 3}).end().bytes(),
         false, "RAM data block shorter than its address\n"},
        {"compression header cut short", psg().block(0x40, {0, 4, 0, 0}).end().bytes(), false,
         "compressed data block shorter than its header\n"},
        {"compressed size past the data",
         psg().block(0x40, compressedHeader(0, 0xFFFFFFFF, 16, 8, 0)).end().bytes(), false,
         "compressed data block runs past its data\n"},
        {"compressed bit counts too wide",
         psg().block(0x40, compressedHeader(0, 4, 32, 8, 0)).end().bytes(), false,
         "compressed data block with a bad header\n"},
        {"compression method unknown",
         psg().block(0x40, compressedHeader(7, 4, 8, 8, 0)).end().bytes(), false,
         "compressed data block with a bad header\n"},
        {"table lookup without a table", psg().block(0x40, tableCodes).end().bytes(), false,
         "compressed data block without a matching table\n"},
        {"table index past the table",
         psg().block(0x7F, smallTable).block(0x40, tableCodes).end().bytes(), false,
         "compressed data block indexes past its table\n"},
        {"table claims more values than it holds",
         psg().block(0x7F, {0, 0, 8, 2, 0xFF, 0xFF, 1}).end().bytes(), false,
         "decompression table shorter than it claims\n"},
        {"table too short", psg().block(0x7F, {0, 0, 8}).end().bytes(), false,
         "decompression table too short\n"},
        {"song longer than 2^32 ticks",
         [&] {
             VgmFile f = psg();
             for (int i = 0; i < 65540; ++i) f.wait(0xFFFF);
             return f.end().bytes();
         }(),
         false, "VGM: song longer than 2^32 samples\n"},
        {"opcode operands cut off at the end", psg().op({0xE1, 0x00}).bytes(), true, nullptr},
        {"wait cut off at the end", psg().op({0x61, 0x10}).bytes(), true, nullptr},
    };
}

TEST(VgmBrokenFiles, EachEndsWithAClearResult) {
    for (const Broken& c : brokenFiles()) {
        SCOPED_TRACE(c.what);
        VGMX vgm;
        EXPECT_EQ(vgm.parseVgmBuffer(c.bytes.data(), c.bytes.size()), c.ok) << vgm.logText();
        if (c.logLine) {
            EXPECT_NE(vgm.logText().find(c.logLine), std::string::npos) << vgm.logText();
        }
        EXPECT_EQ(vgm.track().playable, c.ok);
        EXPECT_LE(vgm.logText().size(), VGMX::kMaxLogText + 64);
    }
}

// A rich file cut at every byte of its header and at every point of its
// commands: shorter than 128 bytes fails with its line; everything else reads
// what is present.
TEST(VgmBrokenFiles, CutAtEveryPoint) {
    Bytes rom(0x410, 0);
    rom[5 * 8 + 1] = 0x04;
    rom[5 * 8 + 4] = 0x04;
    rom[5 * 8 + 5] = 0x0F;
    Bytes okiBlock = {0x00, 0x00, 0x04, 0x00, 0, 0, 0, 0};
    for (uint8_t x : rom) okiBlock.push_back(x);
    VgmFile f;
    f.set32(0x0C, 3579545).set32(0x2C, 7670453).set32(0x38, 4000000).set32(0x70, 23011361);
    f.set32(0x98, 1000000);
    f.block(0x00, {1, 2, 3, 4}).block(0x8B, okiBlock).block(0x7F, {0, 0, 8, 2, 4, 0, 1, 2, 3, 4});
    f.block(0x40, {0, 4, 0, 0, 0, 8, 2, 2, 0, 0, 0x1B});
    f.op({0x50, 0x9F, 0x52, 0x2B, 0x80}).loopHere().op({0x80, 0x81, 0xE0}).u32(0);
    f.op({0x90, 0, 2, 0, 0x2A, 0x91, 0, 0, 1, 0, 0x92, 0, 0x44, 0xAC, 0, 0});
    f.op({0x93, 0, 0, 0, 0, 0, 1, 4, 0, 0, 0, 0x95, 0, 1, 0, 0, 0x94, 0xFF});
    f.op({0xC0, 0x06, 0x00, 0xFF, 0xC0, 0x86, 0x00, 0x00, 0xB8, 0x00, 0x85, 0xB8, 0x00, 0x40});
    f.op({0xB2, 0x14, 0x1F}).wait(1000).op({0x50, 0x80}).end().gd3({u"Title", u"", u"Game"});
    const Bytes whole = f.bytes();
    {
        VGMX vgm;
        ASSERT_TRUE(vgm.parseVgmBuffer(whole.data(), whole.size())) << vgm.logText();
    }
    for (size_t keep = 0; keep < whole.size(); ++keep) {
        SCOPED_TRACE(keep);
        const Bytes cut(whole.begin(), whole.begin() + keep);
        VGMX vgm;
        const bool ok = vgm.parseVgmBuffer(cut.data(), cut.size());
        if (keep < 128) {
            EXPECT_FALSE(ok);
            EXPECT_NE(vgm.logText().find(keep < 5 ? "VGM: File too short\n" : "VGM:"),
                      std::string::npos);
        }
        if (!ok) {
            EXPECT_FALSE(vgm.logText().empty());
        }
    }
}

} // namespace
