// What a "STEP" source of the modulation matrix becomes in one part: a mod
// action that plays one of the host's shared data blocks (a step sequence or
// a chain of curve segments) with one sequencer voice per routed voice. Each
// voice is at once a timer in sample time on the controller's queue (cookie
// part x 256 + slot) and a modulator whose value feeds the routes. The mod
// action ties the voices to their automation slot, the part's lane of it, the
// host's tempo and the voices' pitch, and gives them the length of a step.
//
// Shared data blocks start with a u32 kind: 22362 step data (signed 8-bit
// steps, 16384 of them from offset 64, lane k's steps at k x step count;
// i16 lowest and highest step value at 32 and 34), 50789 curve data (u32
// segment count at 32, up to 256 segments of 16 bytes from 36: f32 time,
// f32 level, f32 curvature, byte type, three spare bytes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine-support/QuantumTimer.h"
#include "synth/Modulator.h"

namespace VSX {

class AutomSlot;
class AutomSlotZone;
class ModAction;
class PitchProvider;
class SyncProvider;

// The layout of a step-data block.
namespace StepBlock {
constexpr uint32_t kId = 22362;
constexpr size_t kMinOffset = 32;
constexpr size_t kMaxOffset = 34;
constexpr size_t kStepsOffset = 64;
constexpr size_t kSteps = 16384;
constexpr size_t kSize = kStepsOffset + kSteps;
} // namespace StepBlock

// The layout of a curve-data block.
namespace CurveBlock {
constexpr uint32_t kId = 50789;
constexpr size_t kCountOffset = 32;
constexpr size_t kSegmentsOffset = 36;
constexpr size_t kSegmentSize = 16;
constexpr size_t kDataOffset = 116; // past the five default segments
constexpr size_t kSize = 4132;
constexpr size_t kMaxSegments = (kSize - kSegmentsOffset) / kSegmentSize; // 256
} // namespace CurveBlock

// Reads a little-endian value from a host block (any alignment).
uint32_t readBlockU32(const uint8_t* block, size_t offset);
int16_t readBlockI16(const uint8_t* block, size_t offset);
float readBlockF32(const uint8_t* block, size_t offset);

// Turns a sample count with its carried fraction into a whole count: rounded
// to nearest, at least 1 (a timer never asks to run again at once), huge or
// infinite counts parked far ahead. The fraction left over goes to carry.
uint64_t samplesWithCarry(double samples, float& carry);

class ModActionParent {
public:
    virtual ~ModActionParent() = default;
    // Seconds one step of voice i lasts.
    virtual double getStepDuration(uint64_t voice) = 0;
};

// A sequencer voice: a timer and a modulator.
class ModActionVoice : public vantor::QuantumTimer, public Modulator {
public:
    ModActionVoice(ModAction* owner, uint64_t index, uint8_t polarity);

    // The timer's tick; returns the samples until the next one.
    uint64_t onQuantum(double rate) override = 0;
    void reset() override {}
    // Stores the flag and tells every listener that the voice was switched.
    void setActive(int on) override;
    int getKind() override { return polarity; }
    // Note-on: back to the first step or segment.
    virtual void start() = 0;
    // As start, then jumps to a step offset within the lane.
    virtual void startAt(uint64_t position) = 0;
    uint8_t getPolarity() const { return polarity; }

    ModAction* owner;
    uint64_t index;
    uint64_t position = 0;
    float carry = 0.0f;
    float ramp = 1.0f;
    uint16_t delay = 0;
    uint8_t polarity;
    uint8_t gate = 0;
    uint8_t previousGate = 0;
    uint64_t ticks = 0;

protected:
    // Stores the value and tells the listeners (start marks a note start).
    void update(float v, bool startFlag);
};

class ModAction : public ModActionParent {
public:
    // Builds `voiceCount` voices of the kind the block's id names (none for an
    // unknown id or a null block); bipolar voices when asked.
    ModAction(AutomSlot* slot, AutomSlotZone* lane, uint8_t* block, size_t blockSize, uint64_t part,
              size_t voiceCount, bool bipolar, SyncProvider* syncProvider,
              PitchProvider* pitchProvider);
    ~ModAction() override;
    ModAction(const ModAction&) = delete;
    ModAction& operator=(const ModAction&) = delete;

    // Switches every voice, tells its listeners, and starts it.
    void setActive(bool on);
    void restartVoice(uint64_t i);
    void restartAllVoices();
    // Voice i (voice 0 when i is out of range) holds its note or not.
    void setVoiceGate(uint64_t i, bool on);
    // Voice i, or voice 0 when i is out of range (null without voices).
    ModActionVoice* getVoice(uint64_t i);
    size_t voiceCount() const { return voices.size(); }
    // Samples from now to the next step boundary of the host's grid, having
    // put voice i on the step the host position falls in.
    uint64_t computeSyncStartDelay(double sampleRate, uint64_t i);
    double getStepDuration(uint64_t voice) override;

    AutomSlotZone* lane;
    AutomSlot* slot;
    uint8_t* block;   // shared with the host, not owned
    size_t blockSize; // bytes the host said the block holds
    uint64_t part = UINT64_MAX;
    std::vector<std::unique_ptr<ModActionVoice>> voices;
    SyncProvider* syncProvider;
    PitchProvider* pitchProvider;
};

} // namespace VSX
