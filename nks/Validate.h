// The rules an NKS host holds parameter metadata to. Six rules check each
// parameter's descriptive information (style against type, discrete value
// counts between 3 and 128, icon styles with display values); four check the
// navigation tree (a performance mode exists, every group and section has a
// name, every section names at least one parameter). The first failure wins
// and is returned with the host's own message text.
#pragma once

#include "nks/Metadata.h"
#include "nks/Result.h"

#include <cstdio>
#include <stdexcept>
#include <string>

namespace nks::metadata {

// The first failing rule's result, or success.
Result validate(const Metadata& metadata);

namespace utilities {

// printf-style formatting into a string; a format that yields no characters
// throws std::runtime_error("Formatting error").
template <class... Args> std::string stringFormat(const char* format, Args... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length < 1) throw std::runtime_error("Formatting error");
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, args...);
    text.resize(static_cast<size_t>(length));
    return text;
}

} // namespace utilities
} // namespace nks::metadata
