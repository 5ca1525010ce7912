// Where a voice manager takes the base frequency of a key from. Without a
// source the voice managers use their own 12-tone equal-temperament table; the
// engine plug-in object offers itself as a source so that the engine host can
// retune notes.
#pragma once

#include <cstdint>

namespace VSX {

class NoteTuningSource {
public:
    virtual ~NoteTuningSource() = default;
    // The key's frequency in Hz.
    virtual double getNoteFrequency(uint32_t key) = 0;
    // A per-key value the host may offer (0.0 when it offers none).
    virtual double getNoteValue(uint32_t key) = 0;
    // A per-key flag the host may offer (true when it offers none).
    virtual bool getNoteFlag(uint32_t key) = 0;
};

} // namespace VSX
