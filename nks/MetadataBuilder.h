// Building the NKS metadata of the instrument from the engine's own parameter
// descriptions: each described automatable parameter gets a type, a style and
// its discrete values from its value kind and range, and the navigation tree
// comes from the page and performance tables. The edit controller answers an
// NKS host's metadata request with this, validated and serialised.
//
// Discrete parameters of fewer than three values (an integer range 0..1, a
// two-entry list such as "Long|Periodic") are described as toggles: the host
// accepts discrete parameters of 3 to 128 values only, and would otherwise
// refuse the metadata as a whole.
#pragma once

#include "nks/Metadata.h"
#include "vantor/ParameterInfo.h"

#include <cstdint>
#include <functional>

namespace nks::metadata {

// The engine's description of automatable parameter `id`, or null when it has none.
using ParameterLookup = std::function<const vantor::ParameterInfo*(uint32_t id)>;

// The descriptive attributes of one parameter.
parameter_descriptive_info::Attributes describeParameter(const vantor::ParameterInfo& info);

// Descriptive information for ids 0 .. parameterCount - 1 (at most the 65536
// ids of the engine's 16-bit id space; ids without a description or a name
// are left out), then the performance section and the 30 page groups.
Metadata buildMetadata(uint32_t parameterCount, const ParameterLookup& lookup);

} // namespace nks::metadata
