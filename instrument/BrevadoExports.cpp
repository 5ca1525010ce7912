// The four C exports of the engine plug-in "Brevado": how an engine host finds
// the one plug-in in the file, reads its description and creates and deletes
// plug-in objects. Everything else reaches an object through its C record.
#include <cstdio>
#include <cstring>

#include "instrument/ChipWrap.h"

using namespace vantor::EnginePluginSDK;

namespace {

constexpr char kIdentifierPrefix[] = "com.Vantor.Emulator.";
constexpr size_t kPrefixLength = sizeof kIdentifierPrefix - 1; // 20

// The emulators in this file, by index.
const char* getEmulatorName(uint32_t index) {
    return index == 0 ? "MD" : nullptr;
}
int32_t countEmulators() {
    return 1;
}

void putWords(uint32_t* to, std::initializer_list<uint32_t> words) {
    for (uint32_t w : words) *to++ = w;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t getNumZefaPlugins() {
    return countEmulators();
}

__attribute__((visibility("default"))) int32_t fillZefaPluginInfo(uint32_t index,
                                                                  PluginInfo* info) {
    const char* name = getEmulatorName(index);
    if (!name || !info) return 1;
    std::snprintf(info->identifier, sizeof info->identifier, "%s%s", kIdentifierPrefix, name);
    info->word100 = 0;
    info->word104 = 4;
    info->word1C0 = 1;
    info->interfaceVersion = kInterfaceVersion;
    putWords(info->extensionIdsA,
             {EXT_PIXEL_CANVAS, EXT_LOAD_FILE, EXT_SYNTH_BUFFER_A, EXT_SYNTH_BUFFER_B});
    putWords(info->extensionIdsB,
             {EXT_NAME_TABLE, EXT_PARAMETER_MONITOR, EXT_MOD_MATRIX, EXT_DAC_SAMPLES});
    info->extensionIdCount = 8;
    info->word1FC = 1;
    std::snprintf(info->name, sizeof info->name, "%s", name);
    std::snprintf(info->category, sizeof info->category, "Emulator\t%s", name);
    info->sysexExtensionId = EXT_SYSEX_RECEIVER;
    info->sysexExtensionCount = 1;
    putWords(info->list600, {2, 1, 3, 15});
    putWords(info->list610, {4, 2, 1, 1});
    info->word620 = 1;
    return 0;
}

// Only identifiers naming an emulator of this file build an object; anything
// else (no identifier, another prefix, another name) gives null.
__attribute__((visibility("default"))) PluginRecord* newInstance(const char* identifier,
                                                                 HostRecord* host) {
    if (!identifier || std::strncmp(identifier, kIdentifierPrefix, kPrefixLength) != 0)
        return nullptr;
    const char* name = identifier + kPrefixLength;
    if (std::strcmp(name, "MD") != 0) return nullptr;
    auto* object = new acme::ChipWrap(host, name);
    return object->getRecord();
}

__attribute__((visibility("default"))) void deleteInstance(PluginRecord* record) {
    if (!record || !record->object) return;
    delete static_cast<Plugin*>(record->object);
}

} // extern "C"
