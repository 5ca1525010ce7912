// The map keys of the NKS metadata message. Each field of the message is named
// by a type identifier; `KeyValuePair<T, Identifier>::key()` gives the text the
// field is stored under, whatever the C++ type that carries the value (the
// type and style fields exist as enumeration and as raw byte, with one key).
#pragma once

#include <string>

namespace nks::metadata {

namespace type_identifier {
struct Version {};
struct ParameterId {};
struct PDIType {};
struct PDIStyle {};
struct PDIValueCount {};
struct PDIDisplayValues {};
struct PDIAttributesMap {};
struct NavigationParameterName {};
struct NavigationSectionName {};
struct NavigationParameters {};
struct NavigationGroupName {};
struct NavigationSections {};
struct NavigationPerformanceMode {};
struct NavigationGroups {};
struct NavigationData {};
} // namespace type_identifier

namespace detail {
template <class Identifier> struct KeyText;
#define NKS_METADATA_KEY(identifier, text)                                                         \
    template <> struct KeyText<type_identifier::identifier> {                                      \
        static constexpr const char* value = text;                                                 \
    }
NKS_METADATA_KEY(Version, "version");
NKS_METADATA_KEY(ParameterId, "id");
NKS_METADATA_KEY(PDIType, "type");
NKS_METADATA_KEY(PDIStyle, "style");
NKS_METADATA_KEY(PDIValueCount, "value_count");
NKS_METADATA_KEY(PDIDisplayValues, "display_values");
NKS_METADATA_KEY(PDIAttributesMap, "parameter_descriptive_info");
NKS_METADATA_KEY(NavigationParameterName, "name");
NKS_METADATA_KEY(NavigationSectionName, "name");
NKS_METADATA_KEY(NavigationParameters, "parameters");
NKS_METADATA_KEY(NavigationGroupName, "name");
NKS_METADATA_KEY(NavigationSections, "sections");
NKS_METADATA_KEY(NavigationPerformanceMode, "performance_mode");
NKS_METADATA_KEY(NavigationGroups, "groups");
NKS_METADATA_KEY(NavigationData, "parameter_navigation");
#undef NKS_METADATA_KEY
} // namespace detail

template <class T, class Identifier> struct KeyValuePair {
    // The field's key, built once.
    static const std::string& key() {
        static const std::string text = detail::KeyText<Identifier>::value;
        return text;
    }

    T value{};
};

} // namespace nks::metadata
