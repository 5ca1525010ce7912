// The engine plug-in boundary records against fixtures typed from their
// published tables: every field gets a distinct value, and the bytes must land
// where the table puts them.
#include "instrument/EnginePluginRecords.h"
#include "support/HexFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

using namespace vantor::EnginePluginSDK;
using testsupport::expectBytesMatchFixture;
using vantor::HDMIDIEvent;

namespace {

template <typename T> const unsigned char* bytesOf(const T& record) {
    return reinterpret_cast<const unsigned char*>(&record);
}

template <typename T> T filled(unsigned char fill) {
    T record;
    std::memset(&record, fill, sizeof record);
    return record;
}

void* pointer(uintptr_t value) {
    return reinterpret_cast<void*>(value);
}

HDMIDIEvent sampleEvent() {
    HDMIDIEvent e = filled<HDMIDIEvent>(0xEE);
    e.kind = 912;
    e.id = 60;
    e.value = 1.0f;
    e.status = 0x90;
    e.data1 = 0x3C;
    e.data2 = 0x7F;
    e.valid = 1;
    e.channel = 3;
    e.reserved = 0;
    e.noteId = 0x01020304;
    e.tuning = -2.0f;
    e.frameOffset = 255;
    return e;
}

const char* const kEventFixture = "90 03 00 00  3C 00 00 00  00 00 80 3F  90 3C 7F 01 "
                                  "03 00 00 00  04 03 02 01  00 00 00 C0  FF 00 00 00";

TEST(EnginePluginRecords, EventRecordHasOneLayoutOnBothSides) {
    const HDMIDIEvent e = sampleEvent();
    expectBytesMatchFixture(bytesOf(e), sizeof e, kEventFixture);
}

TEST(EnginePluginRecords, BothEventListFormsPutTheRecordsAtEight) {
    auto engine = std::make_unique<EventList>();
    engine->count = 0x0000000500000002ull;
    engine->events[0] = sampleEvent();
    expectBytesMatchFixture(bytesOf(*engine), 40,
                            (std::string("02 00 00 00 05 00 00 00 ") + kEventFixture).c_str());
    EXPECT_EQ(reinterpret_cast<unsigned char*>(&engine->events[2047]) - bytesOf(*engine),
              8 + 32 * 2047);

    auto vst = std::make_unique<vantor::MIDIEvents>();
    vst->count = 2;
    vst->word1 = 1;
    vst->events[0] = sampleEvent();
    expectBytesMatchFixture(bytesOf(*vst), 40,
                            (std::string("02 00 00 00 01 00 00 00 ") + kEventFixture).c_str());
}

TEST(EnginePluginRecords, PluginInfoFieldsSitAtTheirOffsets) {
    PluginInfo info = filled<PluginInfo>(0);
    std::strcpy(info.identifier, "ab");
    info.word100 = 0x11;
    info.word104 = 4;
    info.word1C0 = 1;
    info.interfaceVersion = 2123;
    const uint32_t a[4] = {35607, 61715, 22362, 50789}, b[4] = {32391, 12497, 12499, 47731};
    std::memcpy(info.extensionIdsA, a, sizeof a);
    std::memcpy(info.extensionIdsB, b, sizeof b);
    info.extensionIdCount = 8;
    info.word1FC = 1;
    std::strcpy(info.name, "MD");
    std::strcpy(info.category, "E\tM");
    info.sysexExtensionId = 20824;
    info.sysexExtensionCount = 1;
    const uint32_t l600[4] = {2, 1, 3, 15}, l610[4] = {4, 2, 1, 1};
    std::memcpy(info.list600, l600, sizeof l600);
    std::memcpy(info.list610, l610, sizeof l610);
    info.word620 = 1;

    const struct {
        size_t offset;
        const char* fixture;
    } regions[] = {
        {0x000, "61 62 00"},
        {0x100, "11 00 00 00 04 00 00 00"},
        {0x1C0, "01 00 00 00"},
        {0x1CC, "4B 08 00 00"},
        {0x1D8, "17 8B 00 00 13 F1 00 00 5A 57 00 00 65 C6 00 00"},
        {0x1E8, "87 7E 00 00 D1 30 00 00 D3 30 00 00 73 BA 00 00"},
        {0x1F8, "08 00 00 00 01 00 00 00"},
        {0x200, "4D 44 00"},
        {0x400, "45 09 4D 00"},
        {0x500, "58 51 00 00"},
        {0x580, "01 00 00 00"},
        {0x600, "02 00 00 00 01 00 00 00 03 00 00 00 0F 00 00 00"},
        {0x610, "04 00 00 00 02 00 00 00 01 00 00 00 01 00 00 00"},
        {0x620, "01 00 00 00"},
    };
    for (const auto& r : regions) {
        SCOPED_TRACE(r.offset);
        const size_t length = (std::strlen(r.fixture) + 1) / 3;
        expectBytesMatchFixture(bytesOf(info) + r.offset, length, r.fixture);
    }
    EXPECT_GE(sizeof info, 0x624u);
}

TEST(EnginePluginRecords, HostAndPluginRecords) {
    HostRecord host;
    host.callback = reinterpret_cast<HostCallback>(pointer(0x1122334455667788));
    expectBytesMatchFixture(bytesOf(host), sizeof host, "88 77 66 55 44 33 22 11");

    PluginRecord record = filled<PluginRecord>(0xEE);
    record.version = 2123;
    record.dispatcher = reinterpret_cast<DispatchEntry>(pointer(0x0102030405060708));
    record.process = reinterpret_cast<ProcessEntry>(pointer(0x1112131415161718));
    record.reserved = 0;
    record.object = pointer(0x2122232425262728);
    expectBytesMatchFixture(bytesOf(record), sizeof record,
                            "4B 08 00 00 .. .. .. ..  08 07 06 05 04 03 02 01 "
                            "18 17 16 15 14 13 12 11  00 00 00 00 00 00 00 00 "
                            "28 27 26 25 24 23 22 21");
}

TEST(EnginePluginRecords, ProcessingInformation) {
    ProcessingInfo p = filled<ProcessingInfo>(0xEE);
    p.sampleRate = 48000.0;
    p.sampleRateInt = 48000;
    p.samplePeriod = 0.5;
    p.maxBlockFrames = 256;
    p.blockSeconds = 2.0;
    p.blockReciprocal = 0.25;
    for (int i = 0; i < 5; ++i) p.flags[i] = static_cast<uint8_t>(i + 1);
    expectBytesMatchFixture(bytesOf(p), sizeof p,
                            "00 00 00 00 00 70 E7 40  80 BB 00 00 .. .. .. .. "
                            "00 00 00 00 00 00 E0 3F  00 01 00 00 .. .. .. .. "
                            "00 00 00 00 00 00 00 40  00 00 00 00 00 00 D0 3F "
                            "01 02 03 04 05 .. .. ..");
}

TEST(EnginePluginRecords, DispatcherRecords) {
    OutputConfig config = filled<OutputConfig>(0xEE);
    config.channels = 2;
    expectBytesMatchFixture(bytesOf(config), sizeof config, ".. .. .. .. 02 00 00 00");

    LatencyRecord latency = filled<LatencyRecord>(0xEE);
    latency.version = 2123;
    latency.word4 = 6;
    latency.word8 = 5;
    expectBytesMatchFixture(bytesOf(latency), sizeof latency,
                            "4B 08 00 00 06 00 00 00 05 00 00 00 .. .. .. ..");

    ActivationRecord activation = filled<ActivationRecord>(0xEE);
    activation.result = 1;
    activation.context = 0x0102030405060708;
    activation.reserved = 3;
    activation.version = 2114;
    expectBytesMatchFixture(bytesOf(activation), sizeof activation,
                            ".. .. .. .. .. .. .. ..  01 00 00 00 00 00 00 00 "
                            "08 07 06 05 04 03 02 01  03 00 00 00 00 00 00 00 "
                            "42 08 00 00 00 00 00 00");

    ExtensionCommand command = filled<ExtensionCommand>(0xEE);
    command.record = pointer(0x0102030405060708);
    command.size = 32391;
    command.action = 2;
    command.key = 7;
    expectBytesMatchFixture(bytesOf(command), sizeof command,
                            ".. .. .. ..  08 07 06 05 04 03 02 01  .. .. .. .. .. .. .. .. "
                            "87 7E 00 00 00 00 00 00  02 00 00 00 00 00 00 00  07 00 00 00");

    ExtensionHeader header = filled<ExtensionHeader>(0xEE);
    header.id = 12497;
    header.sizeWord = 32768;
    header.parameterWord = 1000;
    header.flags = 0x38;
    expectBytesMatchFixture(bytesOf(header), sizeof header,
                            "D1 30 00 00 00 80 00 00 E8 03 00 00 38 00 00 00 "
                            ".. .. .. .. .. .. .. .. .. .. .. .. .. .. .. ..");

    MasterSetting setting = filled<MasterSetting>(0xEE);
    setting.code = 65537;
    setting.integer = -2;
    setting.value = -1.0;
    expectBytesMatchFixture(bytesOf(setting), sizeof setting,
                            ".. .. .. .. .. .. .. ..  01 00 01 00 .. .. .. .. "
                            "FE FF FF FF FF FF FF FF  .. .. .. .. .. .. .. .. "
                            "00 00 00 00 00 00 F0 BF");

    MidiMessage midi = filled<MidiMessage>(0xEE);
    midi.isLong = 1;
    midi.length = 6;
    midi.bytes = static_cast<const uint8_t*>(pointer(0x0102030405060708));
    midi.status = 0x90;
    midi.data1 = 0x40;
    midi.data2 = 0x7F;
    expectBytesMatchFixture(bytesOf(midi), sizeof midi,
                            ".. .. .. .. .. .. .. ..  01 00 00 00 00 00 00 00 "
                            "06 00 00 00 00 00 00 00  .. .. .. .. .. .. .. .. "
                            "08 07 06 05 04 03 02 01  90 40 7F .. .. .. .. ..");
}

TEST(EnginePluginRecords, CallbackRecordsAndTheTimeRecord) {
    const ParameterRange range = {771, 773};
    expectBytesMatchFixture(bytesOf(range), sizeof range,
                            "03 03 00 00 00 00 00 00 05 03 00 00 00 00 00 00");

    InfoBlockMessage message = filled<InfoBlockMessage>(0);
    message.version = 2123;
    message.block[0] = 0xAA;
    message.block[127] = 0xBB;
    std::string fixture = "4B 08 00 00 AA";
    for (int i = 1; i < 127; ++i) fixture += " 00";
    fixture += " BB";
    expectBytesMatchFixture(bytesOf(message), sizeof message, fixture.c_str());

    TimeRecord time = filled<TimeRecord>(0xEE);
    time.ppqPosition = 0.5;
    time.tempo = 120.0;
    time.barStartPpq = 4.0;
    expectBytesMatchFixture(bytesOf(time), sizeof time,
                            ".. .. .. .. .. .. .. ..  .. .. .. .. .. .. .. .. "
                            ".. .. .. .. .. .. .. ..  00 00 00 00 00 00 E0 3F "
                            "00 00 00 00 00 00 5E 40  00 00 00 00 00 00 10 40");
}

} // namespace
