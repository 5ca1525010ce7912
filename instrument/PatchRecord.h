// One FM instrument of the console instrument: the four-operator voice of a
// YM2612 channel held as 128 signed 32-bit words (512 bytes). Words 16k to
// 16k + 15 describe operator k; operator k = 0, 1, 2, 3 is the chip operator at
// register offset +0, +8, +4, +12 within the channel (the chip's operators 1
// to 4), which the instrument's pages call "OP4", "OP3", "OP2", "OP1". Words 64
// to 68 hold the channel settings. Levels and rates are stored as the chip
// value subtracted from its maximum (127 - total level, 31 - attack rate ...);
// a word not listed below is not interpreted.
//
// Besides the record, this header offers the conversions that do not come
// from a file: capture from a register image, a random patch and the field
// copy. File formats (and the debug dump) live in PatchFiles.h and PatchText.h.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

struct PatchRecord {
    // Operator fields (word 16k + field).
    enum OperatorField : int {
        kLevel = 0,     // 0-127: 127 - total level
        kMult = 1,      // 0-15: frequency multiple
        kDetune = 2,    // -3..+3
        kAttack = 3,    // 0-31: 31 - attack rate
        kDecay = 4,     // 0-31: 31 - decay rate
        kSustain = 5,   // 0-15: 15 - sustain level
        kDecay2 = 6,    // 0-31: 31 - second decay rate
        kRelease = 7,   // 0-15: 15 - release rate
        kTremolo = 8,   // 0-1: amplitude modulation on
        kSsg = 9,       // 0 off, 1-8 = SSG-EG shape 0-7
        kKsRate = 10,   // 0-3: key scaling of the rates
        kVelocity = 11, // 0-7: velocity sensitivity
        kKsLevel = 12,  // 0-99: key scaling of the level
        kOperatorFields = 16,
    };
    // Channel words.
    static constexpr int kAlgorithm = 64;    // 0-7
    static constexpr int kFeedback = 65;     // 0-7
    static constexpr int kVibrato = 66;      // 0-7: frequency modulation sensitivity
    static constexpr int kTremoloDepth = 67; // 0-3: amplitude modulation sensitivity
    static constexpr int kExtra = 68;        // target of parameter indices 68-71
    // Parameter indices 0-71 address words 0-68 (68-71 all word 68).
    static constexpr int kParameterCount = 72;

    // Bit k set: operator k is a carrier in that algorithm.
    static constexpr uint8_t kCarriers[8] = {0x08, 0x08, 0x08, 0x08, 0x0A, 0x0E, 0x0E, 0x0F};

    int32_t& op(int k, int field) { return words[16 * k + field]; }
    int32_t op(int k, int field) const { return words[16 * k + field]; }
    // Word of parameter index 0-71.
    static int wordOfParameter(int index) { return index < 68 ? index : kExtra; }
    // Carrier mask of the stored algorithm (taken modulo 8).
    uint8_t carriers() const { return kCarriers[words[kAlgorithm] & 7]; }

    // Smallest and largest value of word `word` (operator fields by their
    // field number); words without a range give the whole i32 range.
    static int32_t minimumOf(int word);
    static int32_t maximumOf(int word);

    int32_t words[128] = {};
};

static_assert(sizeof(PatchRecord) == 512, "128 words");

// Fills the record from a channel's register image: `registers[r]` holds the
// channel's copy of register r (0xB0, 0xB4, operator registers at base + 0,
// 8, 4, 12). Carriers are made louder so that a quiet captured channel plays at
// a usable level.
void patchFromRegisters(PatchRecord& record, const std::array<uint8_t, 256>& registers);
// A random but playable patch (random numbers from PUrandf).
void randomizePatch(PatchRecord& record);
// Copies parameter indices 0-71 (words 0-68).
void copyPatch(PatchRecord& target, const PatchRecord& source);
// Random integer 0 to n - 1 (0 for n < 1).
int32_t randomBelow(int32_t n);
// Velocity 4 on carriers and 0 on modulators, Ks Level 0, as every importer sets.
void setImportedVelocities(PatchRecord& record);
