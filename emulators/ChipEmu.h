// The interface every sound-chip emulator implements. Emulators render one
// sample per output frame at the rate they are run and add into caller-owned
// 32-bit buffers; every buffer they need is allocated by init().
#pragma once

#include <cstdint>
#include <vector>

#include "vantor/ParameterInfo.h"

// Whole chip samples of a spread render handed over as rows instead of
// frames (ChipEmu::renderRows): one row per chip sample whose 21 frames start
// in the caller's block, its six channel values a side as a unit would add
// them into the sample's frames (rows[r][0][0-5] left, rows[r][1][0-5] right,
// the sample's channels 1-6 by record; [6] and [7] stay zero). Row r is the
// sample that starts at frame first + 21 r of the block (first below 21);
// `offset` is the frame of the block where the current render starts.
struct SpreadRows {
    int32_t (*rows)[2][8] = nullptr;
    uint64_t count = 0;
    uint32_t first = 0;
    uint64_t offset = 0;
};

struct ChipInfo {
    uint64_t firstWord = 1;
    uint64_t inputCount = 0;
    uint64_t outputCount = 1;                      // buffers render32 adds into (1 to 4)
    uint64_t clockDivisor = 1;                     // output rate = clock / clockDivisor
    std::vector<double> clocks;                    // selectable chip clocks in Hz
    std::vector<vantor::ParameterInfo> parameters; // one per setParameter index
    uint64_t initialClockIndex = 0;
    char partName[32] = {};
    char familyName[32] = {};
    float outputGains[4] = {0.00390625f, 0.00390625f, 0.00390625f, 0.00390625f};
};

class ChipEmu {
public:
    virtual ~ChipEmu() = default;
    virtual bool init(uint32_t maxFrames, const char* context, uint32_t flags) = 0;
    virtual void fullReset() { reset(); }
    virtual void reset() = 0;
    virtual ChipInfo* getInfo() = 0;
    virtual void setClockIndex(uint64_t /*index*/) {}
    virtual void reserved7() {}
    virtual void write(uint16_t address, uint8_t data, uint64_t port) = 0;
    virtual uint8_t readRegister(uint16_t /*address*/) { return 0; }
    virtual uint64_t reserved10() { return 0; }
    virtual void setParameter(uint32_t index, float value) = 0;
    virtual void setOutputOffset(uint64_t /*ignored*/, int16_t /*left*/, int16_t /*right*/) {}
    virtual int render32(int32_t** outputs, uint64_t frames) = 0;
    virtual void render16(int16_t* output, uint64_t ignored, uint64_t frames) = 0;
    virtual uint64_t reserved15() { return 0; }
    virtual uint64_t reserved16() { return 0; }
    virtual uint64_t reserved17() { return 0; }
    virtual void reserved18() {}
    virtual const float* getFilterSettings() { return nullptr; }
    virtual uint64_t reserved20() { return 0; }
    virtual uint64_t reserved21() { return 0; }
    virtual void reserved22() {}
    // Whether render32 would add only zeros until the next write or setting
    // (false when that is not known).
    virtual bool isSilent() { return false; }
    // Moves a unit that isSilent() `frames` frames on as render32 would,
    // without rendering (perhaps only when it is next used).
    virtual void advanceSilent(uint64_t /*frames*/) {}
    // Completes what advanceSilent left for later.
    virtual void settleSilent() {}
    // Whether render32 may add the whole of a chip sample that the end of a
    // block cuts, into up to kSpreadCarry frames past the block: the caller
    // keeps that room and starts its next block with those frames.
    virtual void setSpreadCarry(bool /*on*/) {}
    // For a caller that carries: takes back from outputs (the frames where
    // the unit's next block would start) what the unit added past its last
    // block that it would not have added itself (the unit is skipped, or
    // was reset, since).
    // Returns whether it took anything back.
    virtual bool retractCarry(int32_t** /*outputs*/) { return false; }
    // As render32, except that a unit that carries may add whole chip
    // samples that lie on the grid of `rows` into their rows instead of
    // their frames. Returns whether it added anything into outputs.
    virtual bool renderRows(int32_t** outputs, uint64_t frames, SpreadRows& /*rows*/) {
        render32(outputs, frames);
        return true;
    }
    // One span of a caller that renders every enabled unit in turn: with
    // `fast` (the shortcuts on) a unit that isSilent() only moves on
    // (advanceSilent) and carries when `carry`; otherwise as renderRows
    // (rows not null) or render32. One call per unit and span, so a unit
    // can answer its own silence cheaply. Returns whether anything was
    // added into outputs (always, for render32).
    virtual bool renderSpan(int32_t** outputs, uint64_t frames, SpreadRows* rows, bool fast,
                            bool carry) {
        setSpreadCarry(fast && carry);
        if (fast && isSilent()) {
            advanceSilent(frames);
            return false;
        }
        if (rows) return renderRows(outputs, frames, *rows);
        render32(outputs, frames);
        return true;
    }
    // The most frames past a block that a unit adds into.
    static constexpr uint32_t kSpreadCarry = 21;

    // A unit that keeps its own silence may show it here, so that a caller
    // passes over it without a call: while knownSilent is set the unit
    // isSilent() and its advanceSilent is oweSilent. A caller with the
    // shortcuts on may then call oweSilent instead of renderSpan.
    bool knownSilent = false;
    // Frames a known-silent unit has been advanced by and not moved on yet.
    uint64_t owedFrames = 0;
    // Frames owed are paid (payOwed) once they reach owedLimit: at most
    // kMaxOwedFrames (about 59 ms at the console clock) for a unit whose
    // moving on costs about the same for any length, kCostlyOwedFrames
    // (about 0.5 ms) for one whose moving on costs per frame (the unit sets
    // it when it finds its silence). Either way no block pays for a long
    // backlog at once.
    static constexpr uint64_t kMaxOwedFrames = uint64_t(1) << 16;
    static constexpr uint64_t kCostlyOwedFrames = 512;
    uint64_t owedLimit = kMaxOwedFrames;
    void oweSilent(uint64_t frames) {
        owedFrames += frames;
        if (owedFrames >= owedLimit) payOwed();
    }
    // Pays the frames owed (at least those oweSilent counted).
    virtual void payOwed() { settleSilent(); }
};
