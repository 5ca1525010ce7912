// One-pole coefficient set-up shared by the low-pass, high-pass and inverse
// low-pass filters, and the cookbook design of second-order sections.
#include "instrument/Filter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

void Filter::setup() {
    if (!(std::isfinite(cutoff) && std::isfinite(rate) && cutoff > 0.0 && rate > 0.0)) return;
    const double b = std::exp(-2.0 * std::numbers::pi * cutoff / rate);
    const float rounded = static_cast<float>(b);
    if (!(rounded < 1.0f)) return; // a = 0 would make the inverse divide by zero
    a = static_cast<float>(1.0 - b);
    c = static_cast<float>(-b);
}

void designBiquad(BiquadSection& s, const BiquadDesign& d, double rate) {
    s.b0 = 1.0f;
    s.b1 = s.b2 = s.a1 = s.a2 = 0.0f;
    if (d.shape == BiquadShape::Flat) return;
    if (!(std::isfinite(rate) && rate > 0.0 && std::isfinite(d.q) && d.q > 0.0 &&
          std::isfinite(d.frequency) && d.frequency > 0.0 && std::isfinite(d.gainDb)))
        return;

    const double f = std::min(d.frequency, 0.45 * rate);
    const double A = std::pow(10.0, d.gainDb / 40.0);
    const double w0 = 2.0 * std::numbers::pi * f / rate;
    const double cw = std::cos(w0);
    const double alpha = std::sin(w0) / (2.0 * d.q);
    const double shelf = 2.0 * std::sqrt(A) * alpha;

    double b0 = 1, b1 = 0, b2 = 0, a0 = 1, a1 = 0, a2 = 0;
    switch (d.shape) {
    case BiquadShape::LowPass:
        b0 = b2 = (1.0 - cw) / 2.0;
        b1 = 1.0 - cw;
        a0 = 1.0 + alpha;
        a1 = -2.0 * cw;
        a2 = 1.0 - alpha;
        break;
    case BiquadShape::HighPass:
        b0 = b2 = (1.0 + cw) / 2.0;
        b1 = -(1.0 + cw);
        a0 = 1.0 + alpha;
        a1 = -2.0 * cw;
        a2 = 1.0 - alpha;
        break;
    case BiquadShape::Peaking:
        b0 = 1.0 + alpha * A;
        b1 = -2.0 * cw;
        b2 = 1.0 - alpha * A;
        a0 = 1.0 + alpha / A;
        a1 = -2.0 * cw;
        a2 = 1.0 - alpha / A;
        break;
    case BiquadShape::LowShelf:
        b0 = A * ((A + 1.0) - (A - 1.0) * cw + shelf);
        b1 = 2.0 * A * ((A - 1.0) - (A + 1.0) * cw);
        b2 = A * ((A + 1.0) - (A - 1.0) * cw - shelf);
        a0 = (A + 1.0) + (A - 1.0) * cw + shelf;
        a1 = -2.0 * ((A - 1.0) + (A + 1.0) * cw);
        a2 = (A + 1.0) + (A - 1.0) * cw - shelf;
        break;
    case BiquadShape::HighShelf:
        b0 = A * ((A + 1.0) + (A - 1.0) * cw + shelf);
        b1 = -2.0 * A * ((A - 1.0) + (A + 1.0) * cw);
        b2 = A * ((A + 1.0) + (A - 1.0) * cw - shelf);
        a0 = (A + 1.0) - (A - 1.0) * cw + shelf;
        a1 = 2.0 * ((A - 1.0) - (A + 1.0) * cw);
        a2 = (A + 1.0) - (A - 1.0) * cw - shelf;
        break;
    case BiquadShape::Flat:
        break;
    }
    s.b0 = static_cast<float>(b0 / a0);
    s.b1 = static_cast<float>(b1 / a0);
    s.b2 = static_cast<float>(b2 / a0);
    s.a1 = static_cast<float>(a1 / a0);
    s.a2 = static_cast<float>(a2 / a0);
}
