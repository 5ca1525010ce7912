// Six ready-made parameter descriptions shared by the voice and layer
// managers: the two stepped amplitudes (4-bit and 7-bit, as the chips'
// level registers have them), a continuous amplitude, detune in cents,
// transpose in semitones and the fixed-frequency switch. One instance
// serves the whole process; it is never destroyed.
#pragma once

#include <array>

#include "vantor/ParameterInfo.h"

namespace VSX {

class GenericParam {
public:
    enum Record : size_t {
        kAmplitude4Bit = 0,
        kAmplitude7Bit,
        kAmplitude,
        kDetune,
        kTranspose,
        kFixedFreq,
        kCount
    };

    // The process-wide instance, created on first use (safe from any thread).
    static GenericParam& getInstance();

    vantor::ParameterInfo& operator[](size_t record) { return records[record]; }

    std::array<vantor::ParameterInfo, kCount> records;

private:
    // The records keep their display-format text at an unaligned offset,
    // where leak checkers do not look for pointers; this aligned copy of the
    // pointer keeps the never-destroyed instance's text visibly reachable.
    const char* amplitudeFormat = nullptr;

    GenericParam();
};

} // namespace VSX
