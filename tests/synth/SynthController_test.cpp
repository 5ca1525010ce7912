// The synth controller: channel routing in every voice mode, the MPE zones
// with member-channel bend, pressure and timbre, the registered parameters
// that configure them, the order in which one MIDI message reaches slots,
// modulators and layers, repeated set-up, note-id and note-expression
// events, and what the instrument asks for a layer slot.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "synth/support/ControllerRig.h"

namespace {

using rig::Rig;
using VSX::SynthController;
using VSX::VoiceManager;

constexpr float kC4 = 261.62558f; // key 60

// The parts whose voice managers have a sounding voice.
std::vector<int> soundingParts(SynthController& ctl) {
    std::vector<int> parts;
    for (int p = 0; p < 10; ++p)
        if (ctl.voiceManagers[p].getActiveVoiceCount() > 0) parts.push_back(p);
    return parts;
}

TEST(SynthController, ChannelRoutingByVoiceMode) {
    struct Case {
        uint32_t mode;
        uint8_t channel;
        int part;   // -1: the note is dropped
        int member; // MPE member index the voice carries, -1 none
    };
    const Case cases[] = {
        {1, 0, 0, -1},  {1, 12, 0, -1},  {2, 15, 0, -1}, // every channel plays part 0
        {3, 3, 3, -1},  {3, 9, 9, -1},   {3, 12, -1, -1},
        {4, 0, 0, -1},  {4, 10, -1, -1}, {5, 0, -1, -1}, // the lower zone's master plays nothing
        {5, 5, 0, 4},   {5, 15, 0, 14},                  // members 0-14 on channels 1-15
        {0, 0, -1, -1}, {6, 3, -1, -1},                  // no such mode
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode) + " channel " + std::to_string(c.channel));
        Rig r(c.mode);
        r.midi(0x90 | c.channel, 60, 100);
        const std::vector<int> expected =
            c.part < 0 ? std::vector<int>{} : std::vector<int>{c.part};
        ASSERT_EQ(soundingParts(r.ctl), expected);
        if (c.part >= 0) {
            VoiceManager& vm = r.ctl.voiceManagers[c.part];
            EXPECT_EQ(vm.voices[0].id, c.member < 0 ? VoiceManager::kNoId : uint64_t(c.member));
            r.midi(0x80 | c.channel, 60, 0); // the note ends by the same route
            EXPECT_EQ(vm.getActiveVoiceCount(), 0u);
        }
    }
}

TEST(SynthController, ResetGivesLayersTheirParts) {
    struct Case {
        uint32_t mode;
        std::vector<uint64_t> parts; // of layers 0-9
    };
    const Case cases[] = {
        {2, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {4, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {5, {1, 0, 1, 0, 1, 0, 1, 0, 1, 0}}, // the layer targets
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode));
        Rig r(3);
        for (uint64_t l = 0; l < 10; ++l) r.ctl.setLayerTarget(l, (l + 1) % 2);
        r.ctl.setVoiceMode(c.mode);
        std::vector<uint64_t> parts;
        for (const VSX::LayerRecord& l : r.layers) parts.push_back(l.part);
        EXPECT_EQ(parts, c.parts);
    }
}

