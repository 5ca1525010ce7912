// The host transport state of one audio block, with the values derived from it
// once per block. The record is handed to the engine host as raw memory, so its
// 128-byte little-endian layout is fixed (see the static_asserts below).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantor {

struct SyncInfo {
    SyncInfo();

    // Derives the per-block values; false (and the derived values untouched)
    // when the snapshot is not valid. `tag` is unused; `logText`, when given
    // and `quiet` is false, receives the log line of an invalid snapshot.
    bool prepare(int16_t frames, double rate, const char* tag, std::string* logText, bool quiet);
    // 0 when valid, else the code of the first failed check; may clear `loopActive`.
    int valid();
    // Replaces `text` with a one-line description; returns code == 0.
    bool log(int code, std::string& text) const;

    // Binary layout: do not reorder.
    double samplePosition;      // project position in samples
    double sampleRate;          // samples per second
    double systemTime;          // host system time in nanoseconds, 0 when unknown
    double ppqPosition;         // block start in quarter notes
    double tempo;               // beats per minute
    double barStartPpq;         // current bar's start in quarter notes
    double loopStartPpq;        // loop start in quarter notes
    double loopEndPpq;          // loop end in quarter notes
    int32_t timeSigNumerator;   //
    int32_t timeSigDenominator; //
    int32_t samplesToNextClock; // 0xFFFFFF when the host gives none
    uint8_t reserved1[8];
    uint8_t playing;
    uint8_t recording;
    uint8_t loopActive;
    uint8_t diff;
    uint8_t barInBlock;  // derived: a bar line falls inside the block
    uint8_t loopInBlock; // derived: the loop boundary falls inside the block
    int16_t blockFrames;
    int32_t samplesToNextBar; // derived, >= 0
    double quartersPerBar;    // derived
    double blockLengthPpq;    // derived
    mutable double lastLoggedPpq;
    uint8_t reserved2[8];
};

static_assert(sizeof(SyncInfo) == 128);
static_assert(offsetof(SyncInfo, samplePosition) == 0);
static_assert(offsetof(SyncInfo, sampleRate) == 8);
static_assert(offsetof(SyncInfo, systemTime) == 16);
static_assert(offsetof(SyncInfo, ppqPosition) == 24);
static_assert(offsetof(SyncInfo, tempo) == 32);
static_assert(offsetof(SyncInfo, barStartPpq) == 40);
static_assert(offsetof(SyncInfo, loopStartPpq) == 48);
static_assert(offsetof(SyncInfo, loopEndPpq) == 56);
static_assert(offsetof(SyncInfo, timeSigNumerator) == 64);
static_assert(offsetof(SyncInfo, timeSigDenominator) == 68);
static_assert(offsetof(SyncInfo, samplesToNextClock) == 72);
static_assert(offsetof(SyncInfo, reserved1) == 76);
static_assert(offsetof(SyncInfo, playing) == 84);
static_assert(offsetof(SyncInfo, recording) == 85);
static_assert(offsetof(SyncInfo, loopActive) == 86);
static_assert(offsetof(SyncInfo, diff) == 87);
static_assert(offsetof(SyncInfo, barInBlock) == 88);
static_assert(offsetof(SyncInfo, loopInBlock) == 89);
static_assert(offsetof(SyncInfo, blockFrames) == 90);
static_assert(offsetof(SyncInfo, samplesToNextBar) == 92);
static_assert(offsetof(SyncInfo, quartersPerBar) == 96);
static_assert(offsetof(SyncInfo, blockLengthPpq) == 104);
static_assert(offsetof(SyncInfo, lastLoggedPpq) == 112);
static_assert(offsetof(SyncInfo, reserved2) == 120);

// Samples from `ppqPosition` to the next bar line / the next beat, >= 0.
int64_t samplesToNextBar(double tempo, double ppqPosition, double barStartPpq, double numerator,
                         double denominator, double sampleRate);
int64_t samplesToNextBeat(double tempo, double ppqPosition, double barStartPpq, double numerator,
                          double denominator, double sampleRate);

} // namespace vantor
