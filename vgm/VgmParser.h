// The VGM register-log reader. A VGM file is a 256-byte little-endian header
// (chip clocks, loop point, tag offset), a command stream of one-byte opcodes
// with their operands (register writes per chip, waits in 1/44100 s ticks,
// PCM data blocks and stream control) and an optional GD3 tag block of UTF-16
// texts. The reader turns the stream into one command list per chip, each
// delta counting the ticks since that chip's previous command, and turns the
// PCM-producing commands into DAC stream records. Every offset and size taken
// from the file is checked against the bytes present.
#pragma once

#include "vgm/VGMX.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace VGM {

class VgmParser {
public:
    VgmParser(VGMX& collection, const uint8_t* data, uint64_t size)
        : vgm(collection), track(collection.track()), data(data), size(size) {}

    bool parse(bool readTags);

private:
    // ---- header and command loop (VgmParser.cpp)
    uint32_t headerWord(uint32_t offset) const;
    void readTags(uint64_t tagStart);
    void buildChipRecords();
    void addChip(uint32_t clockField, MediaChipType type, MediaChipType second, bool secondFlag,
                 const char* name, const char* shortName, uint32_t variant = 0);
    bool runCommands();
    bool finish();
    std::string nothingToPlay(const std::string& few) const;
    void unassigned(uint8_t opcode, uint64_t opcodeOffset, bool& running);
    bool wait(uint64_t ticks);
    void write(MediaChipType type, uint8_t reg, uint8_t value, uint8_t port = 0);
    void closeSong();
    MediaChipRecord& recordOf(MediaChipType type);
    void ym2612PcmWrite();
    bool extendPcmRun(MediaChipRecord& ym, uint32_t at);
    bool joinPcmWrites();
    void nesWrite(uint8_t aa, uint8_t dd);
    uint8_t u8() { return pos < size ? data[pos++] : (pos++, 0); }
    uint16_t u16() {
        const uint8_t low = u8(); // two statements: the operands of | are unsequenced
        return static_cast<uint16_t>(low | (u8() << 8));
    }
    uint32_t u32() {
        uint32_t v = u16();
        return v | (static_cast<uint32_t>(u16()) << 16);
    }

    // ---- PCM streams (VgmStreams.cpp)
    void streamControl(uint8_t opcode);
    void stream(uint32_t s, uint8_t sub, uint8_t a, uint8_t b = 0);
    void stream32(uint32_t s, uint8_t subHigh, uint32_t x);
    void segaPcmWrite(uint16_t address, uint8_t value);
    bool segaPcmRestart(uint32_t channel);
    void okiWrite(uint8_t aa, uint8_t dd);
    void pwmWrite(uint8_t ad, uint8_t dd);

    // ---- data blocks (VgmDataBlocks.cpp)
    bool dataBlock();
    bool storeBlock(uint8_t type, uint8_t chip, const uint8_t* p, uint64_t n);
    bool decompress(const uint8_t* p, uint64_t n, SampleList& out, uint32_t& bits);
    bool storeTable(const uint8_t* p, uint64_t n);
    void rebuildOkiPhrases(uint8_t chip);

    VGMX& vgm;
    MediaTrack& track;
    const uint8_t* data;
    uint64_t size;
    uint64_t pos = 0;

    uint8_t header[256] = {};
    uint32_t version = 0;
    uint64_t dataStart = 0x40;
    uint64_t dataEnd = 0;
    uint64_t loopPos = UINT64_MAX;
    PendingWaits waits;
    bool writable[kChipNone] = {};
    uint64_t unclockedWrites = 0;             // writes to chips without a header clock
    MediaChipRecord* records[kChipNone] = {}; // each written chip's record, found once
    // The YM2612 command that is a PCM bank write of its own, and its bank
    // position: a next write of the following byte makes the two a run.
    uint64_t pcmWriteIndex = UINT64_MAX;
    uint32_t pcmWritePosition = 0;

    // PCM stream state
    bool streamSeen[16] = {};
    struct SegaPcmChannel {
        uint16_t loopAddress = 0;
        uint32_t startAddress = 0;
        uint32_t bankOffset = 0;
        uint8_t endHigh = 0;
        uint8_t control = 0x01; // channels power up stopped
        bool playing = false;
    };
    std::array<SegaPcmChannel, 16> segaPcm{};
    uint32_t segaPcmClock = 0;
    uint32_t segaPcmBankShift = 0;
    uint32_t segaPcmBankMask = 0;
    struct OkiPhrase {
        uint32_t bank = 0, start = 0, length = 0;
        uint32_t romStart = 0, romEnd = 0; // the table entry it was decoded from
    };
    std::array<std::array<OkiPhrase, 128>, 2> okiPhrases{};
    int okiPending[2] = {-1, -1};
    // Blocks looked at and nibbles decoded for phrase tables; a file that
    // swaps tables without end stops being decoded once this passes a bound.
    uint64_t okiWork = 0;
    bool okiWorkSpent = false;
    uint32_t okiClock = 0;
    struct {
        uint32_t sampleRate = 22472;
        uint16_t control = 0;
        uint16_t cycle = 0;
        uint16_t fifo[3][3] = {};
        uint8_t fifoCount[3] = {};
        uint32_t clock = 0;
    } pwm;
    // Decompression table of the DPCM and table-lookup bit-packing blocks.
    struct {
        bool present = false;
        uint8_t method = 0, subType = 0, bitsDecompressed = 0, bitsCompressed = 0;
        std::vector<uint16_t> values;
    } table;
};

} // namespace VGM
