// Serialising NKS metadata for the host: the metadata becomes one MessagePack
// map {"version": 1, "parameter_descriptive_info": {id: {"type", "style",
// "value_count", "display_values"}}, "parameter_navigation":
// {"performance_mode": [section], "groups": [{"name", "sections": [section]}]}},
// a section being {"name", "parameters": [{"id", "name"}]}. Every map is
// unordered (a reader finds entries by key); arrays keep the model's order.
// Metadata is only written once it passes validation.
#pragma once

#include "nks/Metadata.h"
#include "nks/PMsgpack.h"
#include "nks/Result.h"

#include <cstdint>
#include <limits>
#include <vector>

namespace nks::metadata {

// The string-keyed map of one navigation section.
pmsgval populateSection(const parameter_navigation::Section& section);

// Appends the whole message for `metadata` to `out`.
void STRUCT2MESSAGE(std::vector<uint8_t>& out, const Metadata& metadata);

// Validates; only on success appends the message. Returns the validation result.
Result writeVANTOR(const Metadata& metadata, std::vector<uint8_t>& out);

// Hands the whole message to a host stream in one write call. True only when
// the stream reports success and, where it reports a byte count, took every
// byte. `Stream` has the host stream's write(buffer, count, count written*)
// returning 0 on success.
template <class Stream>
bool writeMessageToStream(Stream& stream, const std::vector<uint8_t>& bytes) {
    if (bytes.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return false;
    const auto size = static_cast<int32_t>(bytes.size());
    int32_t written = -1; // left as it is by a stream that does not count
    const auto status = stream.write(const_cast<uint8_t*>(bytes.data()), size, &written);
    return status == 0 && (written == -1 || written == size);
}

} // namespace nks::metadata