TEST(SynthController, MpeMemberChannelExpression) {
    Rig r(5);
    SynthController& ctl = r.ctl;
    VoiceManager& vm = ctl.voiceManagers[0];
    // Channel 5 is member 4 of the lower zone. Bend +0.5, pressure and
    // timbre arrive before its note and wait for it.
    r.midi(0xE5, 0, 0x60);
    r.midi(0xD5, 64);
    r.midi(0xB5, 74, 100);
    EXPECT_EQ(vm.getActiveVoiceCount(), 0u);
    r.midi(0x95, 60, 100);
    ASSERT_EQ(vm.members[4].voice, 0);
    EXPECT_FLOAT_EQ(vm.voices[0].voiceBend, 2400.0f); // 0.5 x 4800 cents
    EXPECT_NEAR(vm.voices[0].frequency, 4.0f * kC4, 0.01f);
    EXPECT_FLOAT_EQ(ctl.mpePressureModulator(0, 0)->value, 64 / 127.0f);
    EXPECT_FLOAT_EQ(ctl.mpeTimbreModulator(0, 0)->value, 100 / 127.0f);

    // While the note sounds, the member's messages reach its voice at once.
    r.midi(0xE5, 0, 0x20); // -0.5
    r.midi(0xD5, 10);
    r.midi(0xB5, 74, 20);
    EXPECT_FLOAT_EQ(vm.voices[0].voiceBend, -2400.0f);
    EXPECT_FLOAT_EQ(ctl.mpePressureModulator(0, 0)->value, 10 / 127.0f);
    EXPECT_FLOAT_EQ(ctl.mpeTimbreModulator(0, 0)->value, 20 / 127.0f);

    // Another member's bend and other controllers stay with that member.
    r.midi(0xE6, 0, 0x7F);
    r.midi(0xB6, 64, 127); // no sustain from a member channel
    EXPECT_FLOAT_EQ(vm.voices[0].voiceBend, -2400.0f);

    // The master channel bends the whole part.
    r.midi(0xE0, 0, 0x50); // +0.25
    EXPECT_FLOAT_EQ(vm.bendCents, 300.0f);
    EXPECT_FLOAT_EQ(ctl.banks[0].pitchBend.value, 0.25f);
    EXPECT_FLOAT_EQ(vm.voices[0].voiceBend, -2400.0f);

    // After its note-off the member plays no voice; its bend waits again.
    r.midi(0x85, 60, 0);
    EXPECT_EQ(vm.members[4].voice, -1);
    EXPECT_EQ(vm.getActiveVoiceCount(), 0u);
    r.midi(0xE5, 0, 0x40);
    EXPECT_FLOAT_EQ(vm.voices[0].voiceBend, -2400.0f);
    EXPECT_FLOAT_EQ(vm.members[4].pendingBend, 0.0f);
}

