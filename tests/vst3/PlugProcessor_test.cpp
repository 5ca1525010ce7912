// The processor through the test host, with the fake engine host behind the
// bridge: start-up and buses, the arrangements a host may ask for, the
// events and parameter changes of a block as the engine receives them, the
// key's pitch at three rates, bypass, blocks without outputs, and the state
// in every layout with the sizes a damaged file may carry.
#include <algorithm>
#include <cstring>
#include <utility>

#include "support/PlugTestSupport.h"
#include "vst3base/IBStreamer.h"
#include "vst3base/INoteExpression.h"
#include "vst3base/UString.h"
#include "vantor/DenormalScope.h"
#include "vantor/PMIDI.h"

using namespace plugtest;
using vantor::HDMIDIEvent;

namespace {

using PlugProcessorTest = PlugTest;

// A delivered event reduced to what a case compares.
struct Seen {
    int32_t kind;
    int32_t id;
    float value;
    int status, data1, data2;
    int32_t noteId;
    int32_t offset;
    bool operator==(const Seen&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Seen& s) {
    return o << "{kind " << s.kind << " id " << s.id << " value " << s.value << " bytes "
             << s.status << "," << s.data1 << "," << s.data2 << " note " << s.noteId << " at "
             << s.offset << "}";
}
std::vector<Seen> seen(const std::vector<HDMIDIEvent>& events) {
    std::vector<Seen> out;
    for (const HDMIDIEvent& e : events)
        out.push_back({e.kind, e.id, e.value, e.status, e.data1, e.data2, e.noteId, e.frameOffset});
    return out;
}
Seen bytes(int status, int data1, int data2, int32_t offset) {
    return {HDMIDIEvent::kMIDIBytes, 0, 0.f, status, data1, data2, 0, offset};
}

TEST_F(PlugProcessorTest, StartsTheEngineAndDeclaresAnInstrumentsBuses) {
    auto p = makeInstance(0);
    ASSERT_TRUE(p);
    IComponent* c = p->component();
    EXPECT_EQ(c->getBusCount(kAudio, kInput), 0);
    ASSERT_EQ(c->getBusCount(kAudio, kOutput), 1);
    ASSERT_EQ(c->getBusCount(kEvent, kInput), 1);
    BusInfo info{};
    ASSERT_EQ(c->getBusInfo(kAudio, kOutput, 0, info), kResultOk);
    EXPECT_EQ(utf16ToUtf8(info.name), "Stereo Output");
    EXPECT_EQ(info.channelCount, 2);
    ASSERT_EQ(c->getBusInfo(kEvent, kInput, 0, info), kResultOk);
    EXPECT_EQ(utf16ToUtf8(info.name), "MIDI Input");
    EXPECT_EQ(info.channelCount, 16);
    EXPECT_NE(engine.find(vantor::kOpRemoveHostCallback), nullptr);

    auto requirements = queryInterfaceOf<IProcessContextRequirements>(c);
    ASSERT_TRUE(requirements);
    using R = IProcessContextRequirements;
    EXPECT_EQ(requirements->getProcessContextRequirements(),
              uint32(R::kNeedSystemTime | R::kNeedProjectTimeMusic | R::kNeedBarPositionMusic |
                     R::kNeedCycleMusic | R::kNeedSamplesToNextClock | R::kNeedTempo |
                     R::kNeedTimeSignature | R::kNeedTransportState));
    EXPECT_EQ(p->processor()->canProcessSampleSize(kSample32), kResultTrue);
    EXPECT_EQ(p->processor()->canProcessSampleSize(kSample64), kResultFalse);
}

TEST_F(PlugProcessorTest, AFailingEngineRefusesTheComponent) {
    engine.fail(vantor::kOpCreateEngine);
    auto component = createObject<IComponent>(processorClass());
    ASSERT_TRUE(component);
    EXPECT_EQ(component->initialize(static_cast<IHostApplication*>(host)), kResultFalse);
    auto processor = queryInterfaceOf<IAudioProcessor>(component.get());
    ProcessSetup setup{kRealtime, kSample32, 512, 48000.0};
    EXPECT_EQ(processor->setupProcessing(setup), kResultFalse);
    EXPECT_EQ(processor->getLatencySamples(), 0u);
    HandBlock block(64, 1, 2);
    EXPECT_EQ(processor->process(block.data), kResultFalse);
    EXPECT_EQ(block.samples[0][0], 0.f); // silence, the engine never reached
    component->terminate();
}

TEST_F(PlugProcessorTest, AcceptsTheArrangementsAnInstrumentCanBeAskedFor) {
    auto p = makeInstance(0);
    ASSERT_TRUE(p);
    SpeakerArrangement stereo = SpeakerArr::kStereo, mono = SpeakerArr::kMono;
    SpeakerArrangement surround = 0x3F, two[2] = {SpeakerArr::kStereo, SpeakerArr::kStereo};
    const struct {
        SpeakerArrangement* in;
        int32 ins;
        SpeakerArrangement* out;
        int32 outs;
        tresult result;
        uint64_t channels; // told to the engine, 0 when not told
    } cases[] = {
        {nullptr, 0, &stereo, 1, kResultOk, 2}, // the only thing a host can ask of an instrument
        {nullptr, 0, &mono, 1, kResultOk, 1},      {nullptr, 0, &surround, 1, kResultFalse, 0},
        {&stereo, 1, &stereo, 1, kResultFalse, 0}, // no input bus to arrange
        {nullptr, 0, two, 2, kResultFalse, 0},     {nullptr, 0, nullptr, 0, kResultFalse, 0},
    };
    for (const auto& c : cases) {
        engine.clearCalls();
        EXPECT_EQ(p->processor()->setBusArrangements(c.in, c.ins, c.out, c.outs), c.result)
            << c.ins << " " << c.outs;
        const fakeengine::Call* settings = engine.find(vantor::kOpSetSettings);
        ASSERT_EQ(settings != nullptr, c.channels != 0);
        if (!settings) continue;
        vantor::ZefaEngineSettings s;
        std::memcpy(&s, settings->record, sizeof s);
        EXPECT_EQ(s.outputChannels, c.channels);
        EXPECT_EQ(s.inputChannels, c.channels);
    }
}

TEST_F(PlugProcessorTest, SetUpResumesTheEngineAtTheHostsRateAndBlock) {
    auto p = makeInstance(0);
    ASSERT_TRUE(p);
    engine.clearCalls();
    ProcessSetup offline{kOffline, kSample32, 256, 96000.5};
    ASSERT_EQ(p->processor()->setupProcessing(offline), kResultOk);
    const fakeengine::Call* rate = engine.find(vantor::kOpSetRateAndBlock);
    const fakeengine::Call* resume = engine.find(vantor::kOpResume);
    ASSERT_TRUE(rate && resume);
    EXPECT_EQ(rate->value, 96000);
    EXPECT_EQ(rate->l1, 256);
    EXPECT_EQ(resume->value, 1); // not real time
    EXPECT_EQ(reinterpret_cast<const int32_t*>(resume->record)[0], 2123);

    engine.fail(vantor::kOpResume);
    ProcessSetup live{kRealtime, kSample32, 256, 48000.0};
    EXPECT_EQ(p->processor()->setupProcessing(live), kResultFalse);
    engine.fail(-1);
    ProcessSetup wide{kRealtime, kSample64, 256, 48000.0};
    EXPECT_EQ(p->processor()->setupProcessing(wide), kResultFalse);
}

TEST_F(PlugProcessorTest, AnyBlockSizeIsTakenAndHandedOverInPiecesTheEngineTakes) {
    // Announced sizes beyond the engine's: the engine is told its own.
    for (int32 announced : {4097, 8192, 65536, 1 << 20}) {
        auto p = makeInstance(0);
        ASSERT_TRUE(p);
        engine.clearCalls();
        EXPECT_EQ(p->prepare(48000, announced), kResultOk) << announced;
        const fakeengine::Call* rate = engine.find(vantor::kOpSetRateAndBlock);
        ASSERT_TRUE(rate);
        EXPECT_EQ(rate->l1, 4096);
    }

    auto p = makeInstance(48000, 10000);
    ASSERT_TRUE(p);
    HostEventList notes;
    notes.refAdd();
    notes.addNoteOn(100, 60, 1.0f);
    notes.addNoteOn(4096 + 7, 62, 1.0f);
    notes.addNoteOn(9999, 64, 1.0f);
    ProcessContext context{};
    context.state = ProcessContext::kPlaying | ProcessContext::kTempoValid |
                    ProcessContext::kProjectTimeMusicValid;
    context.sampleRate = 48000;
    context.projectTimeSamples = 1000;
    context.tempo = 120;
    engine.clearCalls();
    engine->deliveredCount = 0;
    ASSERT_EQ(p->process(10000, &notes, nullptr, &context), kResultOk);
    std::vector<int32_t> frames;
    for (int i = 0; i < engine.callCount(); ++i)
        if (engine.call(i).opcode == vantor::kOpProcess)
            frames.push_back(
                reinterpret_cast<const vantor::ZefaEngineProcessEx*>(engine.call(i).record)->frames);
    EXPECT_EQ(frames, (std::vector<int32_t>{4096, 4096, 1808}));
    // Each event in its piece, at its offset there.
    const auto list = delivered();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].frameOffset, 100);
    EXPECT_EQ(list[1].frameOffset, 7);
    EXPECT_EQ(list[2].frameOffset, 9999 - 8192);
    // The transport as the last piece saw it: 8192 frames (a third of a
    // second, two thirds of a quarter at 120 bpm) on.
    const fakeengine::Call* last = nullptr;
    for (int i = 0; i < engine.callCount(); ++i)
        if (engine.call(i).opcode == vantor::kOpProcess) last = &engine.call(i);
    const vantor::SyncInfo& sync =
        *reinterpret_cast<const vantor::ZefaEngineProcessEx*>(last->record)->syncInfo;
    EXPECT_EQ(sync.samplePosition, 1000.0 + 8192);
    EXPECT_NEAR(sync.ppqPosition, 8192 / 48000.0 * 2, 1e-12);
    EXPECT_EQ(sync.blockFrames, 1808);
    // The played key sounds to the block's end.
    EXPECT_GT(peak(std::vector<float>(p->output(0).begin() + 9000, p->output(0).end())), 0.1f);
}

