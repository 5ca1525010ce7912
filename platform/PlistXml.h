// The XML property-list format: a reader and a writer of our own.
#pragma once

#include <string>

#include "platform/CFBase.h"

namespace platform {

// The tree of a whole XML property-list document (with or without the <plist>
// element around it); null when the text is not one.
CFTypeRef parsePlistXml(const std::string& text);
// The document for `root`; false when the tree holds an object that is not a
// property-list type.
bool writePlistXml(CFTypeRef root, std::string& out);

} // namespace platform
