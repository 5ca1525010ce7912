// A voice that plays a chain of envelope segments from a curve-data block:
// each segment moves the level to its target over its time, in a straight
// line, along an exponential of the given curvature, or holds. Times are
// written for a step of 0.12 s and stretch with the slot's step length; the
// voice ticks 240 times a second in sample time and ends a tick early where
// a segment ends, so segment boundaries land on the right sample. The slot's
// loop modes walk the chain as they walk a step sequence. A bipolar voice
// outputs the level moved to -1..1.
#pragma once

#include <cstddef>

#include "synth/ModAction.h"

namespace VSX {

// The segment being played.
struct CurveSegmentState {
    static constexpr uint8_t kExponential = 10;
    static constexpr uint8_t kQuantised = 11;
    static constexpr uint8_t kHold = 254;
    static constexpr uint8_t kLinear = 255;

    double step = 0.0;
    double multiplier = 0.0;
    double offset = 0.0;
    float time = 0.0f;
    float level = 0.0f; // target level as written
    float curvature = 0.0f;
    uint32_t samplesLeft = 0;
    uint8_t type = kLinear;
    uint8_t timeScaled = 0;
    uint8_t stopAtZero = 0;
};

// One segment as the block stores it (non-finite numbers read as 0).
struct CurveSegment {
    float time = 0.0f;
    float level = 0.0f;
    float curvature = 0.0f;
    uint8_t type = 0;
};

class CurveActionVoice : public ModActionVoice {
public:
    static constexpr double kTickSeconds = 0.004166666883975267; // 1/240
    static constexpr double kWrittenStep = 0.12;

    using ModActionVoice::ModActionVoice;

    // Publishes, then plays one tick; returns its samples, fewer when a
    // segment ended inside it (at least 1).
    uint64_t onQuantum(double rate) override;
    // Back to the first segment's level.
    void start() override;
    void startAt(uint64_t position) override;
    void reset() override;

    // Segments the block holds, bounded by its size (0 without a block).
    size_t segmentCount() const;
    CurveSegment segmentAt(size_t i) const;
    // Prepares the state to move from l0 to its target at sample rate r.
    void setUpSegment(double l0, double r, bool align);
    // Moves the level by k samples of the segment; true when it finished.
    bool advanceSegment(uint64_t k);
    // Renders the segment into `out` sample by sample; true when the level
    // died away with the stop-at-zero flag set.
    bool renderSegment(float* out, size_t frames);
    float outputOf(double l) const;

    CurveSegmentState segment;
    double level = 0.0; // current level
    size_t segmentIndex = 0;
    double sampleRate = 44100.0;

private:
    // Chooses the next segment by the loop mode and sets it up; false when
    // the index stayed where it was.
    bool nextSegment();
};

} // namespace VSX