TEST_F(PlugProcessorTest, EveryOutputChannelIsWrittenAndARefusedSetUpIsSilent) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    // Bus 0 with a third channel and a second bus: the engine writes bus 0's
    // two channels, the rest is silence.
    HandBlock block(256, 2, 3);
    block.events.addNoteOn(0, 69, 1.0f);
    ASSERT_EQ(p->processor()->process(block.data), kResultOk);
    EXPECT_GT(peak(block.samples[0]), 0.1f);
    EXPECT_GT(peak(block.samples[1]), 0.1f);
    for (size_t ch = 2; ch < 6; ++ch) EXPECT_EQ(peak(block.samples[ch]), 0.f) << ch;

    // A set-up the engine refuses: no block answers OK, every output is
    // silent, until a set-up is taken again.
    engine.fail(vantor::kOpResume);
    ProcessSetup refused{kRealtime, kSample32, 512, 48000.0};
    ASSERT_EQ(p->processor()->setupProcessing(refused), kResultFalse);
    engine.fail(-1);
    HandBlock silent(256, 2, 3);
    EXPECT_EQ(p->processor()->process(silent.data), kResultFalse);
    for (const auto& ch : silent.samples) EXPECT_EQ(peak(ch), 0.f);
    ProcessSetup taken{kRealtime, kSample32, 512, 48000.0};
    ASSERT_EQ(p->processor()->setupProcessing(taken), kResultOk);
    HandBlock again(256, 1, 2);
    EXPECT_EQ(p->processor()->process(again.data), kResultOk);
    EXPECT_GT(peak(again.samples[0]), 0.1f);
}

