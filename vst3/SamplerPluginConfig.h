// The product record: the fixed 256-byte description of "sondrix MD" that the
// engine bridge starts the engine from and that the processor and controller
// read (parameter count, input bus, names, identifiers). Words are 32-bit
// little-endian; a head marker opens the record and a tail marker closes it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

struct ZefaPluginConfig {
    static constexpr uint32_t kHeadMarker = 0x12345678;
    static constexpr uint32_t kTailMarker = 0x87654321;

    uint32_t headMarker; // kHeadMarker
    uint32_t reserved0;
    uint32_t uniqueId;    // the product's VST2 unique identifier (four characters)
    uint32_t createWord0; // create-record word 0 for a plain start
    uint32_t createWord1; // create-record word 1 for a plain start
    uint32_t word5;       // 1
    uint32_t reserved1[3];
    uint32_t parameterCount; // engine automatable parameters
    uint32_t hasInput;       // non-zero: the processor declares a "Stereo Input" bus
    uint32_t reserved2[5];
    char vendorName[64];
    char productName[64];
    uint8_t multiA; // both non-zero: the log name gets "_Multi"
    uint8_t multiB;
    uint8_t reserved3[2];
    uint32_t altCreateWord0; // create-record word 0 for the alternate start
    uint32_t altCreateWord1; // create-record word 1 for the alternate start
    uint32_t reserved4;
    uint32_t carriedCodes[2]; // four-character codes, carried
    uint32_t carriedOne;      // 1, carried
    uint32_t reserved5[8];
    uint32_t tailMarker; // kTailMarker
};
static_assert(sizeof(ZefaPluginConfig) == 256);
static_assert(offsetof(ZefaPluginConfig, uniqueId) == 8);
static_assert(offsetof(ZefaPluginConfig, createWord0) == 12);
static_assert(offsetof(ZefaPluginConfig, createWord1) == 16);
static_assert(offsetof(ZefaPluginConfig, word5) == 20);
static_assert(offsetof(ZefaPluginConfig, parameterCount) == 36);
static_assert(offsetof(ZefaPluginConfig, hasInput) == 40);
static_assert(offsetof(ZefaPluginConfig, vendorName) == 64);
static_assert(offsetof(ZefaPluginConfig, productName) == 128);
static_assert(offsetof(ZefaPluginConfig, multiA) == 192);
static_assert(offsetof(ZefaPluginConfig, multiB) == 193);
static_assert(offsetof(ZefaPluginConfig, altCreateWord0) == 196);
static_assert(offsetof(ZefaPluginConfig, altCreateWord1) == 200);
static_assert(offsetof(ZefaPluginConfig, carriedCodes) == 208);
static_assert(offsetof(ZefaPluginConfig, carriedOne) == 216);
static_assert(offsetof(ZefaPluginConfig, tailMarker) == 252);

// A four-character code as a 32-bit word, first character highest.
constexpr uint32_t fourCharCode(const char (&c)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(c[0])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(c[1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(c[2])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c[3]));
}

} // namespace vantor

// The product record of this plug-in.
extern const vantor::ZefaPluginConfig SamplerPluginConfig;
