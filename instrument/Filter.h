// Small in-place filters over blocks of 32-bit float samples, one object per
// output channel. `Filter` is the family's base. The instrument runs its
// one-pole members: an `LPFilter` on the chip-rate output before resampling,
// an `LPFilterInverse` and an `HPFilter` on the host-rate output after it.
// Owners write `cutoff` and `rate` directly, call setup(), and clear the
// memory by setting `state` to 0.
//
// The family also holds filters the instrument never creates: the DC blocker
// and the cascaded biquad filters (SPCFilter, DX7Filter, SIDOutputFilter),
// whose sections are designed with designBiquad below from the
// audio-EQ-cookbook formulas.
#pragma once

#include <cmath>
#include <cstdint>

class Filter {
public:
    Filter() { Filter::setup(); } // 100 Hz at 44100 Hz
    virtual ~Filter() = default;
    // Filters `count` samples in place; a count of 0 or less does nothing and
    // keeps the state.
    virtual void process(float* samples, int32_t count) = 0;
    // Derives the one-pole coefficients from cutoff and rate: b = exp(-2 pi
    // cutoff / rate), a = 1 - b, c = -b, each rounded to single precision.
    // Settings that give no usable filter (cutoff or rate not positive and
    // finite, or b rounding to 1, where the inverse would divide by 0) leave
    // the coefficients as they were.
    virtual void setup();

    // A recursive state this close to zero can only decay further, and below
    // about 2e-308 it would do so through denormal numbers (without
    // flush-to-zero it never gets to zero at all). The filters set such a
    // state to zero at the end of each block; every output the state could
    // still reach rounds to zero in single precision, so the outputs keep their
    // values (a zero may lose its sign).
    static constexpr double kSilentState = 1e-300;
    static double settled(double state) { return std::fabs(state) < kSilentState ? 0.0 : state; }

    // One step of the one-pole high-pass (HPFilter): input x minus the
    // low-passed input l. For a double, or two channels side by side in a
    // vector of two doubles, with the same operations in the same order.
    template <class T> static T highPassStep(T x, T& l, T a, T c) {
        l = a * x - c * l;
        return x - l;
    }
    // One step of the inverse one-pole low-pass (LPFilterInverse): the input
    // scaled by 1 / a plus c times the last scaled input s1.
    template <class T> static T inverseLowPassStep(T in, T& s1, T a, T c) {
        const T s = in / a;
        const T out = s + c * s1;
        s1 = s;
        return out;
    }

    double a = 1.0;
    double c = 0.0;
    double state = 0.0;
    double cutoff = 100.0; // Hz
    double rate = 44100.0; // Hz
};

// One second-order section in direct form I with float state:
// y = b0 x + b1 x1 + b2 x2 - a1 y1 - a2 y2 (a0 normalised to 1).
struct BiquadSection {
    float b0 = 1.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
    float x1 = 0.0f, x2 = 0.0f, y1 = 0.0f, y2 = 0.0f;

    float run(float x) {
        const float y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
    void clear() { x1 = x2 = y1 = y2 = 0.0f; }
};

// The cookbook section shapes. Flat passes the signal unchanged.
enum class BiquadShape { Flat, LowPass, HighPass, Peaking, LowShelf, HighShelf };

// One section of a designed cascade: shape, centre or corner frequency in Hz,
// Q and gain in dB (peaking and shelving shapes only).
struct BiquadDesign {
    BiquadShape shape;
    double frequency;
    double q;
    double gainDb;
};

// Sets the section's five coefficients for the design at `rate` Hz (state
// untouched). The frequency is held below 0.45 x rate so every section stays
// stable; a design that cannot be realised (rate or Q not positive, values
// not finite) gives a flat section.
void designBiquad(BiquadSection& section, const BiquadDesign& design, double rate);
