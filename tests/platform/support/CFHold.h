// Small helpers of the object-layer tests: an owner that releases an object at
// the end of its scope, and a URL's file-system path as text.
#pragma once

#include <string>

#include "platform/CoreFoundation.h"

namespace {

struct Hold {
    CFTypeRef ref;
    explicit Hold(CFTypeRef r) : ref(r) {}
    ~Hold() {
        if (ref) CFRelease(ref);
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;
    CFURLRef url() const { return static_cast<CFURLRef>(ref); }
};

[[maybe_unused]] std::string fsPath(CFURLRef url, CFIndex size = 4096) {
    std::string buf(static_cast<size_t>(size), '\0');
    if (!CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<uint8_t*>(buf.data()), size))
        return "<fail>";
    return buf.c_str();
}

} // namespace
