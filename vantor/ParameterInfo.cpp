#include "vantor/ParameterInfo.h"

#include "vantor/PMIDI.h"
#include "vantor/PlatformTools.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace vantor {

namespace {

constexpr size_t kMaxDisplayFormat = 512; // display formats must be shorter than this

// Reads the decimal digits at `p`, saturating at `cap`.
size_t readCount(const char*& p, size_t cap) {
    size_t n = 0;
    for (; *p >= '0' && *p <= '9'; ++p) n = n >= cap ? cap : n * 10 + size_t(*p - '0');
    return n;
}

// Display formats are printed with one double argument into a buffer of
// `size` bytes. Only formats that consume at most one floating-point
// conversion (plus any "%%") are safe to hand to printf; anything else would
// read arguments that were never passed. A width or precision that could not
// fit in the buffer is refused too: printf would still produce every digit
// ("%.999999999f" asks for gigabytes, "%999999999f" takes seconds).
bool isSafeDoubleFormat(const char* format, size_t size) {
    int conversions = 0;
    for (const char* p = format; *p; ++p) {
        if (*p != '%') continue;
        ++p;
        if (*p == '%') continue;
        while (*p && std::strchr("-+ #0", *p)) ++p;
        if (readCount(p, size) >= size) return false;
        if (*p == '.') {
            ++p;
            if (readCount(p, size) >= size) return false;
        }
        if (*p == 'l') ++p;
        if (!*p || !std::strchr("fFeEgGaA", *p)) return false;
        if (++conversions > 1) return false;
    }
    return true;
}

void printValue(char* buffer, size_t size, const char* format, float x, float shown) {
    if (format && isSafeDoubleFormat(format, size))
        snprintf(buffer, size, format, static_cast<double>(shown));
    else
        snprintf(buffer, size, "%f", static_cast<double>(x));
}

} // namespace

ParameterInfo::ParameterInfo() : label(nullptr), list(nullptr), displayFormat(nullptr) {
    setDefaults();
}

ParameterInfo::ParameterInfo(const char* labelText, uint32_t kind, float minV, float maxV,
                             float defaultV, uint8_t math, uint16_t mod)
    : label(nullptr), list(nullptr), displayFormat(nullptr) {
    setDefaults();
    valueKind = kind;
    minValue = minV;
    maxValue = maxV;
    defaultValue = defaultV;
    mathFlags = math;
    modFlags = mod;
    setLabel(labelText);
}

ParameterInfo::ParameterInfo(const ParameterInfo& other)
    : label(nullptr), list(nullptr), displayFormat(nullptr) {
    setDefaults();
    *this = other;
}

ParameterInfo& ParameterInfo::operator=(const ParameterInfo& other) {
    if (this == &other) return *this;
    magic = other.magic;
    valueKind = other.valueKind;
    displayMode = other.displayMode;
    flags = other.flags;
    mathFlags = other.mathFlags;
    modFlags = other.modFlags;
    minValue = other.minValue;
    maxValue = other.maxValue;
    defaultValue = other.defaultValue;
    factor = other.factor;
    setLabel(other.label);
    setList(other.list);
    id = other.id;
    layerMask = other.layerMask;
    setDisplayFormat(other.displayFormat);
    offset = other.offset;
    return *this;
}

ParameterInfo::~ParameterInfo() {
    clearLabel();
    clearList();
    clearDisplayFormat();
}

// Every field but the three texts; the caller owns what they point to.
void ParameterInfo::setDefaults() {
    magic = kMagic;
    valueKind = kContinuous;
    displayMode = 0;
    flags = 0;
    mathFlags = 0;
    modFlags = 0;
    minValue = 0.0f;
    maxValue = 1.0f;
    defaultValue = 0.0f;
    factor = 1.0f;
    id = 0xFFFF;
    layerMask = 0xFFFF;
    offset = 0.0f;
}

char* ParameterInfo::safeAllocCopyString(const char* text) {
    if (!text || *text == 0) return nullptr;
    const size_t n = std::strlen(text) + 1;
    char* copy = new char[n];
    std::memcpy(copy, text, n);
    return copy;
}

