// The speexdsp rate provider: rate reduction and frame counts, set-ups that
// keep or refuse the resampler state, and a stereo sine converted from the
// console's chip rate measured for pitch and level.
#include <gtest/gtest.h>

#include <speex/speex_resampler.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <numeric>
#include <vector>

#include "instrument/Repackager.h"
#include "instrument/SpeexProvider.h"
#include "support/ZeroCrossings.h"

namespace {

constexpr double kPi = std::numbers::pi;
constexpr uint64_t kChipRate = 1118608; // console clock / 48, rounded

TEST(SpeexProvider, SteinGcd) {
    const uint64_t cases[][3] = {
        {0, 0, 0},
        {1234, 0, 1234},
        {0, 77, 77},
        {44100, 44100, 44100},
        {48000, 44100, 300},
        {kChipRate, 48000, 16},
        {3ull << 40, 9ull << 20, 3ull << 20},
        {1000003, 999983, 1},
        {UINT64_MAX, UINT64_MAX - 1, 1},
        {1ull << 63, 1ull << 62, 1ull << 62},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(steinGcd(c[0], c[1]), c[2]) << c[0] << ", " << c[1];
        EXPECT_EQ(steinGcd(c[1], c[0]), c[2]) << c[1] << ", " << c[0];
    }
}

TEST(SpeexProvider, NewProviderHasNoState) {
    SpeexProvider p;
    EXPECT_EQ(p.ratio, 1.0);
    EXPECT_EQ(p.reducedInputRate, 1u);
    EXPECT_EQ(p.reducedOutputRate, 1u);
    EXPECT_EQ(p.channels, 0u);
    EXPECT_EQ(p.inputLatency(), 0);
    EXPECT_EQ(p.outputLatency(), 0);
    EXPECT_EQ(p.resampler(), nullptr);
    p.reset(); // harmless without a state
}

TEST(SpeexProvider, ReducesRatesAndCountsInputFrames) {
    struct Case {
        uint64_t in, out, reducedIn, reducedOut;
        uint64_t request, need;
    } cases[] = {
        {48000, 44100, 160, 147, 256, 278},         {48000, 44100, 160, 147, 0, 1},
        {44100, 48000, 147, 160, 256, 235},         {44100, 44100, 1, 1, 256, 256},
        {kChipRate, 48000, 69913, 3000, 256, 5965},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.in << " -> " << c.out);
        SpeexProvider p;
        ASSERT_TRUE(p.setup(2, c.in, c.out, 0, 1));
        EXPECT_EQ(p.reducedInputRate, c.reducedIn);
        EXPECT_EQ(p.reducedOutputRate, c.reducedOut);
        EXPECT_DOUBLE_EQ(p.ratio, double(c.in) / double(c.out));
        EXPECT_EQ(p.inputNeeded(c.request), c.need);
        EXPECT_GT(p.inputLatency(), 0);
    }
    SpeexProvider p;
    ASSERT_TRUE(p.setup(2, 48000, 44100, 0, 1));
    EXPECT_NEAR(p.ratio, 1.0884, 0.00005);
}

TEST(SpeexProvider, LaterSetupKeepsTheStateAndChangesQuality) {
    SpeexProvider p;
    ASSERT_TRUE(p.setup(2, 48000, 44100, 0, 1));
    SpeexResamplerState_* first = p.resampler();
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(p.setup(2, kChipRate, 48000, 5, 1));
    EXPECT_EQ(p.resampler(), first);
    int quality = -1;
    speex_resampler_get_quality(p.resampler(), &quality);
    EXPECT_EQ(quality, 5);
    spx_uint32_t in = 0, out = 0;
    speex_resampler_get_rate(p.resampler(), &in, &out);
    EXPECT_EQ(in, kChipRate);
    EXPECT_EQ(out, 48000u);
    EXPECT_EQ(p.reducedInputRate, 69913u);
}

