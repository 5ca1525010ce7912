// When events sound. An event lands on a chip frame set by its host frame
// alone: random host block partitions (multiples of 4 frames) render what
// 256-frame blocks render, bit for bit, and a note-off for a key nobody holds
// moves nothing. The latency the plug-in reports (opcode 18) is the delay
// measured from a note's event to its sound at every host rate: the phase
// of the note's sine against the chips' own output of the same note.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <random>
#include <vector>

#include "ChipWrapTestSupport.h"
#include "instrument/HPFilter.h"
#include "instrument/LPFilterInverse.h"

using namespace wraptest;

namespace {

struct Timed {
    size_t frame;
    HDMIDIEvent event;
};

// Renders `frames` frames (left channel) in blocks of the given sizes in
// turn (the last repeated), each event in the block its frame falls in.
std::vector<double> renderTimed(ChipWrap& w, size_t frames, const std::vector<uint32_t>& blocks,
                                const std::vector<Timed>& events) {
    auto in = std::make_unique<EventList>();
    std::vector<float> l(4096), r(4096);
    std::vector<double> out;
    size_t next = 0, at = 0;
    for (size_t b = 0; at < frames; ++b) {
        const uint32_t n = uint32_t(std::min<size_t>(blocks[std::min(b, blocks.size() - 1)],
                                                     frames - at));
        in->count = 0;
        for (; next < events.size() && events[next].frame < at + n; ++next) {
            in->events[in->count] = events[next].event;
            in->events[in->count++].frameOffset = int32_t(events[next].frame - at);
        }
        float* outputs[2] = {l.data(), r.data()};
        w.getRecord()->process(w.getRecord(), outputs, int32_t(n), in.get(), nullptr, nullptr);
        out.insert(out.end(), l.begin(), l.begin() + n);
        at += n;
    }
    return out;
}

uint32_t reportedLatency(ChipWrap& w) {
    LatencyRecord record = {};
    record.version = 2123;
    uint32_t done = 0;
    dispatchEntry(w.getRecord(), PLUGIN_OP_GET_LATENCY, &record, &done);
    EXPECT_EQ(done, 1u);
    return record.word4;
}

// ---- Block partitions ------------------------------------------------------------------

TEST(ChipWrapTiming, RandomBlockPartitionsRenderWhat256FrameBlocksRender) {
    std::mt19937 random(36);
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        const size_t total = size_t(rate * 1.5);
        // Sixty notes at random frames, each ended a little later; between
        // them note-offs for keys that nobody holds.
        std::vector<Timed> notes, strays;
        for (int i = 0; i < 60; ++i) {
            const size_t on = std::uniform_int_distribution<size_t>(0, total - 2000)(random);
            const uint8_t key = uint8_t(std::uniform_int_distribution<int>(48, 84)(random));
            notes.push_back({on, midiEvent(0x90, key, 100)});
            notes.push_back({on + 300 + random() % 1500, midiEvent(0x80, key, 0)});
            strays.push_back({std::uniform_int_distribution<size_t>(0, total - 1)(random),
                              midiEvent(0x80, 20, 0)});
        }
        auto byFrame = [](std::vector<Timed>& v) {
            std::stable_sort(v.begin(), v.end(),
                             [](const Timed& a, const Timed& b) { return a.frame < b.frame; });
        };
        std::vector<Timed> withStrays = notes;
        withStrays.insert(withStrays.end(), strays.begin(), strays.end());
        byFrame(notes);
        byFrame(withStrays);

        auto reference = makeWrap(rate, 4096);
        const std::vector<double> expected = renderTimed(*reference, total, {256}, notes);
        ASSERT_GT(insttest::peakOf(expected), 0.01);
        for (int trial = 0; trial < 3; ++trial) {
            std::vector<uint32_t> blocks;
            for (size_t n = 0; n < total; n += blocks.back())
                blocks.push_back(4 * std::uniform_int_distribution<uint32_t>(1, 1024)(random));
            auto w = makeWrap(rate, 4096);
            const std::vector<double> out =
                renderTimed(*w, total, blocks, trial == 0 ? withStrays : notes);
            size_t first = 0;
            while (first < out.size() && out[first] == expected[first]) ++first;
            EXPECT_EQ(first, out.size()) << rate << " Hz, trial " << trial << ": differs from frame "
                                         << first;
        }
    }
}

// ---- Latency ---------------------------------------------------------------------------