void ParameterInfo::setLabel(const char* text) {
    char* copy = safeAllocCopyString(text); // copy first: `text` may be our own label
    clearLabel();
    label = copy;
}

void ParameterInfo::setList(const char* text) {
    std::vector<std::string> items;
    if (text && *text) PSimpleStringTokenizer(text, "|", items);
    // Copy before releasing: `text` may be our own list.
    char* copy = items.size() >= 2 ? safeAllocCopyString(text) : nullptr;
    clearList();
    if (copy) {
        minValue = 0.0f;
        maxValue = static_cast<float>(items.size() - 1);
        list = copy;
    }
}

void ParameterInfo::setDisplayFormat(const char* text) {
    char* copy = nullptr;
    if (text && strnlen(text, kMaxDisplayFormat) < kMaxDisplayFormat)
        copy = safeAllocCopyString(text);
    clearDisplayFormat();
    displayFormat = copy;
}

void ParameterInfo::clearLabel() {
    delete[] label;
    label = nullptr;
}

void ParameterInfo::clearList() {
    delete[] list;
    list = nullptr;
}

void ParameterInfo::clearDisplayFormat() {
    delete[] displayFormat;
    displayFormat = nullptr;
}

void ParameterInfo::resetEverythingButLabel() {
    clearList();
    clearDisplayFormat();
    setDefaults();
}

void ParameterInfo::reset() {
    resetEverythingButLabel();
    clearLabel();
}

// ---- Conversions -------------------------------------------------------------

void ParameterInfo::pack01(float& value) const {
    switch (valueKind) {
    case kContinuous:
    case kInteger:
    case kList:
    case 4:
    case 5: {
        const float range = maxValue - minValue;
        if (range > 0.0f) value = (value - minValue) / range;
        break;
    }
    case kOnOff:
        value = (value == offset) ? 0.0f : 1.0f;
        break;
    default:
        break;
    }
}

void ParameterInfo::unpack01(float& value) const {
    const float range = maxValue - minValue;
    switch (valueKind) {
    case kContinuous:
    case 4:
    case 5:
        if (range > 0.0f) value = minValue + range * value;
        break;
    case kInteger:
    case kList:
        if (range > 0.0f) value = minValue + std::trunc(std::floor(range * value + 0.5f));
        break;
    case kOnOff:
        value = (value == 0.0f) ? offset : factor;
        break;
    default:
        break;
    }
}

void ParameterInfo::pack(float& value) const {
    if (valueKind == kOnOff) pack01(value);
}

void ParameterInfo::unpack(float& value) const {
    if (valueKind == kOnOff) unpack01(value);
}

// ---- Display -----------------------------------------------------------------

