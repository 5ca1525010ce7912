#include "vgm/RawLogReader.h"

#include "vgm/MediaFile.h"
#include "vgm/VGMX.h"

namespace VGM {

namespace {

constexpr MediaChipType kChipYM7129 = 60;
constexpr int32_t kLogRate = 180000;

} // namespace

bool readRawLogFile(VGMX& vgm, const std::string& path) {
    vgm.setPath(path);
    vgm.track().playable = false;
    // The log has no tag: its size alone is checked before it is read.
    std::vector<uint8_t> b;
    uint64_t size = 0;
    const MediaRead read = readMediaFile(path, "", b, size);
    if (read == MediaRead::kTooLarge) vgm.appendLog(tooLargeLine("Raw log", "the file", size));
    if (read != MediaRead::kRead) return false;

    MediaChipRecord chip;
    chip.type = kChipYM7129;
    chip.name = "YM7129";
    chip.shortName = "OPK2";
    chip.clock = 3579545;
    chip.commandRate = kLogRate;
    vgm.addChipRecord(chip, true);

    MediaChipRecord& record = vgm.chipRecord(kChipYM7129);
    const size_t records = b.size() / 4;
    record.commands.reserve(record.commands.size() + records);
    for (size_t i = 0; i < records; ++i) {
        const uint8_t* r = b.data() + 4 * i;
        const uint32_t delay = i == 0 ? 0 : (r[0] << 8) | r[1];
        VGMX::appendCommand(record, delay, r[3], 0, r[2], kCommandWrite);
    }
    vgm.track().playable = true;
    return true;
}

} // namespace VGM
