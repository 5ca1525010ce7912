#include "vgm/YmReader.h"

#include "vantor/PlatformToolsFiles.h"
#include "vantor/VNTRConv.h"
#include "vgm/VGMX.h"

#include <cstdio>
#include <cstring>

namespace VGM {

namespace {

// The Atari ST drives its YM2149 from a 2 MHz clock and the songs of the
// early YM kinds, which carry no clock or rate, from its 50 Hz frame interrupt.
constexpr uint32_t kAtariClock = 2000000;
constexpr int32_t kAtariRate = 50;
constexpr int kRegisters = 14;        // registers written per frame
constexpr uint8_t kNoNewShape = 0xFF; // register 13 value: the envelope runs on
constexpr uint32_t kInterleaved = 1;  // attribute bit 0

uint32_t be32(const std::vector<uint8_t>& b, size_t at) {
    return (static_cast<uint32_t>(b[at]) << 24) | (b[at + 1] << 16) | (b[at + 2] << 8) | b[at + 3];
}

uint16_t be16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>((b[at] << 8) | b[at + 1]);
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// Where and how the register data of one file lies.
struct YmLayout {
    uint64_t frames = 0;
    int64_t loopFrame = -1; // -1: the kind has no loop frame
    size_t dataStart = 0;
    size_t dataEnd = 0;           // first byte after the register data
    uint64_t stride = kRegisters; // bytes per frame when not interleaved
    bool interleaved = true;
    uint32_t clock = kAtariClock;
    int32_t rate = kAtariRate;
    std::string author, comment;
};

// A zero-terminated text starting at `at` that ends before `end`; `at`
// moves past its zero.
bool readText(const std::vector<uint8_t>& b, size_t& at, size_t end, std::string& out) {
    const void* zero = at < end ? std::memchr(b.data() + at, 0, end - at) : nullptr;
    if (!zero) return false;
    const size_t length = static_cast<const uint8_t*>(zero) - (b.data() + at);
    out.assign(reinterpret_cast<const char*>(b.data() + at), length);
    at += length + 1;
    return true;
}

// The header of YM4, YM5 and YM6: digidrums and texts skipped, the closing
// "End!" checked, the register data located.
bool readLaterHeader(VGMX& vgm, const std::vector<uint8_t>& b, bool ym4, YmLayout& out) {
    const size_t fixed = ym4 ? 28 : 34;
    if (b.size() < fixed + 4 || std::memcmp(b.data() + b.size() - 4, "End!", 4) != 0) return false;
    out.frames = be32(b, 12);
    out.interleaved = (be32(b, 16) & kInterleaved) != 0;
    out.stride = 16; // registers 14 and 15 carry the special effects
    uint32_t drums = 0;
    size_t at = fixed;
    if (ym4) {
        drums = be16(b, 22);
        out.loopFrame = be32(b, 24);
    } else {
        drums = be16(b, 20);
        out.clock = be32(b, 22);
        out.rate = be16(b, 26);
        out.loopFrame = be32(b, 28);
        at += be16(b, 32);
        if (out.rate == 0) {
            vgm.appendLog("YM: the file gives a frame rate of 0 Hz; it cannot be played\n");
            return false;
        }
        if (out.clock == 0) {
            vgm.appendLog("YM: the file gives a chip clock of 0 Hz; it cannot be played\n");
            return false;
        }
    }
    const size_t end = b.size() - 4;
    for (uint32_t i = 0; i < drums; ++i) {
        if (at > end || end - at < 4 || end - at - 4 < be32(b, at)) {
            vgm.appendLog("YM: a digidrum sample runs past the end of the file\n");
            return false;
        }
        at += 4 + be32(b, at);
    }
    std::string name;
    if (!readText(b, at, end, name) || !readText(b, at, end, out.author) ||
        !readText(b, at, end, out.comment)) {
        vgm.appendLog("YM: the song texts run past the end of the file\n");
        return false;
    }
    out.dataStart = at;
    out.dataEnd = end;
    return true;
}

// The byte offset of register r in frame f.
size_t registerAt(const YmLayout& y, uint64_t f, int r) {
    const uint64_t offset =
        y.interleaved ? f + static_cast<uint64_t>(r) * y.frames : f * y.stride + r;
    return y.dataStart + static_cast<size_t>(offset);
}

} // namespace

bool readYmFile(VGMX& vgm, const std::string& path) {
    vgm.setPath(path);
    vgm.track().playable = false;
    vantor::MetaContainer box(path);
    if (!box.open() || box.members.size() != 1) {
        vgm.appendLog("YM: not an archive holding one song (YM files are read packed, as they "
                      "are distributed)\n");
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!box.extractToVector(box.members.front(), bytes)) {
        vgm.appendLog(box.failureText("YM: the song cannot be unpacked\n"));
        return false;
    }
    return readYmData(vgm, bytes, path);
}

bool readYmData(VGMX& vgm, const std::vector<uint8_t>& b, const std::string& path) {
    vgm.setPath(path);
    vgm.track().playable = false;
    if (b.size() < 4) return false;
    const std::string tag(reinterpret_cast<const char*>(b.data()),
                          strnlen(reinterpret_cast<const char*>(b.data()), 4));

    YmLayout y;
    if (tag == "YM2!" || tag == "YM3!") {
        y.frames = (b.size() - 4) / kRegisters;
        y.dataStart = 4;
        y.dataEnd = b.size();
    } else if (tag == "YM3b") {
        if (b.size() < 8) return false;
        y.frames = (b.size() - 8) / kRegisters;
        y.loopFrame = le32(b, b.size() - 4);
        y.dataStart = 4;
        y.dataEnd = b.size() - 4;
    } else if (tag == "YM4!" || tag == "YM5!" || tag == "YM6!") {
        if (!readLaterHeader(vgm, b, tag == "YM4!", y)) return false;
    } else {
        return false;
    }
    // The data must hold every register the frames read.
    const uint64_t room = y.dataEnd - y.dataStart;
    const uint64_t needed = y.frames == 0   ? 0
                            : y.interleaved ? y.frames * kRegisters
                                            : (y.frames - 1) * y.stride + kRegisters;
    if (needed > room) {
        char line[128];
        std::snprintf(line, sizeof line,
                      "YM: the register data is too short for the %llu frames the file gives\n",
                      static_cast<unsigned long long>(y.frames));
        vgm.appendLog(line);
        return false;
    }

    vgm.setTag(kTagGameName, tag + " import");
    vgm.setTag(kTagTrackName, stripFileExtension(getFileFromPath(path)));
    if (!y.author.empty()) vgm.setTag(kTagAuthor, VNTRConv(y.author, UTF8));
    if (!y.comment.empty()) vgm.setTag(kTagNotes, VNTRConv(y.comment, UTF8));

    vgm.budget().start(b.size());
    MediaChipRecord chip;
    chip.type = kChipAY8910;
    chip.name = "AY-3-8910";
    chip.clock = y.clock;
    chip.commandRate = y.rate;
    vgm.addChipRecord(chip, true);

    // Frame f sounds at tick f: its first command waits the one tick since
    // the frame before (frame 0 none), and the last frame lasts its tick
    // before the song ends or goes back to the loop frame.
    MediaTrack& track = vgm.track();
    MediaChipRecord& record = vgm.chipRecord(kChipAY8910);
    // The list takes its room once: every register of every frame but the
    // shapes left alone, the loop and end commands.
    uint64_t commands = 2;
    for (uint64_t f = 0; f < y.frames; ++f)
        commands += b[registerAt(y, f, 13)] == kNoNewShape ? kRegisters - 1 : kRegisters;
    vgm.budget().makeRoom(record.commands, commands);
    for (uint64_t f = 0; f < y.frames && !vgm.budget().spent; ++f) {
        uint64_t wait = f == 0 ? 0 : 1;
        if (static_cast<int64_t>(f) == y.loopFrame) {
            track.loop.startTicks = f;
            track.loop.marker = static_cast<int64_t>(y.frames);
            for (auto& [type, each] : track.chips)
                each.loopIndex = static_cast<int64_t>(each.commands.size());
            vgm.appendCommand(record, wait, 0, 0, 0, kCommandLoop);
            wait = 0;
        }
        for (int r = 0; r < kRegisters; ++r) {
            const uint8_t value = b[registerAt(y, f, r)];
            // 0xFF in the shape register leaves the running envelope alone;
            // writing it would restart the envelope every frame.
            if (r == 13 && value == kNoNewShape) continue;
            vgm.appendCommand(record, wait, value, 0, static_cast<uint8_t>(r), kCommandWrite);
            wait = 0;
        }
    }
    if (y.frames > 0 || y.loopFrame >= 0)
        vgm.appendCommand(record, y.frames > 0 ? 1 : 0, 0, 0, 0, kCommandEnd);
    if (vgm.budgetRefused("YM")) return false;
    track.playable = true;
    return true;
}

} // namespace VGM