TEST_F(PlugProcessorTest, LatencyComesFromTheEngineAndIsNeverNegative) {
    auto p = makeInstance(0);
    ASSERT_TRUE(p);
    for (const auto& [engineLatency, reported] :
         std::vector<std::pair<int32_t, uint32>>{{0, 0}, {64, 64}, {-5, 0}}) {
        engine->latency = engineLatency;
        EXPECT_EQ(p->processor()->getLatencySamples(), reported) << engineLatency;
    }
}

TEST_F(PlugProcessorTest, KeySixtyNineSoundsAtFourHundredFortyHertzAtEveryRate) {
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        auto p = makeInstance(rate, 512);
        ASSERT_TRUE(p);
        HostEventList events;
        events.refAdd();
        events.addNoteOn(0, 69, 0.8f, 1);
        std::vector<float> out;
        for (int b = 0; b < int(rate / 512) / 2; ++b) {
            ASSERT_EQ(p->process(512, b == 0 ? &events : nullptr), kResultOk);
            out.insert(out.end(), p->output(0).begin(), p->output(0).end());
        }
        EXPECT_NEAR(pitchByZeroCrossings(out, rate), 440.0, 0.5) << rate;
        EXPECT_GT(peak(out), 0.1f);
    }
}

TEST_F(PlugProcessorTest, NoteEventsReachTheEngineInFrameOrderAsTheirKinds) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    HostEventList events;
    events.refAdd();
    events.addNoteOn(30, 60, 1.0f, 7);       // with a note id: kind 912
    events.addNoteOn(10, 62, 0.0f, 8);       // velocity 0 with an id: kind 1152
    events.addNoteOn(20, 64, 1.0f);          // no id: MIDI bytes
    events.addNoteOff(40, 64, 0.5f, -1, 17); // channel 17 stays a note-off on channel 1
    events.addNoteOff(40, 60, 0.25f, 7);     // with an id: kind 1152
    events.addNoteOn(5, 200, 1.0f, 9);       // not a key: dropped
    Event pressure{};
    pressure.sampleOffset = 50;
    pressure.type = Event::kPolyPressureEvent;
    pressure.polyPressure = PolyPressureEvent{2, 61, 1.0f, 3};
    events.addEvent(pressure);
    Event late{};
    late.sampleOffset = 9999; // past the block: kept inside it
    late.type = Event::kNoteOffEvent;
    late.noteOff = NoteOffEvent{0, 62, 0.f, -1, 0.f};
    events.addEvent(late);
    ASSERT_EQ(p->process(512, &events), kResultOk);

    EXPECT_EQ(seen(delivered()), (std::vector<Seen>{
                                     {HDMIDIEvent::kNoteOff, 62, 0.f, 0, 0, 0, 8, 10},
                                     bytes(0x90, 64, 127, 20),
                                     {HDMIDIEvent::kNoteOn, 60, 1.f, 0, 0, 0, 7, 30},
                                     bytes(0x81, 64, 64, 40),
                                     {HDMIDIEvent::kNoteOff, 60, 0.25f, 0, 0, 0, 7, 40},
                                     bytes(0xA2, 61, 127, 50),
                                     bytes(0x80, 62, 0, 511),
                                 }));
    for (const HDMIDIEvent& e : delivered())
        EXPECT_EQ(e.valid, e.kind == HDMIDIEvent::kMIDIBytes ? 1 : 0);
}

