// The host's musical time as the synth framework sees it: tempo and position
// in quarter notes, handed over by the chip controller once per block. The
// automation slots turn step lengths and tempo-synced retriggers into sample
// counts through it.
#pragma once

namespace VSX {

class SyncProvider {
public:
    // The tempo that slots which are not synced to the host run at (beats per minute).
    virtual double getFreeTempo() = 0;
    // The host's tempo in beats per minute.
    virtual double getHostTempo() = 0;
    // The host's song position in quarter notes.
    virtual double getHostPosition() = 0;
    // Where the host's current bar starts, in quarter notes.
    virtual double getHostBarStart() = 0;

protected:
    ~SyncProvider() = default;
};

} // namespace VSX
