// Converting the VST3 side's events into the engine's list: the velocity
// rule, the kinds that pass and those dropped, frame offsets kept inside the
// block and in order, the list's capacity, and reading the values the engine
// reports back.
#include "enginehost/EventLists.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

using morvane::EngineEventList;
using vantor::HDMIDIEvent;

namespace {

HDMIDIEvent note(int32_t kind, int32_t key, float velocity, int32_t offset = 0) {
    HDMIDIEvent e{};
    e.kind = kind;
    e.id = key;
    e.value = velocity;
    e.channel = 3;
    e.noteId = 41;
    e.tuning = 0.25f;
    e.frameOffset = offset;
    return e;
}

HDMIDIEvent midi(uint8_t status, uint8_t data1, uint8_t data2, uint8_t valid = 1) {
    HDMIDIEvent e{};
    e.status = status;
    e.data1 = data1;
    e.data2 = data2;
    e.valid = valid;
    return e;
}

TEST(EventLists, NoteVelocitiesBecomeMidiVelocities) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        int32_t kind;
        float in;
        float out;
    } cases[] = {
        {912, 0.0f, 1.0f},    {912, 0.001f, 1.0f},  {912, 0.5f, 64.0f},   {912, 0.8f, 102.0f},
        {912, 1.0f, 127.0f},  {912, 1.5f, 127.0f},  {912, -0.2f, 1.0f},   {912, nan, 1.0f},
        {1152, 0.0f, 0.0f},   {1152, 0.003f, 0.0f}, {1152, 0.004f, 1.0f}, {1152, 0.5f, 64.0f},
        {1152, 1.0f, 127.0f}, {1152, nan, 0.0f},
    };
    for (const auto& c : cases) {
        HDMIDIEvent out;
        ASSERT_TRUE(morvane::toEngineEvent(note(c.kind, 60, c.in), out)) << c.kind << " " << c.in;
        EXPECT_EQ(out.value, c.out) << c.kind << " " << c.in;
        EXPECT_EQ(out.kind, c.kind);
        EXPECT_EQ(out.id, 60);
        EXPECT_EQ(out.channel, 3);
        EXPECT_EQ(out.noteId, 41);
        EXPECT_EQ(out.tuning, 0.25f);
    }
}

TEST(EventLists, OnlyTheKindsTheVst3SideSendsPass) {
    HDMIDIEvent expression{};
    expression.kind = HDMIDIEvent::kNoteExpression;
    expression.id = 2;
    expression.value = -30.0f;
    expression.noteId = 9;
    HDMIDIEvent parameter{};
    parameter.kind = 176;
    parameter.id = 768;
    HDMIDIEvent perNote{};
    perNote.kind = 512;
    HDMIDIEvent infiniteTuning = note(912, 60, 0.5f);
    infiniteTuning.tuning = std::numeric_limits<float>::infinity();
    const struct {
        const char* what;
        HDMIDIEvent in;
        bool passes;
    } cases[] = {
        {"note-on", note(912, 127, 0.5f), true},
        {"note-off", note(1152, 0, 0.5f), true},
        {"note expression", expression, true},
        {"control change", midi(0xB2, 7, 100), true},
        {"pitch bend", midi(0xE0, 0, 64), true},
        {"program change", midi(0xC1, 5, 0), true},
        {"note-on without valid bytes", midi(0x90, 60, 100, 0), false},
        {"system exclusive", midi(0xF0, 1, 2), false},
        {"a data byte as status", midi(0x40, 1, 2), false},
        {"key 128", note(912, 128, 0.5f), false},
        {"key -1", note(1152, -1, 0.5f), false},
        {"an engine parameter", parameter, false},
        {"a per-note parameter", perNote, false},
    };
    for (const auto& c : cases) {
        HDMIDIEvent out;
        EXPECT_EQ(morvane::toEngineEvent(c.in, out), c.passes) << c.what;
    }
    HDMIDIEvent out;
    ASSERT_TRUE(morvane::toEngineEvent(midi(0xB2, 0xFF, 0x80), out));
    EXPECT_EQ(out.data1, 0x7F);
    EXPECT_EQ(out.data2, 0x00);
    ASSERT_TRUE(morvane::toEngineEvent(infiniteTuning, out));
    EXPECT_EQ(out.tuning, 0.0f) << "+infinity would mark a note as a record without bytes";
    ASSERT_TRUE(morvane::toEngineEvent(expression, out));
    EXPECT_EQ(out.value, -30.0f);
    EXPECT_EQ(out.id, 2);
}

