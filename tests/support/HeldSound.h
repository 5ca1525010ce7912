// What the host-rate tests compare of a held sound: its level, its peak and
// its strongest component above the audio band, the last from an FFT under a
// four-term Blackman-Harris window (side lobes below -92 dB, which is also
// the floor of that measure).
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <numbers>
#include <vector>

namespace testsupport {

struct HeldSound {
    double levelDb; // mean power
    double peakDb;  // largest sample
    double aboveDb; // strongest component above `aboveHz`, against the strongest overall
};

// In-place radix-2 FFT; x.size() is a power of two.
inline void fft(std::vector<std::complex<double>>& x) {
    const size_t n = x.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2.0 * std::numbers::pi / double(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1.0;
            for (size_t k = 0; k < len / 2; ++k, w *= step) {
                const std::complex<double> u = x[i + k], v = x[i + k + len / 2] * w;
                x[i + k] = u + v;
                x[i + k + len / 2] = u - v;
            }
        }
    }
}

// The held part is the signal's last `seconds` at `rate`; the spectrum takes
// the last power-of-two frames of it.
template <class Sample>
HeldSound measureHeld(const std::vector<Sample>& x, double rate, double seconds,
                      double aboveHz = 22000.0) {
    const size_t held = std::min(x.size(), size_t(std::lround(rate * seconds)));
    const size_t from = x.size() - held;
    HeldSound m{};
    double power = 0.0, peak = 0.0;
    for (size_t i = from; i < x.size(); ++i) {
        power += double(x[i]) * double(x[i]);
        peak = std::max(peak, std::fabs(double(x[i])));
    }
    m.levelDb = 10.0 * std::log10(std::max(power / double(std::max<size_t>(held, 1)), 1e-40));
    m.peakDb = 20.0 * std::log10(std::max(peak, 1e-20));

    size_t n = 1;
    while (2 * n <= held) n *= 2;
    std::vector<std::complex<double>> bins(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = 2.0 * std::numbers::pi * double(i) / double(n);
        const double w =
            0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
        bins[i] = w * double(x[x.size() - n + i]);
    }
    fft(bins);
    double strongest = 1e-300, above = 1e-300;
    for (size_t k = 1; k < n / 2; ++k) {
        const double p = std::norm(bins[k]);
        strongest = std::max(strongest, p);
        if (double(k) * rate / double(n) > aboveHz) above = std::max(above, p);
    }
    m.aboveDb = 10.0 * std::log10(above / strongest);
    return m;
}

} // namespace testsupport
