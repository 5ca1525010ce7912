// Voice allocation, the pedal machine, pitch terms, MPE members and the
// per-voice targets of one part's voice manager.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "synth/PedalMachine.h"
#include "synth/VoiceManager.h"

namespace {

using VSX::VoiceManager;

// Logs start, retrigger, release and idle reports as short texts; kills,
// pitch and amplitude reports are counted.
class Recorder : public VSX::VoiceListener {
public:
    void onVoiceStart(uint64_t, uint64_t v, uint8_t key, uint8_t) override {
        log.push_back("start " + std::to_string(v) + " " + std::to_string(key));
    }
    void onVoiceRetrigger(uint64_t, uint64_t v, uint8_t key, uint8_t, uint8_t flag) override {
        log.push_back("retrig " + std::to_string(v) + " " + std::to_string(key) + " " +
                      std::to_string(flag));
    }
    void onVoiceRelease(uint64_t, uint64_t v, uint8_t key, uint8_t) override {
        log.push_back("release " + std::to_string(v) + " " + std::to_string(key));
    }
    void onVoicesIdle(uint64_t) override { log.push_back("idle"); }
    void onVoiceKill(uint64_t, uint64_t, uint8_t) override { ++kills; }
    void onVoicePitch(uint64_t, uint64_t v) override { pitched.push_back(v); }
    void onVoiceAmplitude(uint64_t, uint64_t) override { ++amplitudes; }
    std::vector<std::string> log;
    std::vector<uint64_t> pitched;
    int kills = 0;
    int amplitudes = 0;
};

// Plays a script: "+60" key down (velocity 100), "-60" key up through the
// pedals, "S1"/"S0" sustain, "T1"/"T0" sostenuto, "C120" a controller.
void play(VoiceManager& vm, const std::vector<std::string>& script) {
    for (const std::string& s : script) {
        const int n = std::stoi(s.substr(1));
        switch (s[0]) {
        case '+':
            vm.noteOn(static_cast<uint8_t>(n), 100, VoiceManager::kNoId, 0);
            break;
        case '-':
            vm.noteOffPedal(static_cast<uint8_t>(n), 0, VoiceManager::kNoId, 0);
            break;
        case 'S':
            vm.controlChange(64, n ? 127 : 0);
            break;
        case 'T':
            vm.controlChange(66, n ? 1 : 0);
            break;
        case 'C':
            vm.controlChange(static_cast<uint8_t>(n), 0);
            break;
        default:
            FAIL() << s;
        }
    }
}

TEST(PedalMachine, WholeTable) {
    // Row = state; column = key down, key up, sustain up, sustain down,
    // sostenuto up, sostenuto down; "n/r" next state and result, "-" stays.
    const char* table[11][6] = {
        {"1/1", "-", "-", "2/0", "-", "-"},    {"-", "0/2", "-", "8/0", "-", "6/0"},
        {"8/1", "-", "0/0", "-", "-", "4/0"},  {"6/1", "-", "-", "4/0", "0/0", "-"},
        {"7/1", "-", "3/0", "-", "2/0", "-"},  {"6/0", "-", "-", "9/0", "0/2", "-"},
        {"-", "5/0", "-", "7/0", "1/0", "-"},  {"-", "9/0", "6/0", "-", "8/0", "-"},
        {"-", "10/0", "1/0", "-", "-", "7/0"}, {"7/0", "-", "5/0", "-", "10/0", "-"},
        {"8/0", "-", "0/2", "-", "-", "9/0"},
    };
    for (uint8_t state = 0; state < 11; ++state) {
        for (uint8_t input = 0; input < 6; ++input) {
            SCOPED_TRACE(std::to_string(state) + " x " + std::to_string(input));
            uint8_t s = state;
            const int result = VSX::pedalStep(s, input);
            const std::string cell = table[state][input];
            if (cell == "-") {
                EXPECT_EQ(s, state);
                EXPECT_EQ(result, 0);
            } else {
                EXPECT_EQ(std::to_string(s) + "/" + std::to_string(result), cell);
            }
        }
    }
    uint8_t outside = 11;
    EXPECT_EQ(VSX::pedalStep(outside, 0), 0);
    EXPECT_EQ(outside, 11);
    uint8_t idle = 0;
    EXPECT_EQ(VSX::pedalStep(idle, 6), 0);
}

struct Scenario {
    const char* what;
    uint64_t voices;
    uint32_t protect, steal;
    std::vector<std::string> script;
    std::vector<std::string> tail; // the last reports, in order
};

TEST(VoiceManager, AllocationAndPedals) {
    const Scenario cases[] = {
        {"free voice released longest ago",
         3,
         2,
         2,
         {"+60", "+62", "+64", "-62", "-60", "+65"},
         {"start 1 65"}},
        {"never-used voices come first", 3, 2, 2, {"+60", "-60", "+62"}, {"start 1 62"}},
        {"a full part re-uses the voice on the same key",
         2,
         2,
         2,
         {"+60", "+62", "+60"},
         {"retrig 0 60 1"}},
        {"default policies keep the lowest key and steal the oldest other",
         6,
         2,
         2,
         {"+60", "+50", "+61", "+62", "+63", "+64", "+70"},
         {"retrig 0 70 1"}},
        {"the oldest note is kept when it is the lowest",
         6,
         2,
         2,
         {"+50", "+60", "+61", "+62", "+63", "+64", "+70"},
         {"retrig 1 70 1"}},
        {"protect 3 keeps the highest key", 2, 3, 2, {"+60", "+62", "+64"}, {"retrig 0 64 1"}},
        {"protect 1 refuses the note", 2, 1, 2, {"+60", "+62", "+64"}, {"start 1 62"}},
        {"steal 3 takes the newest note", 2, 0, 3, {"+60", "+62", "+64"}, {"retrig 1 64 1"}},
        {"steal 0 takes the lowest-numbered voice",
         2,
         0,
         0,
         {"+60", "+62", "+64"},
         {"retrig 0 64 1"}},
        {"steal 1 drops the note", 2, 0, 1, {"+60", "+62", "+64"}, {"start 1 62"}},
        {"one voice returns to the held key",
         1,
         2,
         2,
         {"+60", "+64", "-64"},
         {"retrig 0 64 1", "retrig 0 60 0"}},
        {"one voice releases the last key",
         1,
         2,
         2,
         {"+60", "+64", "-64", "-60"},
         {"retrig 0 60 0", "release 0 60", "idle"}},
        {"sustain holds the note until it goes up",
         6,
         2,
         2,
         {"S1", "+60", "-60", "S0"},
         {"start 0 60", "release 0 60", "idle"}},
        {"held by sustain, key up keeps it", 6, 2, 2, {"S1", "+60", "-60"}, {"start 0 60"}},
        {"sostenuto hands the note to sustain",
         6,
         2,
         2,
         {"+60", "T1", "-60", "S1", "T0"},
         {"start 0 60"}},
        {"... and sustain up releases it",
         6,
         2,
         2,
         {"+60", "T1", "-60", "S1", "T0", "S0"},
         {"start 0 60", "release 0 60", "idle"}},
        {"sostenuto before the key is not remembered",
         6,
         2,
         2,
         {"T1", "+60", "-60"},
         {"start 0 60", "release 0 60", "idle"}},
        {"sostenuto releases only what it caught",
         6,
         2,
         2,
         {"+60", "T1", "+62", "-62", "-60", "T0"},
         {"start 1 62", "release 1 62", "release 0 60", "idle"}},
        {"a key pressed again under sustain releases both voices",
         6,
         2,
         2,
         {"S1", "+60", "-60", "+60", "-60", "S0"},
         {"start 0 60", "start 1 60", "release 0 60", "release 1 60", "idle"}},
        {"no voices: notes start nothing", 0, 2, 2, {"+60", "-60"}, {"idle"}},
    };
    for (const Scenario& c : cases) {
        SCOPED_TRACE(c.what);
        VoiceManager vm;
        Recorder rx;
        vm.listener = &rx;
        vm.setVoiceCount(c.voices);
        vm.protectPolicy = c.protect;
        vm.stealPolicy = c.steal;
        play(vm, c.script);
        ASSERT_GE(rx.log.size(), c.tail.size());
        EXPECT_EQ(std::vector<std::string>(rx.log.end() - c.tail.size(), rx.log.end()), c.tail);
        if (c.voices == 0) {
            EXPECT_EQ(rx.log.size(), 1u);
        }
    }
}

TEST(VoiceManager, AllNotesOffKillsUnderSustain) {
    VoiceManager vm;
    Recorder rx;
    vm.listener = &rx;
    play(vm, {"S1", "+60", "+62", "-60", "C120"});
    EXPECT_EQ(rx.kills, 6); // every record, also beyond the count and free ones
    EXPECT_EQ(vm.getActiveVoiceCount(), 0u);
    EXPECT_EQ(vm.heldKeys, 0);
    EXPECT_EQ(vm.voices[0].key, VoiceManager::kNoKey);
    play(vm, {"-62", "S0"}); // the pedal machines were cleared: nothing more
    EXPECT_EQ(rx.log.back(), "start 1 62");

    vm.setVoiceCount(7); // ignored
    EXPECT_EQ(vm.voiceCount, 6u);
    vm.setVoiceCount(6); // unchanged: ignored, no kill
    EXPECT_EQ(rx.kills, 6);
}

// A note-on with velocity below 1 used to add a held key that no note-off
// removed; in a one-voice part the next note-off then skipped the release.
TEST(VoiceManager, LowVelocityNoteOnStillReleases) {
    const float velocities[] = {0.0f, 0.5f, -3.0f, std::numeric_limits<float>::quiet_NaN()};
    for (uint64_t count : {1u, 6u}) {
        for (float vel : velocities) {
            SCOPED_TRACE(std::to_string(count) + " voices, velocity " + std::to_string(vel));
            VoiceManager vm;
            Recorder rx;
            vm.listener = &rx;
            vm.setVoiceCount(count);
            vm.noteOnWithIdFloat(60, 7, vel);
            EXPECT_EQ(vm.voices[0].velocity, 1);
            vm.noteOffWithId(60, 7, 0.0f);
            EXPECT_EQ(vm.heldKeys, 0);
            EXPECT_EQ(vm.getActiveVoiceCount(), 0u);
            EXPECT_EQ(rx.log.back(), "idle");
        }
    }
    VoiceManager vm;
    vm.noteOn(60, 300, VoiceManager::kNoId, 0); // above 127: 127, not 300 & 127
    EXPECT_EQ(vm.voices[0].velocity, 127);
    EXPECT_EQ(vm.keys[60].velocity, 127);
}

// A one-voice part whose held-key count says "held" with no key down (a
// count out of step) must still release.
TEST(VoiceManager, MonoNoteOffWithoutHeldKeyReleases) {
    VoiceManager vm;
    Recorder rx;
    vm.listener = &rx;
    vm.setVoiceCount(1);
    vm.noteOn(60, 100, VoiceManager::kNoId, 0);
    vm.heldKeys = 2;
    vm.noteOff(60, 0, VoiceManager::kNoId, 0);
    EXPECT_EQ(rx.log.back(), "idle");
    EXPECT_EQ(vm.getActiveVoiceCount(), 0u);
}

TEST(VoiceManager, PitchTerms) {
    VoiceManager vm;
    Recorder rx;
    vm.listener = &rx;
    vm.noteOn(69, 100, VoiceManager::kNoId, 0);
    vm.noteOn(57, 100, VoiceManager::kNoId, 0);
    EXPECT_FLOAT_EQ(vm.getVoiceFrequency(0), 440.0f);
    EXPECT_FLOAT_EQ(vm.getVoiceFrequency(1), 220.0f);

    vm.setPitchBend(1.0f); // +1200 cents
    EXPECT_NEAR(vm.getVoiceFrequency(0), 880.0f, 0.01f);
    EXPECT_EQ(rx.pitched.size(), 6u); // every voice up to the count
    vm.setPitchBend(1.0f);            // unchanged: no report
    EXPECT_EQ(rx.pitched.size(), 6u);
    vm.setGlobalCents(0.0f); // always reported
    EXPECT_EQ(rx.pitched.size(), 12u);
    vm.setPitchBend(0.0f);
    vm.setGlobalCents(-1200.0f);
    EXPECT_NEAR(vm.getVoiceFrequency(0), 220.0f, 0.01f);
    EXPECT_FLOAT_EQ(vm.getVoicePitchCents(0), -1200.0f);

    vm.setPitchBend14(0, 64); // 8192 = centre
    EXPECT_FLOAT_EQ(vm.bendCents, 0.0f);

    const size_t before = rx.pitched.size();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    vm.setPitchBend(nan);
    vm.setGlobalCents(std::numeric_limits<float>::infinity());
    vm.setMemberBend(0, nan);
    EXPECT_EQ(rx.pitched.size(), before);
    EXPECT_NEAR(vm.getVoiceFrequency(0), 220.0f, 0.01f);
}

TEST(VoiceManager, TuningSourceAndVelocityGain) {
    struct Flat : VSX::NoteTuningSource {
        double getNoteFrequency(uint32_t key) override { return 100.0 + key; }
        double getNoteValue(uint32_t) override { return 0.0; }
        bool getNoteFlag(uint32_t) override { return true; }
    } flat;
    VoiceManager vm;
    vm.setTuningSource(&flat);
    vm.noteOn(200, 127, VoiceManager::kNoId, 0); // key masked to 72
    EXPECT_EQ(vm.voices[0].key, 72);
    EXPECT_FLOAT_EQ(vm.getVoiceFrequency(0), 172.0f);

    struct Case {
        float sensitivity, expected;
    };
    for (const Case& c : {Case{1.0f, 1.0f}, Case{0.0f, 1.0f}, Case{0.5f, 1.0f}}) {
        vm.setVelocitySensitivity(c.sensitivity);
        EXPECT_FLOAT_EQ(vm.getVelocityGain(0), c.expected);
    }
    vm.noteOn(10, 0x3F, VoiceManager::kNoId, 0);
    vm.setVelocitySensitivity(0.5f);
    EXPECT_NEAR(vm.getVelocityGain(1), 63 / 127.0 * 0.5 + 0.5, 1e-6);
}

TEST(VoiceManager, MpeMembersAndNoteIds) {
    VoiceManager vm;
    Recorder rx;
    vm.listener = &rx;
    vm.setVoiceCount(2);
    vm.noteOn(69, 100, 4, VoiceManager::kModeMpe);
    EXPECT_EQ(vm.members[4].voice, 0);
    vm.setMemberBend(4, 0.25f); // 0.25 x 4800 = 1200 cents
    EXPECT_NEAR(vm.getVoiceFrequency(0), 880.0f, 0.01f);
    vm.setMemberBend(4 + 16, 0.25f); // masked to member 4, unchanged: no report
    EXPECT_EQ(rx.pitched.size(), 1u);

    vm.noteOn(60, 100, 5, VoiceManager::kModeMpe);
    vm.protectPolicy = 0;
    vm.noteOn(62, 100, 6, VoiceManager::kModeMpe); // steals voice 0 (member 4)
    EXPECT_EQ(vm.members[4].voice, -1);
    EXPECT_EQ(vm.members[6].voice, 0);
    EXPECT_FLOAT_EQ(vm.voices[0].voiceBend, 0.0f);

    // Stealing a voice that no member played leaves member 15 alone.
    VoiceManager mixed;
    mixed.setVoiceCount(1);
    mixed.noteOn(61, 100, 15, VoiceManager::kModeMpe);
    mixed.voices[0].id = VoiceManager::kNoId; // as left by a plain MIDI note
    mixed.noteOn(62, 100, 3, VoiceManager::kModeMpe);
    EXPECT_EQ(mixed.members[15].voice, 0);
    EXPECT_EQ(mixed.members[3].voice, 0);

    // Host note ids: a note-on with a known id restarts that voice.
    VoiceManager ids;
    ids.listener = &rx;
    ids.noteOnWithIdFloat(60, 42, 90.7f);
    ids.noteOnWithIdFloat(64, 42, 90.0f);
    EXPECT_EQ(rx.log.back(), "start 0 64");
    EXPECT_EQ(ids.voices[0].velocity, 90);
    EXPECT_EQ(ids.findVoiceById(42), 0);
    EXPECT_EQ(ids.findVoiceById(VoiceManager::kNoId), -1);
    EXPECT_EQ(ids.setVoiceExpression(2, 42, 1200.0f), 0);
    EXPECT_NEAR(ids.getVoiceFrequency(0), 2.0f * ids.getKeyFrequency(64), 0.01f);
    EXPECT_EQ(ids.setVoiceExpression(0, 42, 0.5f), 0);
    EXPECT_FLOAT_EQ(ids.getVoiceAmplitude(0), 0.5f);
    EXPECT_EQ(ids.setVoiceExpression(0, VoiceManager::kNoId, 0.5f), -1); // unassigned voices
    EXPECT_EQ(ids.setVoiceExpression(9, 42, 0.5f), 0);
}

TEST(VoiceManager, VoiceTargets) {
    VoiceManager vm;
    Recorder rx;
    vm.initParameters(&rx, 4);
    ASSERT_EQ(vm.voiceActions[VoiceManager::kAmplitudeList].size(), 6u);
    EXPECT_EQ(vm.listener, &rx);
    EXPECT_FLOAT_EQ(vm.getVoiceAmplitude(0), 1.0f); // default 15 x 1/15

    vm.noteOn(69, 100, VoiceManager::kNoId, 0);
    std::vector<VSX::ParameterAction>* amp = vm.findVoiceParameter("VOICE AMPLITUDE");
    std::vector<VSX::ParameterAction>* detune = vm.findVoiceParameter("VOICE DETUNE");
    std::vector<VSX::ParameterAction>* transpose = vm.findVoiceParameter("VOICE TRANSPOSE");
    ASSERT_TRUE(amp && detune && transpose);
    EXPECT_EQ(vm.findVoiceParameter("Voice Detune"), nullptr);
    EXPECT_EQ(vm.findVoiceParameter("VOICE"), nullptr);

    (*amp)[0].setBase(3.0f);
    EXPECT_NEAR(vm.getVoiceAmplitude(0), 0.2f, 1e-6f);
    (*transpose)[0].setBase(12.0f);
    EXPECT_NEAR(vm.getVoiceFrequency(0), 880.0f, 0.01f);
    (*detune)[0].setBase(500.0f); // clamped to 100 cents
    EXPECT_FLOAT_EQ(vm.getVoicePitchCents(0), 1300.0f);

    vm.onParameterAction(1.0f, 6, VoiceManager::kDetuneId, false); // voice out of range
    vm.onParameterAction(1.0f, 0, 3, false);                       // unknown id
    EXPECT_FLOAT_EQ(vm.getVoicePitchCents(0), 1300.0f);
    EXPECT_FLOAT_EQ(vm.getVoiceFrequency(6), 0.0f);
    EXPECT_FLOAT_EQ(vm.getVoicePitchCents(100), 0.0f);

    std::vector<vantor::ParameterInfo> params;
    vm.collectParameters(params);
    ASSERT_EQ(params.size(), 3u);
    EXPECT_STREQ(params[0].label, "Voice Amplitude");
    EXPECT_FLOAT_EQ(params[0].maxValue, 15.0f);
    EXPECT_STREQ(params[2].label, "Voice Transpose");
    EXPECT_EQ(params[1].flags, 0x13);

    VoiceManager seven;
    seven.initParameters(nullptr, 7);
    EXPECT_FLOAT_EQ(seven.getVoiceAmplitude(0), 1.0f); // default 127 x 1/127
    EXPECT_EQ(seven.voiceActions[0][0].index, VoiceManager::kAmp7Bit);
}

} // namespace
