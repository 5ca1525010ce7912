// The one-pole output filters against their recurrences and measured
// frequency responses, and the cookbook section designs against the gains
// they promise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "instrument/DX7DCBlocker.h"
#include "instrument/DX7Filter.h"
#include "instrument/HPFilter.h"
#include "instrument/LPFilter.h"
#include "instrument/LPFilterInverse.h"
#include "instrument/SIDOutputFilter.h"
#include "instrument/SPCFilter.h"

namespace {

constexpr double kPi = std::numbers::pi;

void setUp(Filter& f, double cutoff, double rate) {
    f.cutoff = cutoff;
    f.rate = rate;
    f.setup();
    f.state = 0.0;
}

// Runs cos(2 pi freq n / rate) through the filter in blocks of 256 and returns
// the output level relative to the input over the last `window` samples, in
// dB. The window holds whole periods of the test frequency.
double measuredGainDb(Filter& f, double freq, double rate, int settle, int window) {
    std::vector<float> x(settle + window);
    for (size_t n = 0; n < x.size(); ++n) x[n] = float(std::cos(2.0 * kPi * freq * n / rate));
    std::vector<float> y = x;
    for (size_t at = 0; at < y.size(); at += 256)
        f.process(y.data() + at, int32_t(std::min<size_t>(256, y.size() - at)));
    double in = 0, out = 0;
    for (size_t n = settle; n < x.size(); ++n) {
        in += double(x[n]) * x[n];
        out += double(y[n]) * y[n];
    }
    return 10.0 * std::log10(out / in);
}

// |H| of the one-pole low-pass (1 - b) / (1 - b z^-1) at frequency w.
double lowPassDb(double b, double w) {
    const std::complex<double> z1 = std::polar(1.0, -w);
    return 20.0 * std::log10(std::abs((1.0 - b) / (1.0 - b * z1)));
}
double highPassDb(double b, double w) {
    const std::complex<double> z1 = std::polar(1.0, -w);
    return 20.0 * std::log10(std::abs(1.0 - (1.0 - b) / (1.0 - b * z1)));
}

TEST(Filter, SetupRoundsCoefficientsToSinglePrecision) {
    LPFilter f; // constructed at 100 Hz and 44100 Hz
    const double b = std::exp(-2.0 * kPi * 100.0 / 44100.0);
    EXPECT_EQ(f.a, double(float(1.0 - b)));
    EXPECT_EQ(f.c, double(float(-b)));
    setUp(f, 7.5, 48000.0);
    const double b2 = std::exp(-2.0 * kPi * 7.5 / 48000.0);
    EXPECT_EQ(f.a, double(float(1.0 - b2)));
    EXPECT_EQ(f.c, double(float(-b2)));
}

TEST(Filter, SettingsWithoutAStableFilterKeepTheCoefficients) {
    const double bad[][2] = {{0.0, 44100.0}, {-100.0, 44100.0}, {NAN, 44100.0}, {INFINITY, 48000},
                             {100.0, 0.0},   {100.0, -48000.0}, {100.0, NAN},   {1e-6, 48000.0}};
    for (const auto& s : bad) {
        SCOPED_TRACE(testing::Message() << s[0] << " Hz at " << s[1] << " Hz");
        LPFilterInverse f;
        const double a = f.a, c = f.c;
        setUp(f, s[0], s[1]);
        EXPECT_EQ(f.a, a);
        EXPECT_EQ(f.c, c);
        float x[4] = {1, 0, 0, 0};
        f.process(x, 4);
        for (float v : x) EXPECT_TRUE(std::isfinite(v));
    }
}

// Each filter against its recurrence written out in double precision, fed in
// two uneven blocks so the state must carry across the boundary.
TEST(Filter, FollowsItsRecurrence) {
    const std::vector<float> input = {1.0f, -0.5f, 0.25f, 0.75f, 0.0f, -1.0f, 0.3f, 0.9f, -0.2f};
    const double b = std::exp(-2.0 * kPi * 100.0 / 44100.0);
    const double a = float(1.0 - b), c = float(-b);

    std::vector<double> lp, hp, inv;
    double y = 0, l = 0, s1 = 0;
    for (float x : input) {
        y = a * x - c * y;
        lp.push_back(y);
        l = a * x - c * l;
        hp.push_back(x - l);
        const double s = x / a;
        inv.push_back(s + c * s1);
        s1 = s;
    }

    LPFilter lpf;
    HPFilter hpf;
    LPFilterInverse invf;
    struct Case {
        const char* name;
        Filter& filter;
        const std::vector<double>& expected;
    } cases[] = {{"LPFilter", lpf, lp}, {"HPFilter", hpf, hp}, {"LPFilterInverse", invf, inv}};
    for (auto& k : cases) {
        SCOPED_TRACE(k.name);
        std::vector<float> v = input;
        k.filter.process(v.data(), 4);
        k.filter.process(v.data() + 4, int32_t(v.size() - 4));
        for (size_t n = 0; n < v.size(); ++n) EXPECT_EQ(v[n], float(k.expected[n])) << n;
    }
}

TEST(Filter, EmptyOrNegativeCountsKeepTheState) {
    LPFilter lp;
    HPFilter hp;
    LPFilterInverse inv;
    for (Filter* f :
         {static_cast<Filter*>(&lp), static_cast<Filter*>(&hp), static_cast<Filter*>(&inv)}) {
        float x[2] = {0.5f, 0.25f};
        f->process(x, 2);
        const double state = f->state;
        float y[1] = {7.0f};
        f->process(y, 0);
        f->process(y, -3);
        EXPECT_EQ(f->state, state);
        EXPECT_EQ(y[0], 7.0f);
    }
}

// A busy audio block leaves the high-pass to the next block, which skips
// over the busy block's silence: the state must come out exactly as if the
// zeros had been filtered.
TEST(Filter, HighPassSkipsSilenceExactly) {
    for (const uint64_t count : {uint64_t(0), uint64_t(1), uint64_t(480), uint64_t(4000000)}) {
        SCOPED_TRACE(count);
        HPFilter run, skip;
        run.cutoff = skip.cutoff = 7.5;
        run.rate = skip.rate = 192000.0;
        run.setup();
        skip.setup();
        float x[3] = {0.8f, 0.9f, 0.7f};
        float y[3] = {0.8f, 0.9f, 0.7f};
        run.process(x, 3);
        skip.process(y, 3);
        std::vector<float> zeros(count, 0.0f);
        for (uint64_t done = 0; done < count; done += 65536)
            run.process(zeros.data() + done, int32_t(std::min<uint64_t>(count - done, 65536)));
        skip.skipSilence(count);
        EXPECT_EQ(skip.state, run.state);
    }
}

// A tone, a silence long enough for the recursive states to fall below the
// denormal range, and the tone again: the filters' states end the silence at
// exactly zero, where the bare recurrence (run here without flush-to-zero)
// stalls on a denormal, and every output sample has the same value.
TEST(Filter, RecursiveStatesSettleToZeroAndKeepTheOutput) {
    struct Case {
        const char* name;
        bool highPass;
        double cutoff, rate;
        size_t silence;
    } cases[] = {{"LPFilter at the chip rate", false, 100.0, 1118608.0, 1300000},
                 {"HPFilter at the host rate", true, 7.5, 48000.0, 760000}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        LPFilter lpf;
        HPFilter hpf;
        Filter& f = k.highPass ? static_cast<Filter&>(hpf) : lpf;
        setUp(f, k.cutoff, k.rate);
        std::vector<float> input(512 + k.silence + 512, 0.0f);
        for (size_t n = 0; n < 512; ++n) {
            input[n] = float(0.8 * std::sin(2.0 * kPi * 440.0 * double(n) / k.rate));
            input[input.size() - 512 + n] = input[n];
        }
        std::vector<float> expected(input.size());
        double y = 0.0;
        for (size_t n = 0; n < input.size(); ++n) {
            y = f.a * input[n] - f.c * y;
            expected[n] = float(k.highPass ? input[n] - y : y);
            if (n == 512 + k.silence - 1) {
                EXPECT_NE(y, 0.0); // the bare recurrence never reaches zero
                EXPECT_LT(std::fabs(y), 1e-300);
            }
        }
        std::vector<float> v = input;
        bool settled = false;
        for (size_t at = 0; at < v.size(); at += 256) {
            f.process(v.data() + at, int32_t(std::min<size_t>(256, v.size() - at)));
            if (at + 256 == 512 + k.silence - k.silence % 256) settled = f.state == 0.0;
        }
        EXPECT_TRUE(settled);
        size_t differing = 0;
        for (size_t n = 0; n < v.size(); ++n) differing += v[n] != expected[n];
        EXPECT_EQ(differing, 0u);
    }
}

TEST(Filter, InverseUndoesTheLowPass) {
    const double settings[][2] = {{100.0, 44100.0}, {100.0, 53267.0}, {1000.0, 48000.0}};
    for (const auto& s : settings) {
        SCOPED_TRACE(testing::Message() << s[0] << " Hz at " << s[1] << " Hz");
        LPFilter lp;
        LPFilterInverse inv;
        setUp(lp, s[0], s[1]);
        setUp(inv, s[0], s[1]);
        std::vector<float> v(2000, 0.0f);
        v[3] = 1.0f;
        lp.process(v.data(), 1000);
        lp.process(v.data() + 1000, 1000);
        EXPECT_LT(v[1999], 0.9f); // the low-pass really smeared it
        inv.process(v.data(), 2000);
        for (size_t n = 0; n < v.size(); ++n) EXPECT_NEAR(v[n], n == 3 ? 1.0 : 0.0, 2e-6) << n;
    }
}

// Measured gains at DC, at the cut-off and at Nyquist against the one-pole
// transfer functions; the cut-off lands within a few hundredths of -3 dB.
TEST(Filter, FrequencyResponse) {
    struct Case {
        const char* name;
        bool highPass;
        double cutoff, rate, freq;
        int settle, window;
        double nominalDb, toleranceDb; // nominal is checked loosely
    } cases[] = {
        {"LP DC", false, 100, 44100, 0, 20000, 441, 0.0, 0.001},
        {"LP cut-off", false, 100, 44100, 100, 20000, 4410, -3.01, 0.05},
        {"LP Nyquist", false, 100, 44100, 22050, 20000, 2, -42.9, 0.2},
        {"HP cut-off", true, 7.5, 48000, 7.5, 100000, 6400, -3.01, 0.05},
        {"HP Nyquist", true, 7.5, 48000, 24000, 100000, 2, 0.0, 0.01},
        {"HP 1 kHz", true, 7.5, 48000, 1000, 100000, 480, 0.0, 0.01},
    };
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        LPFilter lp;
        HPFilter hp;
        Filter& f = k.highPass ? static_cast<Filter&>(hp) : static_cast<Filter&>(lp);
        setUp(f, k.cutoff, k.rate);
        const double b = -f.c;
        const double w = 2.0 * kPi * k.freq / k.rate;
        const double exact = k.highPass ? highPassDb(b, w) : lowPassDb(b, w);
        const double got = measuredGainDb(f, k.freq, k.rate, k.settle, k.window);
        EXPECT_NEAR(got, exact, 0.01);
        EXPECT_NEAR(got, k.nominalDb, k.toleranceDb);
    }
}

