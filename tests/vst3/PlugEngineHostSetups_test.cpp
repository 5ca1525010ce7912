// The whole chain through what a DAW does between blocks: set-ups at other
// rates and block sizes (some the engine refuses), activation switched off
// and on, mono and stereo arrangements, bypass, parameter changes and state
// loads, in random order. Every output sample of every block must be written,
// and at the end the instance must report and play exactly what a fresh
// instance given the same settings reports and plays.
#include <map>
#include <memory>
#include <random>

#include "support/PlugTestSupport.h"
#include "vst3base/UString.h"

using namespace plugtest;

namespace {

constexpr ParamID kBypass = 9000;
// A value no engine output takes: a sample still holding it was not written.
constexpr float kSentinel = 12345.5f;

// One instance driven by hand: its arrangement, set-up and activation, and
// blocks whose outputs are preset to the sentinel and checked after.
class Session {
public:
    explicit Session(PluginInstance& p) : p(p) {}

    tresult setup(double sampleRate, int32 maxBlock) {
        ProcessSetup s{kRealtime, kSample32, maxBlock, sampleRate};
        const tresult r = p.processor()->setupProcessing(s);
        if (r == kResultOk) block = maxBlock;
        return r;
    }
    tresult arrange(int32 count) {
        SpeakerArrangement a = count == 2 ? SpeakerArr::kStereo : SpeakerArr::kMono;
        const tresult r = p.processor()->setBusArrangements(nullptr, 0, &a, 1);
        if (r == kResultOk) channels = count;
        return r;
    }
    void activate(bool on) {
        p.component()->activateBus(kAudio, kOutput, 0, true);
        p.component()->activateBus(kEvent, kInput, 0, true);
        EXPECT_EQ(p.component()->setActive(on), kResultOk);
        if (on) p.processor()->setProcessing(true);
    }
    // One block; false (with a failure) when a sample was left unwritten.
    std::vector<float> run(int32 frames, const std::map<ParamID, double>& changes,
                           bool note = false) {
        HandBlock b(frames, 1, channels, kSentinel);
        for (const auto& [id, value] : changes) b.changes.add(id, 0, value);
        if (note) b.events.addNoteOn(0, 69, 0.9f, 1);
        p.processor()->process(b.data);
        for (int32 ch = 0; ch < channels; ++ch)
            for (int32 i = 0; i < frames; ++i)
                if (b.samples[size_t(ch)][size_t(i)] == kSentinel) {
                    ADD_FAILURE() << "channel " << ch << " frame " << i << " of " << frames
                                  << " left unwritten";
                    return {};
                }
        std::vector<float> out;
        for (int32 i = 0; i < frames; ++i)
            for (int32 ch = 0; ch < channels; ++ch) out.push_back(b.samples[size_t(ch)][size_t(i)]);
        return out;
    }
    std::vector<float> play(int blocks, const std::map<ParamID, double>& changes) {
        std::vector<float> out;
        for (int i = 0; i < blocks; ++i) {
            const std::vector<float> piece = run(block, i == 0 ? changes : kNone, i == 0);
            out.insert(out.end(), piece.begin(), piece.end());
        }
        return out;
    }

