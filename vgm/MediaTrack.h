// The media model every register-log reader writes and the player replays.
// A track is a map of chip records, one per chip of the song (keyed by the
// media chip type), each holding a list of timed 8-byte commands whose deltas
// count ticks of the record's command rate since that chip's previous
// command. A run of YM2612 PCM bank writes is held as one 'P' command (see
// PcmRun), which the player sends as the writes it stands for. PCM sample
// playback is carried by DAC stream records (types 84-99) whose commands are
// stream-control sub-commands, and by the track's list of PCM data blocks.
// Tags follow the order of the VGM GD3 block.
#pragma once

#include "vgm/GrowList.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace VGM {

// Chip identity used by every media record and callback.
using MediaChipType = uint32_t;

enum : MediaChipType {
    kChipSN76489 = 0,
    kChipSN76489b = 1,
    kChipYM2413 = 4,
    kChipYM2612 = 5,
    kChipYM2151 = 6,
    kChipYM2203 = 7,
    kChipYM2608 = 8,
    kChipYM2610 = 9,
    kChipYM2610B = 10,
    kChipYM3812 = 11,
    kChipYM3526 = 12,
    kChipY8950 = 13,
    kChipYMZ280B = 14,
    kChipYMF262 = 15,
    kChipSecondOffset = 12, // second chip of types 4-15 is type + 12
    kChipYMF278B = 28,
    kChipYMF271 = 29,
    kChipAY8910 = 31,
    kChipAY8910b = 32,
    kChipPOKEY = 36,
    kChipMIKEY = 39,
    kChipFDS = 41,
    kChipNESAPU = 44,
    kChipNESAPUb = 45,
    kChipGBDMG = 48,
    kChipWSwan = 51,
    kChipVSU = 52,
    kChipSAA1099 = 53,
    kChipES5503 = 54,
    kChipES5506 = 55,
    kChipX1010 = 56,
    kChipC352 = 57,
    kChipGA20 = 58,
    kChipSCC = 59,
    kChipAY8930 = 68,
    kChipDacStream0 = 84, // PCM streams 0-15 are types 84-99
    kChipDacStreamCount = 16,
    kChipNone = 100,
    kChipAll = 101,
};

// Kinds of MediaCommand.
enum : uint8_t {
    kCommandWrite = 'W',
    kCommandLoop = 'L',
    kCommandEnd = 'E',
    kCommandStart = 'S',
    kCommandPcmRun = 'P', // a run of PCM bank writes; reg, value, port: its run index
};

// One timed command: wait `delta` ticks, then act.
struct MediaCommand {
    uint32_t delta;
    uint8_t kind;
    uint8_t reg;
    uint8_t value;
    uint8_t port;
};
static_assert(sizeof(MediaCommand) == 8);
static_assert(offsetof(MediaCommand, kind) == 4);
static_assert(offsetof(MediaCommand, reg) == 5);
static_assert(offsetof(MediaCommand, value) == 6);
static_assert(offsetof(MediaCommand, port) == 7);

// Variants of a chip record.
enum : uint32_t {
    kVariantDefault = 0,
    kVariantSegaPSG = 1, // SN76489 with a 16-bit noise shift register
    kVariantSegaGG = 2,  // SN76489 with Game Gear stereo writes
    kVariantAY8930 = 3,
};

// The register a PCM bank write goes to: the YM2612 DAC.
constexpr uint8_t kPcmRegister = 0x2A;

// Writes of consecutive PCM bank bytes to the DAC register (VGM opcodes
// 0x80-0x8F), held as one 'P' command: the command's delta is the wait before
// the first write, pcmWaits[waitStart + k - 1] the wait before write k, and
// write k sends pcmBank[first + k]. A DAC-heavy song so costs about a byte per
// write instead of a command.
struct PcmRun {
    uint32_t first = 0;     // bank position of the first write
    uint32_t count = 0;     // writes, 2 or more
    uint32_t waitStart = 0; // index of the wait before the second write
};
constexpr uint32_t kMaxPcmRuns = 1u << 24; // a run index fits the command's three bytes
constexpr uint64_t kMaxPcmRunWait = 255;   // a run's waits are one byte each

