// The outcome of checking NKS metadata: an id naming the first rule that
// failed and a message for the host's log, or id 0 with an empty message for
// metadata that may be sent.
#pragma once

#include <cstdint>
#include <string>

namespace nks::metadata {
inline namespace v1 {

struct Result {
    enum Id : uint32_t {
        success = 0,
        // Parameter descriptive information.
        invalidStyle = 2,
        noValueCount = 3,
        inconsistentValueCount = 4,
        discreteLowerBound = 5,
        discreteUpperBound = 6,
        missingDisplayValuesForIconStyle = 7,
        // Parameter navigation.
        performanceModeUndefined = 9,
        groupNameUndefined = 10,
        sectionNameUndefined = 11,
        sectionWithoutValidParameter = 12,
    };

    Result() = default;
    Result(Id id, std::string message) : id(id), message(std::move(message)) {}

    bool isSuccess() const { return id == success && message.empty(); }

    Id id = success;
    std::string message;
};

inline bool operator==(const Result& a, const Result& b) {
    return a.id == b.id && a.message == b.message;
}
inline bool operator!=(const Result& a, const Result& b) {
    return !(a == b);
}

} // namespace v1
} // namespace nks::metadata
