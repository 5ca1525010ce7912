// Single-pass, character-by-character reader of simple XML documents that
// reports tags, attributes (name="value"), text lines, comments and processing
// instructions to an XMLVisitor. No entities, CDATA, single quotes or
// namespaces; nothing is unescaped.
#pragma once

#include "engine-support/XMLVisitor.h"

#include <cstdint>
#include <deque>
#include <string>

namespace vantor {

class VirtualFile;

class XMLFile {
public:
    XMLFile() = default;
    virtual ~XMLFile();

    XMLFile(const XMLFile&) = delete;
    XMLFile& operator=(const XMLFile&) = delete;

    // Opens a regular disk file that the reader owns (never blocking on a pipe);
    // false when it is missing, unreadable or not a regular file.
    bool open(const std::string& path);
    // Borrows an open source; the reader never deletes it.
    bool open(VirtualFile* file);

    // Reads the whole source and reports it; false only without a visitor.
    // `bufferSize` is the initial room for one token; longer tokens grow it.
    bool parse(XMLVisitor* visitor, uint64_t bufferSize);

    // Splits "name=value" at its first "=" and appends the pair.
    bool addAttribute(const std::string& token);
    // Reads one character, counts it, sets `eof` once `size` characters are read.
    uint8_t readChar(bool& eof);

    uint64_t getPosition() const { return position; }

private:
    enum State : uint32_t {
        kBetweenTags,
        kTagName,
        kInstruction,
        kEndTag,
        kAttributeName,
        kAttributeList,
        kValue,
        kText,
        kComment,
    };
    enum Kind : uint32_t { kPlain, kEmpty };

    struct StackEntry {
        uint32_t state;
        uint32_t kind;
        uint64_t word;
        std::string name;
    };

    void closeTag();

    VirtualFile* ownedSource = nullptr;
    VirtualFile* source = nullptr;
    uint64_t size = 0;
    std::deque<StackEntry> elementStack;
    XMLAttributeList attributes;
    uint64_t position = 0;

    // Parse state.
    uint32_t state = kBetweenTags;
    uint32_t kind = kPlain;
    std::string token;
};

} // namespace vantor
