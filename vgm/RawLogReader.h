// Raw register logs (".bin"): a bare sequence of 4-byte records {delay:
// u16 big-endian, register, value} for one YM7129 (OPK2) chip, the delay
// counted at 180 kHz. The file has no header; the first record's delay is
// taken as 0, so the song starts with its first write.
#pragma once

#include <string>

namespace VGM {

class VGMX;

// Reads the log at `path` into one YM7129 chip record; false when the file
// cannot be read, is not a register log (delays adding up past 2^32 ticks, or
// several writes and no delay at all) or builds past the media budget. A
// trailing partial record is ignored.
bool readRawLogFile(VGMX& collection, const std::string& path);

} // namespace VGM