// One chip of a track with its command list. Lists grow as they fill.
struct MediaChipRecord {
    GrowList<MediaCommand> commands;
    MediaChipType type = kChipNone;
    uint32_t variant = kVariantDefault;
    uint32_t chipFlags = 0;
    uint32_t clock = 0; // Hz, without the header's two flag bits
    int32_t commandRate = 44100;
    bool hasRegister = false; // a write with a non-zero register byte was added
    bool hasPort = false;     // a write with a non-zero port byte was added
    std::string name;         // part name, e.g. "YM2612"
    std::string shortName;    // family, e.g. "OPN2"
    int64_t loopIndex = -1;   // index of the 'L' command, -1 without loop
    uint64_t totalLength = 0; // sum of the deltas, in ticks
    // The 'P' commands' runs, their waits and the PCM bank they read.
    GrowList<PcmRun> pcmRuns;
    GrowList<uint8_t> pcmWaits;
    std::vector<uint8_t> pcmBank;
};

// The run a 'P' command stands for; null for any other command and for a
// run that does not lie inside the record's waits and bank.
inline const PcmRun* pcmRunOf(const MediaChipRecord& record, const MediaCommand& c) {
    if (c.kind != kCommandPcmRun) return nullptr;
    const uint32_t index = c.reg | (c.value << 8) | (uint32_t{c.port} << 16);
    if (index >= record.pcmRuns.size()) return nullptr;
    const PcmRun& run = record.pcmRuns[index];
    if (run.count == 0 || uint64_t{run.waitStart} + run.count - 1 > record.pcmWaits.size() ||
        uint64_t{run.first} + run.count > record.pcmBank.size())
        return nullptr;
    return &run;
}

// Calls `f` with the wait before every command of the list from `from` on,
// a run's writes one by one.
template <class F> void forEachWait(const MediaChipRecord& record, size_t from, F&& f) {
    for (size_t i = from; i < record.commands.size(); ++i) {
        const MediaCommand& c = record.commands[i];
        f(uint64_t{c.delta});
        if (const PcmRun* run = pcmRunOf(record, c))
            for (uint32_t k = 1; k < run->count; ++k)
                f(uint64_t{record.pcmWaits[run->waitStart + k - 1]});
    }
}

// The commands the list stands for, a run counting as its writes.
inline uint64_t commandCount(const MediaChipRecord& record) {
    uint64_t n = record.commands.size();
    for (const PcmRun& run : record.pcmRuns) n += run.count ? run.count - 1 : 0;
    return n;
}

// The YM2612 PCM seek targets a track keeps: the player's region map has
// this many slots and takes the smallest targets.
constexpr size_t kMaxSeekOffsets = 128;

// Room for decoded samples, which a decoder writes whole right after making
// it: a resize leaves the new samples unset instead of zeroing them first.
template <class T>
struct UnfilledAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UnfilledAllocator<U>;
    };
    UnfilledAllocator() = default;
    template <class U>
    UnfilledAllocator(const UnfilledAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using SampleList = std::vector<int16_t, UnfilledAllocator<int16_t>>;

// One PCM data block of a track: the bytes as stored, the samples the DAC
// streamer plays, and where the data sits in the chip's address space.
struct DataBlock {
    SampleList samples;
    std::vector<uint8_t> bytes;
    std::vector<uint32_t>
        seekOffsets;          // the smallest YM2612 PCM seek targets of the song, ascending
    uint32_t size = 0;        // ROM dumps: whole ROM size; RAM writes: data size
    uint32_t startOffset = 0; // ROM or RAM address of the first byte
    uint32_t type = 0;        // VGM block type (compressed: its low 6 bits)
    float nominalRate = 0.0f;
    uint32_t sampleCount = 0;
    uint16_t defaultGain = 1; // gain a block played whole takes when none is set
    uint8_t chip = 0;         // 0 first chip, 1 second chip of the type
};

// The loop point of a track: ticks from the start, and -1 when it does not loop.
struct MediaLoop {
    uint64_t startTicks = 0;
    int64_t marker = -1;
};

enum TagIndex : int {
    kTagTrackName,
    kTagTrackNameJapanese,
    kTagGameName,
    kTagGameNameJapanese,
    kTagSystemName,
    kTagSystemNameJapanese,
    kTagAuthor,
    kTagAuthorJapanese,
    kTagReleaseDate,
    kTagConverter,
    kTagNotes,
    kTagCount
};

struct MediaTrack {
    std::map<MediaChipType, MediaChipRecord> chips; // ascending type order
    std::vector<DataBlock> dataBlocks;
    MediaLoop loop;
    std::u16string tags[kTagCount]; // UTF-16 code units as read
    bool playable = false;
    float volumeGain = 1.0f;
};

} // namespace VGM