    PluginInstance& p;
    int32 channels = 2;
    int32 block = 512;
    inline static const std::map<ParamID, double> kNone;
};

using EngineHostSetups = BuiltChainTest;

// Parameters of the engine whose values are heard in a held note: pans,
// levels, algorithms and the like.
std::vector<ParamID> audibleParameters(IEditController* c) {
    std::vector<ParamID> ids;
    for (int32 i = 0; i < c->getParameterCount(); ++i) {
        Vst::ParameterInfo info{};
        if (c->getParameterInfo(i, info) != kResultOk || info.id >= kBypass) continue;
        const std::string title = utf16ToUtf8(info.title);
        for (const char* word : {"Pan", "Level", "Algorithm", "Feedback", "Mult", "Detune"})
            if (title.find(word) != std::string::npos) {
                ids.push_back(info.id);
                break;
            }
    }
    return ids;
}

TEST_F(EngineHostSetups, EverySequenceOfSetUpsKeepsTheSoundTheHostSees) {
    // The session a DAW reloads: a state saved by another instance.
    auto author = makeInstance(48000, 512);
    ASSERT_TRUE(author);
    const std::vector<ParamID> audible = audibleParameters(author->controller());
    ASSERT_GE(audible.size(), 20u);
    std::mt19937 random(36);
    std::map<ParamID, double> sessionValues;
    for (int i = 0; i < 12; ++i)
        sessionValues[audible[random() % audible.size()]] = (random() % 1000) / 999.0;
    ASSERT_EQ(author->process(512, nullptr, nullptr), kResultOk);
    {
        HostParameterChanges changes;
        changes.refAdd();
        for (const auto& [id, value] : sessionValues) changes.add(id, 0, value);
        ASSERT_EQ(author->process(512, nullptr, &changes), kResultOk);
    }
    MemoryStream session;
    session.refAdd();
    ASSERT_EQ(author->saveState(session), kResultOk);

    const double rates[] = {44100.0, 48000.0, 96000.0, 500000.0 /* refused */};
    const int32 blocks[] = {64, 256, 512, 1000, 4096, 8192};
    for (int seed = 0; seed < 4; ++seed) {
        SCOPED_TRACE(seed);
        random.seed(uint32_t(seed));
        auto tested = makeInstance(48000, 512);
        ASSERT_TRUE(tested);
        Session s(*tested);
        bool stateLoaded = false;
        std::map<ParamID, double> since; // changes since the last state load
        for (int step = 0; step < 24; ++step) {
            switch (random() % 4) {
            case 0: { // the engine reconfigured while inactive
                s.activate(false);
                for (int k = 0, n = 1 + int(random() % 3); k < n; ++k) {
                    if (random() % 2)
                        s.setup(rates[random() % 4], blocks[random() % 6]);
                    else
                        EXPECT_EQ(s.arrange(1 + int(random() % 2)), kResultOk);
                }
                s.activate(true);
                break;
            }
            case 1: { // automation
                std::map<ParamID, double> changes;
                for (int k = 0; k < 3; ++k)
                    changes[audible[random() % audible.size()]] = (random() % 1000) / 999.0;
                for (const auto& [id, value] : changes) since[id] = value;
                s.run(1 + int32(random() % uint32_t(s.block)), changes);
                break;
            }
            case 2: // bypass switched
                s.run(1 + int32(random() % uint32_t(s.block)),
                      {{kBypass, double(random() % 2)}});
                break;
            default: // the session reloaded
                ASSERT_EQ(tested->loadState(session), kResultOk);
                stateLoaded = true;
                since.clear();
                break;
            }
        }
        // A last set-up the engine takes, then the note with bypass off.
        s.activate(false);
        ASSERT_EQ(s.setup(48000.0, 512), kResultOk);
        s.activate(true);
        std::map<ParamID, double> last = {{kBypass, 0.0}};
        const std::vector<float> heard = s.play(24, last);

        // A fresh instance with the same settings.
        auto reference = makeInstance(0);
        ASSERT_TRUE(reference);
        Session r(*reference);
        ASSERT_EQ(r.arrange(s.channels), kResultOk);
        ASSERT_EQ(reference->prepare(48000.0, 512), kResultOk);
        if (stateLoaded) {
            ASSERT_EQ(reference->loadState(session), kResultOk);
        }
        for (const auto& [id, value] : since) last[id] = value;
        const std::vector<float> expected = r.play(24, last);

        ASSERT_EQ(heard.size(), expected.size());
        float loudest = 0.f;
        for (float v : expected) loudest = std::max(loudest, std::fabs(v));
        ASSERT_GT(loudest, 1e-3f) << "the note does not sound";
        size_t differ = 0;
        for (size_t i = 0; i < heard.size(); ++i) differ += heard[i] != expected[i];
        EXPECT_EQ(differ, 0u) << "samples that differ from a fresh instance's";
        IEditController* a = tested->controller();
        IEditController* b = reference->controller();
        for (int32 i = 0; i < b->getParameterCount(); ++i) {
            Vst::ParameterInfo info{};
            ASSERT_EQ(b->getParameterInfo(i, info), kResultOk);
            EXPECT_EQ(a->getParamNormalized(info.id), b->getParamNormalized(info.id)) << info.id;
        }
    }
}

// An arrangement answered OK after a set-up the engine refused is in force
// once a set-up succeeds: both channels are written.
TEST_F(EngineHostSetups, AnArrangementAfterARefusedSetUpReachesTheEngine) {
    auto p = makeInstance(48000, 512);
    ASSERT_TRUE(p);
    Session s(*p);
    s.activate(false);
    ASSERT_EQ(s.arrange(1), kResultOk);
    EXPECT_NE(s.setup(500000.0, 512), kResultOk);
    ASSERT_EQ(s.arrange(2), kResultOk);
    ASSERT_EQ(s.setup(48000.0, 512), kResultOk);
    s.activate(true);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(s.run(512, Session::kNone).size(), 1024u);
}

// A state cut short, its size word fitted to the cut, is refused alike by
// the processor (the engine) and by the controller (the bypass switch).
TEST_F(EngineHostSetups, ControllerAndProcessorRefuseTheSameCutState) {
    auto p = makeInstance(48000, 512);
    ASSERT_TRUE(p);
    MemoryStream saved;
    saved.refAdd();
    ASSERT_EQ(p->saveState(saved), kResultOk);
    std::string bytes(saved.bytes().begin(), saved.bytes().end());
    ASSERT_GT(bytes.size(), 40u);
    bytes.resize(bytes.size() - 7);
    bytes.replace(0, 4, std::string("\1\0\0\0", 4)); // bypass on
    const int32_t fitted = int32_t(bytes.size() - 8);
    bytes.replace(4, 4, std::string(reinterpret_cast<const char*>(&fitted), 4));
    MemoryStream cut(bytes.data(), int64(bytes.size()));
    cut.refAdd();
    EXPECT_EQ(p->component()->setState(&cut), kResultFalse);
    cut.seek(0, IBStream::kIBSeekSet);
    EXPECT_EQ(p->controller()->setComponentState(&cut), kResultFalse);
    EXPECT_EQ(p->controller()->getParamNormalized(kBypass), 0.0);
}

} // namespace