TEST(EventLists, OffsetsStayInsideTheBlockAndInOrder) {
    const struct {
        int32_t frames;
        int32_t in[4];
        int32_t out[4];
    } cases[] = {
        {64, {0, 5, 5, 63}, {0, 5, 5, 63}},
        {64, {-3, 10, 64, 1000}, {0, 10, 63, 63}},
        {64, {20, 10, 30, 5}, {20, 20, 30, 30}},
        {0, {0, 7, -1, 3}, {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        HDMIDIEvent in[4];
        for (int i = 0; i < 4; ++i) in[i] = note(912, 60 + i, 0.5f, c.in[i]);
        auto list = std::make_unique<EngineEventList>();
        list->count = 0;
        EXPECT_EQ(morvane::appendToEngineList(in, 4, c.frames, *list), 4u);
        ASSERT_EQ(list->count, 4u);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(list->events[i].frameOffset, c.out[i]) << c.frames << " event " << i;
    }
}

TEST(EventLists, AppendingKeepsToTheListsCapacityAndCountsWhatPassed) {
    auto in = std::make_unique<vantor::MIDIEvents>();
    for (uint32_t i = 0; i < vantor::kEventListCapacity; ++i)
        in->events[i] = i % 2 ? note(912, 60, 0.5f) : midi(0xF8, 0, 0);
    auto list = std::make_unique<EngineEventList>();
    list->count = 0;
    ASSERT_TRUE(morvane::appendParameterEvent(768, 0.5f, *list));
    EXPECT_EQ(morvane::appendToEngineList(in->events, vantor::kEventListCapacity, 16, *list),
              vantor::kEventListCapacity / 2);
    EXPECT_EQ(list->count, 1 + vantor::kEventListCapacity / 2);
    EXPECT_EQ(morvane::appendToEngineList(in->events, 5000, 16, *list),
              vantor::kEventListCapacity / 2 - 1);
    EXPECT_EQ(list->count, vantor::kEventListCapacity);
    EXPECT_FALSE(morvane::appendParameterEvent(768, 0.5f, *list));
    EXPECT_EQ(morvane::appendToEngineList(nullptr, 3, 16, *list), 0u);
}

TEST(EventLists, ParameterValuesAreReadFromTheEnginesOutList) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        int32_t kind;
        int32_t id;
        float value;
        bool read;
    } cases[] = {
        {176, 768, 0.25f, true}, {300, 512, 3.0f, true},  {511, 1791, 1.0f, true},
        {432, 256, 2.0f, true},  {912, 60, 1.0f, false},  {1152, 60, 0.0f, false},
        {0, 7, 1.0f, false},     {176, -1, 1.0f, false},  {176, 70000, 1.0f, false},
        {176, 768, nan, false},  {512, 768, 1.0f, false},
    };
    for (const auto& c : cases) {
        HDMIDIEvent e{};
        e.kind = c.kind;
        e.id = c.id;
        e.value = c.value;
        uint16_t id = 0;
        float value = 0.0f;
        EXPECT_EQ(morvane::readParameterValue(e, id, value), c.read) << c.kind << " " << c.id;
        if (c.read) {
            EXPECT_EQ(id, c.id);
            EXPECT_EQ(value, c.value);
        }
    }
}

} // namespace
