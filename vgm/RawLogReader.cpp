#include "vgm/RawLogReader.h"

#include "vgm/MediaFile.h"
#include "vgm/VGMX.h"

namespace VGM {

namespace {

constexpr MediaChipType kChipYM7129 = 60;
constexpr int32_t kLogRate = 180000;
// The longest song a log may hold: one 32-bit delta reaches its end (six
// and a half hours at the log's rate).
constexpr uint64_t kMaxLogTicks = 0xFFFFFFFFull;

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

    // A register log spreads its writes over the song. Bytes that are not one
    // (any other file named .bin) give delays that add up to days, or no
    // delay at all: they are refused before a command is built.
    const size_t records = b.size() / 4;
    uint64_t ticks = 0;
    for (size_t i = 1; i < records && ticks <= kMaxLogTicks; ++i)
        ticks += (b[4 * i] << 8) | b[4 * i + 1];
    if (ticks > kMaxLogTicks) {
        vgm.appendLog("Raw log: the file is not a register log: its delays add up to more than " +
                      std::to_string(kMaxLogTicks / kLogRate / 3600) + " hours\n");
        return false;
    }
    if (records > 1 && ticks == 0) {
        vgm.appendLog("Raw log: the file is not a register log: its " + std::to_string(records) +
                      " writes all fall at one instant\n");
        return false;
    }

    vgm.budget().start(b.size());
    MediaChipRecord chip;
    chip.type = kChipYM7129;
    chip.name = "YM7129";
    chip.shortName = "OPK2";
    chip.clock = 3579545;
    chip.commandRate = kLogRate;
    vgm.addChipRecord(chip, true);

    MediaChipRecord& record = vgm.chipRecord(kChipYM7129);
    for (size_t i = 0; i < records && !vgm.budget().spent; ++i) {
        const uint8_t* r = b.data() + 4 * i;
        const uint32_t delay = i == 0 ? 0 : (r[0] << 8) | r[1];
        vgm.appendCommand(record, delay, r[3], 0, r[2], kCommandWrite);
    }
    if (vgm.budgetRefused("Raw log")) return false;
    vgm.track().playable = true;
    return true;
}

} // namespace VGM
