#include "platform/CFPropertyList.h"

#include <string>

#include "platform/CFObject.h"
#include "platform/PlistXml.h"
#include "platform/RegularFile.h"

struct SxCFReadStream : SxCFObject {
    SxCFReadStream() : SxCFObject(kSxTypeReadStream) {}
    std::string path;
    std::string bytes; // the whole file once opened
    bool open = false;
};

namespace {

SxCFReadStream* asStream(CFReadStreamRef ref) {
    return (ref && ref->typeID == kSxTypeReadStream) ? ref : nullptr;
}

CFPropertyListRef parse(const std::string& bytes, CFPropertyListFormat* format, CFErrorRef* error) {
    if (error) *error = nullptr;
    CFPropertyListRef list = platform::parsePlistXml(bytes);
    if (list && format) *format = kCFPropertyListXMLFormat_v1_0;
    return list;
}

} // namespace

CFReadStreamRef CFReadStreamCreateWithFile(CFAllocatorRef, CFURLRef fileURL) {
    uint8_t path[4096];
    if (!CFURLGetFileSystemRepresentation(fileURL, true, path, sizeof path)) return nullptr;
    auto* s = new SxCFReadStream();
    s->path = reinterpret_cast<const char*>(path);
    return s;
}

bool CFReadStreamOpen(CFReadStreamRef stream) {
    SxCFReadStream* s = asStream(stream);
    if (!s) return false;
    std::string bytes;
    if (platform::readRegularFile(s->path, bytes, platform::kLargestPlistFile) != 0) return false;
    s->bytes = std::move(bytes);
    s->open = true;
    return true;
}

void CFReadStreamClose(CFReadStreamRef stream) {
    if (SxCFReadStream* s = asStream(stream)) {
        s->bytes.clear();
        s->open = false;
    }
}

CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef, CFDataRef data, CFOptionFlags,
                                               CFPropertyListFormat* format, CFErrorRef* error) {
    const uint8_t* p = CFDataGetBytePtr(data);
    std::string bytes(reinterpret_cast<const char*>(p), p ? CFDataGetLength(data) : 0);
    return parse(bytes, format, error);
}

CFPropertyListRef CFPropertyListCreateWithStream(CFAllocatorRef, CFReadStreamRef stream,
                                                 CFIndex streamLength, CFOptionFlags,
                                                 CFPropertyListFormat* format, CFErrorRef* error) {
    SxCFReadStream* s = asStream(stream);
    if (error) *error = nullptr;
    if (!s || !s->open) return nullptr;
    if (streamLength > 0 && static_cast<size_t>(streamLength) < s->bytes.size())
        return parse(s->bytes.substr(0, static_cast<size_t>(streamLength)), format, error);
    return parse(s->bytes, format, error);
}

CFDataRef CFPropertyListCreateData(CFAllocatorRef, CFPropertyListRef list,
                                   CFPropertyListFormat format, CFOptionFlags, CFErrorRef* error) {
    if (error) *error = nullptr;
    std::string text;
    if (format != kCFPropertyListXMLFormat_v1_0 || !platform::writePlistXml(list, text))
        return nullptr;
    return CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const uint8_t*>(text.data()),
                        static_cast<CFIndex>(text.size()));
}
