#include "vgm/VgmParser.h"

#include "engine-support/VirtualRAMFile.h"
#include "vgm/MediaFile.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace VGM {

namespace {

constexpr uint32_t kClockMask = 0x3FFFFFFF;
constexpr uint32_t kDualBit = 0x40000000;
constexpr uint32_t kTopBit = 0x80000000;
constexpr uint64_t kMaxSongTicks = 0xFFFFFFFFull; // one 32-bit delta must reach the end

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
    char buf[256];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    return buf;
}

// Command length by the opcode's high nibble, opcode included, for opcodes
// the reader does not know.
constexpr int kUnassignedLength[16] = {1, 1, 1, 2, 3, 3, 1, 1, 1, 1, 3, 3, 4, 4, 5, 5};

} // namespace

bool parseVgmFile(VGMX& collection, vantor::VirtualFile& file, bool readTags) {
    const int64_t length = file.getSize();
    if (length < 128) {
        collection.appendLog("VGM: File too short\n");
        return false;
    }
    // The marker is checked, and the size bounded, before the file is read whole.
    uint8_t marker[4] = {};
    if (!file.seek(0) || file.read(marker, 4) != 4) {
        collection.appendLog("VGM: cannot read the file\n");
        return false;
    }
    if (std::memcmp(marker, "Vgm ", 4) != 0) {
        collection.appendLog("VGM: marker not found\n");
        return false;
    }
    if (static_cast<uint64_t>(length) > kMaxMediaBytes) {
        collection.appendLog(tooLargeLine("VGM", "the file", static_cast<uint64_t>(length)));
        return false;
    }
    if (readTags && !file.canSeekBackwards()) {
        collection.appendLog("cannot seek backwards\n");
        return false;
    }
    // A file held in memory is parsed where it lies.
    if (auto* ram = dynamic_cast<vantor::VirtualRAMFile*>(&file)) {
        VgmParser parser(collection, ram->bytes(), static_cast<uint64_t>(length));
        return parser.parse(readTags);
    }
    // Read straight into unset room: the read fills every byte.
    const auto n = static_cast<size_t>(length);
    std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[n]);
    if (!bytes || !file.seek(0) || file.read(bytes.get(), n) != n) {
        collection.appendLog("VGM: cannot read the file\n");
        return false;
    }
    VgmParser parser(collection, bytes.get(), n);
    return parser.parse(readTags);
}

uint32_t VgmParser::headerWord(uint32_t offset) const {
    return header[offset] | (header[offset + 1] << 8) | (header[offset + 2] << 16) |
           (static_cast<uint32_t>(header[offset + 3]) << 24);
}

bool VgmParser::parse(bool tags) {
    // Defaults for the fields a short header leaves out.
    std::memcpy(header, "Vgm ", 4);
    header[8] = 0x71;
    header[9] = 0x01;
    header[0x34] = 0xCC;
    std::memcpy(header, data, 64);
    if (std::memcmp(header, "Vgm ", 4) != 0) {
        vgm.appendLog("VGM: marker not found\n");
        return false;
    }
    version = headerWord(0x08);
    if (!(version & 0x100)) {
        vgm.appendLog(format("VGM: bad version %04X \n", version));
        return false;
    }
    vgm.reset();
    vgm.budget().start(size);
    const uint32_t dataOffset = headerWord(0x34);
    dataStart = dataOffset ? 0x34ull + dataOffset : 0x40;
    const uint64_t headerEnd = std::min<uint64_t>({dataStart, uint64_t{256}, size});
    if (headerEnd > 64) std::memcpy(header + 64, data + 64, headerEnd - 64);
    if (version <= 0x10F) {
        header[0x28] = 9; // SN76489 feedback and shift width of the Sega chip
        header[0x29] = 0;
        header[0x2A] = 16;
        std::memcpy(header + 0x2C, header + 0x10, 4); // YM2612 and YM2151 ran at the
        std::memcpy(header + 0x30, header + 0x10, 4); // YM2413 clock field then
    }
    const uint32_t gd3 = headerWord(0x14);
    if (tags && gd3) readTags(0x14ull + gd3);

    const uint32_t loopOffset = headerWord(0x1C);
    if (headerWord(0x20) != 0) loopPos = 0x1Cull + loopOffset;
    buildChipRecords();
    const uint64_t eof = 0x04ull + headerWord(0x04);
    // An end offset of 0 or one before the data (seen in old rips) means "to the file's end".
    dataEnd = (eof <= dataStart) ? size : std::min(eof, size);
    pos = dataStart;
    const bool ran = runCommands();
    if (vgm.budgetRefused("VGM") || !ran) return false;
    const bool finished = finish();
    return !vgm.budgetRefused("VGM") && finished;
}

