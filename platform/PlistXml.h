// The XML property-list format: a reader and a writer of our own.
#pragma once

#include <cstdint>
#include <string>

#include "platform/CFBase.h"

namespace platform {

// The largest property-list file read from a path: far above any real
// preference file, small enough that a path naming a device or a huge file
// cannot exhaust memory.
constexpr uint64_t kLargestPlistFile = 64ull << 20;

// The tree of a whole XML property-list document (with or without the <plist>
// element around it); null when the text is not one.
CFTypeRef parsePlistXml(const std::string& text);
// The document for `root`; false when the tree holds an object that is not a
// property-list type.
bool writePlistXml(CFTypeRef root, std::string& out);

} // namespace platform
