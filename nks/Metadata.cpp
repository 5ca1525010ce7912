// The model's shared constants: the empty navigation slot and the standard
// display-value names.
#include "nks/Metadata.h"

namespace nks::metadata {
inline namespace v1 {

namespace parameter_descriptive_info {

Attributes::Attributes(Type type, Style style, std::vector<std::string> displayValues)
    : type(type), style(style), value_count(static_cast<uint32_t>(displayValues.size())),
      display_values(std::move(displayValues)) {}

namespace display_values {
namespace waveform {
const std::string defaultWaveform = "default";
const std::string sine = "sine";
const std::string square = "square";
const std::string square2 = "square2";
const std::string square3 = "square3";
const std::string square4 = "square4";
const std::string triangle = "triangle";
const std::string triangle2 = "triangle2";
const std::string triangle3 = "triangle3";
const std::string triangle4 = "triangle4";
const std::string saw = "saw";
const std::string saw2 = "saw2";
const std::string saw3 = "saw3";
const std::string saw4 = "saw4";
const std::string noise = "noise";
const std::string pwm = "pwm";
const std::string wavetable = "wavetable";
const std::string wavetable2 = "wavetable2";
const std::string wavetable3 = "wavetable3";
const std::string wavetable4 = "wavetable4";
const std::string complex = "complex";
} // namespace waveform
namespace filter_type {
const std::string defaultFilterType = "default";
const std::string hiPass = "hi_pass";
const std::string resonantHiPass = "resonant_hi_pass";
const std::string loPass = "lo_pass";
const std::string resonantLoPass = "resonant_lo_pass";
const std::string bandPass = "band_pass";
const std::string allPass = "all_pass";
const std::string bell = "bell";
const std::string propQ = "prop_q";
const std::string bandShelf = "band_shelf";
const std::string analogLoShelf = "analog_lo_shelf";
const std::string analogHiShelf = "analog_hi_shelf";
const std::string baxandallLoShelf = "baxandall_lo_shelf";
const std::string baxandallHiShelf = "baxandall_hi_shelf";
const std::string comb = "comb";
const std::string bandReject = "band_reject";
} // namespace filter_type
} // namespace display_values

} // namespace parameter_descriptive_info

namespace parameter_navigation {
const Parameter Section::noParameter = {Parameter::invalidId, ""};
} // namespace parameter_navigation

} // namespace v1
} // namespace nks::metadata
