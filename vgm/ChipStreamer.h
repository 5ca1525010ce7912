// The player of one chip's command list: a timer on the chip controller's
// sample-time queue. Each firing sends the command that fell due to every
// listener and answers the number of output samples until the next one. A
// command's delta is the wait before it, counted in ticks of the list's
// command rate; a run of PCM bank writes is sent write by write, each at its
// own wait; ticks become samples with a carried fraction, so a long song
// keeps its timing to the sample whatever the output rate and speed.
//
// At the end of the list a looping stream goes on after the track's loop
// command; a stream without a loop reports its end, resets its chip and
// starts over from its first command half a second later. A stream that
// cannot play (no commands, no command rate, no time in it) parks itself.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine-support/QuantumTimer.h"
#include "vgm/MediaCallback.h"
#include "vgm/MediaTrack.h"

namespace VGM {

class ChipStreamer : public virtual vantor::QuantumTimer {
public:
    // The queue cookie of every media streamer.
    static constexpr uint64_t kCookie = 35607;
    // A wait that parks the timer for good.
    static constexpr uint64_t kParked = INT64_MAX;
    // Regular period when the stream has none.
    static constexpr uint64_t kNoPeriod = UINT64_MAX;

    ChipStreamer() = default;
    ~ChipStreamer() override = default;
    ChipStreamer(const ChipStreamer&) = delete;
    ChipStreamer& operator=(const ChipStreamer&) = delete;

    // Takes the chip's record, the track's loop point and the listeners, and
    // rewinds to the first command. Finds the regular period of the list.
    virtual void setup(const MediaChipRecord* record, const MediaLoop& loop,
                       const std::vector<MediaCallback*>& listeners,
                       const std::vector<DataBlock>* blocks);
    // Forgets the chip record (the track is going away); the stream parks.
    void release();
    // Back to the first command, nothing pending.
    virtual void rewind();
    // Seconds per tick at `speed`; a wait left from before is rescaled.
    void setSpeed(double speed);
    // Samples left of the wait when the timer left the queue.
    void addPendingWait(uint64_t samples) { pendingWait += double(samples); }

    uint64_t onQuantum(double sampleRate) override;

    const MediaChipRecord* record() const { return chip; }
    uint64_t regularPeriod() const { return period; }
    uint64_t elapsedTicks() const { return elapsed; }
    double step() const { return tickSeconds; }

protected:
    // The pending wait, rescaled to the current speed, when one is left;
    // else 0.
    uint64_t takePendingWait();
    // Whether the list can be played at all.
    bool playable() const { return canPlay; }
    bool loops() const { return loopsBack; }
    // The wait before the first command of the stream, in samples.
    uint64_t leadIn(double sampleRate);
    // Rounds a wait in samples, carrying the fraction to the next wait.
    uint64_t roundWait(double samples);

    const std::vector<DataBlock>* dataBlocks = nullptr; // the track's, not owned
    std::vector<MediaCallback*> listeners;              // main listener first
    const MediaChipRecord* chip = nullptr;              // not owned
    MediaLoop loop;
    uint64_t currentDelta = 0; // delta of the command that comes next
    uint64_t elapsed = 0;      // ticks played
    double carry = 0.0;        // fraction of a sample carried to the next wait
    double pendingWait = 0.0;  // samples left when the timer left the queue
    double tickSeconds = 1.0;  // seconds per tick at the current speed
    double previousTickSeconds = 1.0;
    int64_t position = 0;  // index of the next command
    uint32_t runWrite = 0; // within a 'P' command at `position`: the write that comes next
    uint64_t period = kNoPeriod;
    bool canPlay = false;
    bool started = false;     // the wait before the first command is over
    bool timeless = false;    // every delta is 0: the list is sent once
    bool loopsBack = false;   // the track loops and the loop holds time
    int64_t resumeIndex = 0;  // where a loop goes on
    uint64_t resumeDelta = 0; // the wait before that command after a loop

private:
    // Rewinds and forgets what was learnt about the list: no period, not
    // playable, no loop.
    void rewindAndForgetList();
};

} // namespace VGM