// "Gd3 ", version, byte length, then eleven zero-terminated UTF-16 texts.
void VgmParser::readTags(uint64_t tagStart) {
    if (tagStart + 12 > size || std::memcmp(data + tagStart, "Gd3 ", 4) != 0) return;
    pos = tagStart + 4;
    const uint32_t tagVersion = u32();
    uint64_t length = u32();
    if (tagVersion < 0x100 || length == 0 || (length & 1)) return;
    const uint64_t present = size - (tagStart + 12);
    if (length > present) {
        vgm.appendLog("VGM: GD3 tag runs past the end of the file\n");
        length = present & ~1ull;
    }
    const uint8_t* p = data + tagStart + 12;
    int tag = 0;
    for (uint64_t i = 0; i + 1 < length && tag < kTagCount; i += 2) {
        const char16_t unit = static_cast<char16_t>(p[i] | (p[i + 1] << 8));
        if (unit == 0)
            ++tag;
        else
            track.tags[tag].push_back(unit);
    }
}

void VgmParser::addChip(uint32_t clockField, MediaChipType type, MediaChipType second,
                        bool secondFlag, const char* name, const char* shortName,
                        uint32_t variant) {
    const uint32_t word = headerWord(clockField);
    const uint32_t clock = word & kClockMask;
    if (clock == 0) return;
    MediaChipRecord r;
    r.type = type;
    r.variant = variant;
    r.clock = clock;
    r.name = name;
    r.shortName = shortName;
    vgm.addChipRecord(r, true);
    writable[type] = true;
    if (secondFlag && second != kChipNone) {
        r.type = second;
        vgm.addChipRecord(r, true);
        writable[second] = true;
    }
}