TEST_F(PlugProcessorTest, NoteExpressionsTravelWithTheirTypesMapped) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    HostEventList events;
    events.refAdd();
    const struct {
        NoteExpressionTypeID type;
        double value;
    } sent[] = {{kVolumeTypeID, 0.5},  {kTuningTypeID, 0.75}, {kTextTypeID, 0.5},
                {kPhonemeTypeID, 0.5}, {kCustomStart, 0.25},  {kCustomStart + 1, 0.125}};
    for (const auto& s : sent) {
        Event e{};
        e.type = Event::kNoteExpressionValueEvent;
        e.noteExpressionValue = NoteExpressionValueEvent{s.type, 4, s.value};
        events.addEvent(e);
    }
    ASSERT_EQ(p->process(512, &events), kResultOk);
    const int32_t x = HDMIDIEvent::kNoteExpression;
    EXPECT_EQ(seen(delivered()), (std::vector<Seen>{{x, 0, 0.5f, 0, 0, 0, 4, 0},
                                                    {x, 2, 6000.f, 0, 0, 0, 4, 0},
                                                    {x, 6, 0.25f, 0, 0, 0, 4, 0},
                                                    {x, 7, 0.125f, 0, 0, 0, 4, 0}}));
}

class ReasonHost : public PlugTest {
    const char* hostName() const override { return "Reason"; }
};

TEST_F(ReasonHost, ReceivesNotesWithIdsAsMIDIBytes) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    HostEventList events;
    events.refAdd();
    events.addNoteOn(0, 60, 1.0f, 7, 3);
    events.addNoteOff(8, 60, 0.0f, 7, 3);
    ASSERT_EQ(p->process(512, &events), kResultOk);
    EXPECT_EQ(seen(delivered()),
              (std::vector<Seen>{bytes(0x93, 60, 127, 0), bytes(0x83, 60, 0, 8)}));
}

TEST_F(PlugProcessorTest, ParameterChangesBecomeMIDIBytesOrEngineValues) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    HostParameterChanges changes;
    changes.refAdd();
    changes.add(10000 + 2 * 128 + 7, 3, 1.0); // channel 3 volume
    changes.add(12064 + 2, 4, 1.0);           // pitch bend channel 3, top
    changes.add(12080 + 1, 5, 0.5);           // program change channel 2
    changes.add(12048 + 15, 6, 0.0);          // channel pressure channel 16
    changes.add(9002, 7, 0.5);                // pitch bend, centre
    changes.add(9001, 8, 1.0);                // channel pressure
    changes.add(5, 1, 0.2);                   // an engine parameter: first point dropped
    changes.add(5, 9, 0.75);                  // ... only the last point counts
    ASSERT_EQ(p->process(512, nullptr, &changes), kResultOk);
    EXPECT_EQ(
        seen(delivered()),
        (std::vector<Seen>{bytes(0xB2, 7, 127, 3), bytes(0xE2, 127, 127, 4), bytes(0xC1, 64, 0, 5),
                           bytes(0xDF, 0, 0, 6), bytes(0xE0, 0, 64, 7), bytes(0xD0, 127, 0, 8)}));
    const fakeengine::Call* set = engine.find(vantor::kOpSetParameter);
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->value, 5);
    EXPECT_EQ(countOpcode(vantor::kOpSetParameter), 1);
}

