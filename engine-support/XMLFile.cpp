#include "engine-support/XMLFile.h"

#include "engine-support/VNTFile.h"
#include "engine-support/VirtualFile.h"
#include "vantor/PlatformToolsFiles.h"

namespace vantor {

namespace {

bool isWhitespace(char c) {
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

} // namespace

XMLFile::~XMLFile() {
    delete ownedSource;
}

bool XMLFile::open(const std::string& path) {
    if (!fileExists(path, true)) return false;
    delete ownedSource;
    source = nullptr;
    size = 0;
    ownedSource = new VNTFile(path);
    if (!ownedSource->isOpen()) return false;
    source = ownedSource;
    size = static_cast<uint64_t>(source->getSize());
    return true;
}

bool XMLFile::open(VirtualFile* file) {
    if (!file || !file->isOpen()) return false;
    source = file;
    size = static_cast<uint64_t>(file->getSize());
    return true;
}

bool XMLFile::addAttribute(const std::string& text) {
    size_t equal = text.find('=');
    if (equal == std::string::npos) return false;
    attributes.push_back({text.substr(0, equal), text.substr(equal + 1)});
    return true;
}

uint8_t XMLFile::readChar(bool& eof) {
    uint8_t c = source ? static_cast<uint8_t>(source->readU8()) : 0;
    ++position;
    eof = position >= size;
    return c;
}

void XMLFile::closeTag() {
    if (elementStack.empty()) {
        state = kBetweenTags;
    } else {
        state = elementStack.back().state;
        elementStack.pop_back();
    }
    token.clear();
    attributes.clear();
    kind = kPlain;
}

bool XMLFile::parse(XMLVisitor* visitor, uint64_t bufferSize) {
    if (!visitor) return false;
    // The token is a growing string: a token longer than `bufferSize` is kept
    // whole instead of overrunning a fixed buffer.
    token.clear();
    token.reserve(bufferSize);
    std::string elementName;
    elementName.reserve(bufferSize);
    attributes.clear();
    attributes.reserve(16);
    state = kBetweenTags;
    kind = kPlain;
    if (!source) return true;

    for (uint64_t i = 0; i < size; ++i) {
        const uint64_t at = position; // index of c
        const char c = static_cast<char>(source->readU8());
        ++position;

        switch (state) {
        case kBetweenTags:
            if (isWhitespace(c)) break;
            if (c == '<') {
                state = kTagName;
            } else {
                state = kText;
                elementName.clear();
                token += c;
            }
            break;

        case kTagName:
            if (c == '\t' || c == ' ') {
                elementName = token;
                token.clear();
                state = kAttributeName;
            } else if (c == '-') {
                token += c;
                if (token == "!--") {
                    token.clear();
                    attributes.clear();
                    state = kComment;
                }
            } else if (c == '/') {
                state = kEndTag;
            } else if (c == '>') {
                visitor->visitStartElement(token.c_str());
                closeTag();
            } else if (c == '?') {
                state = kInstruction;
            } else {
                token += c;
            }
            break;

        case kInstruction:
            if (c == '<') {
                visitor->visitError("Instruction not closed", at);
            } else if (c == '>') {
                visitor->visitInstruction(token.c_str());
                closeTag();
            } else if (c != '?') {
                token += c;
            }
            break;

        case kEndTag:
            if (c == '>') {
                visitor->visitEndElement(token.c_str());
                closeTag();
            } else {
                token += c;
            }
            break;

        case kAttributeName:
            if (isWhitespace(c)) break;
            if (c == '"') {
                visitor->visitError("Missing equal sign", at + 1);
            } else if (c == '=') {
                token += c;
                state = kAttributeList;
            } else if (c == '>') {
                // No attribute has been completed yet: "<a >" is a start tag,
                // "<a />" a self-closing tag without attributes; a name
                // without a value is dropped, as in the attribute list.
                if (!token.empty() && token.back() == '/')
                    visitor->visitEndElement(elementName.c_str());
                else
                    visitor->visitStartElement(elementName.c_str());
                closeTag();
            } else {
                token += c;
            }
            break;

        case kAttributeList:
            if (isWhitespace(c)) break;
            if (c == '"') {
                state = kValue;
            } else if (c == '/') {
                kind = kEmpty;
            } else if (c == '<') {
                visitor->visitError("Tag not closed", at);
            } else if (c == '>') {
                if (kind == kEmpty)
                    visitor->visitEmptyElement(elementName.c_str());
                else
                    visitor->visitStartElement(elementName.c_str());
                visitor->visitAttributes(attributes);
                closeTag();
            } else {
                token += c;
            }
            break;

        case kValue:
            if (c == '\r') break;
            if (c == '"') {
                addAttribute(token);
                token.clear();
                state = kAttributeList;
            } else {
                token += c;
            }
            break;

        case kText:
            if (c == '\n' || c == '<') {
                visitor->visitText(token.c_str());
                token.clear();
                state = c == '<' ? kTagName : kBetweenTags;
            } else {
                token += c;
            }
            break;

        case kComment:
            if (c == '-' || c == '>') {
                token += c;
                if (token.size() > 3) token.erase(0, token.size() - 3);
                if (token == "-->") {
                    token.clear();
                    attributes.clear();
                    state = kBetweenTags;
                }
            } else {
                token.clear();
            }
            break;
        }
    }
    return true;
}

} // namespace vantor
