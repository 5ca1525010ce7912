// Receiver of what the XML reader meets, in document order. Texts and names
// are valid only during the call. The reader ignores every returned value.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vantor {

struct XMLAttribute {
    std::string name;
    std::string value;
};
using XMLAttributeList = std::vector<XMLAttribute>;

class XMLVisitor {
public:
    virtual ~XMLVisitor() = default;

    // Text between "<?" and ">", question marks removed.
    virtual bool visitInstruction(const char* text) = 0;
    // A tag closed by ">".
    virtual bool visitStartElement(const char* name) = 0;
    // An end tag, or a self-closing tag without attributes.
    virtual bool visitEndElement(const char* name) = 0;
    // A tag with attributes closed by "/>".
    virtual bool visitEmptyElement(const char* name) = 0;
    // The attributes of the tag just reported as start or empty element.
    virtual bool visitAttributes(const XMLAttributeList& attributes) = 0;
    // One line of character data.
    virtual bool visitText(const char* text) = 0;
    virtual bool visitError(const char* message, uint64_t position) = 0;
};

} // namespace vantor