// The separately rounded coefficients leave the low-pass's DC gain a few
// parts in a million off 1, so a constant decays to about -100 dB, not to 0.
TEST(Filter, HighPassRemovesAConstant) {
    HPFilter hp;
    setUp(hp, 7.5, 44100.0);
    std::vector<float> v(44100, 0.5f);
    hp.process(v.data(), int32_t(v.size()));
    EXPECT_NEAR(v[0], 0.5 * (1.0 - hp.a), 1e-7);
    EXPECT_LT(std::fabs(v.back()), 5e-6);
}

// |H| of one section at frequency w, in dB.
double sectionDb(const BiquadSection& s, double w) {
    const std::complex<double> z1 = std::polar(1.0, -w), z2 = z1 * z1;
    const std::complex<double> h = (double(s.b0) + double(s.b1) * z1 + double(s.b2) * z2) /
                                   (1.0 + double(s.a1) * z1 + double(s.a2) * z2);
    return 20.0 * std::log10(std::abs(h));
}

bool stable(const BiquadSection& s) {
    return std::fabs(s.a2) < 1.0f && std::fabs(s.a1) < 1.0f + s.a2;
}

// The cookbook shapes deliver their promised gains: -3 dB corners for Q
// 0.707, the full gain at a peak's centre and at a shelf's far side, half of
// it at a shelf's corner.
TEST(Filter, BiquadDesignsMeetTheirGains) {
    using S = BiquadShape;
    const double rate = 48000.0;
    struct Case {
        const char* what;
        BiquadDesign design;
        double atHz, expectedDb;
    } cases[] = {
        {"low-pass corner", {S::LowPass, 1000, 0.7071, 0}, 1000, -3.01},
        {"low-pass DC", {S::LowPass, 1000, 0.7071, 0}, 0, 0.0},
        {"low-pass resonance Q 4", {S::LowPass, 1000, 4.0, 0}, 1000, 12.04},
        {"high-pass corner", {S::HighPass, 20, 0.7071, 0}, 20, -3.01},
        {"high-pass Nyquist", {S::HighPass, 20, 0.7071, 0}, 24000, 0.0},
        {"peak centre", {S::Peaking, 1200, 0.7, 3.0}, 1200, 3.0},
        {"peak DC", {S::Peaking, 1200, 0.7, 3.0}, 0, 0.0},
        {"cut centre", {S::Peaking, 300, 2.0, -6.0}, 300, -6.0},
        {"low shelf DC", {S::LowShelf, 250, 0.707, 1.5}, 0, 1.5},
        {"low shelf corner", {S::LowShelf, 250, 0.707, 6.0}, 250, 3.0},
        {"low shelf Nyquist", {S::LowShelf, 250, 0.707, 6.0}, 24000, 0.0},
        {"high shelf Nyquist", {S::HighShelf, 4000, 0.707, -4.0}, 24000, -4.0},
        {"high shelf corner", {S::HighShelf, 4000, 0.707, -4.0}, 4000, -2.0},
        {"high shelf DC", {S::HighShelf, 4000, 0.707, -4.0}, 0, 0.0},
        {"flat", {S::Flat, 4000, 0.707, 9.0}, 4000, 0.0},
        {"rate 0 gives a flat section", {S::LowPass, 1000, 0.707, 0}, 1000, 0.0},
        {"Q 0 gives a flat section", {S::LowPass, 1000, 0.0, 0}, 1000, 0.0},
        {"NaN gain gives a flat section", {S::Peaking, 1000, 1.0, NAN}, 1000, 0.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const double r = std::string(c.what).starts_with("rate 0") ? 0.0 : rate;
        BiquadSection s;
        designBiquad(s, c.design, r);
        EXPECT_TRUE(stable(s));
        EXPECT_NEAR(sectionDb(s, 2.0 * kPi * c.atHz / rate), c.expectedDb, 0.02);
    }
    // A corner above the usable band is held below Nyquist and stays stable.
    BiquadSection s;
    designBiquad(s, {S::LowPass, 30000.0, 0.707, 0.0}, 44100.0);
    EXPECT_TRUE(stable(s));
}

// The cascades measured with sines agree with the product of their sections'
// responses, block DC, and ring down after an impulse.
TEST(Filter, CascadesMatchTheirSections) {
    struct Case {
        std::string name;
        std::unique_ptr<Filter> filter;
        const BiquadSection* sections;
        int count;
    };
    std::vector<Case> cases;
    const double rates[] = {32000.0, 44100.0, 48000.0};
    for (double rate : rates) {
        auto spc = std::make_unique<SPCFilter>();
        spc->rate = rate;
        spc->setup();
        const BiquadSection* spcSections = spc->sections;
        cases.push_back({"SPC at " + std::to_string(int(rate)), std::move(spc), spcSections,
                         SPCFilter::kSections});
    }
    for (int mode : {0, 1, 2, 3, 4, 5, 6, 7, -1}) {
        auto dx = std::make_unique<DX7Filter>();
        dx->rate = 44100.0;
        dx->mode = mode;
        dx->setup();
        const BiquadSection* dxSections = dx->sections;
        cases.push_back(
            {"DX7 mode " + std::to_string(mode), std::move(dx), dxSections, DX7Filter::kSections});
    }
    for (int mode : {0, 1, 2, 3}) {
        auto sid = std::make_unique<SIDOutputFilter>();
        sid->rate = 48000.0;
        sid->mode = mode;
        sid->setup();
        const BiquadSection* sidSections = sid->sections;
        cases.push_back({"SID mode " + std::to_string(mode), std::move(sid), sidSections,
                         SIDOutputFilter::kSections});
    }
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        const double rate = c.filter->rate;
        for (double hz : {100.0, 1000.0, 5000.0}) {
            double expected = 0.0;
            for (int k = 0; k < c.count; ++k)
                expected += sectionDb(c.sections[k], 2.0 * kPi * hz / rate);
            const int window = int(rate); // whole periods of every test tone
            EXPECT_NEAR(measuredGainDb(*c.filter, hz, rate, 20000, window), expected, 0.02)
                << hz << " Hz";
            EXPECT_LT(std::fabs(expected), 6.0) << hz << " Hz"; // a voicing, not a band-stop
        }
        EXPECT_LT(measuredGainDb(*c.filter, 0.0, rate, 40000, 100), -40.0);

        c.filter->setup(); // clears the state
        std::vector<float> v(int(rate), 0.0f);
        v[0] = 1.0f;
        c.filter->process(v.data(), int32_t(v.size()));
        double tail = 0.0;
        for (size_t n = v.size() / 2; n < v.size(); ++n) tail += double(v[n]) * v[n];
        EXPECT_LT(tail, 1e-12);
    }
}