// A refused set-up leaves no state, whether or not one existed, and process
// then neither consumes nor produces, so a caller's pull loop can end.
TEST(SpeexProvider, RefusedSetupLeavesNoState) {
    struct Case {
        const char* what;
        bool setUpFirst;
        uint64_t channels, in, out;
        int32_t quality;
    } cases[] = {
        {"no channels", false, 0, 48000, 44100, 0},
        {"too many channels", false, 1000000, 48000, 44100, 0},
        {"input rate 0", false, 2, 0, 44100, 0},
        {"output rate 0", true, 2, 48000, 0, 0},
        {"rate beyond 32 bits", false, 2, 1ull << 32, 44100, 0},
        {"quality -1", true, 2, 48000, 44100, -1},
        {"quality 11", false, 2, 48000, 44100, 11},
        {"other channel count than the state's", true, 4, 48000, 44100, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SpeexProvider p;
        if (c.setUpFirst) {
            ASSERT_TRUE(p.setup(2, 44100, 48000, 3, 1));
        }
        EXPECT_FALSE(p.setup(c.channels, c.in, c.out, c.quality, 1));
        EXPECT_EQ(p.resampler(), nullptr);
        EXPECT_EQ(p.channels, 0u);
        EXPECT_EQ(p.ratio, 1.0);
        EXPECT_EQ(p.inputNeeded(256), 256u);

        std::vector<float> in(512, 0.5f), out(512, 9.0f);
        const float* ins[2] = {in.data(), in.data()};
        float* outs[2] = {out.data(), out.data()};
        uint64_t inFrames = 512, outFrames = 256;
        EXPECT_EQ(p.process(ins, outs, inFrames, outFrames), 0u);
        EXPECT_EQ(inFrames, 0u);
        EXPECT_EQ(outFrames, 0u);
        EXPECT_EQ(out[0], 9.0f);

        // The provider recovers with a valid set-up.
        EXPECT_TRUE(p.setup(2, 48000, 44100, 0, 1));
    }
}

struct Tone {
    double hz;
    double rms;
};

// Pitch by zero crossings, level as RMS, both from sample `from` on.
Tone measure(const std::vector<float>& v, size_t from, double rate) {
    double sum = 0;
    for (size_t n = from + 1; n < v.size(); ++n) sum += double(v[n]) * v[n];
    return {testsupport::pitchByZeroCrossings(v, rate, from),
            std::sqrt(sum / double(v.size() - from - 1))};
}

// Stereo from the chip rate to common host rates, pulled the way the
// instrument pulls: ask for 256 host frames, hand in what the provider asks
// for, keep what it left. Left and right carry different tones.
TEST(SpeexProvider, ConvertsAChipRateSineToTheHostRate) {
    for (uint64_t hostRate : {44100u, 48000u, 96000u}) {
        SCOPED_TRACE(hostRate);
        SpeexProvider p;
        ASSERT_TRUE(p.setup(2, kChipRate, hostRate, 0, 1));
        const double tones[2] = {440.0, 3000.0};
        const uint64_t seconds = kChipRate / 4; // a quarter second of input
        std::vector<float> in[2], out[2];
        for (int c = 0; c < 2; ++c) {
            in[c].resize(seconds);
            for (uint64_t n = 0; n < seconds; ++n)
                in[c][n] = float(0.5 * std::sin(2.0 * kPi * tones[c] * double(n) / kChipRate));
            out[c].assign(hostRate, 0.0f);
        }
        uint64_t read = 0, written = 0;
        while (true) {
            const uint64_t need = p.inputNeeded(256);
            if (read + need > seconds) break;
            const float* ins[2] = {in[0].data() + read, in[1].data() + read};
            float* outs[2] = {out[0].data() + written, out[1].data() + written};
            uint64_t inFrames = need, outFrames = 256;
            const uint64_t consumed = p.process(ins, outs, inFrames, outFrames);
            EXPECT_EQ(consumed, inFrames);
            ASSERT_TRUE(inFrames > 0 || outFrames > 0);
            read += inFrames;
            written += outFrames;
        }
        // Every frame handed in comes out, less the filter's delay.
        const double expected = double(read) / p.ratio - double(p.outputLatency());
        EXPECT_NEAR(double(written), expected, 2.0);
        for (int c = 0; c < 2; ++c) {
            out[c].resize(written);
            const Tone t = measure(out[c], size_t(p.outputLatency()) + 64, double(hostRate));
            EXPECT_NEAR(t.hz, tones[c], tones[c] * 0.001) << "channel " << c;
            EXPECT_NEAR(20.0 * std::log10(t.rms / (0.5 / std::sqrt(2.0))), 0.0, 0.2)
                << "channel " << c;
        }
    }
}

TEST(SpeexProvider, ResetForgetsTheHistory) {
    SpeexProvider p;
    ASSERT_TRUE(p.setup(1, 48000, 44100, 0, 0));
    std::vector<float> loud(480, 1.0f), quiet(480, 0.0f), out(480, 0.0f);
    const float* in[1] = {loud.data()};
    float* outs[1] = {out.data()};
    uint64_t i = 480, o = 440;
    p.process(in, outs, i, o);
    p.reset();
    in[0] = quiet.data();
    i = 480;
    o = 440;
    p.process(in, outs, i, o);
    ASSERT_GT(o, 0u);
    for (uint64_t n = 0; n < o; ++n) EXPECT_EQ(out[n], 0.0f) << n;
}

} // namespace

