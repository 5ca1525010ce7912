// The records that cross the engine host's entry point, and the product
// record, against fixtures written from their published byte tables.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/HexFixture.h"
#include "vst3/MorvaneInterface.h"
#include "vst3/SamplerPluginConfig.h"

using namespace vantor;

namespace {

// `n` zero bytes in fixture form.
std::string zeros(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += "00 ";
    return s;
}
std::string any(size_t n) {
    std::string s;
    for (size_t i = 0; i < n; ++i) s += ".. ";
    return s;
}

template <typename T> void expectFixture(const T& record, const std::string& fixture) {
    testsupport::expectBytesMatchFixture(reinterpret_cast<const unsigned char*>(&record),
                                         sizeof record, fixture.c_str());
}

TEST(MorvaneRecords, CreateRecord) {
    ZefaCreateRecord r{};
    r.word0 = 0x0102030405060708ull;
    r.word1 = 0x1112131415161718ull;
    r.formatAndVersion = -2;
    r.fixedWord = ZefaCreateRecord::kFixedWord;
    expectFixture(r, "08 07 06 05 04 03 02 01  18 17 16 15 14 13 12 11  FE FF FF FF FF FF FF FF " +
                         any(8) + "55 AA 43 08 00 00 00 00 " + any(8));
}

TEST(MorvaneRecords, CurrentProductAndEngineInformation) {
    ZefaCurrentProduct product{};
    product.version = 1;
    product.productId = 0x11223344;
    product.slots = 5;
    product.firstName[0] = 'A';
    product.secondName[0] = 'B';
    product.address[0] = 'C';
    expectFixture(product, "01 00 00 00  44 33 22 11  05 00 00 00  41 " + zeros(63) + "42 " +
                               zeros(63) + "43 " + zeros(511));

    ZefaEngineInfo info{};
    info.version = 1;
    info.number = 0x0A0B0C0D;
    info.text[0] = 'T';
    info.text2[0] = 'U';
    expectFixture(info,
                  "01 00 00 00  0D 0C 0B 0A " + zeros(24) + "54 " + zeros(95) + "55 " + zeros(895));
}

TEST(MorvaneRecords, CallbackLatencyAndSettings) {
    ZefaCallbackRecord callback{};
    callback.version = 1;
    callback.flags = 0xF0;
    expectFixture(callback, "01 00 00 00 00 00 00 00 " + any(16) + "F0 00 00 00 00 00 00 00");

    ZefaEngineLatencyInfo latency{kZefaInterfaceVersion, 128, 0};
    expectFixture(latency, "4B 08 00 00  80 00 00 00  00 00 00 00 00 00 00 00");

    ZefaEngineSettings settings{1, 0, 2, 2, 1, 0, 44100, 1024};
    expectFixture(settings, "01 00 00 00 00 00 00 00  02 00 00 00 00 00 00 00 "
                            "02 00 00 00 00 00 00 00  01 00 00 00 00 00 00 00 "
                            "44 AC 00 00 00 00 00 00  00 04 00 00 00 00 00 00");
}

TEST(MorvaneRecords, EventListAndProcessRecord) {
    const std::string noteOn = "90 03 00 00  3C 00 00 00  00 00 00 3F  90 3C 40 01 "
                               "03 00 00 00  78 56 34 12  00 00 80 3F  11 00 00 00 ";
    HDMIDIEvent e{};
    e.kind = HDMIDIEvent::kNoteOn;
    e.id = 60;
    e.value = 0.5f;
    e.status = 0x90;
    e.data1 = 0x3C;
    e.data2 = 0x40;
    e.valid = 1;
    e.channel = 3;
    e.noteId = 0x12345678;
    e.tuning = 1.0f;
    e.frameOffset = 17;
    expectFixture(e, noteOn);

    static MIDIEvents list{};
    list.count = 2;
    list.word1 = 1;
    list.events[0] = e;
    expectFixture(list, "02 00 00 00  01 00 00 00 " + noteOn + zeros(32 * 2047));

    ZefaEngineProcessEx process{};
    process.version = ZefaEngineProcessEx::kVersionEx;
    process.frames = 256;
    process.events = &list;
    expectFixture(process, "02 00 00 00 00 00 00 00 " + any(8) + zeros(8) + any(24) +
                               "00 01 00 00 00 00 00 00");
}

TEST(MorvaneRecords, KeyboardExport) {
    static Zefa::ExportKB kb{};
    kb.keyType[60] = 2;
    std::strcpy(kb.keyName[60], "C4");
    expectFixture(kb, zeros(60) + "02 " + zeros(67) + zeros(128) + zeros(60 * 128) + "43 34 " +
                          zeros(126) + zeros(67 * 128) + zeros(1069));
}

TEST(ProductRecord, MatchesItsTable) {
    expectFixture(SamplerPluginConfig,
                  "78 56 34 12  00 00 00 00  44 4D 78 53  00 00 00 00  02 00 00 00  01 00 00 00 " +
                      zeros(12) + "2C 01 00 00  00 00 00 00 " + zeros(20) + "56 61 6E 74 6F 72 " +
                      zeros(58) + "73 6F 6E 64 72 69 78 20 4D 44 " + zeros(54) +
                      "00 00 00 00  20 00 00 00  00 00 00 00  00 00 00 00 "
                      "72 74 6E 56  44 4D 78 53  01 00 00 00 " +
                      zeros(32) + "21 43 65 87");
}

} // namespace
