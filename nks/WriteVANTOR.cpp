// Turns the metadata model into a tree of MessagePack values, built in full
// before the first byte is written.
#include "nks/WriteVANTOR.h"

#include "nks/KeyValuePair.h"
#include "nks/Validate.h"

namespace nks::metadata {
namespace {

namespace ti = type_identifier;
template <class Identifier> const std::string& key() {
    return KeyValuePair<uint32_t, Identifier>::key();
}

pmsgval populateAttributes(const parameter_descriptive_info::Attributes& a) {
    return PMsgStringMap{
        {KeyValuePair<uint8_t, ti::PDIType>::key(), pmsgval(uint32_t(a.type))},
        {KeyValuePair<uint8_t, ti::PDIStyle>::key(), pmsgval(uint32_t(a.style))},
        {key<ti::PDIValueCount>(), pmsgval(a.value_count)},
        {key<ti::PDIDisplayValues>(), pmsgval(a.display_values)},
    };
}

PMsgArray populateSections(const std::vector<parameter_navigation::Section>& sections) {
    PMsgArray list;
    list.reserve(sections.size());
    for (const auto& section : sections) list.push_back(populateSection(section));
    return list;
}

} // namespace

pmsgval populateSection(const parameter_navigation::Section& section) {
    PMsgArray parameters;
    parameters.reserve(section.parameters.size());
    for (const auto& p : section.parameters)
        parameters.emplace_back(PMsgStringMap{
            {key<ti::ParameterId>(), pmsgval(p.id)},
            {key<ti::NavigationParameterName>(), pmsgval(p.name)},
        });
    return PMsgStringMap{
        {key<ti::NavigationSectionName>(), pmsgval(section.name)},
        {key<ti::NavigationParameters>(), pmsgval(std::move(parameters))},
    };
}

void STRUCT2MESSAGE(std::vector<uint8_t>& out, const Metadata& metadata) {
    PMsgIntMap attributes;
    for (const auto& [id, a] : metadata.parameter_descriptive_info)
        attributes.emplace(id, populateAttributes(a));

    PMsgArray groups;
    for (const auto& group : metadata.parameter_navigation.groups)
        groups.emplace_back(PMsgStringMap{
            {key<ti::NavigationGroupName>(), pmsgval(group.name)},
            {key<ti::NavigationSections>(), pmsgval(populateSections(group.sections))},
        });

    const pmsgval message(PMsgStringMap{
        {key<ti::Version>(), pmsgval(1u)},
        {key<ti::PDIAttributesMap>(), pmsgval(std::move(attributes))},
        {key<ti::NavigationData>(),
         pmsgval(PMsgStringMap{
             {key<ti::NavigationPerformanceMode>(),
              pmsgval(populateSections(metadata.parameter_navigation.performance_mode))},
             {key<ti::NavigationGroups>(), pmsgval(std::move(groups))},
         })},
    });
    pmsgpack_push(out, message);
}

Result writeVANTOR(const Metadata& metadata, std::vector<uint8_t>& out) {
    Result result = validate(metadata);
    if (result.isSuccess()) STRUCT2MESSAGE(out, metadata);
    return result;
}

} // namespace nks::metadata