void ParameterInfo::toString(char* buffer, float x, size_t size) const {
    if (!buffer || size == 0) return;
    switch (displayMode) {
    case 0:
        switch (valueKind) {
        case kInteger:
            snprintf(buffer, size, "%d", PSaturateToInt32(std::floor(x + 0.5)));
            break;
        case kOnOff:
            snprintf(buffer, size, "%s", x == 0.0f ? "False" : "True");
            break;
        case kList: {
            const int32_t index = PSaturateToInt32(std::floor(x + 0.5));
            if (!list) { // no choices to show: the step number instead
                snprintf(buffer, size, "%d", index);
                break;
            }
            std::vector<std::string> items;
            PSimpleStringTokenizer(list, "|", items);
            if (index >= 0 && static_cast<size_t>(index) < items.size())
                snprintf(buffer, size, "%s", items[index].c_str());
            break;
        }
        case kContinuous:
        case 4:
        case 5:
            snprintf(buffer, size, "%f", static_cast<double>(x));
            break;
        default:
            break;
        }
        break;
    case 1:
        printValue(buffer, size, displayFormat, x, (x + offset) * factor);
        break;
    case 2:
        snprintf(buffer, size, "%s", x < 0.5f ? "Off" : "On");
        break;
    case 3:
        snprintf(buffer, size, "%s", x == 0.0f ? "Off" : "On");
        break;
    case 4:
        if (x < 0.49f)
            snprintf(buffer, size, "%3.f%% L", std::fabs((x - 0.5) * 200.0));
        else if (x > 0.51f)
            snprintf(buffer, size, "%3.f%% R", (x - 0.5) * 200.0);
        else
            snprintf(buffer, size, "C");
        break;
    case 5:
        if (x < 1e-6f)
            snprintf(buffer, size, "-oo dB");
        else if (x == 1.0f)
            snprintf(buffer, size, "0 dB");
        else
            snprintf(buffer, size, "%+3.f dB", static_cast<double>(20.0f * std::log10(x)));
        break;
    case 6:
        if (x < 1e-6f)
            snprintf(buffer, size, "-oo dB");
        else if (x > 0.99999f)
            snprintf(buffer, size, "0 dB");
        else
            snprintf(buffer, size, "%+3.f dB", static_cast<double>(20.0f * std::log10(x * x)));
        break;
    case 7:
        snprintf(buffer, size, "%03d", PDowngradeToMIDI7(x));
        break;
    case 8:
        snprintf(buffer, size, "%05d", PDowngradeToMIDI14(x));
        break;
    case 9: {
        std::vector<std::string> items;
        if (displayFormat) PSimpleStringTokenizer(displayFormat, "|", items);
        const size_t n = items.size();
        if (n < 2) {
            snprintf(buffer, size, "%f", static_cast<double>(x));
            break;
        }
        int32_t i = PSaturateToInt32(std::floor(static_cast<float>(n) * x + 0.5f));
        if (i < 0) i = 0;
        if (static_cast<size_t>(i) >= n) i = static_cast<int32_t>(n - 1);
        snprintf(buffer, size, "%s", items[i].c_str());
        break;
    }
    case 10:
        snprintf(buffer, size, "%s", x == offset ? "Off" : "On");
        break;
    case 11:
        printValue(buffer, size, displayFormat, x, x * factor + offset);
        break;
    case 12:
        snprintf(buffer, size, "%s", displayFormat ? displayFormat : "");
        break;
    default:
        break;
    }
}

uint32_t ParameterInfo::getDisplayModeFromText(const char* keyword) {
    static const struct {
        const char* text;
        uint32_t mode;
    } kModes[] = {
        {"cformat", 1},          {"cformatoffsetfactor", 1},
        {"onoffcenter", 2},      {"onoffzero", 3},
        {"stereopan", 4},        {"linear2db", 5},
        {"linear2dbconcave", 6}, {"float2midi7", 7},
        {"float2midi14", 8},     {"list", 9},
        {"onoffvalue", 10},      {"cformatfactoroffset", 11},
        {"fixedstring", 12},
    };
    if (!keyword) return 0;
    for (const auto& m : kModes)
        if (std::strcmp(keyword, m.text) == 0) return m.mode;
    return 0;
}

// ---- Flags -------------------------------------------------------------------

void ParameterInfo::listMathFlags(std::vector<uint8_t>& out) {
    for (uint8_t f : {kMathReplace, kMathOffset, kMathAccum, kMathScale}) out.push_back(f);
}

void ParameterInfo::getMathFlagName(uint8_t flag, std::string& name) {
    switch (flag) {
    case kMathReplace:
        name = "Replace";
        break;
    case kMathOffset:
        name = "Offset";
        break;
    case kMathAccum:
        name = "Accum";
        break;
    case kMathScale:
        name = "Scale";
        break;
    default:
        break;
    }
}

void ParameterInfo::listModFlags(std::vector<uint16_t>& out) {
    for (uint16_t bit = 1; bit <= 0x400; bit = static_cast<uint16_t>(bit << 1)) out.push_back(bit);
}

void mergeParamInfo(ParameterInfoMap& target, const ParameterInfoMap& source) {
    for (const auto& [id, info] : source) target[id] = info;
}

} // namespace vantor
