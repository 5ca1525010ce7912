// Fixture makers for the register-log readers: YM songs of every layout
// (tags YM2! to YM6!, interleaved or frame by frame), written byte by byte,
// and LHA archives whose members are stored uncompressed ("-lh0-"), the
// same container the YM tools pack with "-lh5-".
#pragma once

#include "vgm/support/VgmFixtures.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vgmtest {

// The register value every fixture song holds in frame f: a pattern that
// differs per register and frame. Register 13 (envelope shape) is 0xFF, "no
// new shape", except every fourth frame, which writes shape f & 0x0F.
uint8_t ymValue(uint32_t frame, int reg);

struct YmSong {
    std::string tag = "YM6!"; // "YM2!", "YM3!", "YM3b", "YM4!", "YM5!" or "YM6!"
    uint32_t frames = 8;
    bool interleaved = true;  // attribute bit 0 (YM4 to YM6)
    uint32_t loopFrame = 0;   // YM3b, YM4 to YM6
    uint32_t clock = 2000000; // YM5, YM6
    uint16_t rate = 50;       // YM5, YM6
    std::vector<Bytes> digidrums;
    Bytes extra; // YM5, YM6 additional data
    std::string name = "Song", author = "Author", comment = "Comment";
    // When not empty, registers 0-15 of each of the `frames` frames in place
    // of the ymValue pattern (registers left out are 0).
    std::vector<Bytes> registers;
};

// The song's file: header, digidrums, strings, register data and for YM4
// to YM6 the closing "End!". YM4 to YM6 keep 16 registers per frame.
Bytes ymBytes(const YmSong& song);

// The songs inside the checked-in archives tests/vgm/fixtures/ym5.lzh and
// ym6.lzh, packed "-lh5-" as YM files are found in the wild. They were made by
// writing ymBytes() of these songs to "ym5.ym" and "ym6.ym" and packing each
// with jlha (Debian package jlha-utils): `jlha a ym5.lzh ym5.ym` (header
// level 2, the tool's default, for ym5; `jlha a1 ym6.lzh ym6.ym` for level 1).
YmSong packedYm5();
YmSong packedYm6();
// The bytes of a checked-in fixture file (empty when it is missing).
Bytes fixtureFile(const std::string& name);

// An LHA archive of level-0 headers, members stored ("-lh0-").
Bytes lhaStored(const std::vector<std::pair<std::string, Bytes>>& members);

// CRC-16 as LHA computes it (polynomial 0xA001, reflected, start 0).
uint16_t lhaCrc16(const Bytes& bytes);

} // namespace vgmtest
