// The providers the instrument does not create: the planar sample queue, the
// interpolating decimation provider and the two whole-number up-samplers.
// Conversions are measured for pitch and level; frame counts are exact.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "instrument/DecimationProvider.h"
#include "instrument/PWMProvider.h"
#include "instrument/SHProvider.h"
#include "instrument/SampleQueue.h"
#include "support/ZeroCrossings.h"

namespace {

constexpr double kPi = std::numbers::pi;

struct Tone {
    double hz;
    double db; // level relative to a full-scale sine
};

// Pitch by zero crossings, level as RMS, both from sample `from` on.
Tone measure(const std::vector<float>& v, size_t from, double rate) {
    double sum = 0;
    for (size_t n = from + 1; n < v.size(); ++n) sum += double(v[n]) * v[n];
    const double rms = std::sqrt(sum / double(v.size() - from - 1));
    return {testsupport::pitchByZeroCrossings(v, rate, from),
            20.0 * std::log10(rms * std::sqrt(2.0))};
}

std::vector<float> sine(double hz, double rate, size_t n, double amplitude = 1.0) {
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = float(amplitude * std::sin(2.0 * kPi * hz * i / rate));
    return v;
}

// Pulls `seconds` of output from a one-channel provider in blocks of 256
// output frames, handing in what it asks for.
std::vector<float> pull(Provider<float>& p, const std::vector<float>& in, uint64_t* shortPulls,
                        uint64_t* consumed = nullptr) {
    std::vector<float> out;
    std::vector<float> block(4096);
    uint64_t read = 0;
    *shortPulls = 0;
    for (int pass = 0;; ++pass) {
        const uint64_t need = p.inputNeeded(256);
        if (read + need > in.size()) break;
        const float* ins[1] = {in.data() + read};
        float* outs[1] = {block.data()};
        uint64_t inFrames = need, outFrames = 256;
        EXPECT_EQ(p.process(ins, outs, inFrames, outFrames), inFrames);
        if (pass > 0 && outFrames != 256) ++*shortPulls;
        read += inFrames;
        out.insert(out.end(), block.begin(), block.begin() + outFrames);
    }
    if (consumed) *consumed = read;
    return out;
}

TEST(SampleQueue, AppendsDropsAndClears) {
    SampleQueue<float> q;
    ASSERT_TRUE(q.setup(2, 8, 3));
    EXPECT_EQ(q.fill, 3u);
    EXPECT_EQ(q.channel(1)[0], 0.0f);

    const float l[4] = {1, 2, 3, 4}, r[4] = {-1, -2, -3, -4};
    const float* in[2] = {l, r};
    ASSERT_TRUE(q.append(in, 4));
    EXPECT_EQ(q.fill, 7u);
    EXPECT_FALSE(q.append(in, 2)); // one frame of room left
    EXPECT_EQ(q.fill, 7u);
    q.drop(4);
    EXPECT_EQ(q.fill, 3u);
    EXPECT_EQ(q.channel(0)[0], 2.0f);
    EXPECT_EQ(q.channel(1)[2], -4.0f);
    q.drop(100);
    EXPECT_EQ(q.fill, 0u);
    ASSERT_TRUE(q.append(in, 4));
    q.clear();
    EXPECT_EQ(q.fill, 3u);
    EXPECT_EQ(q.channel(0)[0], 0.0f);
    EXPECT_EQ(q.channel(1)[3], 0.0f);
}

TEST(SampleQueue, RefusesSizesThatMakeNoSense) {
    const uint64_t cases[][3] = {
        {0, 8, 0}, {2, 8, 9}, {100, 8, 0}, {2, uint64_t(1) << 62, 6}, {2, uint64_t(1) << 40, 6}};
    for (const auto& c : cases) {
        SampleQueue<float> q;
        ASSERT_TRUE(q.setup(1, 4, 1));
        EXPECT_FALSE(q.setup(c[0], c[1], c[2])) << c[0] << " " << c[1] << " " << c[2];
        EXPECT_EQ(q.channels, 0u);
        EXPECT_EQ(q.capacity, 0u);
        const float x[1] = {1};
        const float* in[1] = {x};
        EXPECT_FALSE(q.append(in, 1));
    }
}

// Each interpolator converts a sine to the right pitch and level and turns
// every input frame into 1 / ratio output frames; with a whole-number ratio
// every pull is served in full.
TEST(DecimationProvider, ConvertsASine) {
    struct Rates {
        uint64_t in, out;
    } rates[] = {{96000, 48000}, {48000, 44100}, {1118608, 48000}};
    for (const auto& r : rates) {
        const std::vector<float> in = sine(440.0, double(r.in), r.in / 5, 0.5);
        for (int32_t kind = 0; kind <= 5; ++kind) {
            SCOPED_TRACE(testing::Message()
                         << r.in << " -> " << r.out << ", interpolator " << kind);
            DecimationProvider p;
            ASSERT_TRUE(p.setup(1, r.in, r.out, kind, 8192));
            EXPECT_EQ(p.inputLatency(), 6);
            uint64_t shortPulls = 0, read = 0;
            const std::vector<float> out = pull(p, in, &shortPulls, &read);
            if (r.in % r.out == 0) {
                EXPECT_EQ(shortPulls, 0u);
            }
            EXPECT_NEAR(double(out.size()), double(read) / p.ratio, 4.0);
            const Tone t = measure(out, 64, double(r.out));
            EXPECT_NEAR(t.hz, 440.0, 0.5);
            EXPECT_NEAR(t.db, 20.0 * std::log10(0.5), kind <= 1 ? 0.3 : 0.05);
        }
    }
}

// Interpolated values on polynomials the interpolators reproduce exactly:
// linear for the linear one, quadratics for the higher orders. One call at
// ratio 1.5 puts outputs at positions 2.0 + 1.5 j; input frame n sits at
// queue position n + 6.
TEST(DecimationProvider, ReproducesPolynomials) {
    struct Case {
        int32_t kind;
        int degree;
    } cases[] = {{2, 1}, {3, 2}, {4, 2}, {5, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        auto poly = [&](double n) { return c.degree == 1 ? 0.01 * n : 0.001 * n * n; };
        std::vector<float> in(64);
        for (size_t n = 0; n < in.size(); ++n) in[n] = float(poly(double(n)));
        DecimationProvider p;
        ASSERT_TRUE(p.setup(1, 48000, 32000, c.kind, 256));
        std::vector<float> out(64);
        const float* ins[1] = {in.data()};
        float* outs[1] = {out.data()};
        uint64_t inFrames = in.size(), outFrames = 40;
        p.process(ins, outs, inFrames, outFrames);
        ASSERT_GT(outFrames, 30u);
        for (uint64_t j = 6; j < outFrames; ++j) // past the lead and its history
            EXPECT_NEAR(out[j], poly(2.0 + 1.5 * double(j) - 6.0), 1e-5) << j;
    }
}

TEST(DecimationProvider, OverfullInputRestartsTheQueueWithoutOverrun) {
    DecimationProvider p;
    ASSERT_TRUE(p.setup(1, 48000, 44100, 5, 100));
    std::vector<float> in(500, 0.25f), out(500);
    const float* ins[1] = {in.data()};
    float* outs[1] = {out.data()};
    uint64_t inFrames = 500, outFrames = 500;
    p.process(ins, outs, inFrames, outFrames);
    EXPECT_EQ(inFrames, 100u);
    EXPECT_LT(outFrames, 100u);

    EXPECT_FALSE(p.setup(1, 0, 44100, 0, 100));
    EXPECT_FALSE(p.setup(1, 48000, 44100, 6, 100));
    inFrames = outFrames = 10;
    EXPECT_EQ(p.process(ins, outs, inFrames, outFrames), 0u);
    EXPECT_EQ(outFrames, 0u);
}

TEST(SHProvider, HoldsEachFrame) {
    SHProvider p;
    ASSERT_TRUE(p.setup(2, 16000, 48000));
    EXPECT_EQ(p.factor, 3u);
    EXPECT_EQ(p.inputNeeded(256), 85u);
    EXPECT_EQ(p.inputNeeded(2), 1u);

    const float l[3] = {1, 2, 3}, r[3] = {-1, -2, -3};
    const float* in[2] = {l, r};
    float ol[12] = {}, orr[12] = {};
    float* out[2] = {ol, orr};
    uint64_t inFrames = 3, outFrames = 9;
    EXPECT_EQ(p.process(in, out, inFrames, outFrames), 3u);
    EXPECT_EQ(outFrames, 9u);
    const float heldL[9] = {1, 1, 1, 2, 2, 2, 3, 3, 3};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(ol[i], heldL[i]);
        EXPECT_EQ(orr[i], -heldL[i]);
    }
    EXPECT_EQ(ol[9], 0.0f);

    inFrames = 3;
    outFrames = 3; // room for one held frame
    EXPECT_EQ(p.process(in, out, inFrames, outFrames), 1u);
    EXPECT_EQ(outFrames, 3u);

    EXPECT_FALSE(p.setup(2, 48000, 44100));
    EXPECT_FALSE(p.setup(0, 16000, 48000));
    inFrames = outFrames = 3;
    EXPECT_EQ(p.process(in, out, inFrames, outFrames), 0u);
    EXPECT_EQ(outFrames, 0u);
}

// Asked for a count that cuts a held frame, either up-sampler writes exactly
// that many frames and carries the rest of the frame's repeats into the next
// call: any cutting of the output gives the frames of one whole call.
TEST(SHProvider, WritesNoMoreThanAskedAndCarriesTheRest) {
    SHProvider sh;
    PWMProvider pwm;
    ASSERT_TRUE(sh.setup(1, 12000, 48000));
    ASSERT_TRUE(pwm.setup(1, 12000, 48000));
    std::vector<float> in(20);
    for (size_t i = 0; i < in.size(); ++i) in[i] = float(i + 1) * 0.04f;
    const uint64_t cuts[] = {10, 1, 3, 7, 4, 13};
    for (SHProvider* p : {&sh, static_cast<SHProvider*>(&pwm)}) {
        p->reset();
        std::vector<float> whole(80);
        const float* ins[1] = {in.data()};
        float* outs[1] = {whole.data()};
        uint64_t inFrames = in.size(), outFrames = whole.size();
        p->process(ins, outs, inFrames, outFrames);
        ASSERT_EQ(outFrames, 80u);
        for (uint64_t cut : cuts) {
            SCOPED_TRACE(testing::Message() << (p == &sh ? "SH" : "PWM") << ", cut " << cut);
            p->reset();
            std::vector<float> joined;
            size_t read = 0;
            while (joined.size() < whole.size()) {
                std::vector<float> block(cut + 4, -99.0f); // guard frames past the request
                const float* from[1] = {in.data() + read};
                float* to[1] = {block.data()};
                inFrames = in.size() - read;
                outFrames = cut;
                EXPECT_EQ(p->process(from, to, inFrames, outFrames), inFrames);
                ASSERT_EQ(outFrames, std::min<uint64_t>(cut, whole.size() - joined.size()));
                for (size_t g = cut; g < block.size(); ++g) ASSERT_EQ(block[g], -99.0f);
                read += inFrames;
                joined.insert(joined.end(), block.begin(), block.begin() + outFrames);
            }
            EXPECT_EQ(read, in.size());
            EXPECT_EQ(joined, whole);
        }
    }
    // Ten frames at factor 4 take three input frames; two repeats of the
    // third are written by the next call, which needs no input for them.
    sh.reset();
    float out[12];
    std::fill(std::begin(out), std::end(out), -99.0f);
    const float* ins[1] = {in.data()};
    float* outs[1] = {out};
    uint64_t inFrames = 3, outFrames = 10;
    EXPECT_EQ(sh.process(ins, outs, inFrames, outFrames), 3u);
    EXPECT_EQ(outFrames, 10u);
    EXPECT_EQ(out[9], in[2]);
    EXPECT_EQ(out[10], -99.0f);
    inFrames = 0;
    outFrames = 5;
    EXPECT_EQ(sh.process(ins, outs, inFrames, outFrames), 0u);
    EXPECT_EQ(outFrames, 2u);
    EXPECT_EQ(out[0], in[2]);
    EXPECT_EQ(out[1], in[2]);
}

TEST(PWMProvider, SmoothsTheHeldSignal) {
    PWMProvider p;
    ASSERT_TRUE(p.setup(1, 12000, 48000));
    EXPECT_EQ(p.factor, 4u);
    EXPECT_EQ(p.inputNeeded(256), 64u);
    EXPECT_EQ(p.inputNeeded(3), 1u);

    // A constant settles to itself.
    std::vector<float> dc(1200, 0.5f);
    uint64_t shortPulls = 0;
    std::vector<float> out = pull(p, dc, &shortPulls);
    EXPECT_EQ(shortPulls, 0u);
    EXPECT_NEAR(out.back(), 0.5f, 1e-4);

    // A low tone keeps its pitch and level; the input's images are damped.
    p.reset();
    out = pull(p, sine(200.0, 12000.0, 6000, 0.5), &shortPulls);
    const Tone t = measure(out, 400, 48000.0);
    EXPECT_NEAR(t.hz, 200.0, 0.2);
    EXPECT_NEAR(t.db, 20.0 * std::log10(0.5), 0.3);

    // Reset forgets the ringing.
    p.reset();
    std::vector<float> zeros(64, 0.0f);
    out = pull(p, zeros, &shortPulls);
    for (float v : out) EXPECT_EQ(v, 0.0f);

    EXPECT_FALSE(p.setup(1, 48000, 12000));
}

} // namespace