// A MIDI controller moved several times within a block: every point is a
// message at its own offset, in order (ordinary parameters keep the last).
TEST_F(PlugProcessorTest, EveryPointOfAMIDIControllerBecomesAMessage) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    HostParameterChanges changes;
    changes.refAdd();
    std::vector<Seen> expected;
    // A bend sweeping up in 64 steps on channel 2, and on the first channel's
    // own bend parameter.
    for (int i = 0; i < 64; ++i) {
        const double v = i / 63.0;
        changes.add(12064 + 1, i * 8, v);
        const int32_t bend = PDowngradeToMIDI14(2.0 * v - 1.0);
        expected.push_back(bytes(0xE1, bend & 0x7F, bend >> 7, i * 8));
    }
    // A sustain pedal lifted and pressed again, a CC66 toggle, aftertouch
    // and a program change twice.
    changes.add(10000 + 64, 100, 0.0);
    changes.add(10000 + 64, 300, 1.0);
    changes.add(10000 + 66, 200, 1.0);
    changes.add(10000 + 66, 201, 0.0);
    changes.add(12048, 10, 1.0);
    changes.add(12048, 20, 0.0);
    changes.add(9001, 30, 1.0);
    changes.add(9001, 40, 0.0);
    changes.add(12080 + 3, 50, 0.0);
    changes.add(12080 + 3, 60, 1.0);
    for (const Seen& s : {bytes(0xB0, 64, 0, 100), bytes(0xB0, 64, 127, 300),
                          bytes(0xB0, 66, 127, 200), bytes(0xB0, 66, 0, 201),
                          bytes(0xD0, 127, 0, 10), bytes(0xD0, 0, 0, 20), bytes(0xD0, 127, 0, 30),
                          bytes(0xD0, 0, 0, 40), bytes(0xC3, 0, 0, 50), bytes(0xC3, 127, 0, 60)})
        expected.push_back(s);
    std::stable_sort(expected.begin(), expected.end(),
                     [](const Seen& a, const Seen& b) { return a.offset < b.offset; });
    ASSERT_EQ(p->process(512, nullptr, &changes), kResultOk);
    EXPECT_EQ(seen(delivered()), expected);
}

// The transport of a piece after the first: the next MIDI clock moves on by
// the piece's start, at any tempo (a clock too far off to count lies at the
// largest count).
TEST_F(PlugProcessorTest, TheNextClockFollowsEachPieceAtAnyTempo) {
    const struct {
        double tempo;
        int32_t nextClock; // at the block's start
        int32_t expected;  // at the second piece's start, 4096 frames on
    } cases[] = {
        {120.0, 100, 4},          // a clock every 1000 frames at 48 kHz
        {120.0, 5000, 904},
        {1e-5, 100, INT32_MAX},   // a clock every 1.2e10 frames
        {1e-300, 0, INT32_MAX},
    };
    for (const auto& c : cases) {
        auto p = makeInstance(48000, 8192);
        ASSERT_TRUE(p);
        ProcessContext context{};
        context.state = ProcessContext::kPlaying | ProcessContext::kTempoValid |
                        ProcessContext::kClockValid;
        context.sampleRate = 48000;
        context.tempo = c.tempo;
        context.samplesToNextClock = c.nextClock;
        ASSERT_EQ(p->process(8192, nullptr, nullptr, &context), kResultOk);
        const fakeengine::Call* last = nullptr;
        for (int i = 0; i < engine.callCount(); ++i)
            if (engine.call(i).opcode == vantor::kOpProcess) last = &engine.call(i);
        ASSERT_NE(last, nullptr);
        const vantor::SyncInfo& sync =
            *reinterpret_cast<const vantor::ZefaEngineProcessEx*>(last->record)->syncInfo;
        EXPECT_EQ(sync.samplesToNextClock, c.expected) << c.tempo << " " << c.nextClock;
    }
}