// 2 sin(2 pi 10 / rate) tunes the state-variable filter's corner to 20 Hz,
// where its high-pass output is down by the Q of 0.7.
TEST(Filter, DX7DCBlockerRemovesDCAndPassesTheBand) {
    struct Case {
        double hz, expectedDb, toleranceDb;
    } cases[] = {{20.0, 20.0 * std::log10(0.7), 0.1}, {1000.0, 0.0, 0.05}, {5000.0, 0.0, 0.05}};
    for (const auto& c : cases) {
        DX7DCBlocker f;
        f.rate = 44100.0;
        f.setup();
        EXPECT_NEAR(measuredGainDb(f, c.hz, 44100.0, 88200, 44100), c.expectedDb, c.toleranceDb)
            << c.hz << " Hz";
    }
    DX7DCBlocker f;
    std::vector<float> v(44100, 0.5f);
    f.process(v.data(), int32_t(v.size()));
    EXPECT_LT(std::fabs(v.back()), 1e-6);

    f.bypass = true;
    float x[3] = {0.1f, 0.2f, 0.3f};
    f.process(x, 3);
    EXPECT_EQ(x[2], 0.3f);

    // A rate that is not positive keeps the tuning.
    const double tuned = f.f;
    f.rate = -1.0;
    f.setup();
    EXPECT_EQ(f.f, tuned);
}

TEST(Filter, DX7FilterBypassAndHold) {
    DX7Filter f;
    f.bypass = true;
    float x[3] = {0.1f, 0.2f, 0.3f};
    f.process(x, 3);
    EXPECT_EQ(x[0], 0.1f);
    EXPECT_EQ(f.lastInput, 0.3f); // remembered while not holding

    f.setup();
    EXPECT_FALSE(f.bypass);
    f.hold = true;
    float y[2] = {0.5f, 0.7f};
    f.process(y, 2);
    EXPECT_NE(y[0], 0.5f);
    EXPECT_EQ(f.lastInput, 0.3f); // held
    f.process(y, 0);
    EXPECT_EQ(f.lastInput, 0.3f);
}

} // namespace
