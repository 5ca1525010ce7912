// Sessions as hosts run them, through the whole chain (the built bundle, the
// real engine host and "Brevado"): any block size a host announces, the
// validator's set-up sequences at every rate, a refused state, and a host
// that releases the plug-in while it exits.
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "support/PlugTestSupport.h"

using namespace plugtest;

namespace {

class HostSessions : public BuiltChainTest {
protected:

    struct Note {
        int64_t at; // frame from the start
        bool on;
        int16 pitch;
    };
    // `total` frames of the left channel, then of the right, in blocks of
    // `block` frames, each note in the block it falls in.
    static std::vector<float> render(PluginInstance& p, int64_t total, int32 block,
                                     const std::vector<Note>& notes) {
        std::vector<float> left, right;
        for (int64_t at = 0; at < total; at += block) {
            const int32 n = int32(std::min<int64_t>(block, total - at));
            HostEventList events;
            events.refAdd();
            for (const Note& note : notes)
                if (note.at >= at && note.at < at + n) {
                    if (note.on)
                        events.addNoteOn(int32(note.at - at), note.pitch, 0.9f, note.pitch);
                    else
                        events.addNoteOff(int32(note.at - at), note.pitch, 0.f, note.pitch);
                }
            EXPECT_EQ(p.process(n, &events), kResultOk);
            left.insert(left.end(), p.output(0).begin(), p.output(0).begin() + n);
            right.insert(right.end(), p.output(1).begin(), p.output(1).begin() + n);
        }
        left.insert(left.end(), right.begin(), right.end());
        return left;
    }
};

// ---- Block sizes ------------------------------------------------------------------------

TEST_F(HostSessions, EveryBlockSizeRendersWhat256FrameBlocksRender) {
    constexpr int64_t kTotal = 2 * 65536;
    // Notes all through the render, on both sides of the engine's 4096-frame
    // pieces. In 1-frame blocks the engine renders the chip ahead of the
    // host, so a note that falls inside a run of such blocks lands on another
    // chip sample than in longer blocks: there, the notes start together.
    const std::vector<Note> spread = {{100, true, 69},     {5000, true, 76},     {65532, true, 57},
                                      {70000, false, 69},  {100000, false, 76}};
    const std::vector<Note> together = {{0, true, 69}, {0, true, 76}, {0, true, 57}};
    const struct {
        int32 block;
        const std::vector<Note>& notes;
    } cases[] = {{1, together}, {4096, spread}, {8192, spread}, {65536, spread}};
    for (const auto& c : cases) {
        auto reference = makeInstance(48000, 256);
        auto p = makeInstance(48000, c.block);
        ASSERT_TRUE(reference && p);
        const std::vector<float> expected = render(*reference, kTotal, 256, c.notes);
        ASSERT_GT(peak(expected), 0.01f);
        const std::vector<float> out = render(*p, kTotal, c.block, c.notes);
        size_t first = 0;
        while (first < out.size() && out[first] == expected[first]) ++first;
        EXPECT_EQ(first, out.size()) << c.block << "-frame blocks differ from frame "
                                     << first % kTotal;
    }
}

// ---- Latency ----------------------------------------------------------------------------

// The latency the processor reports is what a host must take off: a note's
// onset less the reported latency falls at the same moment at every rate.
TEST_F(HostSessions, ReportedLatencyAlignsNotesAcrossRates) {
    double reference = -1.0;
    for (double rate : {48000.0, 44100.0, 88200.0, 96000.0, 192000.0}) {
        auto p = makeInstance(rate, 256);
        ASSERT_TRUE(p);
        const uint32 latency = p->processor()->getLatencySamples();
        const int64_t at = 4 * int64_t(rate / 400.0); // on the 4-frame step
        const std::vector<float> out = render(*p, int64_t(rate / 10.0), 256, {{at, true, 69}});
        size_t first = 0;
        while (first < out.size() / 2 && std::fabs(out[first]) < 0.01f) ++first;
        ASSERT_LT(first, out.size() / 2) << rate;
        const double ms = 1000.0 * (double(first) - double(at) - double(latency)) / rate;
        if (reference < 0.0) reference = ms;
        EXPECT_NEAR(ms, reference, 0.045) << rate << " Hz, latency " << latency;
    }
}

// ---- The validator's sequences ----------------------------------------------------------

// Set-up at 8192 frames, then the host's cycles of suspending and resuming:
// processing off, inactive, set up again, active, processing on, a few blocks
// with a note. Every rate from 11.025 to 384 kHz a host may run at.
TEST_F(HostSessions, SetUpSuspendAndResumeAtEveryRate) {
    for (double rate : {11025.0, 16000.0, 22050.0, 32000.0, 44100.0, 48000.0, 88200.0, 96000.0,
                        176400.0, 192000.0, 352800.0, 384000.0}) {
        auto p = makeInstance(0);
        ASSERT_TRUE(p);
        ASSERT_EQ(p->prepare(rate, 8192), kResultOk) << rate;
        for (int cycle = 0; cycle < 3; ++cycle) {
            if (cycle > 0) {
                ASSERT_EQ(p->processor()->setProcessing(false), kResultOk);
                ASSERT_EQ(p->component()->setActive(false), kResultOk);
                ProcessSetup setup{kRealtime, kSample32, 8192, rate};
                ASSERT_EQ(p->processor()->setupProcessing(setup), kResultOk) << rate;
                ASSERT_EQ(p->component()->setActive(true), kResultOk);
                ASSERT_EQ(p->processor()->setProcessing(true), kResultOk);
            }
            const std::vector<float> out =
                render(*p, 3 * 8192, cycle == 1 ? 1024 : 8192, {{0, true, 69}, {8192, false, 69}});
            for (float v : out) ASSERT_TRUE(std::isfinite(v)) << rate;
            EXPECT_GT(peak(out), 0.01f) << rate << " cycle " << cycle;
        }
    }
}

// A rate the engine does not run at is refused, and until a set-up is taken
// no block answers OK without writing all its outputs.
TEST_F(HostSessions, ARefusedSetUpLeavesTheOutputsSilent) {
    auto p = makeInstance(48000, 8192);
    ASSERT_TRUE(p);
    ProcessSetup tooFast{kRealtime, kSample32, 8192, 1411200.0};
    EXPECT_NE(p->processor()->setupProcessing(tooFast), kResultOk);
    HandBlock block(8192, 1, 2);
    EXPECT_EQ(p->processor()->process(block.data), kResultFalse);
    for (const auto& ch : block.samples) EXPECT_EQ(peak(ch), 0.f);
}

// ---- A refused state -------------------------------------------------------------------

double rms(const std::vector<float>& s) {
    double sum = 0;
    for (float v : s) sum += double(v) * v;
    return s.empty() ? 0 : std::sqrt(sum / double(s.size()));
}

// Garbage, a cut state, a chunk of another version and size words that lie
// are refused by the processor and the controller alike, and change nothing:
// the bypass switch and the engine's parameters keep their values and a note
// sounds as loud as it did.
TEST_F(HostSessions, ARefusedStateChangesNothing) {
    auto source = makeInstance(48000, 512);
    ASSERT_TRUE(source);
    HostParameterChanges changes;
    changes.refAdd();
    changes.add(0, 0, 0.75);
    ASSERT_EQ(source->process(512, nullptr, &changes), kResultOk);
    MemoryStream saved;
    saved.refAdd();
    ASSERT_EQ(source->saveState(saved), kResultOk);
    const std::string good(saved.bytes().begin(), saved.bytes().end());
    ASSERT_GT(good.size(), 16u);
    ASSERT_EQ(good.compare(8, 4, "MVST"), 0);
    auto withWord = [](std::string s, size_t at, int32_t word) {
        return s.replace(at, 4, std::string(reinterpret_cast<const char*>(&word), 4));
    };
    const int32_t chunkSize = int32_t(good.size() - 8);
    // Bypass on in the lying ones: a refused state must not switch it.
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"garbage", "this is not a state"},
        {"cut in half", good.substr(0, good.size() / 2)},
        {"chunk version 2", withWord(good, 12, 2)},
        {"size beyond the data", withWord(withWord(good, 0, 1), 4, chunkSize + 64)},
        {"negative size", withWord(withWord(good, 0, 1), 4, -chunkSize)},
    };

    // A note's level after the good state, as the reference.
    auto playNote = [&](PluginInstance& p) {
        HostEventList notes;
        notes.refAdd();
        notes.addNoteOn(0, 69, 1.0f, 1);
        const std::vector<float> out = renderLeft(p, 40, 512, &notes);
        return rms(std::vector<float>(out.begin() + 20 * 512, out.end()));
    };
    auto reference = makeInstance(48000, 512);
    ASSERT_TRUE(reference);
    ASSERT_EQ(reference->loadState(saved), kResultOk);
    const double level = playNote(*reference);
    ASSERT_GT(level, 0.01);

    for (const auto& c : cases) {
        auto p = makeInstance(48000, 512);
        ASSERT_TRUE(p);
        ASSERT_EQ(p->loadState(saved), kResultOk);
        MemoryStream bad(c.bytes.data(), int64(c.bytes.size()));
        bad.refAdd();
        EXPECT_EQ(p->component()->setState(&bad), kResultFalse) << c.what;
        bad.seek(0, IBStream::kIBSeekSet);
        EXPECT_EQ(p->controller()->setComponentState(&bad), kResultFalse) << c.what;
        EXPECT_EQ(p->controller()->getParamNormalized(9000), 0.0) << c.what;
        EXPECT_NEAR(p->controller()->getParamNormalized(0), 0.75, 1.0 / 127) << c.what;
        EXPECT_NEAR(20 * std::log10(playNote(*p) / level), 0.0, 0.01) << c.what;
    }
}

// ---- Release at exit --------------------------------------------------------------------

TEST_F(HostSessions, AHostReleasesThePlugInWhileItExits) {
    for (const char* when : {"atexit", "static"}) {
        const std::string log = testhome::root() + "/exit-host.log";
        const std::string command = std::string("\"") + SX_EXIT_RELEASE_HOST + "\" \"" +
                                    kPlugBundle + "\" " + when + " > \"" + log + "\" 2>&1";
        const int status = std::system(command.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << when << ": status " << status << "\n"
            << testhome::readFile(log);
    }
}

} // namespace
