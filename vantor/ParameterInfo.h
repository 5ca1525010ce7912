// One automatable parameter's description, shared by both deliverables and the
// engine host. The record crosses between them as raw memory, so its 64-byte
// little-endian layout is fixed (see the static_asserts below).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vantor {

// Packed so that `displayFormat` sits unaligned at byte 52; the record itself is
// 8-byte aligned so that every other field is naturally aligned (also inside
// containers). Read `displayFormat` by value: never bind a reference to it.
#pragma pack(push, 1)
class alignas(8) ParameterInfo {
public:
    static constexpr uint32_t kMagic = 2121;

    // Value kinds.
    enum : uint32_t { kContinuous = 0, kInteger = 1, kOnOff = 2, kList = 3 };

    // Bits of `flags` (byte 12) as the synth framework uses them.
    enum : uint8_t {
        kFlagHost1 = 0x01,         // offered to the host
        kFlagHost2 = 0x02,         // offered to the host
        kFlagInverted = 0x08,      // host values arrive inverted (stored as max - value)
        kFlagPerVoice = 0x10,      // one action per voice
        kFlagStepRetrigger = 0x20, // "STEP" sources run in retrigger form
        kFlagZoneRoutes = 0x40,    // routes go only to the parts of the zone mask
    };
    // Bits of `mathFlags` (byte 13).
    enum : uint8_t {
        kMathReplace = 0x01,
        kMathOffset = 0x02,
        kMathAccum = 0x04,
        kMathScale = 0x08,
        kMathSpecial = 0x80, // routes need the controller's special handling
    };

    ParameterInfo();
    ParameterInfo(const char* label, uint32_t valueKind, float minValue, float maxValue,
                  float defaultValue, uint8_t mathFlags, uint16_t modFlags);
    ParameterInfo(const ParameterInfo& other);
    ParameterInfo& operator=(const ParameterInfo& other);
    ~ParameterInfo();

    void setLabel(const char* text);
    void setList(const char* text);
    void setDisplayFormat(const char* text);
    void clearLabel();
    void clearList();
    void clearDisplayFormat();
    void resetEverythingButLabel();
    void reset();

    void pack01(float& value) const;
    void unpack01(float& value) const;
    void pack(float& value) const;
    void unpack(float& value) const;

    void toString(char* buffer, float value, size_t size) const;

    static uint32_t getDisplayModeFromText(const char* keyword);
    static void listMathFlags(std::vector<uint8_t>& out);
    static void getMathFlagName(uint8_t flag, std::string& name);
    static void listModFlags(std::vector<uint16_t>& out);
    static char* safeAllocCopyString(const char* text);

    // Binary layout: do not reorder.
    uint32_t magic;
    uint32_t valueKind;
    uint32_t displayMode;
    uint8_t flags;     // byte 12
    uint8_t mathFlags; // byte 13
    uint16_t modFlags;
    float minValue;
    float maxValue;
    float defaultValue;
    float factor; // display factor; on value of an on/off parameter
    char* label;
    char* list;
    uint16_t id;         // id in the table that holds the record; 0xFFFF = none
    uint16_t layerMask;  // bit n-1 for layer n; 0xFFFF = unset
    char* displayFormat; // unaligned
    float offset;        // display offset; off value of an on/off parameter

private:
    void setDefaults();
};
#pragma pack(pop)

static_assert(sizeof(ParameterInfo) == 64);
static_assert(alignof(ParameterInfo) == 8);
static_assert(offsetof(ParameterInfo, magic) == 0);
static_assert(offsetof(ParameterInfo, valueKind) == 4);
static_assert(offsetof(ParameterInfo, displayMode) == 8);
static_assert(offsetof(ParameterInfo, flags) == 12);
static_assert(offsetof(ParameterInfo, mathFlags) == 13);
static_assert(offsetof(ParameterInfo, modFlags) == 14);
static_assert(offsetof(ParameterInfo, minValue) == 16);
static_assert(offsetof(ParameterInfo, maxValue) == 20);
static_assert(offsetof(ParameterInfo, defaultValue) == 24);
static_assert(offsetof(ParameterInfo, factor) == 28);
static_assert(offsetof(ParameterInfo, label) == 32);
static_assert(offsetof(ParameterInfo, list) == 40);
static_assert(offsetof(ParameterInfo, id) == 48);
static_assert(offsetof(ParameterInfo, layerMask) == 50);
static_assert(offsetof(ParameterInfo, displayFormat) == 52);
static_assert(offsetof(ParameterInfo, offset) == 60);

using ParameterInfoMap = std::map<uint16_t, ParameterInfo>;
void mergeParamInfo(ParameterInfoMap& target, const ParameterInfoMap& source);

} // namespace vantor
