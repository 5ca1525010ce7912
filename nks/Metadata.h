// The NKS parameter metadata an NKS host asks the instrument for, in the
// host's own model: per parameter a type, a display style and its discrete
// values ("parameter descriptive info"), and a navigation tree of pages
// ("parameter navigation": groups of named sections of up to eight
// parameters, plus the sections of the host's performance mode).
//
// Types: 0 continuous, 1 continuous with a negative minimum, 2 toggle,
// 3 discrete, 4 discrete with a negative minimum. Styles 0 to 7 refine how the
// host draws a value; which style fits which type is a validation rule, and
// styles 6 and 7 are icon styles that need display values. A parameter id of
// 0xFFFFFFFF marks an empty slot on a page.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace nks::metadata {
inline namespace v1 {

namespace parameter_descriptive_info {

enum class Type : uint8_t {
    continuous = 0,
    continuousBipolar = 1, // continuous with a negative minimum
    toggle = 2,
    discrete = 3,
    discreteBipolar = 4, // discrete with a negative minimum
};

// Display style 0..7, by number.
enum class Style : uint8_t {};

struct Attributes {
    static constexpr uint32_t noValues = 0;

    Attributes(Type type, Style style, uint32_t valueCount)
        : type(type), style(style), value_count(valueCount) {}
    // Takes over the list; the value count becomes its length.
    Attributes(Type type, Style style, std::vector<std::string> displayValues);

    bool operator==(const Attributes&) const = default;

    Type type;
    Style style;
    uint32_t value_count;
    std::vector<std::string> display_values;
};

using AttributesMap = std::unordered_map<uint32_t, Attributes>;

// Standard display-value names the host knows.
namespace display_values {
namespace waveform {
extern const std::string defaultWaveform, sine, square, square2, square3, square4, triangle,
    triangle2, triangle3, triangle4, saw, saw2, saw3, saw4, noise, pwm, wavetable, wavetable2,
    wavetable3, wavetable4, complex;
} // namespace waveform
namespace filter_type {
extern const std::string defaultFilterType, hiPass, resonantHiPass, loPass, resonantLoPass,
    bandPass, allPass, bell, propQ, bandShelf, analogLoShelf, analogHiShelf, baxandallLoShelf,
    baxandallHiShelf, comb, bandReject;
} // namespace filter_type
} // namespace display_values

} // namespace parameter_descriptive_info

namespace parameter_navigation {

struct Parameter {
    static constexpr uint32_t invalidId = 0xFFFFFFFF;

    bool operator==(const Parameter&) const = default;

    uint32_t id = invalidId;
    std::string name;
};

struct Section {
    static const Parameter noParameter; // an empty slot: id 0xFFFFFFFF, no name

    bool operator==(const Section&) const = default;

    std::string name;
    std::vector<Parameter> parameters;
};

struct Group {
    bool operator==(const Group&) const = default;

    std::string name;
    std::vector<Section> sections;
};

struct Data {
    bool operator==(const Data&) const = default;

    std::vector<Section> performance_mode;
    std::vector<Group> groups;
};

} // namespace parameter_navigation

// The whole message content; its serialised version is always 1.
struct Metadata {
    ::nks::metadata::v1::parameter_descriptive_info::AttributesMap parameter_descriptive_info;
    ::nks::metadata::v1::parameter_navigation::Data parameter_navigation;
};

} // namespace v1
} // namespace nks::metadata