// More events than one engine list holds: the block goes to the engine in
// more pieces (a piece ends before the event that does not fit; more than a
// list on one frame go in calls without frames), and every event arrives, in
// order, at its frame.
TEST_F(PlugProcessorTest, EventsBeyondOneListGoInMorePiecesAndNoneIsDropped) {
    const struct {
        const char* name;
        int32_t events;
        int32_t (*offset)(int32_t i);
    } cases[] = {
        {"spread over the block", 2100, [](int32_t i) { return i % 512; }},
        {"over a list on one frame", 4000, [](int32_t i) { return i < 3000 ? 100 : 101 + i % 400; }},
        {"all on the last frame", 2049, [](int32_t) { return 511; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto p = makeInstance();
        ASSERT_TRUE(p);
        HostEventList events;
        events.refAdd();
        // (frame, key) in the host's order, sorted by frame alone.
        std::vector<std::pair<int32_t, int>> expected;
        for (int32_t i = 0; i < c.events; ++i) {
            events.addNoteOn(c.offset(i), int16(i % 128), 1.0f);
            expected.push_back({c.offset(i), i % 128});
        }
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        engine.clearCalls();
        engine->deliveredCount = 0;
        ASSERT_EQ(p->process(512, &events), kResultOk);
        ASSERT_EQ(engine->deliveredCount, c.events);
        // Each delivered event at its piece's start plus its offset there.
        const auto list = delivered();
        std::vector<std::pair<int32_t, int>> at;
        int32_t start = 0;
        size_t next = 0;
        for (int i = 0; i < engine.callCount(); ++i) {
            const fakeengine::Call& call = engine.call(i);
            if (call.opcode != vantor::kOpProcess) continue;
            EXPECT_LE(call.events, vantor::kEventListCapacity);
            const int32_t frames =
                reinterpret_cast<const vantor::ZefaEngineProcessEx*>(call.record)->frames;
            for (uint32_t e = 0; e < call.events && next < list.size(); ++e, ++next)
                at.push_back({start + list[next].frameOffset, list[next].data1});
            start += frames;
        }
        EXPECT_EQ(start, 512);
        EXPECT_TRUE(at == expected);
    }

    // A bypassed block holds its events for a quiet block; a list that fills
    // goes at once.
    auto p = makeInstance();
    ASSERT_TRUE(p);
    HandBlock bypass(256, 1, 2);
    bypass.changes.add(9000, 0, 1.0);
    for (int32_t i = 0; i < 5000; ++i) bypass.events.addNoteOn(i % 256, 60, 1.0f);
    engine->deliveredCount = 0;
    ASSERT_EQ(p->processor()->process(bypass.data), kResultOk);
    HandBlock quiet(256, 1, 2);
    ASSERT_EQ(p->processor()->process(quiet.data), kResultOk);
    EXPECT_EQ(engine->deliveredCount, 5000);
}

// A host that leaves flush-to-zero off: the engine's block runs with
// denormals flushed all the same, and the host gets its own mode back.
TEST_F(PlugProcessorTest, TheBlockRunsWithDenormalsFlushedAndTheHostsModeIsRestored) {
    using vantor::DenormalScope;
    auto p = makeInstance();
    ASSERT_TRUE(p);
    const auto original = DenormalScope::read();
    DenormalScope::write(original & ~DenormalScope::kBits);
    const auto host = DenormalScope::read();
    engine->blockControlWord = 0;
    const tresult result = p->process(64);
    const auto after = DenormalScope::read();
    DenormalScope::write(original);
    ASSERT_EQ(result, kResultOk);
    EXPECT_EQ(engine->blockControlWord & DenormalScope::kBits, uint64_t(DenormalScope::kBits));
    EXPECT_EQ(after, host);
}

TEST_F(PlugProcessorTest, BypassWritesSilenceAndHoldsNotesForTheNextQuietBlock) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    HandBlock on(256, 1, 2);
    on.changes.add(9000, 0, 1.0);
    ASSERT_EQ(p->processor()->process(on.data), kResultOk);
    for (const auto& ch : on.samples) EXPECT_EQ(peak(ch), 0.f);

    // A bypassed block with a note does not reach the engine ...
    engine.clearCalls();
    engine->deliveredCount = 0;
    HandBlock note(256, 1, 2);
    note.events.addNoteOn(100, 69, 1.0f, 1);
    ASSERT_EQ(p->processor()->process(note.data), kResultOk);
    EXPECT_EQ(countOpcode(vantor::kOpProcess), 0);
    EXPECT_EQ(peak(note.samples[0]), 0.f);
    // ... the next one without input events hands it over at offset 0,
    // without frames.
    HandBlock quiet(256, 1, 2);
    ASSERT_EQ(p->processor()->process(quiet.data), kResultOk);
    ASSERT_EQ(countOpcode(vantor::kOpProcess), 1);
    EXPECT_EQ(reinterpret_cast<const vantor::ZefaEngineProcessEx*>(engine.find(42)->record)->frames,
              0);
    ASSERT_EQ(engine->deliveredCount, 1);
    EXPECT_EQ(engine->delivered[0].frameOffset, 0);
    EXPECT_EQ(peak(quiet.samples[1]), 0.f);

    EXPECT_EQ(quiet.buses[0].silenceFlags, 3u);

    // Off again: the engine renders, and a host that hands the bypassed
    // block's flags back finds them cleared.
    HandBlock off(256, 1, 2);
    off.changes.add(9000, 0, 0.0);
    off.buses[0].silenceFlags = quiet.buses[0].silenceFlags;
    ASSERT_EQ(p->processor()->process(off.data), kResultOk);
    EXPECT_GT(peak(off.samples[0]), 0.1f);
    EXPECT_EQ(off.buses[0].silenceFlags, 0u);
}

TEST_F(PlugProcessorTest, BlocksWithoutUsableOutputsConsumeTheirEvents) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    const struct {
        int32 outputs;
        int32 channels;
        int32 missingChannel; // a channel whose pointer the host left null, or -1
    } cases[] = {{0, 2, -1}, {1, 1, -1}, {1, 0, -1}, {1, 2, 0}, {1, 2, 1}};
    for (const auto& c : cases) {
        engine->deliveredCount = 0;
        HandBlock block(128, c.outputs, c.channels);
        if (c.missingChannel >= 0) block.pointers[size_t(c.missingChannel)] = nullptr;
        block.events.addNoteOn(10, 60, 1.0f, 2);
        EXPECT_EQ(p->processor()->process(block.data), kResultOk);
        // Every channel the host gave a buffer is written: silence.
        for (size_t ch = 0; ch < block.samples.size(); ++ch)
            EXPECT_EQ(block.samples[ch][0], block.pointers[ch] ? 0.f : 0.75f) << ch;
        // Held like a bypassed block's, then delivered by the next block.
        HandBlock next(128, 1, 2);
        ASSERT_EQ(p->processor()->process(next.data), kResultOk);
        EXPECT_EQ(engine->deliveredCount, 1)
            << c.outputs << " " << c.channels << " " << c.missingChannel;
    }
}

