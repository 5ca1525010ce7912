// A timed action in sample time, driven by a QuantumManager.
#pragma once

#include <cstdint>

namespace vantor {

class QuantumTimer {
public:
    virtual ~QuantumTimer() = default;

    virtual uint64_t adjust(uint64_t value) { return value; }
    // Performs the action for the current moment and returns the number of
    // samples until the timer wants to be called again (a positive count; a
    // huge one parks the timer).
    virtual uint64_t onQuantum(double sampleRate) = 0;
    virtual void reset() {}
};

} // namespace vantor