TEST(SpeexProvider, OutputsAheadTellWhatTheConversionMakes) {
    // Random requests with more or less input than they need, as the
    // re-blocking stage joins passes: the outputs told ahead are the ones
    // made, and a call that makes fewer consumes all its input.
    const struct {
        uint64_t outputRate;
        int32_t quality;
        uint64_t maxRequest;
    } cases[] = {{48000, 4, 3}, {48000, 4, 300}, {44100, 10, 40}, {96000, 0, 200}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.outputRate << " Hz, quality " << c.quality);
        SpeexProvider p;
        ASSERT_TRUE(p.setup(2, kChipRate, c.outputRate, c.quality, 1));
        uint64_t made = 0;
        EXPECT_FALSE(p.outputsAhead(10, 1, made)); // not followed before a reset
        p.reset();
        std::vector<float> input[2], output[2];
        uint64_t seed = 99, position = 0, kept = 0;
        auto next = [&seed](uint64_t n) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            return (seed >> 33) % n;
        };
        for (int call = 0; call < 600; ++call) {
            // Input around the least that makes the whole request, or
            // anywhere up to twice what it needs.
            const uint64_t request = 1 + next(c.maxRequest);
            uint64_t low = kept, high = kept + 2 * p.inputNeeded(request) + 64;
            while (low < high) {
                const uint64_t mid = (low + high) / 2;
                ASSERT_TRUE(p.outputsAhead(mid, request, made));
                if (made >= request)
                    high = mid;
                else
                    low = mid + 1;
            }
            const uint64_t total = call % 2 ? std::max(low + next(3), kept + 1) - 1
                                            : kept + next(2 * p.inputNeeded(request) + 2);
            const uint64_t fresh = total - kept;
            for (int ch = 0; ch < 2; ++ch) {
                input[ch].erase(input[ch].begin(), input[ch].end() - long(kept));
                for (uint64_t i = 0; i < fresh; ++i)
                    input[ch].push_back(float(std::sin(double(position + i) * 0.003)));
                output[ch].assign(request, 0.0f);
            }
            position += fresh;
            uint64_t in = input[0].size(), out = request;
            ASSERT_TRUE(p.outputsAhead(in, out, made));
            const float* from[2] = {input[0].data(), input[1].data()};
            float* to[2] = {output[0].data(), output[1].data()};
            p.process(from, to, in, out);
            ASSERT_EQ(out, made) << "call " << call;
            if (made < request) {
                ASSERT_EQ(in, input[0].size()) << "call " << call;
            }
            kept = input[0].size() - in;
        }
        // After skipped silence the resampler has yet to catch up.
        uint64_t in = 500, out = 10;
        ASSERT_TRUE(p.skip(in, out));
        EXPECT_FALSE(p.outputsAhead(500, 10, made));
    }
}

// The re-blocking stage joins passes (pull with `ahead`): one conversion of
// the input of several. It consumes what the last pass would have consumed,
// also where the resampler's pieces cut that input otherwise than the last
// pass's own call would, so the input kept back (and with it the frames
// rendered by the end of each pull) are the passes' own, as are the frames,
// bit for bit. The draws of pull lengths include such joined passes at the
// short pieces of quality 0.
TEST(SpeexProvider, JoinedPassesKeepWhatThePassesKeep) {
    struct RampSource : SRCSubRenderer<float> {
        void renderSub(float** buffers, uint64_t frames) override {
            for (uint64_t i = 0; i < frames; ++i) {
                buffers[0][i] = float((next + i) % 997) / 997.0f;
                buffers[1][i] = -buffers[0][i];
            }
            next += frames;
        }
        uint64_t next = 0;
    };
    const struct {
        uint64_t outputRate;
        int32_t quality;
        uint64_t seed;
    } cases[] = {{8000, 0, 26}, {11025, 0, 1}, {22050, 0, 18}, {48000, 0, 25}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.outputRate << " Hz, quality " << c.quality);
        SpeexProvider provider[2];
        RampSource source[2];
        Repackager<float> chain[2];
        for (int k = 0; k < 2; ++k) {
            ASSERT_TRUE(provider[k].setup(2, kChipRate, c.outputRate, c.quality, 1));
            provider[k].reset();
            ASSERT_TRUE(chain[k].setUp(8192, 2));
            chain[k].wire(&provider[k], &source[k]);
        }
        uint64_t seed = c.seed;
        std::vector<float> out[2][2];
        for (int call = 0; call < 100; ++call) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            const uint64_t frames = 1 + (seed >> 33) % 300;
            for (int k = 0; k < 2; ++k) {
                for (auto& side : out[k]) side.assign(frames, 0.0f);
                float* to[2] = {out[k][0].data(), out[k][1].data()};
                ASSERT_TRUE(chain[k].pull(to, frames, k == 1));
            }
            ASSERT_EQ(chain[1].keptInputFrames(), chain[0].keptInputFrames()) << "call " << call;
            ASSERT_EQ(chain[1].renderedFrames(), chain[0].renderedFrames()) << "call " << call;
            for (int side = 0; side < 2; ++side)
                ASSERT_EQ(
                    std::memcmp(out[0][side].data(), out[1][side].data(), frames * sizeof(float)),
                    0)
                    << "call " << call;
        }
    }
}