TEST_F(PlugProcessorTest, TheTransportReachesTheEngine) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    ProcessContext context{};
    context.state = ProcessContext::kPlaying | ProcessContext::kTempoValid |
                    ProcessContext::kTimeSigValid | ProcessContext::kProjectTimeMusicValid;
    context.sampleRate = 48000;
    context.projectTimeSamples = 96000;
    context.tempo = 90;
    context.timeSigNumerator = 3;
    context.timeSigDenominator = 4;
    context.projectTimeMusic = 3.0;
    engine.clearCalls();
    ASSERT_EQ(p->process(512, nullptr, nullptr, &context), kResultOk);
    const fakeengine::Call* block = engine.find(vantor::kOpProcess);
    ASSERT_NE(block, nullptr);
    const auto* record = reinterpret_cast<const vantor::ZefaEngineProcessEx*>(block->record);
    ASSERT_NE(record->syncInfo, nullptr);
    EXPECT_EQ(record->frames, 512);
    const vantor::SyncInfo& sync = *record->syncInfo; // the holder's, still alive
    EXPECT_EQ(sync.samplePosition, 96000.0);
    EXPECT_EQ(sync.tempo, 90.0);
    EXPECT_EQ(sync.timeSigNumerator, 3);
    EXPECT_EQ(sync.ppqPosition, 3.0);
    EXPECT_EQ(sync.playing, 1);
    EXPECT_EQ(sync.samplesToNextClock, 0xFFFFFF);
    EXPECT_EQ(sync.blockFrames, 512);
}

// ---- State ------------------------------------------------------------------------------

std::string le32(int32_t v) {
    return std::string(reinterpret_cast<const char*>(&v), 4);
}
std::string be32(int32_t v) {
    const uint32_t u = uint32_t(v);
    const char b[4] = {char(u >> 24), char(u >> 16), char(u >> 8), char(u)};
    return std::string(b, 4);
}
std::string wrapped(int32_t bypass, const std::string& chunk) {
    std::string h(176, '\0');
    h.replace(0, 4, "VstW");
    h.replace(12, 4, le32(bypass));
    h.replace(16, 4, "CcnK");
    h.replace(28, 4, be32(1));
    return h + chunk;
}
std::string bank(int32_t size, const std::string& chunk) {
    std::string h(160, '\0');
    h.replace(0, 4, "CcnK");
    h.replace(156, 4, be32(size));
    return h + chunk;
}

TEST_F(PlugProcessorTest, StateSavedByOneInstanceLoadsIntoAnother) {
    // Opened as the engine's chunks are: tag and version 1.
    // An engine chunk: tag, version 1, no settings, no records.
    static const char saved[] = "MVST\x01\0\0\0\0\0\0\0\0\0\0";
    engine->chunk = saved;
    engine->chunkSize = sizeof saved;
    auto first = makeInstance();
    ASSERT_TRUE(first);
    HostParameterChanges bypassOn;
    bypassOn.refAdd();
    bypassOn.add(9000, 0, 1.0);
    ASSERT_EQ(first->process(64, nullptr, &bypassOn), kResultOk);
    MemoryStream state;
    state.refAdd();
    ASSERT_EQ(first->saveState(state), kResultOk);
    EXPECT_EQ(std::string(state.bytes().begin(), state.bytes().end()),
              le32(1) + le32(sizeof saved) + std::string(saved, sizeof saved));
    static_assert(sizeof saved == 16);

    auto second = makeInstance();
    ASSERT_TRUE(second);
    engine->receivedChunkSize = 0;
    ASSERT_EQ(second->loadState(state), kResultOk);
    EXPECT_EQ(engine->receivedChunkSize, int32_t(sizeof saved));
    EXPECT_EQ(std::memcmp(engine->receivedChunk, saved, sizeof saved), 0);
    // Bypass came back on, in the processor and in the controller's switch.
    EXPECT_EQ(second->controller()->getParamNormalized(9000), 1.0);
    HandBlock block(64, 1, 2);
    ASSERT_EQ(second->processor()->process(block.data), kResultOk);
    EXPECT_EQ(peak(block.samples[0]), 0.f);
}