void VgmParser::buildChipRecords() {
    const bool gateA = dataStart >= 0x41 && version >= 0x151;
    const bool gateB = gateA && version >= 0x161 && dataStart >= 0x81;
    const bool gateC = gateA && version >= 0x171 && dataStart >= 0xE8;
    auto dual = [&](uint32_t field) { return (headerWord(field) & kDualBit) != 0; };

    // The second SN76489 is flagged by bit 31 (T6W28 pairs) or bit 30 (two chips).
    const uint32_t sn = headerWord(0x0C);
    if (header[0x2A] == 16)
        addChip(0x0C, kChipSN76489, kChipSN76489b, sn & (kTopBit | kDualBit), "Sega PSG", "DCSG",
                kVariantSegaPSG);
    else
        addChip(0x0C, kChipSN76489, kChipSN76489b, sn & (kTopBit | kDualBit), "SN76489", "DCSG");
    addChip(0x10, kChipYM2413, kChipYM2413 + 12, dual(0x10), "YM2413", "OPLL");
    addChip(0x2C, kChipYM2612, kChipYM2612 + 12, dual(0x2C), "YM2612", "OPN2");
    addChip(0x30, kChipYM2151, kChipYM2151 + 12, dual(0x30), "YM2151", "OPM");
    if (gateA) {
        addChip(0x44, kChipYM2203, kChipYM2203 + 12, dual(0x44), "YM2203", "OPN");
        addChip(0x48, kChipYM2608, kChipYM2608 + 12, dual(0x48), "YM2608", "OPNA");
        if (headerWord(0x4C) & kTopBit)
            addChip(0x4C, kChipYM2610B, kChipYM2610B + 12, dual(0x4C), "YM2610B", "OPNB2");
        else
            addChip(0x4C, kChipYM2610, kChipYM2610 + 12, dual(0x4C), "YM2610", "OPNB");
        addChip(0x50, kChipYM3812, kChipYM3812 + 12, dual(0x50), "YM3812", "OPL2");
        addChip(0x54, kChipYM3526, kChipYM3526 + 12, dual(0x54), "YM3526", "OPL");
        addChip(0x58, kChipY8950, kChipY8950 + 12, dual(0x58), "Y8950", "MSX-AUDIO");
        addChip(0x5C, kChipYMF262, kChipYMF262 + 12, dual(0x5C), "YMF262", "OPL3");
        addChip(0x60, kChipYMF278B, kChipNone, false, "YMF278B", "OPL4");
        addChip(0x64, kChipYMF271, kChipNone, false, "YMF271", "OPX");
        addChip(0x68, kChipYMZ280B, kChipYMZ280B + 12, dual(0x68), "YMZ280B", "PCMD8");
        const char* ayName = "AY8910";
        uint32_t ayVariant = 0;
        switch (header[0x78]) {
        case 0x01:
            ayName = "AY8912";
            break;
        case 0x02:
            ayName = "AY8913";
            break;
        case 0x03:
            ayName = "AY8930";
            ayVariant = kVariantAY8930;
            break;
        case 0x10:
            ayName = "YM2149";
            break;
        case 0x11:
            ayName = "YM3439";
            break;
        case 0x12:
            ayName = "YMZ284";
            break;
        case 0x13:
            ayName = "YMZ294";
            break;
        default:
            break;
        }
        addChip(0x74, kChipAY8910, kChipAY8910b, dual(0x74), ayName, "AY", ayVariant);
        // The modifier runs from -63 (0xC1) to 192 (0xC0): bytes above 0xC0 lower
        // the volume. Read as unsigned they would raise it up to 2^8 times.
        if (version >= 0x160 && header[0x7C] != 0) {
            const int v = header[0x7C] <= 0xC0 ? header[0x7C] : header[0x7C] - 256;
            track.volumeGain = static_cast<float>(std::pow(2.0, v / 32.0));
        }
    }
    if (gateB) {
        addChip(0x80, kChipGBDMG, kChipNone, false, "GBDMG", "DMG-CPU");
        const size_t before = track.chips.count(kChipNESAPU);
        addChip(0x84, kChipNESAPU, kChipNESAPUb, dual(0x84), "RP2A0X", "NESAPU");
        if (track.chips.count(kChipNESAPU) > before) write(kChipNESAPU, 0x15, 0x0F);
        if ((headerWord(0x84) & kTopBit) && (headerWord(0x84) & kClockMask)) {
            addChip(0x84, kChipFDS, kChipNone, false, "RP2C33", "FDS");
            write(kChipFDS, 0x23, 0x83);
        }
        addChip(0xB0, kChipPOKEY, kChipNone, false, "Pokey", "Pokey");
        addChip(0x9C, kChipSCC, kChipNone, false, "SCC", "SCC");
    }
    if (gateC) {
        addChip(0xC0, kChipWSwan, kChipNone, false, "WSwan", "WSwan");
        addChip(0xC4, kChipVSU, kChipNone, false, "VSU-VUE", "VSU");
        addChip(0xC8, kChipSAA1099, kChipNone, false, "SAA1099", "SAA1099");
        addChip(0xCC, kChipES5503, kChipNone, false, "ES5503", "DOC1");
        addChip(0xD0, kChipES5506, kChipNone, false, "ES5506", "ES5506");
        addChip(0xD8, kChipX1010, kChipNone, false, "X1-010", "X1-010");
        addChip(0xDC, kChipC352, kChipNone, false, "C352", "C352");
        addChip(0xE0, kChipGA20, kChipNone, false, "GA20", "GA20");
        addChip(0xE4, kChipMIKEY, kChipNone, false, "MIKEY", "MIKEY");
    }

    // PCM chips become DAC stream records whatever the gates; a later chip
    // takes over the stream types of an earlier one.
    auto pcm = [&](uint32_t field, uint32_t count, const char* name, uint32_t flags) {
        const uint32_t clock = headerWord(field) & kClockMask;
        if (clock) vgm.buildPcmStreamRecords(clock, count, name, flags);
    };
    segaPcmClock = headerWord(0x38) & kClockMask;
    const uint32_t segaPcmInterface = headerWord(0x3C);
    segaPcmBankShift = segaPcmInterface & 0x0F;
    segaPcmBankMask = 0x70 | ((segaPcmInterface >> 16) & 0xFC);
    pwm.clock = headerWord(0x70) & kClockMask;
    okiClock = headerWord(0x98);
    pcm(0x38, 16, "SegaPCM", segaPcmInterface);
    pcm(0x40, 8, "RF5C68", 0);
    pcm(0x6C, 2, "RF5C164", 0);
    pcm(0x70, 2, "32X PWM", 0);
    pcm(0x8C, 1, "uPD7759", 0);
    pcm(0x90, 8, "OKIM6258", header[0x94]);
    pcm(0x98, 8, "OKIM6295", 0);
}

