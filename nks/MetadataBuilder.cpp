// From a parameter's value kind and range to its NKS type and style.
#include "nks/MetadataBuilder.h"

#include "nks/PageTable.h"
#include "vantor/PlatformTools.h"

#include <algorithm>
#include <string>
#include <vector>

namespace nks::metadata {
namespace {

using parameter_descriptive_info::Attributes;
using parameter_descriptive_info::Style;
using parameter_descriptive_info::Type;
using vantor::ParameterInfo;

constexpr uint32_t kIdSpace = 0x10000;       // engine ids are 16-bit
constexpr uint32_t kMinDiscreteValues = 3;   // fewer: a toggle
constexpr uint32_t kMaxDiscreteValues = 128; // more: continuous
constexpr Style kStylePlain{0};
constexpr Style kStyleStepped{2};
constexpr Style kStyleCentredToggle{3};
constexpr Style kStyleList{5};

Attributes continuous(float minValue) {
    return {minValue < 0.0f ? Type::continuousBipolar : Type::continuous, kStylePlain,
            Attributes::noValues};
}

Attributes integerRange(const ParameterInfo& info) {
    const float range = info.maxValue - info.minValue;
    // An inverted or unreadable range has no value count: describe it as continuous.
    if (!(range >= 0.0f && range < 128.0f)) return continuous(info.minValue);
    const auto count = static_cast<uint32_t>(range + 1.0f);
    if (count < kMinDiscreteValues) return {Type::toggle, kStylePlain, Attributes::noValues};
    return {info.minValue < 0.0f ? Type::discreteBipolar : Type::discrete, kStyleStepped, count};
}

Attributes list(const ParameterInfo& info) {
    if (!info.list) return {Type::continuous, kStylePlain, Attributes::noValues};
    std::vector<std::string> names;
    PSimpleStringTokenizer(info.list, "|", names);
    // The host takes a list as a discrete parameter; its value count stays 0.
    Type type = Type::discrete;
    Style style = kStyleList;
    if (names.size() < kMinDiscreteValues) {
        type = Type::toggle; // keeps its names
        style = kStylePlain;
    } else if (names.size() > kMaxDiscreteValues) {
        return {Type::continuous, kStylePlain, Attributes::noValues};
    }
    Attributes attributes(type, style, std::move(names));
    attributes.value_count = Attributes::noValues;
    return attributes;
}

} // namespace

Attributes describeParameter(const ParameterInfo& info) {
    switch (info.valueKind) {
    case ParameterInfo::kContinuous:
        return continuous(info.minValue);
    case ParameterInfo::kInteger:
        return integerRange(info);
    case ParameterInfo::kOnOff: {
        const bool centred = info.displayMode == 2 || info.displayMode == 3;
        return {Type::toggle, centred ? kStyleCentredToggle : kStylePlain, Attributes::noValues};
    }
    case ParameterInfo::kList:
        return list(info);
    default:
        return {Type::continuous, kStylePlain, Attributes::noValues};
    }
}

Metadata buildMetadata(uint32_t parameterCount, const ParameterLookup& lookup) {
    Metadata metadata;
    const uint32_t count = std::min(parameterCount, kIdSpace);
    for (uint32_t id = 0; id < count; ++id) {
        const ParameterInfo* info = lookup(id);
        if (!info || !info->label || !*info->label) continue;
        metadata.parameter_descriptive_info.insert_or_assign(id, describeParameter(*info));
    }
    fillPerfWithNKFSInfo(metadata.parameter_navigation.performance_mode);
    fillGroupsWithNKSFInfo(metadata.parameter_navigation.groups);
    return metadata;
}

} // namespace nks::metadata
