// "Brevado" at every host rate it takes: a held note rendered through the
// built shared object at 44.1 kHz up to 384 kHz must sound as it does at
// 48 kHz (the same level and headroom) and carry nothing above the audio band:
// the chip's own sample rate of about 53 kHz leaves images there that a
// high host rate must not let through.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

#include "BrevadoLibrary.h"
#include "InstrumentTestSupport.h"

using namespace vantor::EnginePluginSDK;
using vantor::HDMIDIEvent;

namespace {

using brevadotest::library;
using insttest::midiEvent;
using insttest::parameterEvent;

// Renders `seconds` of one instance at `rate` in 256-frame blocks; `events`
// go with the first block. The left channel.
std::vector<double> renderAt(double rate, double seconds, std::vector<HDMIDIEvent> events) {
    HostRecord host{nullptr};
    PluginRecord* record = library().create("com.Vantor.Emulator.MD", &host);
    if (!record) return {};
    ProcessingInfo info = {};
    info.sampleRate = rate;
    info.sampleRateInt = uint32_t(rate);
    info.maxBlockFrames = 256;
    info.samplePeriod = 1.0 / rate;
    record->dispatcher(record, PLUGIN_OP_SET_PROCESSING_INFO, &info, nullptr);
    const std::string profiles = SX_PRODUCT_DIR "/md_profiles.riff";
    ActivationRecord a = {};
    a.context = reinterpret_cast<uintptr_t>(profiles.c_str());
    record->dispatcher(record, PLUGIN_OP_ACTIVATE_RECORD, &a, nullptr);
    std::vector<double> left, right;
    if (a.result == 1)
        brevadotest::renderBlocks(record, size_t(std::lround(rate * seconds)), 256,
                                  std::move(events), left, right);
    library().destroy(record);
    return left;
}

// In-place radix-2 FFT; x.size() is a power of two.
void fft(std::vector<std::complex<double>>& x) {
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

// What the test compares of one render's held part.
struct Measure {
    double levelDb; // mean power
    double peakDb;  // largest sample
    double aboveDb; // strongest component above 22 kHz against the strongest overall
};

// The held part is the render's last `seconds`, measured at `rate`. The
// spectrum takes the last power-of-two frames of it under a four-term
// Blackman-Harris window (side lobes below -92 dB).
Measure measure(const std::vector<double>& x, double rate, double seconds) {
    const size_t held = std::min(x.size(), size_t(std::lround(rate * seconds)));
    const size_t from = x.size() - held;
    Measure m{};
    m.levelDb = 10.0 * std::log10(std::max(1e-40, [&] {
                    double s = 0.0;
                    for (size_t i = from; i < x.size(); ++i) s += x[i] * x[i];
                    return s / double(held);
                }()));
    double peak = 0.0;
    for (size_t i = from; i < x.size(); ++i) peak = std::max(peak, std::fabs(x[i]));
    m.peakDb = 20.0 * std::log10(std::max(peak, 1e-20));

    size_t n = 1;
    while (2 * n <= held) n *= 2;
    std::vector<std::complex<double>> bins(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = 2.0 * std::numbers::pi * double(i) / double(n);
        const double w =
            0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
        bins[i] = w * x[x.size() - n + i];
    }
    fft(bins);
    double strongest = 1e-300, above = 1e-300;
    for (size_t k = 1; k < n / 2; ++k) {
        const double p = std::norm(bins[k]);
        strongest = std::max(strongest, p);
        if (double(k) * rate / double(n) > 22000.0) above = std::max(above, p);
    }
    m.aboveDb = 10.0 * std::log10(above / strongest);
    return m;
}

// A held note at each rate: level within 0.2 dB and peak within 0.5 dB of
// the 48 kHz render, and nothing above 22 kHz within 60 dB of the note.
TEST(BrevadoHostRate, AHeldNoteSoundsAlikeAtEveryHostRate) {
    ASSERT_NE(library().handle, nullptr) << ::dlerror();
    struct Case {
        const char* what;
        std::vector<HDMIDIEvent> events;
    };
    const std::vector<Case> cases = {
        {"FM key 69", {midiEvent(0x90, 69, 100)}},
        // Layer 1 off, layer 7 (the PSG's first tone channel) on.
        {"PSG key 69",
         {parameterEvent(512 + 0, 0.0f), parameterEvent(512 + 6 * 16, 1.0f),
          midiEvent(0x90, 69, 100)}},
    };
    constexpr double kSeconds = 0.75, kHeld = 0.5;
    for (const Case& c : cases) {
        const Measure ref = measure(renderAt(48000.0, kSeconds, c.events), 48000.0, kHeld);
        ASSERT_GT(ref.levelDb, -40.0) << c.what;
        for (double rate : {44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0, 384000.0}) {
            const Measure m = measure(renderAt(rate, kSeconds, c.events), rate, kHeld);
            std::printf("%s at %6.0f Hz: level %7.3f dB, peak %7.3f dB, above 22 kHz %7.1f dB\n",
                        c.what, rate, m.levelDb, m.peakDb, m.aboveDb);
            EXPECT_NEAR(m.levelDb, ref.levelDb, 0.2) << c.what << " at " << rate;
            EXPECT_NEAR(m.peakDb, ref.peakDb, 0.5) << c.what << " at " << rate;
            EXPECT_LT(m.aboveDb, -60.0) << c.what << " at " << rate;
        }
    }
}

} // namespace