// Why a song has no chip left: its header gives no chip a clock, or every
// chip it names has too few writes to be played (`few`: "name writes, ...").
std::string VgmParser::nothingToPlay(const std::string& few) const {
    const std::string lost = unclockedWrites ? std::to_string(unclockedWrites) +
                                                   " writes go to chips the header gives no clock"
                                             : "";
    if (few.empty())
        return "VGM: nothing to play: the header gives no chip a clock" +
               (lost.empty() ? "" : "; " + lost) + "\n";
    return "VGM: nothing to play: a chip needs two writes or more, and the header's chips have "
           "fewer (" +
           few + ")" + (lost.empty() ? "" : "; " + lost) + "\n";
}

bool VgmParser::wait(uint64_t ticks) {
    waits.advance(ticks);
    if (waits.elapsed() > kMaxSongTicks) {
        vgm.appendLog("VGM: song longer than 2^32 samples\n");
        return false;
    }
    return true;
}

MediaChipRecord& VgmParser::recordOf(MediaChipType type) {
    MediaChipRecord*& record = records[type];
    if (!record) record = &vgm.chipRecord(type);
    return *record;
}

void VgmParser::write(MediaChipType type, uint8_t reg, uint8_t value, uint8_t port) {
    if (type < kChipNone && writable[type])
        vgm.appendCommand(recordOf(type), waits.take(type), value, port, reg, kCommandWrite);
    else
        ++unclockedWrites;
}

void VgmParser::closeSong() {
    vgm.closeAll(waits, kCommandEnd);
}

// 0x80-0x8F: one byte of the YM2612 PCM bank to the DAC register, the data
// position moving on. The writes hang on the YM2612 itself (its header clock),
// not on a PCM stream record: console rips have no stream chip in their header
// and would lose every drum. The bank is every YM2612 data block in file order,
// as the format concatenates blocks of one type. Writes of consecutive bank
// bytes with no other YM2612 command between them are kept as one run.
void VgmParser::ym2612PcmWrite() {
    if (!writable[kChipYM2612]) return;
    uint64_t bankSize = 0;
    const uint8_t* bank = vgm.ym2612PcmData(bankSize);
    if (!bank) return;
    if (vgm.pcmPosition < bankSize) {
        MediaChipRecord& ym = recordOf(kChipYM2612);
        if (!extendPcmRun(ym, vgm.pcmPosition)) {
            write(kChipYM2612, kPcmRegister, bank[vgm.pcmPosition]);
            pcmWriteIndex = ym.commands.size() - 1;
            pcmWritePosition = vgm.pcmPosition;
        }
        ++vgm.pcmPosition;
    }
}