// One call's buffers for two providers fed the same frames: what the last
// call left unconsumed, then new frames; an output list for each provider.
struct PairedCall {
    std::vector<float> kept[2], input[2], outReal[2], outSkip[2];
    const float* in[2] = {};
    float* outR[2] = {};
    float* outS[2] = {};

    // The kept frames and `need` new ones of `signal(frame, channel)` from
    // `position` on, and room for `request` outputs each.
    template <class Signal>
    void fill(uint64_t position, uint64_t need, uint64_t request, Signal signal) {
        for (int ch = 0; ch < 2; ++ch) {
            input[ch] = kept[ch];
            for (uint64_t i = 0; i < need; ++i) input[ch].push_back(signal(position + i, ch));
            outReal[ch].assign(request, 0.0f);
            outSkip[ch].assign(request, 0.0f);
            in[ch] = input[ch].data();
            outR[ch] = outReal[ch].data();
            outS[ch] = outSkip[ch].data();
        }
    }
    uint64_t inputFrames() const { return input[0].size(); }
    bool sameOutputs(uint64_t n) const {
        for (int ch = 0; ch < 2; ++ch)
            if (std::memcmp(outReal[ch].data(), outSkip[ch].data(), n * sizeof(float)) != 0)
                return false;
        return true;
    }
    // Keeps what the call left after `consumed` frames for the next one.
    void keepFrom(uint64_t consumed) {
        for (int ch = 0; ch < 2; ++ch)
            kept[ch].assign(input[ch].begin() + long(consumed), input[ch].end());
    }
};

// Silence counted instead of converted: a provider that skips a stretch of
// zeros gives the same counts on every call as one that converts it, and the
// same output, bit for bit, once sound returns (after catching up its phase).
// Requests of every size, at several qualities and rates, and a set-up that
// changes quality first (the resampler then works in longer pieces). Sound
// returns anywhere in the ratio's period, or on a period's start.
TEST(SpeexProvider, SkippedSilenceCountsAndSoundsAsConvertedSilence) {
    struct Case {
        uint64_t outputRate;
        int32_t quality;
        uint64_t maxRequest;
        int32_t firstQuality; // set up before, on the same state
        bool resumeOnPeriod;  // the silence lasts until the outputs fill whole periods
    };
    const Case cases[] = {{48000, 0, 3, 0, false},   {48000, 0, 40, 0, false},
                          {48000, 0, 400, 0, false}, {44100, 4, 300, 4, false},
                          {22050, 2, 60, 8, false},  {96000, 10, 200, 0, false},
                          {48000, 0, 400, 0, true},  {44100, 4, 300, 4, true},
                          {96000, 10, 200, 0, true}, {22050, 2, 60, 8, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.outputRate << " Hz, quality " << c.quality << ", requests up to "
                     << c.maxRequest << (c.resumeOnPeriod ? ", on a period" : ""));
        SpeexProvider real, skipping;
        for (SpeexProvider* p : {&real, &skipping}) {
            ASSERT_TRUE(p->setup(2, 1118608, c.firstQuality == c.quality ? c.outputRate : 44100,
                                 c.firstQuality, 1));
            ASSERT_TRUE(p->setup(2, 1118608, c.outputRate, c.quality, 1));
            p->reset();
        }
        ASSERT_TRUE(skipping.canSkip());
        PairedCall call_;
        uint64_t seed = 12345, position = 0;
        auto next = [&seed](uint64_t n) {
            seed = seed * 6364136223846793005ull + 1442695040888963407ull;
            return (seed >> 33) % n;
        };
        const uint64_t period = c.outputRate / steinGcd(1118608, c.outputRate);
        uint64_t made = 0;
        int resumed = 0; // the call sound returns with
        for (int call = 0; resumed == 0 || call < resumed + 500; ++call) {
            // Sound, then a long silence skipped by one of the two, then sound.
            const uint64_t toPeriod = period - made % period;
            const bool silent = call >= 500 && resumed == 0 &&
                                (call < 2500 || (c.resumeOnPeriod && toPeriod != period));
            if (call >= 500 && !silent && resumed == 0) resumed = call;
            uint64_t request = 1 + next(c.maxRequest);
            if (silent && c.resumeOnPeriod && call >= 2000) request = std::min(request, toPeriod);
            const uint64_t need = real.inputNeeded(request);
            const bool quiet = silent || (call >= 450 && call < 500);
            call_.fill(position, need, request, [quiet](uint64_t frame, int ch) {
                return quiet ? 0.0f : float(std::sin(double(frame) * (0.001 + 0.002 * ch)));
            });
            position += need;
            uint64_t inR = call_.inputFrames(), nR = request, inS = inR, nS = request;
            real.process(call_.in, call_.outR, inR, nR);
            if (silent)
                ASSERT_TRUE(skipping.skip(inS, nS));
            else
                skipping.process(call_.in, call_.outS, inS, nS);
            ASSERT_EQ(inS, inR) << "call " << call;
            ASSERT_EQ(nS, nR) << "call " << call;
            made += nR;
            if (silent) {
                for (int ch = 0; ch < 2; ++ch)
                    for (uint64_t i = 0; i < nR; ++i) ASSERT_EQ(call_.outReal[ch][i], 0.0f);
            } else {
                ASSERT_TRUE(call_.sameOutputs(nR)) << "call " << call;
            }
            call_.keepFrom(inR);
        }
    }
}

