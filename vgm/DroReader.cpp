#include "vgm/DroReader.h"

#include "vgm/MediaFile.h"
#include "vgm/VGMX.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace VGM {

namespace {

constexpr int32_t kMillisecondRate = 1000;

// The hardware a file was recorded from, in the numbering of version 2.0.
enum Hardware : uint8_t { kOpl2 = 0, kDualOpl2 = 1, kOpl3 = 2 };

uint16_t le16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// Builds the chip record for the hardware and adds it to the track; two
// OPL2s play on one YM3812 record whose second chip is port 1.
MediaChipType addChip(VGMX& vgm, Hardware hardware) {
    MediaChipRecord chip;
    chip.commandRate = kMillisecondRate;
    if (hardware == kOpl3) {
        chip.type = kChipYMF262;
        chip.name = "YMF262";
        chip.shortName = "OPL3";
        chip.clock = 14318182;
    } else {
        chip.type = kChipYM3812;
        chip.name = "YM3812";
        chip.shortName = "OPL2";
        chip.clock = 3579545;
    }
    vgm.addChipRecord(chip, true);
    vgm.track().playable = true;
    return chip.type;
}

bool refuse(VGMX& vgm, const char* text) {
    vgm.appendLog(text);
    return false;
}

// Appends a write with the delay gathered since the previous one.
void write(VGMX& vgm, MediaChipRecord& record, uint64_t& delay, uint8_t reg, uint8_t value,
           uint8_t port) {
    vgm.appendCommand(record, std::min<uint64_t>(delay, UINT32_MAX), value, port, reg,
                      kCommandWrite);
    delay = 0;
}

// Version 0.1: byte codes up to the data length.
bool readVersion1(VGMX& vgm, const std::vector<uint8_t>& b, uint16_t first) {
    const size_t s = first == 0 ? 4 : 0;
    if (b.size() < 17 + s) return refuse(vgm, "DRO: the file is shorter than its header\n");
    const uint8_t hardwareType = b[16 + s];
    // Version 0.1 numbers the hardware 0 OPL2, 1 OPL3, 2 dual OPL2.
    static const Hardware kVersion1[] = {kOpl2, kOpl3, kDualOpl2};
    if (hardwareType > 2) return refuse(vgm, "DRO: unknown hardware type; the file is refused\n");
    const uint32_t length = le32(b, 12 + s);
    size_t at = 17 + s;
    // Later recorders store the hardware type as four bytes.
    if (b.size() >= 20 + s && b[17 + s] == 0 && b[18 + s] == 0 && b[19 + s] == 0) at = 20 + s;
    const MediaChipType type = addChip(vgm, kVersion1[hardwareType]);
    if (length == 0) return true;

    MediaChipRecord& record = vgm.chipRecord(type);
    const size_t end = std::min<uint64_t>(b.size(), static_cast<uint64_t>(at) + length);
    uint64_t delay = 0;
    uint8_t port = 0;
    while (at < end && !vgm.budget().spent) {
        const uint8_t code = b[at];
        const size_t size = code == 1 || code == 4 ? 3 : code == 2 || code == 3 ? 1 : 2;
        if (end - at < size) break; // a code cut off by the end of the data
        switch (code) {
        case 0:
            delay += b[at + 1] + 1u;
            break;
        case 1:
            delay += le16(b, at + 1) + 1u;
            break;
        case 2:
            port = 0;
            break;
        case 3:
            port = 1;
            break;
        case 4:
            write(vgm, record, delay, b[at + 1], b[at + 2], port);
            break;
        default:
            write(vgm, record, delay, code, b[at + 1], port);
            break;
        }
        at += size;
    }
    return true;
}

// Version 2.0: (code, value) pairs after the register table.
bool readVersion2(VGMX& vgm, const std::vector<uint8_t>& b) {
    if (b.size() < 26 || b.size() < 26u + b[25])
        return refuse(vgm, "DRO: the file is shorter than its header\n");
    const uint8_t hardwareType = b[20];
    if (hardwareType > 2) return refuse(vgm, "DRO: unknown hardware type; the file is refused\n");
    const uint32_t pairs = le32(b, 12);
    const uint8_t shortDelay = b[23];
    const uint8_t longDelay = b[24];
    const uint8_t tableLength = b[25];
    const uint8_t* table = b.data() + 26;
    const size_t start = 26u + tableLength;
    const uint64_t count = std::min<uint64_t>(pairs, (b.size() - start) / 2);
    MediaChipRecord& record = vgm.chipRecord(addChip(vgm, static_cast<Hardware>(hardwareType)));
    uint64_t delay = 0;
    for (uint64_t i = 0; i < count && !vgm.budget().spent; ++i) {
        const uint8_t code = b[start + 2 * i];
        const uint8_t value = b[start + 2 * i + 1];
        const uint8_t index = code & 0x7F;
        if (index == shortDelay)
            delay += value + 1u;
        else if (index == longDelay)
            delay += (static_cast<uint64_t>(value) << 8) + 256;
        else if (index < tableLength)
            write(vgm, record, delay, table[index], value, (code & 0x80) ? 1 : 0);
    }
    return true;
}

} // namespace

bool readDroFile(VGMX& vgm, const std::string& path) {
    vgm.setPath(path);
    vgm.track().playable = false;
    std::vector<uint8_t> b;
    uint64_t size = 0;
    const MediaRead read = readMediaFile(path, "DBRAWOPL", b, size);
    if (read == MediaRead::kTooLarge) vgm.appendLog(tooLargeLine("DRO", "the file", size));
    if (read != MediaRead::kRead || b.size() < 13) return false;
    const uint16_t first = le16(b, 8);
    const uint16_t second = le16(b, 10);
    vgm.budget().start(b.size());
    bool built = false;
    if (second == 1)
        built = readVersion1(vgm, b, first);
    else if (first == 2 && second == 0)
        built = readVersion2(vgm, b);
    return built && !vgm.budgetRefused("DRO");
}

} // namespace VGM