// Adds the write of bank byte `at` to the run the YM2612 list ends with, or
// makes the list's last command, a write of the byte before, a run of two.
bool VgmParser::extendPcmRun(MediaChipRecord& ym, uint32_t at) {
    const uint64_t wait = waits.peek(kChipYM2612);
    if (ym.commands.empty() || wait > kMaxPcmRunWait) return false;
    MediaCommand& last = ym.commands.back();
    MediaBudget& budget = vgm.budget();
    if (last.kind == kCommandPcmRun) {
        PcmRun& run = ym.pcmRuns.back();
        if (uint64_t{run.first} + run.count != at || !budget.makeRoom(ym.pcmWaits, 1)) return false;
        ++run.count;
    } else {
        if (pcmWriteIndex != ym.commands.size() - 1 || pcmWritePosition + 1ull != at ||
            last.kind != kCommandWrite || ym.pcmRuns.size() >= kMaxPcmRuns ||
            !budget.makeRoom(ym.pcmRuns, 1) || !budget.makeRoom(ym.pcmWaits, 1))
            return false;
        const auto index = static_cast<uint32_t>(ym.pcmRuns.size());
        ym.pcmRuns.push_back({at - 1, 2, static_cast<uint32_t>(ym.pcmWaits.size())});
        last.kind = kCommandPcmRun;
        last.reg = static_cast<uint8_t>(index);
        last.value = static_cast<uint8_t>(index >> 8);
        last.port = static_cast<uint8_t>(index >> 16);
    }
    ym.pcmWaits.push_back(static_cast<uint8_t>(wait));
    ym.totalLength += waits.take(kChipYM2612);
    return true;
}

// After a 0x8n write that ended the YM2612 list's run and its wait: the 0x8n
// writes that follow at once join the run in one go, each waiting the wait
// of the opcode before it, up to the loop point, the data's end or the bank's.
// False, as wait() is, when the song grows longer than 2^32 samples.
bool VgmParser::joinPcmWrites() {
    if (!writable[kChipYM2612]) return true;
    MediaChipRecord& ym = recordOf(kChipYM2612);
    if (ym.commands.empty() || ym.commands.back().kind != kCommandPcmRun) return true;
    PcmRun& run = ym.pcmRuns.back();
    const uint64_t bankSize = vgm.ym2612PcmBank().size();
    if (uint64_t{run.first} + run.count != vgm.pcmPosition || vgm.pcmPosition >= bankSize)
        return true;
    const uint64_t stop =
        std::min({dataEnd, loopPos >= pos ? loopPos : dataEnd, pos + (bankSize - vgm.pcmPosition)});
    uint64_t end = pos;
    while (end < stop && (data[end] & 0xF0) == 0x80) ++end;
    const uint64_t n = end - pos;
    if (n == 0 || !vgm.budget().makeRoom(ym.pcmWaits, n)) return true;
    // Write k waits the opcode of write k - 1; the first, the wait since the run's last write.
    const uint64_t first = waits.take(kChipYM2612);
    uint64_t between = 0;
    ym.pcmWaits.push_back(static_cast<uint8_t>(first));
    for (uint64_t i = pos; i + 1 < end; ++i) {
        const uint8_t w = data[i] & 0x0F;
        ym.pcmWaits.push_back(w);
        between += w;
    }
    waits.advance(between);
    waits.take(kChipYM2612);
    ym.totalLength += first + between;
    run.count += static_cast<uint32_t>(n);
    vgm.pcmPosition += static_cast<uint32_t>(n);
    pos = end;
    return wait(data[end - 1] & 0x0F);
}

void VgmParser::nesWrite(uint8_t aa, uint8_t dd) {
    if (aa & 0x80)
        write(kChipNESAPUb, aa & 0x1F, dd);
    else if (aa <= 0x1F)
        write(kChipNESAPU, aa, dd);
    else if (aa <= 0x3E)
        write(kChipFDS, static_cast<uint8_t>(aa + 0x60), dd);
    else if (aa == 0x3F)
        write(kChipFDS, 0x23, dd);
    else
        write(kChipFDS, aa, dd);
}