TEST_F(PlugProcessorTest, SavingWithoutAnEngineStateIsAFailure) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    MemoryStream state;
    state.refAdd();
    engine->chunk = nullptr; // the engine hands back nothing
    EXPECT_EQ(p->saveState(state), kResultFalse);
    engine.fail(vantor::kOpGetChunk);
    EXPECT_EQ(p->saveState(state), kResultFalse);
    EXPECT_EQ(p->component()->getState(nullptr), kResultFalse);
}

TEST_F(PlugProcessorTest, ReadsEveryStateLayoutAndRefusesLyingSizes) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    // The smallest engine chunk: tag, version, no settings, no records.
    const std::string chunk = std::string("MVST") + le32(1) + le32(0) + le32(0);
    const struct {
        const char* what;
        std::string bytes;
        tresult result;
        int32_t received; // chunk bytes the engine got, -1 none
        double bypass;    // the controller's switch after a load, -1 unchanged
    } cases[] = {
        {"native", le32(1) + le32(16) + chunk, kResultOk, 16, 1.0},
        {"native, bypass off", le32(0) + le32(16) + chunk, kResultOk, 16, 0.0},
        {"negative bypass word is off", le32(-3) + le32(16) + chunk, kResultOk, 16, 0.0},
        {"negative size", le32(0) + le32(-8) + chunk, kResultFalse, -1, 0.0},
        {"size beyond the data", le32(0) + le32(0x7FFFFFF0) + chunk, kResultFalse, -1, 0.0},
        {"truncated chunk", le32(0) + le32(17) + chunk, kResultFalse, -1, 0.0},
        {"truncated header", le32(0) + "ab", kResultFalse, -1, -1},
        // The engine decides on the chunk; the controller refuses one that
        // cannot be the engine's.
        {"not an engine chunk", le32(1) + le32(8) + "abcdefgh", kResultOk, 8, -1},
        {"engine chunk of another version", le32(1) + le32(8) + "MVST" + le32(2), kResultOk, 8, -1},
        {"empty chunk", le32(0) + le32(0), kResultFalse, -1, 0.0},
        // A chunk cut short, its size word fitted to the cut: the engine
        // would refuse it (the stand-in here takes it), so the switch stays.
        {"chunk cut inside its records", le32(1) + le32(12) + chunk.substr(0, 12), kResultOk, 12,
         -1},
        {"wrapped, bypass on", wrapped(1, chunk), kResultOk, 16, 1.0},
        {"wrapped, bypass off", wrapped(0, chunk), kResultOk, 16, 0.0},
        {"bank", bank(16, chunk), kResultOk, 16, -1},
        {"bank, size beyond the data", bank(1 << 30, chunk), kResultFalse, -1, -1},
        {"bank, negative size", bank(-1, chunk), kResultFalse, -1, -1},
        // 176 bytes exactly: never a wrapped header; here a bank of 16 bytes.
        {"176 bytes", bank(16, std::string(16, 'z')), kResultOk, 16, -1},
    };
    for (const auto& c : cases) {
        engine->receivedChunkSize = -1;
        p->controller()->setParamNormalized(9000, 0.5);
        MemoryStream state(c.bytes.data(), int64(c.bytes.size()));
        state.refAdd();
        EXPECT_EQ(p->loadState(state), c.result) << c.what;
        EXPECT_EQ(engine->receivedChunkSize, c.received) << c.what;
        // A refused state leaves the switch as it was.
        EXPECT_EQ(p->controller()->getParamNormalized(9000),
                  c.result == kResultOk && c.bypass >= 0 ? c.bypass : 0.5)
            << c.what;
    }
}

TEST_F(PlugProcessorTest, AnEngineThatRefusesTheChunkFailsTheLoad) {
    auto p = makeInstance();
    ASSERT_TRUE(p);
    engine.fail(vantor::kOpSetChunk);
    const std::string bytes = le32(0) + le32(4) + "abcd";
    MemoryStream state(bytes.data(), int64(bytes.size()));
    state.refAdd();
    EXPECT_EQ(p->component()->setState(&state), kResultFalse);
    EXPECT_EQ(p->component()->setState(nullptr), kResultFalse);
}

} // namespace
