#include "vst3/SamplerPluginConfig.h"

using vantor::fourCharCode;
using vantor::ZefaPluginConfig;

const ZefaPluginConfig SamplerPluginConfig = {
    .headMarker = ZefaPluginConfig::kHeadMarker,
    .reserved0 = 0,
    .uniqueId = fourCharCode("SxMD"),
    .createWord0 = 0,
    .createWord1 = 2,
    .word5 = 1,
    .reserved1 = {},
    .parameterCount = 300,
    .hasInput = 0,
    .reserved2 = {},
    .vendorName = "Vantor",
    .productName = "sondrix MD",
    .multiA = 0,
    .multiB = 0,
    .reserved3 = {},
    .altCreateWord0 = 0x20,
    .altCreateWord1 = 0,
    .reserved4 = 0,
    .carriedCodes = {fourCharCode("Vntr"), fourCharCode("SxMD")},
    .carriedOne = 1,
    .reserved5 = {},
    .tailMarker = ZefaPluginConfig::kTailMarker,
};
