// Register-level records of the OPN-family FM core: one FmSharedState per chip,
// six FmChannel records, four FmOperator records per channel (held in register
// order S1, S3, S2, S4) and one FmEnvelope per operator. The register model
// (FmRegisters), envelope (FmEnvelope), phase/LFO (FmPhase) and the renderers
// all work on these records; they hold no pointers except the channel's link
// to its chip's shared state.
#pragma once

#include <cstdint>

// Envelope states (`FmEnvelope::egState`). Value 4 is not used.
constexpr int32_t kEgKeyOnDelay = 1;
constexpr int32_t kEgAttack = 2;
constexpr int32_t kEgDecay = 3;
constexpr int32_t kEgSustain = 5; // sustain rate while keyed, release rate after key-off

// Operator record indices (register order).
constexpr int kOpS1 = 0;
constexpr int kOpS3 = 1;
constexpr int kOpS2 = 2;
constexpr int kOpS4 = 3;

// Envelope generator state of one operator.
struct FmEnvelope {
    int32_t egState = kEgSustain;
    uint8_t egSlot = 0;           // steps only when (egCounter & 3) == egSlot
    uint8_t keyOnDelayFast = 0;   // key-on delay steps when arRate >= 62
    uint8_t keyOnDelay = 0;       // key-on delay steps otherwise
    uint8_t egKeyOn = 0;          // the key as the envelope last saw it
    uint8_t ssgInverted = 0;      // SSG-EG output inversion
    uint8_t ssgKeyOffLatch = 0;   // total level already folded into egLevel
    uint8_t ssgAttackPending = 0; // invert the attenuation for this sample
    uint8_t arRate = 0;           // effective rates 0-62
    uint8_t d1rRate = 0;
    uint8_t d2rRate = 0;
    uint16_t sustainLevel10 = 0; // sustain level in attenuation units
    uint8_t rrRate = 0;          // effective release rate, 2-62 once computed
    uint8_t ssgEg = 0;           // SSG-EG register (0-15; 8 and above = active)
    int32_t egLevel = 1023;      // attenuation 0 (loudest) .. 1023 (silent)
    int32_t egStateCounter = 0;  // steps spent in the key-on delay
};

struct FmOperator {
    // Register fields.
    uint8_t detune = 0;       // 3 bits
    uint8_t multiple = 0;     // 4 bits
    uint8_t totalLevel = 0;   // 7 bits
    uint8_t keyScale = 0;     // 2 bits
    uint8_t attackRate = 0;   // 5 bits
    uint8_t amOn = 0;         // 0/1
    uint8_t decayRate = 0;    // 5 bits
    uint8_t sustainRate = 0;  // 5 bits
    uint8_t sustainLevel = 0; // 4 bits
    uint8_t releaseRate = 0;  // 4 bits
    // Derived.
    uint8_t keyCode = 0; // 5 bits
    // Key flags: the operator is keyed while either is set.
    uint8_t regKeyOn = 0;  // register 0x28
    uint8_t csmKeyOn = 0;  // CSM sequence
    uint8_t pgKeyOn = 0;   // the key as the phase generator last saw it
    uint32_t phase = 0;    // 21-bit accumulator; the 10-bit phase is phase >> 11
    uint32_t phaseInc = 0; // added per sample, modulo 2^21
    FmEnvelope eg;         // the SSG-EG register lives in eg.ssgEg
};

struct FmSharedState;

struct FmChannel {
    FmOperator operators[4]; // S1, S3, S2, S4
    // Entries 0-2: channel-3 special-mode frequencies of S1, S3, S2; entry 3:
    // the channel's own frequency.
    uint16_t fnum[4] = {}; // 11 bits
    uint8_t block[4] = {}; // 3 bits
    uint8_t specialMode = 0;
    uint8_t algorithm = 0; // 3 bits
    uint8_t feedback = 0;  // 3 bits
    uint8_t panBits = 0;   // bit 1 = left, bit 0 = right
    uint8_t pan = 0;       // effective pan: panBits, or 0 while muted
    uint8_t muted = 0;
    uint8_t ams = 0; // 2 bits
    uint8_t pms = 0; // 3 bits
    // Output history: [0], [1] newest and previous S1 output (feedback);
    // [2], [3] S1 one and two samples back as the other operators see it;
    // [4] S2's newest output; [5] S4's newest output.
    int32_t outputs[6] = {};
    FmSharedState* shared = nullptr;
};

// Chip-wide state shared by the channels (fields in this order).
struct FmSharedState {
    uint32_t variant = 0;
    uint16_t egCounter = 0;     // low 2 bits cycle 0, 1, 2; egCounter >> 2 = cycle
    uint16_t timerAReload = 0;  // 10 bits
    uint16_t timerACounter = 0; // overflows when bit 10 becomes set
    uint8_t timerARunning = 0;
    uint8_t timerAOverflow = 0;
    uint8_t csmKeyOnPending = 0;    // S3, S2, S4 of channel 3 to be keyed by CSM
    uint8_t csmS1KeyOffPending = 0; // S1 of channel 3 to be released by CSM
    uint8_t csmKeyOnActive = 0;     // S3, S2, S4 held by CSM
    uint8_t csmMode = 0;
    uint8_t lfoOn = 0;
    uint8_t lfoRate = 0;     // 0-7
    uint8_t lfoStep = 0;     // wraps at 256; low 7 bits matter
    uint8_t lfoPrevStep = 0; // step seen by S3, S2, S4
    uint32_t lfoSubCounter = 0;
    uint32_t lfoAm = 0;     // 0-63, seen by S1
    uint32_t lfoPrevAm = 0; // seen by S3, S2, S4
    // Phase increments are scaled by pitchScale / 2^24: the chip plays as if
    // clocked that much faster than the rate it is run at (kFmOwnPitch: at
    // that rate). A clock, not a register: reset keeps it.
    uint32_t pitchScale = 1u << 24;
};

constexpr uint32_t kFmOwnPitch = 1u << 24;

// The FM chip variants.
constexpr uint32_t kFmYM2203 = 0;
constexpr uint32_t kFmYM2608 = 1;
constexpr uint32_t kFmYM2610 = 2;
constexpr uint32_t kFmYM2610B = 3;
constexpr uint32_t kFmYM2612 = 4;
constexpr uint32_t kFmVariantCount = 5;
