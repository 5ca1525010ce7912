// Latch/data rules of the SN76489 byte decoder, observed through the events it
// hands to its listener.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emulators/DCSGDecoder.h"

namespace {

// Records every event as a short text: "P0=256", "V1=15", "N3=1".
class Recorder : public ChipDecoderListener {
public:
    void onVolume(uint32_t channel, uint32_t attenuation) override {
        events.push_back("V" + std::to_string(channel) + "=" + std::to_string(attenuation));
    }
    void onPeriod(uint32_t channel, uint32_t period) override {
        events.push_back("P" + std::to_string(channel) + "=" + std::to_string(period));
    }
    void onNoiseMode(uint32_t channel, uint32_t ignored, uint32_t white) override {
        events.push_back("N" + std::to_string(channel) + "/" + std::to_string(ignored) + "=" +
                         std::to_string(white));
    }
    std::vector<std::string> events;
};

struct DecodeCase {
    const char* what;
    std::vector<uint8_t> bytes;
    std::vector<std::string> events;
};

TEST(DCSGDecoder, LatchAndDataBytes) {
    const DecodeCase cases[] = {
        {"latch tone 0 low bits, then data high bits", {0x80, 0x10}, {"P0=0", "P0=256"}},
        {"data byte sets all six high bits", {0x8F, 0x3F}, {"P0=15", "P0=1023"}},
        {"latch keeps the high bits", {0x8F, 0x3F, 0x80}, {"P0=15", "P0=1023", "P0=1008"}},
        {"data byte bit 6 belongs to the period", {0x80, 0x7F}, {"P0=0", "P0=1008"}},
        {"data before any latch acts on tone 0", {0x12}, {"P0=288"}},
        {"tone 2 then tone 1", {0xC5, 0x12, 0xA3}, {"P2=5", "P2=293", "P1=3"}},
        {"attenuation and a repeated data byte", {0x9F, 0x05}, {"V0=15", "V0=5"}},
        {"attenuations of every channel", {0xB7, 0xDA, 0xF1}, {"V1=7", "V2=10", "V3=1"}},
        {"noise white, rate 16", {0xE4}, {"P3=16", "N3/0=1"}},
        {"noise periodic, follow tone 2", {0xE3}, {"P3=0", "N3/0=0"}},
        {"data after noise latch rewrites it",
         {0xE5, 0x02},
         {"P3=32", "N3/0=1", "P3=64", "N3/0=0"}},
        {"latches of different tones keep their own periods",
         {0x81, 0x20, 0xA2, 0x30, 0x83},
         {"P0=1", "P0=513", "P1=2", "P1=770", "P0=515"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Recorder rec;
        DCSGDecoder decoder(1);
        decoder.listener = &rec;
        for (uint8_t b : c.bytes) decoder.decode(b);
        EXPECT_EQ(rec.events, c.events);
    }
}

TEST(DCSGDecoder, AssemblesPeriodsWithoutListener) {
    DCSGDecoder decoder(0);
    for (uint8_t b : {0x8A, 0x15, 0xC3, 0x3F, 0x90, 0xE7}) decoder.decode(b);
    EXPECT_EQ(decoder.tonePeriods[0], 0x15Au);
    EXPECT_EQ(decoder.tonePeriods[2], 0x3F3u);
    EXPECT_EQ(decoder.latch, 6);

    Recorder rec;
    decoder.listener = &rec;
    decoder.decode(0x05); // data byte after the noise latch
    EXPECT_EQ(rec.events, (std::vector<std::string>{"P3=32", "N3/0=1"}));
}

} // namespace