// The catch-up after skipped silence costs a few outputs at every quality,
// wherever in the period the silence ends: the resampler reaches the
// followed position at a passing rate that keeps its filter instead of
// converting zeros up to it. Checked against a provider that converted the
// silence, bit for bit.
TEST(SpeexProvider, CatchUpAfterSilenceIsShortAtEveryQuality) {
    for (uint64_t rate : {8000u, 32000u, 48000u}) {
        for (int32_t quality = 0; quality <= 10; ++quality) {
            SCOPED_TRACE(testing::Message() << rate << " Hz, quality " << quality);
            SpeexProvider real, skipping;
            for (SpeexProvider* p : {&real, &skipping}) {
                p->reserve(double(kChipRate) / double(rate) + 1.0, 10);
                ASSERT_TRUE(p->setup(2, kChipRate, rate, 0, 1));
                ASSERT_TRUE(p->setup(2, kChipRate, rate, quality, 1));
                p->reset();
            }
            const uint64_t period = rate / steinGcd(kChipRate, rate);
            uint64_t seed = 99 + uint64_t(quality), position = 0;
            auto next = [&seed](uint64_t n) {
                seed = seed * 6364136223846793005ull + 1442695040888963407ull;
                return (seed >> 33) % n;
            };
            PairedCall call;
            // Sound, silence of a random length, sound; twice.
            for (int stretch = 0; stretch < 4; ++stretch) {
                const bool silent = stretch % 2 == 1;
                // Outputs until the sound has left the filter.
                const uint64_t settle =
                    (2 * uint64_t(real.inputLatency()) + 2) * rate / kChipRate + 2;
                const uint64_t length =
                    silent ? settle + 1 + next(period + period / 2) : 60 + next(60);
                for (uint64_t done = 0; done < length;) {
                    const uint64_t request = std::min<uint64_t>(length - done, 1 + next(64));
                    const uint64_t need = real.inputNeeded(request);
                    call.fill(position, need, request, [silent](uint64_t frame, int ch) {
                        return silent ? 0.0f : float(std::sin(double(frame) * 0.0003 * (ch + 1)));
                    });
                    position += need;
                    uint64_t inR = call.inputFrames(), nR = request, inS = inR, nS = request;
                    real.process(call.in, call.outR, inR, nR);
                    if (silent && done > settle) {
                        ASSERT_TRUE(skipping.skip(inS, nS));
                    } else {
                        skipping.process(call.in, call.outS, inS, nS);
                        ASSERT_TRUE(call.sameOutputs(nR));
                    }
                    ASSERT_EQ(inS, inR);
                    ASSERT_EQ(nS, nR);
                    if (!silent && done == 0 && stretch > 0) {
                        EXPECT_LE(skipping.catchUpOutputs(), 256u) << "period " << period;
                    }
                    call.keepFrom(inR);
                    done += nR;
                }
            }
        }
    }
}