void VgmParser::unassigned(uint8_t opcode, uint64_t opcodeOffset, bool& running) {
    const int n = kUnassignedLength[opcode >> 4];
    vgm.appendLog(format("%08X UNKNOWN OPCODE 0x%02X, advancing %d\n",
                         static_cast<uint32_t>(opcodeOffset), opcode, n));
    if (opcode >= 0x60 && opcode <= 0x9F) {
        vgm.appendLog("Treating this last opcode as the end\n");
        closeSong();
        running = false;
        return;
    }
    pos = opcodeOffset + static_cast<uint64_t>(n);
}

bool VgmParser::runCommands() {
    bool running = true;
    while (running && !vgm.budget().spent) {
        if (pos == loopPos) {
            for (auto& [type, record] : track.chips) {
                record.loopIndex = static_cast<int64_t>(record.commands.size());
                vgm.appendCommand(record, waits.take(type), 0, 0, 0, kCommandLoop);
            }
            track.loop.startTicks = waits.elapsed();
            track.loop.marker = static_cast<int64_t>(loopPos);
        }
        if (pos >= dataEnd) {
            vgm.appendLog("GetPos() >= fileEndOffset");
            closeSong();
            break;
        }
        const uint64_t at = pos;
        const uint8_t op = u8();
        if (op >= 0x70 && op <= 0x7F) {
            if (!wait((op & 0x0F) + 1u)) return false;
            continue;
        }
        if (op >= 0x80 && op <= 0x8F) {
            ym2612PcmWrite();
            if (!wait(op & 0x0F) || !joinPcmWrites()) return false;
            continue;
        }
        uint8_t aa = 0, dd = 0;
        switch (op) {
        case 0x00:
            break;
        case 0x30:
            write(kChipSN76489b, 0, u8());
            break;
        case 0x3F:
            write(kChipSN76489b, 1, u8());
            break;
        case 0x4F:
            write(kChipSN76489, 1, u8());
            break;
        case 0x50:
            write(kChipSN76489, 0, u8());
            break;
        case 0x31:
            u8();
            break;
        case 0x40:
        case 0x4E:
            aa = u8();
            write(kChipMIKEY, aa, u8());
            break;
        case 0x51:
        case 0x54:
        case 0x55:
        case 0x5A:
        case 0x5B:
        case 0x5C:
        case 0x5D:
        case 0xA1:
        case 0xA4:
        case 0xA5:
        case 0xAA:
        case 0xAB:
        case 0xAC:
        case 0xAD: {
            static constexpr MediaChipType kTypes[16] = {0, 4, 0,  0,  6,  7,  0, 0,
                                                         0, 0, 11, 12, 13, 14, 0, 0};
            const MediaChipType type = kTypes[op & 0x0F] + ((op & 0xF0) == 0xA0 ? 12 : 0);
            aa = u8();
            write(type, aa, u8());
            break;
        }
        case 0x52:
        case 0x53:
        case 0x56:
        case 0x57:
        case 0x5E:
        case 0x5F:
        case 0xA2:
        case 0xA3:
        case 0xA6:
        case 0xA7:
        case 0xAE:
        case 0xAF: {
            const uint8_t low = op & 0x0F;
            MediaChipType type = low <= 0x03   ? kChipYM2612
                                 : low <= 0x07 ? kChipYM2608
                                               : kChipYMF262;
            if ((op & 0xF0) == 0xA0) type += 12;
            aa = u8();
            write(type, aa, u8(), op & 1);
            break;
        }
        case 0x58:
        case 0x59:
        case 0xA8:
        case 0xA9: {
            MediaChipType type = (headerWord(0x4C) & kTopBit) ? kChipYM2610B : kChipYM2610;
            if ((op & 0xF0) == 0xA0) type += 12;
            aa = u8();
            write(type, aa, u8(), op & 1);
            break;
        }
        case 0x61:
            if (!wait(u16())) return false;
            break;
        case 0x62:
            if (!wait(735)) return false;
            break;
        case 0x63:
            if (!wait(882)) return false;
            break;
        case 0x66:
            closeSong();
            running = false;
            break;
        case 0x67:
            if (!dataBlock()) return false;
            break;
        case 0x68:
            if (u8() != 0x66) {
                vgm.appendLog("pcm ram block not at end\n");
                return false;
            }
            pos += 10;
            break;
        case 0x90:
        case 0x91:
        case 0x92:
        case 0x93:
        case 0x94:
        case 0x95:
            streamControl(op);
            break;
        case 0xA0:
            aa = u8();
            write((aa & 0x80) ? kChipAY8910b : kChipAY8910, aa & 0x7F, u8());
            break;
        case 0xB2:
            aa = u8();
            pwmWrite(aa, u8());
            break;
        case 0xB3:
        case 0xBB:
        case 0xBD: {
            const MediaChipType type = op == 0xB3   ? kChipGBDMG
                                       : op == 0xBB ? kChipPOKEY
                                                    : kChipSAA1099;
            aa = u8();
            write(type, aa, u8());
            break;
        }
        case 0xB4:
            aa = u8();
            nesWrite(aa, u8());
            break;
        case 0xB8:
            aa = u8();
            okiWrite(aa, u8());
            break;
        case 0xC0: {
            const uint16_t address = u16();
            segaPcmWrite(address, u8());
            break;
        }
        case 0xD2: {
            const uint8_t port = u8();
            aa = u8();
            dd = u8();
            write(kChipSCC, aa, dd, port);
            break;
        }
        case 0xE0:
            vgm.pcmSeek(u32());
            break;
        default:
            if ((op >= 0x32 && op <= 0x3E)) {
                pos += 1;
            } else if ((op >= 0x41 && op <= 0x4D) || (op >= 0xB0 && op <= 0xBF)) {
                pos += 2;
            } else if (op >= 0xC1 && op <= 0xDF) {
                pos += 3;
            } else if (op >= 0xE1) {
                pos += 4;
            } else {
                unassigned(op, at, running);
            }
            break;
        }
    }
    return true;
}

