// Fixture makers for the media tests: VGM files written byte by byte, and
// gzip, zip and 7z archives written with the same libraries the reader uses.
#pragma once

#include "vgm/MediaTrack.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vgmtest {

using Bytes = std::vector<uint8_t>;

// A VGM file under construction: a header of `dataStart` bytes, then the
// command bytes. `bytes()` fills in the end-of-file offset and, unless one
// was set, the total samples from the waits added through the helpers.
class VgmFile {
public:
    explicit VgmFile(uint32_t version = 0x171, uint32_t dataStart = 0x100);

    VgmFile& set8(uint32_t offset, uint8_t v);
    VgmFile& set32(uint32_t offset, uint32_t v);
    VgmFile& op(std::initializer_list<uint8_t> b);
    VgmFile& u32(uint32_t v);
    VgmFile& wait(uint16_t ticks); // 0x61 nn nn
    VgmFile& waitFrame();          // 0x62, 735 ticks
    VgmFile& loopHere();           // loop offset := the next command, loop samples set
    VgmFile& block(uint8_t type, const Bytes& payload, bool secondChip = false);
    VgmFile& end() { return op({0x66}); }
    VgmFile& totalSamples(uint32_t n);
    VgmFile& gd3(const std::vector<std::u16string>& texts);
    Bytes bytes() const;
    uint64_t samples() const { return counted; }

private:
    Bytes head;
    Bytes body;
    Bytes tag;
    uint64_t counted = 0;
    bool totalSet = false;
};

// "S0 W1470:00=9F E0": kind, delta, then for writes register=value and
// "@port" when the port is not 0.
std::string describe(const VGM::MediaChipRecord& record);
std::string describe(const VGM::MediaChipRecord& record, size_t from, size_t count);

Bytes gzipBytes(const Bytes& data, const std::string& storedName);
void writeZip(const std::string& path, const std::vector<std::pair<std::string, Bytes>>& members);
Bytes zipBytes(const std::string& scratchPath,
               const std::vector<std::pair<std::string, Bytes>>& members);
// Writes a 7z archive of members named in UTF-8; an empty member name adds a
// folder entry "dir/".
Bytes sevenZipBytes(const std::vector<std::pair<std::string, Bytes>>& members);
Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const Bytes& bytes);

// The smallest playable song: one PSG write, one frame, end.
Bytes minimalSong();
// The same song with a GD3 tag whose title is `title`.
Bytes titledSong(const std::u16string& title);

} // namespace vgmtest
