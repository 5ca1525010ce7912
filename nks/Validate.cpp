// The validation rules. Each descriptive-information rule is a predicate over
// one (id, attributes) entry and a builder of its message; the attribute map is
// walked in its own iteration order, rule after rule.
#include "nks/Validate.h"

namespace nks::metadata {
namespace {

using parameter_descriptive_info::Attributes;
using parameter_descriptive_info::Type;
using parameter_navigation::Parameter;
using parameter_navigation::Section;
using utilities::stringFormat;

int typeOf(const Attributes& a) {
    return static_cast<int>(a.type);
}
int styleOf(const Attributes& a) {
    return static_cast<int>(a.style);
}
bool isDiscrete(const Attributes& a) {
    return a.type == Type::discrete || a.type == Type::discreteBipolar;
}
int displayCount(const Attributes& a) {
    return static_cast<int>(a.display_values.size());
}

// Styles 0 and 2 fit every type; any other must belong to its type's set.
bool invalidStyle(const Attributes& a) {
    const int style = styleOf(a);
    if (style == 0 || style == 2) return false;
    switch (typeOf(a)) {
    case 0:
    case 1:
        return style != 1;
    case 2:
        return style != 3 && style != 4;
    case 3:
        return style < 5 || style > 7;
    default:
        return true;
    }
}

bool hasNoValueCount(const Attributes& a) {
    return isDiscrete(a) && a.value_count == 0 && a.display_values.empty();
}

bool hasInconsistentValueCount(const Attributes& a) {
    return isDiscrete(a) && a.value_count != 0 && !a.display_values.empty() &&
           a.display_values.size() != a.value_count;
}

bool violatesDiscreteLowerBound(const Attributes& a) {
    return isDiscrete(a) && (a.value_count == 1 || a.value_count == 2 ||
                             (!a.display_values.empty() && a.display_values.size() < 3));
}

bool violatesDiscreteUpperBound(const Attributes& a) {
    return isDiscrete(a) && (a.value_count > 128 || a.display_values.size() > 128);
}

bool missingDisplayValuesForIconStyle(const Attributes& a) {
    return (styleOf(a) == 6 || styleOf(a) == 7) && a.display_values.empty();
}

struct AttributeRule {
    Result::Id id;
    bool (*broken)(const Attributes&);
    std::string (*message)(int id, const Attributes&);
};

const AttributeRule kAttributeRules[] = {
    {Result::invalidStyle, invalidStyle,
     [](int id, const Attributes& a) {
         return stringFormat("Parameter Descriptive Information: Attributes for parameter id '%d' "
                             "define an incompatible style '%d' for the given parameter type '%d'",
                             id, styleOf(a), typeOf(a));
     }},
    {Result::noValueCount, hasNoValueCount,
     [](int id, const Attributes&) {
         return stringFormat("Parameter Descriptive Information: Attributes for parameter id '%d' "
                             "define it as a discrete parameter type, but 'display values' is "
                             "empty and 'value count' is set to `0`",
                             id);
     }},
    {Result::inconsistentValueCount, hasInconsistentValueCount,
     [](int id, const Attributes& a) {
         return stringFormat("Parameter Descriptive Information: Attributes for parameter id '%d' "
                             "define a 'value count' '%d' that does not match the defined 'display "
                             "values' size '%d'",
                             id, static_cast<int>(a.value_count), displayCount(a));
     }},
    {Result::discreteLowerBound, violatesDiscreteLowerBound,
     [](int id, const Attributes& a) {
         return stringFormat(
             "Parameter Descriptive Information: Attributes for parameter id '%d' define a 'value "
             "count' of '%d' and 'display values' of size '%d' of which at least one is less than "
             "'3'. Please consider either using a toggle parameter type instead or increasing the "
             "defined 'value count'/'display values'",
             id, static_cast<int>(a.value_count), displayCount(a));
     }},
    {Result::discreteUpperBound, violatesDiscreteUpperBound,
     [](int id, const Attributes& a) {
         return stringFormat(
             "Parameter Descriptive Information: Attributes for parameter id '%d' define a 'value "
             "count' of '%d' and 'display values' of size '%d' of which at least one is greater "
             "than '128'. Please consider either using a toggle parameter type instead or "
             "increasing the defined 'valuecount'/'display values'",
             id, static_cast<int>(a.value_count), displayCount(a));
     }},
    {Result::missingDisplayValuesForIconStyle, missingDisplayValuesForIconStyle,
     [](int id, const Attributes& a) {
         return stringFormat("Parameter Descriptive Information: Attribute for parameter id '%d' "
                             "defines style '%d' but no display values",
                             id, styleOf(a));
     }},
};

bool hasValidParameter(const Section& section) {
    for (const Parameter& p : section.parameters)
        if (p.id != Parameter::invalidId) return true;
    return false;
}

Result validateNavigation(const parameter_navigation::Data& navigation) {
    if (navigation.performance_mode.empty())
        return {Result::performanceModeUndefined,
                "Parameter navigation: The Performance Mode is undefined"};

    for (size_t g = 0; g < navigation.groups.size(); ++g)
        if (navigation.groups[g].name.empty())
            return {Result::groupNameUndefined,
                    stringFormat("Parameter navigation: Undefined name for group at index '%d' "
                                 "(0-based)",
                                 static_cast<int>(g))};

    for (size_t s = 0; s < navigation.performance_mode.size(); ++s) {
        const Section& section = navigation.performance_mode[s];
        if (section.name.empty())
            return {Result::sectionNameUndefined,
                    stringFormat("Parameter navigation: Undefined name for section at index '%d' "
                                 "(0-based) in Performance Mode",
                                 static_cast<int>(s))};
        if (!hasValidParameter(section))
            return {Result::sectionWithoutValidParameter,
                    stringFormat("Parameter navigation: Section '%s' in Performance Mode does not "
                                 "define any parameter with a valid id",
                                 section.name.c_str())};
    }

    for (const parameter_navigation::Group& group : navigation.groups) {
        for (size_t s = 0; s < group.sections.size(); ++s) {
            const Section& section = group.sections[s];
            if (section.name.empty())
                return {Result::sectionNameUndefined,
                        stringFormat("Parameter navigation: Undefined name for section at index "
                                     "'%d' (0-based) of group '%s'",
                                     static_cast<int>(s), group.name.c_str())};
            if (!hasValidParameter(section))
                return {Result::sectionWithoutValidParameter,
                        stringFormat("Parameter navigation: Section '%s' in group '%s' does not "
                                     "define any parameter with a valid id",
                                     section.name.c_str(), group.name.c_str())};
        }
    }
    return {};
}

} // namespace

Result validate(const Metadata& metadata) {
    for (const AttributeRule& rule : kAttributeRules)
        for (const auto& [id, attributes] : metadata.parameter_descriptive_info)
            if (rule.broken(attributes))
                return {rule.id, rule.message(static_cast<int>(id), attributes)};
    return validateNavigation(metadata.parameter_navigation);
}

} // namespace nks::metadata