// End of data: drop unused chips, make every list end together.
bool VgmParser::finish() {
    // The runs read the bank where the track is played.
    const auto ym = track.chips.find(kChipYM2612);
    if (ym != track.chips.end() && !ym->second.pcmRuns.empty())
        ym->second.pcmBank.swap(vgm.ym2612PcmBank());
    std::string few; // the chips dropped, with their writes
    for (auto it = track.chips.begin(); it != track.chips.end();) {
        if (commandCount(it->second) <= 3) {
            uint64_t writes = 0;
            for (const MediaCommand& c : it->second.commands) {
                const PcmRun* run = pcmRunOf(it->second, c);
                writes += run ? run->count : c.kind == 'W';
            }
            few += (few.empty() ? "" : ", ") + it->second.name + " " + std::to_string(writes);
            it = track.chips.erase(it);
        } else {
            ++it;
        }
    }
    if (track.chips.empty()) {
        vgm.appendLog("no chips used?\n");
        vgm.appendLog(nothingToPlay(few));
        return false;
    }
    auto psg = track.chips.find(kChipSN76489);
    if (psg != track.chips.end()) {
        for (const MediaCommand& c : psg->second.commands) {
            if (c.kind == kCommandWrite && c.reg == 1 && c.value != 0xFF) {
                psg->second.name = "Sega GG";
                psg->second.variant = kVariantSegaGG;
                break;
            }
        }
    }
    const uint64_t sampleCount = waits.elapsed();
    uint64_t longest = 0;
    for (const auto& [type, record] : track.chips) longest = std::max(longest, record.totalLength);
    if (sampleCount != headerWord(0x18)) vgm.appendLog("TotalLength!=sampleCount\n");
    if (longest > sampleCount) {
        vgm.appendLog("longest>sampleCount\n");
        return false;
    }
    for (auto& [type, record] : track.chips) {
        if (record.totalLength < sampleCount && !record.commands.empty()) {
            MediaCommand last = record.commands.back();
            if (const PcmRun* run = pcmRunOf(record, last))
                last = {0, kCommandWrite, kPcmRegister, record.pcmBank[run->first + run->count - 1],
                        0};
            const uint64_t pad = sampleCount - record.totalLength;
            vgm.appendCommand(record, pad, last.value, last.port, last.reg, last.kind);
        }
    }
    track.playable = true;
    return true;
}

} // namespace VGM