// The complex amplitude of `x` at `hz` over samples [from, to) at `rate`,
// phase counted from `origin` seconds before sample 0.
std::complex<double> toneOf(const std::vector<double>& x, double rate, double hz, size_t from,
                            size_t to, double origin) {
    std::complex<double> sum = 0.0;
    for (size_t i = from; i < to && i < x.size(); ++i)
        sum += x[i] * std::polar(1.0, -2.0 * M_PI * hz * (double(i) / rate + origin));
    return sum;
}

TEST(ChipWrapTiming, ReportedLatencyIsTheMeasuredDelayAtEveryHostRate) {
    std::mt19937 random(5);
    for (double rate : {44100.0, 48000.0, 88200.0, 96000.0, 192000.0}) {
        // The chips' own output of a note given before anything rendered,
        // at the chip rate the resampler is told.
        auto chips = makeWrap(rate, 4096);
        {
            auto in = std::make_unique<EventList>();
            in->count = 1;
            in->events[0] = midiEvent(0x90, 69, 100);
            float s = 0.0f;
            float* none[2] = {&s, &s};
            chips->getRecord()->process(chips->getRecord(), none, 0, in.get(), nullptr, nullptr);
        }
        const double chipRate = std::floor(chips->getChipRate() + 0.5);
        std::vector<float> l(size_t(chipRate * 0.08)), r(l.size());
        float* buffers[2] = {l.data(), r.data()};
        chips->renderSub(buffers, l.size());
        // Without the chip-rate low-pass, which the host-rate inverse takes
        // out, and with the host-rate high-pass: the sound as the host gets it.
        LPFilterInverse inverse;
        HPFilter high;
        inverse.cutoff = chips->getLowPassCutoff(0);
        high.cutoff = chips->getHighPassCutoff(0);
        for (Filter* f : {static_cast<Filter*>(&inverse), static_cast<Filter*>(&high)}) {
            f->rate = chipRate;
            f->setup();
            f->state = 0.0;
            f->process(l.data(), int32_t(l.size()));
        }
        const std::vector<double> x(l.begin(), l.end());
        // Its pitch, from the phase it gains over 40 ms.
        const size_t span = size_t(chipRate * 0.01);
        const size_t a = size_t(chipRate * 0.02), b = size_t(chipRate * 0.06);
        const double turn = std::arg(toneOf(x, chipRate, 440.0, b, b + span, 0.0) /
                                     toneOf(x, chipRate, 440.0, a, a + span, 0.0));
        const double hz = 440.0 + turn / (2.0 * M_PI * 0.04);
        ASSERT_NEAR(hz, 440.0, 2.0);

        auto w = makeWrap(rate, 4096);
        const uint32_t reported = reportedLatency(*w);
        // Half an FM sample either way is the chips' own step.
        const double fmSample = 21.0 / chipRate * rate;
        double sum = 0.0;
        size_t at = 0;
        std::vector<Timed> events;
        constexpr int kNotes = 24;
        for (int i = 0; i < kNotes; ++i) {
            at += 4 * (size_t(rate * 0.015) + random() % 256); // on the 4-frame step
            events.push_back({at, midiEvent(0x90, 69, 100)});
            events.push_back({at + size_t(rate * 0.04), midiEvent(0x80, 69, 0)});
        }
        const std::vector<double> y = renderTimed(*w, at + size_t(rate * 0.06), {256}, events);
        for (int i = 0; i < kNotes; ++i) {
            const double on = double(events[2 * i].frame);
            // 10 ms into the note, 20 ms long, against the same stretch of
            // the chips' note placed at the reported latency.
            const size_t from = size_t(on + reported + rate * 0.01);
            const size_t to = from + size_t(rate * 0.02);
            const double placed = (on + reported) / rate;
            const std::complex<double> host = toneOf(y, rate, hz, from, to, 0.0);
            const size_t chipFrom = size_t(std::ceil((double(from) / rate - placed) * chipRate));
            const size_t chipTo = size_t(std::ceil((double(to) / rate - placed) * chipRate));
            const std::complex<double> own = toneOf(x, chipRate, hz, chipFrom, chipTo, placed);
            const double measured = reported + std::arg(own / host) / (2.0 * M_PI * hz) * rate;
            EXPECT_LT(std::fabs(measured - reported), 0.6 + fmSample / 2.0)
                << rate << " Hz, note " << i << ": measured " << measured;
            sum += measured;
        }
        EXPECT_NEAR(sum / kNotes, double(reported), 0.6) << rate << " Hz";
    }
}

} // namespace
