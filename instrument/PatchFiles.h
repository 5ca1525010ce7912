// Binary instrument files of YM2612 tools and trackers, read into and written
// from a PatchRecord:
// - TFI (42 bytes): algorithm, feedback, then four 10-byte operator blocks in
//   the order of operators 0, 2, 1, 3.
// - DMP (49 bytes of an old version, or 51 bytes with a version byte and two
//   system/mode bytes): channel bytes, then four 11-byte operator blocks in
//   the order 0, 2, 1, 3.
// - Y12 (128 bytes): four 16-byte operator blocks in register order (operators
//   0, 2, 1, 3 at 0x00, 0x10, 0x20, 0x30), algorithm and feedback at 64.
// Every reader takes each file value modulo its register field's width, so
// any byte gives a record in range, and refuses an input shorter than the
// format (the record is then left as it was).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "instrument/PatchRecord.h"

constexpr size_t kTfiSize = 42;
constexpr size_t kDmpSize = 51;
constexpr size_t kDmpOldSize = 49;
constexpr size_t kY12Size = 128;

// False (record untouched) when fewer than 42 bytes are given.
bool readTfiPatch(PatchRecord& record, const uint8_t* bytes, size_t size);
// `out` becomes the 42-byte TFI image of the record. Always true.
bool writeTfiPatch(const PatchRecord& record, std::vector<uint8_t>& out);
// 1 when the 49- or 51-byte image was taken, 0 (record untouched) for any
// other size or a header this reader does not accept.
int readDmpPatch(PatchRecord& record, const uint8_t* bytes, size_t size);
// `out` becomes a 51-byte DMP image (version 11, YM2612, FM). Always true.
bool writeDmpPatch(const PatchRecord& record, std::vector<uint8_t>& out);
// Y12; false (record untouched) when fewer than 128 bytes are given.
bool decodePackedPatch(PatchRecord& record, const uint8_t* bytes, size_t size);
// Logs the record's DMP image through PDebugLog, one "patchdumpNN XX" line per byte.
void dumpPatch(const PatchRecord& record);