TEST(SynthController, MpeValuesNeverReachAnotherNotesVoice) {
    // A note that finds no voice, and a note silenced by all-notes-off,
    // leave their member without a voice.
    struct Case {
        const char* name;
        void (*silence)(Rig&);
    };
    const Case cases[] = {
        {"no voice for the note",
         [](Rig& r) {
             r.ctl.voiceManagers[0].stealPolicy = 1; // drop new notes when full
             r.midi(0x92, 64, 100);                  // member 1 takes the only voice
             r.midi(0x91, 60, 100);                  // member 0 finds none
         }},
        {"all notes off",
         [](Rig& r) {
             r.midi(0x91, 60, 100); // member 0 on voice 0
             r.midi(0xB0, 123, 0);
             r.midi(0x92, 64, 100); // member 1 takes voice 0 again
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r(5);
        r.ctl.setVoiceCount(1);
        c.silence(r);
        VoiceManager& vm = r.ctl.voiceManagers[0];
        ASSERT_EQ(vm.members[1].voice, 0);
        EXPECT_EQ(vm.members[0].voice, -1);
        r.midi(0xE1, 0, 0x7F); // member 0's bend
        r.midi(0xD1, 99);
        EXPECT_FLOAT_EQ(vm.voices[0].voiceBend, 0.0f);
        EXPECT_FLOAT_EQ(r.ctl.mpePressureModulator(0, 0)->value, 0.0f);
    }
}

TEST(SynthController, MpeZoneConfiguration) {
    // Channel map after RPN 6 messages: "part/member", "M" for a master, "-" ignored.
    auto map = [](SynthController& ctl) {
        std::vector<std::string> out;
        for (const SynthController::ChannelRoute& e : ctl.channelMap) {
            if (e.part < 0)
                out.push_back("-");
            else if (e.zoneMaster)
                out.push_back(std::to_string(e.part) + "M");
            else
                out.push_back(std::to_string(e.part) + "/" + std::to_string(e.member));
        }
        return out;
    };
    using V = std::vector<std::string>;
    struct Case {
        const char* name;
        std::vector<std::pair<uint8_t, uint8_t>> rpn6; // channel, member count
        V expected;
    };
    const Case cases[] = {
        {"default layout: one lower zone",
         {},
         V{"0M", "0/0", "0/1", "0/2", "0/3", "0/4", "0/5", "0/6", "0/7", "0/8", "0/9", "0/10",
           "0/11", "0/12", "0/13", "0/14"}},
        {"an upper zone of 3 takes channels 12-15",
         {{15, 3}},
         V{"0M", "0/0", "0/1", "0/2", "0/3", "0/4", "0/5", "0/6", "0/7", "0/8", "0/9", "0/10",
           "1/2", "1/1", "1/0", "1M"}},
        {"lower 4, upper 3",
         {{0, 4}, {15, 3}},
         V{"0M", "0/0", "0/1", "0/2", "0/3", "-", "-", "-", "-", "-", "-", "-", "1/2", "1/1", "1/0",
           "1M"}},
        {"lower zone off",
         {{0, 0}},
         V{"0/-1", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-", "-"}},
        {"counts above 15 stop at the table's end",
         {{15, 100}},
         V{"1/14", "1/13", "1/12", "1/11", "1/10", "1/9", "1/8", "1/7", "1/6", "1/5", "1/4", "1/3",
           "1/2", "1/1", "1/0", "1M"}},
        {"other channels are ignored",
         {{3, 2}},
         V{"0M", "0/0", "0/1", "0/2", "0/3", "0/4", "0/5", "0/6", "0/7", "0/8", "0/9", "0/10",
           "0/11", "0/12", "0/13", "0/14"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r(5);
        for (auto [channel, count] : c.rpn6) r.rpn(channel, 6, count);
        EXPECT_EQ(map(r.ctl), c.expected);
    }

    // The sizes survive a reset; the upper zone's member 1 plays part 1.
    Rig r(5);
    r.rpn(15, 6, 3);
    r.ctl.resetController(false);
    r.midi(0x9D, 60, 100);
    EXPECT_EQ(soundingParts(r.ctl), std::vector<int>{1});
    EXPECT_EQ(r.ctl.voiceManagers[1].voices[0].id, 1u);
}

TEST(SynthController, PerNoteBendRangeOnlyWhileAZoneExists) {
    struct Case {
        const char* name;
        uint32_t mode;
        bool lowerZoneFirst; // RPN 6 = 4 on channel 0 before
        uint8_t channel;
        float part0, part1; // per-note bend ranges afterwards
    };
    const Case cases[] = {
        {"no zone", 1, false, 0, 4800.0f, 4800.0f},
        {"zone set by RPN 6 outside the MPE mode", 1, true, 0, 200.0f, 4800.0f},
        {"the MPE layout's lower zone", 5, false, 0, 200.0f, 4800.0f},
        {"channel 15 sets part 1", 5, false, 15, 4800.0f, 200.0f},
        {"another channel", 5, false, 7, 4800.0f, 4800.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r(c.mode);
        if (c.lowerZoneFirst) r.rpn(0, 6, 4);
        r.rpn(c.channel, 0, 2);
        EXPECT_FLOAT_EQ(r.ctl.voiceManagers[0].perNoteBendRange, c.part0);
        EXPECT_FLOAT_EQ(r.ctl.voiceManagers[1].perNoteBendRange, c.part1);
    }
}

TEST(SynthController, OrderOfEffectsOfOneMessage) {
    struct Msg {
        uint8_t status, d1, d2;
    };
    struct Case {
        const char* name;
        uint32_t mode;
        std::vector<Msg> before;
        Msg message;
        std::vector<std::string> begins; // the log starts with these entries
    };
    const Case cases[] = {
        {"note-on: slots, modulators, layers",
         1,
         {},
         {0x90, 60, 100},
         {"slots on 0 0", "POLYVEL", "layer pitch 0 0", "layer amp 0 0", "layer start 0 0 60"}},
        {"note-off: slots, then layers",
         1,
         {{0x90, 60, 100}},
         {0x80, 60, 0},
         {"slots off 0 0", "layer release 0 0"}},
        {"controller: hook, parameter decoder, modulator, voices",
         1,
         {{0x90, 60, 100}, {0xB0, 101, 0}, {0xB0, 100, 0}, {0xB0, 6, 2}},
         {0xB0, 123, 0},
         {"hook cc 0 123 0", "rpn 0 0 2", "CC123", "slots off 0 0", "layer release 0 0"}},
        {"pitch bend: modulators, then the voices",
         1,
         {{0x90, 60, 100}},
         {0xE0, 0, 0x60},
         {"PB", "PB_POS", "PB_NEG", "layer pitch 0 0"}},
        {"program change: modulator, then hook", 1, {}, {0xC0, 5, 0}, {"PC", "hook program 0 5"}},
        {"MPE note-on: the voice starts, then the member's waiting values",
         5,
         {{0xE1, 0, 0x60}, {0xB1, 74, 9}, {0xD1, 3, 0}},
         {0x91, 60, 100},
         {"slots on 0 0", "POLYVEL", "layer pitch 0 0", "layer amp 0 0", "layer start 0 0 60",
          "layer pitch 0 0", "MPE_CC74", "MPE_CP"}},
        {"MPE controller: the decoder runs on a channel outside the zones",
         5,
         {{0xB0, 101, 0},
          {0xB0, 100, 6},
          {0xB0, 6, 3},
          {0xB0, 38, 0}, // lower zone of 3
          {0xB9, 101, 0},
          {0xB9, 100, 0},
          {0xB9, 6, 2}},
         {0xB9, 38, 0},
         {"rpn 9 0 2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r(c.mode);
        r.ctl.useControllerModulator(0, 123);
        for (const Msg& m : c.before) r.midi(m.status, m.d1, m.d2);
        VSX::PartModBank& bank = r.ctl.banks[0];
        rig::ModulatorLog watch[] = {
            {r.log, bank.polyVelocity[0], "POLYVEL"},
            {r.log, *bank.cc[123], "CC123"},
            {r.log, bank.pitchBend, "PB"},
            {r.log, bank.pitchBendPos, "PB_POS"},
            {r.log, bank.pitchBendNeg, "PB_NEG"},
            {r.log, bank.programChange, "PC"},
            {r.log, *r.ctl.mpeTimbreModulator(0, 0), "MPE_CC74"},
            {r.log, *r.ctl.mpePressureModulator(0, 0), "MPE_CP"},
        };
        r.log.clear();
        r.midi(c.message.status, c.message.d1, c.message.d2);
        ASSERT_GE(r.log.size(), c.begins.size());
        EXPECT_EQ(std::vector<std::string>(r.log.begin(), r.log.begin() + c.begins.size()),
                  c.begins);
    }
}

TEST(SynthController, MidiValuesOnThePartsModulators) {
    struct Case {
        const char* name;
        uint8_t status, d1, d2;
        VSX::Modulator& (*modulator)(SynthController&);
        float expected;
    };
    const Case cases[] = {
        {"program change is not normalised", 0xC0, 5, 0,
         [](SynthController& c) -> VSX::Modulator& { return c.banks[0].programChange; }, 5.0f},
        {"channel pressure", 0xD0, 64, 0,
         [](SynthController& c) -> VSX::Modulator& { return c.banks[0].channelPressure; },
         64 / 127.0f},
        {"bend centre", 0xE0, 0, 0x40,
         [](SynthController& c) -> VSX::Modulator& { return c.banks[0].pitchBend; }, 0.0f},
        {"bend top", 0xE0, 127, 127,
         [](SynthController& c) -> VSX::Modulator& { return c.banks[0].pitchBend; }, 0.99987793f},
        {"bend bottom", 0xE0, 0, 0,
         [](SynthController& c) -> VSX::Modulator& { return c.banks[0].pitchBendNeg; }, 1.0f},
        {"key pressure reaches the voice playing the key", 0xA0, 64, 127,
         [](SynthController& c) -> VSX::Modulator& { return c.banks[0].polyAftertouch[1]; }, 1.0f},
        {"a controller with a modulator", 0xB0, 1, 127,
         [](SynthController& c) -> VSX::Modulator& { return *c.banks[0].cc[1]; }, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r(1);
        r.ctl.useControllerModulator(0, 1);
        r.midi(0x90, 60, 100);
        r.midi(0x90, 64, 100); // voice 1
        r.midi(c.status, c.d1, c.d2);
        EXPECT_FLOAT_EQ(c.modulator(r.ctl).value, c.expected);
    }
}

TEST(SynthController, RetriggerRunsTheSlotsUnlessLegacyOrLegato) {
    struct Case {
        const char* name;
        uint32_t legacy;
        uint64_t voices;
        uint8_t monoRetrigger;
        int slotTriggers;      // on the note that re-uses a voice
        const char* layerSays; // what layer 0 hears for it
    };
    const Case cases[] = {
        {"poly steal", 0, 2, 0, 1, "layer retrig 1 0 64"},
        {"legacy poly steal", 1, 2, 0, 0, "layer start 1 0 64"},
        {"mono legato", 0, 1, 0, 0, "layer pitch 0 0"},
        {"mono retrigger", 0, 1, 1, 1, "layer retrig 0 0 64"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r(1, c.legacy);
        r.ctl.setVoiceCount(c.voices);
        r.ctl.setMonoRetrigger(c.monoRetrigger);
        for (uint64_t k = 0; k < c.voices; ++k) r.midi(0x90, static_cast<uint8_t>(60 + k), 100);
        r.log.clear();
        r.midi(0x90, 64, 100);
        int triggers = 0;
        for (const std::string& e : r.log) triggers += e.rfind("slots on", 0) == 0;
        EXPECT_EQ(triggers, c.slotTriggers);
        EXPECT_NE(std::find(r.log.begin(), r.log.end(), c.layerSays), r.log.end());
    }
}

TEST(SynthController, InitControllerCanRunAgain) {
    Rig r(1);
    SynthController& ctl = r.ctl;
    auto& params = ctl.parameters;
    params.emplace_back("Volume", 0, 0.0f, 1.0f, 0.5f, 2, 0);
    params.emplace_back("No id", 0, 0.0f, 1.0f, 0.0f, 2, 0);
    params.emplace_back("Per voice", 0, 0.0f, 1.0f, 0.0f, 2, 0);
    params[0].id = 0;
    params[2].id = 2;
    params[2].flags |= vantor::ParameterInfo::kFlagPerVoice;
    // The routes a matrix would make: CC 1 onto "Volume" and layer 1's Amp.
    r.ctl.routes = [](rig::Controller& c) {
        VSX::ModRoute route;
        route.source = c.useControllerModulator(0, 1);
        c.paramActions[0][0].addRoute(route);
        for (VSX::ParameterAction& a : *c.layerManager.findLayerTarget("L01 AMP", nullptr))
            a.addRoute(route);
    };
    r.ctl.parses = 0;
    for (int i = 0; i < 10; ++i) ctl.initController(params, &r.layerLog, nullptr, 0);

    size_t timers = 0;
    for (const vantor::QuantumManager::Entry& e : r.queue.queue)
        timers += e.timer == &ctl.layerManager && e.cookie == VSX::LayerManager::kTimerCookie;
    EXPECT_EQ(timers, 1u);
    EXPECT_EQ(r.ctl.parses, 10);
    ASSERT_EQ(ctl.paramActions.size(), 3u);
    EXPECT_EQ(ctl.paramActions[0].size(), 1u);
    EXPECT_EQ(ctl.paramActions[1].size(), 0u);
    EXPECT_EQ(ctl.paramActions[2].size(), 6u);
    // One route each, on the actions that exist now.
    EXPECT_EQ(ctl.banks[0].cc[1]->listeners.size(), 1u + 6u);
    r.ctl.reports.clear();
    r.midi(0xB0, 1, 127);
    ASSERT_EQ(r.ctl.reports.size(), 1u);
    EXPECT_FLOAT_EQ(r.ctl.reports[0].value, 1.0f); // 0.5 + 1.0, clamped
    EXPECT_EQ(r.ctl.reports[0].index, 0);
}

TEST(SynthController, SetVoiceModeParsesAgainOnlyOnAChange) {
    Rig r(1);
    r.ctl.parses = 0;
    r.ctl.setVoiceMode(1);
    EXPECT_EQ(r.ctl.parses, 0);
    r.ctl.setVoiceMode(3);
    EXPECT_EQ(r.ctl.parses, 1);
}

TEST(SynthController, AutomationSlotSettings) {
    struct Case {
        const char* name;
        void (*change)(SynthController&);
        rig::Log expected;
    };
    const Case cases[] = {
        {"field 0 switches a slot",
         [](SynthController& c) {
             c.setAutomSlotParameter(3, 0, 1.0f);
             c.setAutomSlotParameter(3, 0, 0.0f);
         },
         {"slot active 3 1", "slot active 3 0"}},
        {"other fields are the slot's settings",
         [](SynthController& c) { c.setAutomSlotParameter(14, 6, 2.0f); },
         {"slot param 14 6 2"}},
        {"slots above 14 are ignored",
         [](SynthController& c) {
             c.setAutomSlotParameter(15, 0, 1.0f);
             c.setAutomSlotParameter(~uint64_t{0}, 6, 1.0f);
         },
         {}},
        {"a new voice count re-arms every part's slot timers",
         [](SynthController& c) { c.setVoiceCount(3); },
         {"slots rearm 0 3", "slots rearm 1 3", "slots rearm 2 3", "slots rearm 3 3",
          "slots rearm 4 3", "slots rearm 5 3", "slots rearm 6 3", "slots rearm 7 3",
          "slots rearm 8 3", "slots rearm 9 3"}},
        {"an unchanged or refused count does not",
         [](SynthController& c) {
             c.setVoiceCount(6);
             c.setVoiceCount(7);
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r(1);
        c.change(r.ctl);
        rig::Log settings; // leaves out the voices the count change ends
        for (const std::string& e : r.log)
            if (e.rfind("slot ", 0) == 0 || e.rfind("slots rearm", 0) == 0) settings.push_back(e);
        EXPECT_EQ(settings, c.expected);
    }
}

TEST(SynthController, NoteIdsAndExpression) {
    struct Case {
        const char* name;
        uint32_t mode;
        uint64_t part; // as the host sends it
        uint32_t kind;
        int expectedPart; // -1: ignored
    };
    const Case cases[] = {
        {"mode 3 takes the event's part", 3, 4, 2, 4},
        {"mode 3 ignores parts above 9", 3, 12, 2, -1},
        {"mode 3 ignores a 16-bit channel", 3, 0x1234, 0, -1},
        {"other modes play part 0", 1, 7, 0, 0},
        {"the eighth expression type", 1, 0, 7, 0},
        {"custom expression types are ignored", 1, 0, 8, -1},
        {"and far ones too", 5, 0, 200, -1},
    };
    constexpr uint64_t kId = 77;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig r(c.mode);
        SynthController& ctl = r.ctl;
        ctl.noteOnWithId(c.part, kId, 60 + 128, 100.7f, 0.0f);
        ctl.setVoiceExpression(c.part, kId, c.kind, 0.5f);
        if (c.expectedPart < 0 && c.kind < 8) {
            EXPECT_TRUE(soundingParts(ctl).empty());
            continue;
        }
        const uint64_t p = static_cast<uint64_t>(c.kind < 8 ? c.expectedPart : 0);
        VoiceManager& vm = ctl.voiceManagers[p];
        ASSERT_EQ(soundingParts(ctl), std::vector<int>{int(p)});
        EXPECT_EQ(vm.voices[0].key, 60);
        EXPECT_EQ(vm.voices[0].velocity, 100);
        if (c.expectedPart < 0) {
            for (const auto& kind : ctl.banks[p].expression) EXPECT_EQ(kind[0].active, 0);
        } else {
            EXPECT_FLOAT_EQ(ctl.banks[p].expression[c.kind][0].value, 0.5f);
            if (c.kind == 0) {
                EXPECT_FLOAT_EQ(vm.voices[0].amplitude, 0.5f);
            }
            if (c.kind == 2) {
                EXPECT_FLOAT_EQ(vm.voices[0].voiceBend, 0.5f);
            }
        }
        ctl.stopVoiceById(c.part, kId); // nothing to do
        EXPECT_EQ(vm.getActiveVoiceCount(), 1u);
        ctl.noteOffPart(c.part, kId, 60);
        EXPECT_EQ(vm.getActiveVoiceCount(), 0u);
    }

    // Cents given with the note tune its voice.
    Rig r(1);
    r.ctl.noteOnWithId(0, kId, 60, 100.0f, 30.0f);
    EXPECT_FLOAT_EQ(r.ctl.voiceManagers[0].voices[0].voiceBend, 30.0f);
}

TEST(SynthController, VoiceBeyondTheSlotsReleasesTheSlotItStarted) {
    Rig r(1);
    r.layers[0].slotCount = 1;
    r.ctl.initController(r.ctl.parameters, &r.layerLog, nullptr, 0);
    r.midi(0x90, 60, 100); // voice 0 on slot 0
    r.midi(0x90, 64, 100); // voice 1 takes slot 0 over
    float hz = 0.0f;
    ASSERT_TRUE(r.ctl.updateLayerVoicePitch(0, 0, hz));
    EXPECT_NEAR(hz, 329.62756f, 0.01f); // the voice that plays the slot now
    r.ctl.voiceManagers[0].voices[1].amplitude = 0.25f;
    float gain = 2.0f;
    EXPECT_TRUE(r.ctl.applyVoiceAmplitude(0, 0, gain));
    EXPECT_FLOAT_EQ(gain, 0.5f);
    r.log.clear();
    r.midi(0x80, 64, 0);
    EXPECT_EQ(r.log, (rig::Log{"slots off 0 1", "layer release 0 0"}));
}

TEST(SynthController, LayerVoicePitch) {
    Rig r(1);
    SynthController& ctl = r.ctl;
    r.midi(0x90, 60, 100);
    struct Step {
        const char* name;
        void (*change)(Rig&);
        bool changed;
        float hz;
    };
    const Step steps[] = {
        {"first report", [](Rig&) {}, true, kC4},
        {"unchanged", [](Rig&) {}, false, kC4},
        {"bend up three semitones", [](Rig& rr) { rr.midi(0xE0, 0, 0x50); }, true, 311.12698f},
        {"layer transpose -12",
         [](Rig& rr) {
             rr.ctl.layerManager.setLayerField(0, VSX::LayerManager::kTranspose, -12.0f);
         },
         true, 155.56349f},
        {"fixed frequency plays key 36 with the layer's pitch",
         [](Rig& rr) {
             rr.ctl.layerManager.setLayerField(0, VSX::LayerManager::kTranspose, 0.0f);
             rr.ctl.layerManager.setLayerField(0, VSX::LayerManager::kFixedFreq, 1.0f);
         },
         true, 65.406395f},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        s.change(r);
        float hz = 0.0f;
        EXPECT_EQ(ctl.updateLayerVoicePitch(0, 0, hz), s.changed);
        EXPECT_NEAR(hz, s.hz, 0.01f);
    }
    // A slot whose part voice is silent, and indices out of range, report nothing.
    float hz = -1.0f;
    ctl.layerManager.setLayerField(0, VSX::LayerManager::kFixedFreq, 0.0f);
    EXPECT_FALSE(ctl.updateLayerVoicePitch(3, 0, hz));
    EXPECT_FALSE(ctl.updateLayerVoicePitch(6, 0, hz));
    EXPECT_FALSE(ctl.updateLayerVoicePitch(0, 10, hz));
    EXPECT_EQ(hz, -1.0f);
}

} // namespace
