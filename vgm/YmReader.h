// YM files: frame-by-frame dumps of the 14 registers of an AY-3-8910 / YM2149
// sound chip, made from Atari ST and Amstrad CPC music. A file holds a tag
// ("YM2!" to "YM6!"), for the later kinds a big-endian header with the frame
// count, the attribute word, digidrum samples, the chip clock, the frame rate
// and the loop frame, then the register data: register by register
// ("interleaved", every frame's register 0, then every frame's register 1 ...)
// or frame by frame. YM files travel packed, nearly always with LHA; the
// reader takes them only from an archive holding exactly that one member.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace VGM {

class VGMX;

// Unpacks the YM file in the archive at `path` into the collection's track:
// one AY chip record, one tick per frame. False for a bare or damaged file.
bool readYmFile(VGMX& collection, const std::string& path);

// Reads unpacked YM bytes; `path` names the song (its file name is the title).
bool readYmData(VGMX& collection, const std::vector<uint8_t>& bytes, const std::string& path);

} // namespace VGM
