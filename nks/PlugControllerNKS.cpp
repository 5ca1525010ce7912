// Host messages, the key-map push and the metadata request of the NKS side of
// the edit controller. Buffers come from the host with the size it gave: a
// read writes only into a buffer that holds the whole value.
#include "nks/PlugControllerNKS.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

#include "nks/WriteVANTOR.h"

namespace nks {
namespace {

struct PropertyEntry {
    uint32_t property;
    uint64_t size;
    bool writable;
};

constexpr PropertyEntry kProperties[] = {
    {kPropertyFlag12, 4, false},
    {kPropertyViewMode, 4, true},
    {kPropertyFlag28, 1, false},
    {kPropertyNksVersion, 8, true},
};

// The value a read of 12, 13 or 32 answers, and its width.
bool readValue(uint32_t property, uint64_t& value, uint64_t& width) {
    switch (property) {
    case kPropertyFlag12:
        value = 1;
        width = 4;
        return true;
    case kPropertyViewMode:
        value = 0;
        width = 4;
        return true;
    case kPropertyNksVersion:
        value = 2;
        width = 8;
        return true;
    default:
        return false;
    }
}

const char* viewModeName(int32_t mode) {
    switch (mode) {
    case 1:
        return "big";
    case 2:
        return "compact";
    default:
        return "not embedded";
    }
}

} // namespace

bool nks_getVendorSpecificPropertyInfo(uint32_t property, uint64_t& size, bool& writable) {
    for (const PropertyEntry& e : kProperties) {
        if (e.property != property) continue;
        size = e.size;
        writable = e.writable;
        return true;
    }
    return false;
}

int32_t nks_getVendorSpecificProperty(uint32_t property, void* data, uint64_t size) {
    if (property == kPropertyFlag28) return 1; // nothing to write
    uint64_t value = 0, width = 0;
    if (!readValue(property, value, width) || !data || size < width) return 0;
    if (width == 4) {
        const uint32_t narrow = static_cast<uint32_t>(value);
        std::memcpy(data, &narrow, sizeof narrow);
    } else {
        std::memcpy(data, &value, sizeof value);
    }
    return 1;
}

int32_t nks_setVendorSpecificProperty(uint32_t property, const void* data, uint64_t size) {
    if (!data) return 0;
    if (property == kPropertyViewMode && size == 4) {
        int32_t mode = 0;
        std::memcpy(&mode, data, sizeof mode);
        std::printf("Set the plugin to %s view\n", viewModeName(mode));
    } else if (property == kPropertyNksVersion && size == 8) {
        uint64_t version = 0;
        std::memcpy(&version, data, sizeof version);
        std::printf("Current nks version of the host is: %llu\n",
                    static_cast<unsigned long long>(version));
    } else {
        return 0;
    }
    std::fflush(stdout);
    return 1;
}

int32_t receiveNKSHostMessage(int32_t type, uint64_t size, void* data) {
    const uint32_t tag = static_cast<uint32_t>(type) >> 16;
    const uint32_t property = static_cast<uint32_t>(type) & 0xFFFF;
    switch (tag) {
    case kTagGetProperty:
        return nks_getVendorSpecificProperty(property, data, size);
    case kTagSetProperty:
        return nks_setVendorSpecificProperty(property, data, size);
    case kTagPropertyInfo: {
        uint64_t propertySize = 0;
        bool writable = false;
        if (!nks_getVendorSpecificPropertyInfo(property, propertySize, writable)) return 0;
        if (!data) return 1; // the host only asks whether the property exists
        if (size < kPropertyInfoSize) return 0;
        auto* record = static_cast<uint8_t*>(data);
        std::memcpy(record, &propertySize, sizeof propertySize);
        record[8] = writable ? 1 : 0;
        return 1;
    }
    default:
        return 0;
    }
}

bool sendNKSHostMessage(INKS1Host* host, int32_t property, void* data, uint64_t size) {
    return host && host->nksDispatch(property, size, data, 0.0f) != 0;
}

uint8_t keyColour(uint8_t keyType) {
    switch (keyType) {
    case 0:
        return 0x11;
    case 2:
        return 0x03;
    case 3:
        return 0x04;
    default:
        return 0x10;
    }
}

uint8_t keyControlFlag(uint8_t keyType) {
    return keyType == 2 || keyType == 3 ? 1 : 0;
}

int pushKeyMap(INKS1Host* const& host, const KeyboardLayout& keyboard) {
    int accepted = 0;
    for (int key = 0; key < 128; ++key) {
        const uint8_t type = keyboard.keyTypes[key];
        vse::note_name name{};
        name.key = static_cast<uint8_t>(key);
        // The engine's name fills up to 128 bytes, without a terminator then.
        const char* source = keyboard.keyNames[key];
        std::memcpy(name.name, source, ::strnlen(source, vse::note_name::kMaxName));
        uint8_t colour[2] = {static_cast<uint8_t>(key), keyColour(type)};
        uint8_t control[2] = {static_cast<uint8_t>(key), keyControlFlag(type)};
        if (!sendNKSHostMessage(host, kKeyMapName, &name, sizeof name)) return accepted;
        ++accepted;
        if (!sendNKSHostMessage(host, kKeyMapColour, colour, sizeof colour)) return accepted;
        ++accepted;
        if (!sendNKSHostMessage(host, kKeyMapControl, control, sizeof control)) return accepted;
        ++accepted;
    }
    return accepted;
}

Steinberg::tresult getNksMetadata(Steinberg::IBStream* stream, uint32_t parameterCount,
                                  const metadata::ParameterLookup& lookup) {
    if (!stream) return Steinberg::kResultFalse;
    // Nothing thrown here may reach the host.
    try {
        const metadata::Metadata model = metadata::buildMetadata(parameterCount, lookup);
        std::vector<uint8_t> bytes;
        if (!metadata::writeVANTOR(model, bytes).isSuccess()) return Steinberg::kResultFalse;
        return metadata::writeMessageToStream(*stream, bytes) ? Steinberg::kResultOk
                                                              : Steinberg::kResultFalse;
    } catch (const std::exception&) {
        return Steinberg::kResultFalse;
    }
}

} // namespace nks
