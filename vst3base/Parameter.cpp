// Parameters: value conversions and text forms.
#include "vst3base/Parameter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "vst3base/UString.h"

namespace Steinberg::Vst {

namespace {

ParamValue clamp01(ParamValue v) {
    return std::isnan(v) ? 0.0 : std::clamp(v, 0.0, 1.0);
}

// Step index 0..steps of a normalised value: each step owns an equal slice.
int32 toStep(ParamValue v, int32 steps) {
    return std::min(steps, static_cast<int32>(clamp01(v) * (steps + 1)));
}

// Writes UTF-8 text plus optional units into a String128.
void writeText(String128 out, const std::string& text, const TChar* units) {
    std::string full = text;
    if (units && units[0]) full += " " + utf16ToUtf8(units, 128);
    utf8ToUtf16(full.c_str(), out, 128);
}

// Parses the leading number of UTF-16 text; false when there is none.
bool parseNumber(const TChar* string, double& value) {
    if (!string) return false;
    const std::string text = utf16ToUtf8(string, 128);
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end != text.c_str() && std::isfinite(value);
}

} // namespace

Parameter::Parameter() : info_{} {}

Parameter::Parameter(const ParameterInfo& info) : info_(info) {
    valueNormalized_ = clamp01(info.defaultNormalizedValue);
}

Parameter::Parameter(const TChar* title, ParamID id, const TChar* units,
                     ParamValue defaultNormalized, int32 stepCount, int32 flags, UnitID unitId,
                     const TChar* shortTitle)
    : info_{} {
    info_.id = id;
    strcpy16(info_.title, title, 128);
    strcpy16(info_.shortTitle, shortTitle, 128);
    strcpy16(info_.units, units, 128);
    info_.stepCount = std::max(0, stepCount);
    info_.defaultNormalizedValue = clamp01(defaultNormalized);
    info_.unitId = unitId;
    info_.flags = flags;
    valueNormalized_ = info_.defaultNormalizedValue;
}

void Parameter::setTitle(const TChar* title) {
    strcpy16(info_.title, title, 128);
}

bool Parameter::setNormalized(ParamValue v) {
    v = clamp01(v);
    if (v == valueNormalized_) return false;
    valueNormalized_ = v;
    return true;
}

void Parameter::toString(ParamValue valueNormalized, String128 string) const {
    char text[64];
    if (info_.stepCount == 1) {
        writeText(string, clamp01(valueNormalized) > 0.5 ? "On" : "Off", nullptr);
        return;
    }
    if (info_.stepCount > 1)
        std::snprintf(text, sizeof(text), "%d", toStep(valueNormalized, info_.stepCount));
    else
        std::snprintf(text, sizeof(text), "%.*f", precision_, clamp01(valueNormalized));
    writeText(string, text, info_.units);
}

bool Parameter::fromString(const TChar* string, ParamValue& valueNormalized) const {
    if (info_.stepCount == 1 && string) {
        const std::string text = utf16ToUtf8(string, 128);
        if (text == "On") return (valueNormalized = 1.0), true;
        if (text == "Off") return (valueNormalized = 0.0), true;
    }
    double v;
    if (!parseNumber(string, v)) return false;
    valueNormalized = info_.stepCount > 1 ? toNormalized(v) : clamp01(v);
    return true;
}

ParamValue Parameter::toPlain(ParamValue valueNormalized) const {
    if (info_.stepCount > 0) return toStep(valueNormalized, info_.stepCount);
    return clamp01(valueNormalized);
}

ParamValue Parameter::toNormalized(ParamValue plainValue) const {
    if (info_.stepCount > 0) return clamp01(std::round(plainValue) / info_.stepCount);
    return clamp01(plainValue);
}

RangeParameter::RangeParameter(const TChar* title, ParamID id, const TChar* units,
                               ParamValue minPlain, ParamValue maxPlain, ParamValue defaultPlain,
                               int32 stepCount, int32 flags, UnitID unitId, const TChar* shortTitle)
    : Parameter(title, id, units, 0.0, stepCount, flags, unitId, shortTitle), minPlain_(minPlain),
      maxPlain_(maxPlain) {
    info_.defaultNormalizedValue = toNormalized(defaultPlain);
    valueNormalized_ = info_.defaultNormalizedValue;
}

ParamValue RangeParameter::toPlain(ParamValue valueNormalized) const {
    if (info_.stepCount > 0)
        return minPlain_ +
               toStep(valueNormalized, info_.stepCount) * (maxPlain_ - minPlain_) / info_.stepCount;
    return minPlain_ + clamp01(valueNormalized) * (maxPlain_ - minPlain_);
}

ParamValue RangeParameter::toNormalized(ParamValue plainValue) const {
    const ParamValue span = maxPlain_ - minPlain_;
    if (span == 0.0) return 0.0;
    const ParamValue v = clamp01((plainValue - minPlain_) / span);
    if (info_.stepCount > 0) return std::round(v * info_.stepCount) / info_.stepCount;
    return v;
}

void RangeParameter::toString(ParamValue valueNormalized, String128 string) const {
    char text[64];
    if (info_.stepCount > 0)
        std::snprintf(text, sizeof(text), "%.0f", toPlain(valueNormalized));
    else
        std::snprintf(text, sizeof(text), "%.*f", precision_, toPlain(valueNormalized));
    writeText(string, text, info_.units);
}

bool RangeParameter::fromString(const TChar* string, ParamValue& valueNormalized) const {
    double v;
    if (!parseNumber(string, v)) return false;
    valueNormalized = toNormalized(v);
    return true;
}

StringListParameter::StringListParameter(const TChar* title, ParamID id, const TChar* units,
                                         int32 flags, UnitID unitId, const TChar* shortTitle)
    : Parameter(title, id, units, 0.0, 0, flags, unitId, shortTitle) {}

void StringListParameter::appendString(const TChar* string) {
    strings_.emplace_back(string ? string : u"");
    info_.stepCount = static_cast<int32>(strings_.size()) - 1;
}

bool StringListParameter::replaceString(int32 index, const TChar* string) {
    if (index < 0 || index >= getStringCount()) return false;
    strings_[static_cast<size_t>(index)] = string ? string : u"";
    return true;
}

void StringListParameter::toString(ParamValue valueNormalized, String128 string) const {
    if (strings_.empty()) {
        string[0] = 0;
        return;
    }
    const auto index = static_cast<size_t>(toPlain(valueNormalized));
    strcpy16(string, strings_[index].c_str(), 128);
}

bool StringListParameter::fromString(const TChar* string, ParamValue& valueNormalized) const {
    if (!string) return false;
    const std::u16string text(string, static_cast<size_t>(strlen16(string, 128)));
    for (size_t i = 0; i < strings_.size(); ++i) {
        if (strings_[i] == text) {
            valueNormalized = toNormalized(static_cast<ParamValue>(i));
            return true;
        }
    }
    return false;
}

ParamValue StringListParameter::toPlain(ParamValue valueNormalized) const {
    if (info_.stepCount <= 0) return 0.0;
    return toStep(valueNormalized, info_.stepCount);
}

ParamValue StringListParameter::toNormalized(ParamValue plainValue) const {
    if (info_.stepCount <= 0) return 0.0;
    return clamp01(std::round(plainValue) / info_.stepCount);
}

} // namespace Steinberg::Vst
