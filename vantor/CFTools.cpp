#include "vantor/CFTools.h"

#include <algorithm>
#include <cstring>

namespace vantor {
namespace {

bool fixedBufferCString(CFStringRef string, std::string& out, uint32_t encoding, size_t size) {
    if (!string) return false;
    char buffer[2048];
    std::memset(buffer, 0, size);
    if (!CFStringGetCString(string, buffer, static_cast<CFIndex>(size), encoding)) return false;
    buffer[size - 1] = '\0';
    out = buffer;
    return true;
}

CFStringRef createFromCString(const char* text, uint32_t encoding, bool fallback) {
    if (!text) return nullptr;
    CFStringRef s = CFStringCreateWithCString(kCFAllocatorDefault, text, encoding);
    if (!s && fallback)
        s = CFStringCreateWithCString(kCFAllocatorDefault, text, CFStringGetSystemEncoding());
    return s;
}

} // namespace

// ---- CFStringWrapper -------------------------------------------------------------

CFStringWrapper::CFStringWrapper(const std::string& text, uint32_t encoding, bool fallback)
    : m_string(createFromCString(text.c_str(), encoding, fallback)) {}

CFStringWrapper::CFStringWrapper(const char* text, uint32_t encoding, bool fallback)
    : m_string(createFromCString(text, encoding, fallback)) {}

CFStringWrapper::CFStringWrapper(const std::wstring& text, uint32_t, bool fallback) {
    static_assert(sizeof(wchar_t) == 4);
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const CFIndex length = static_cast<CFIndex>(text.size() * 4);
    m_string = CFStringCreateWithBytes(kCFAllocatorDefault, bytes, length, kCFStringEncodingUTF32LE,
                                       false);
    if (m_string || !fallback) return;
    const CFStringEncoding others[] = {kCFStringEncodingUTF16LE, kCFStringEncodingUnicode,
                                       CFStringGetSystemEncoding()};
    for (CFStringEncoding e : others) {
        m_string = CFStringCreateWithBytes(kCFAllocatorDefault, bytes, length, e, false);
        if (m_string) return;
    }
}

CFStringWrapper::CFStringWrapper(CFStringRef string) : m_string(string) {}

CFStringWrapper::~CFStringWrapper() {
    if (m_string) CFRelease(m_string);
}

bool CFStringWrapper::getCString64(std::string& out, uint32_t encoding) const {
    return fixedBufferCString(m_string, out, encoding, 64);
}
bool CFStringWrapper::getCString256(std::string& out, uint32_t encoding) const {
    return fixedBufferCString(m_string, out, encoding, 256);
}
bool CFStringWrapper::getCString512(std::string& out, uint32_t encoding) const {
    return fixedBufferCString(m_string, out, encoding, 512);
}
bool CFStringWrapper::getCString1024(std::string& out, uint32_t encoding) const {
    return fixedBufferCString(m_string, out, encoding, 1024);
}
bool CFStringWrapper::getCString2048(std::string& out, uint32_t encoding) const {
    return fixedBufferCString(m_string, out, encoding, 2048);
}
bool CFStringWrapper::getCStringPath(std::string& out, uint32_t encoding) const {
    return fixedBufferCString(m_string, out, encoding, 1024);
}

bool CFStringWrapper::getCharacters(HFSUniStr255& out) const {
    std::memset(&out, 0, sizeof out);
    if (!m_string) return false;
    CFIndex n = std::min<CFIndex>(CFStringGetLength(m_string), 255);
    out.length = static_cast<uint16_t>(n);
    CFStringGetCharacters(m_string, CFRangeMake(0, n), out.unicode);
    return true;
}

void CFStringWrapper::reset(CFStringRef string) {
    if (m_string && m_string != string) CFRelease(m_string);
    m_string = string;
}

// ---- CFURLWrapper ----------------------------------------------------------------

CFURLWrapper::CFURLWrapper(CFStringRef path, bool isDirectory)
    : m_url(path ? CFURLCreateWithFileSystemPath(kCFAllocatorDefault, path, kCFURLPOSIXPathStyle,
                                                 isDirectory)
                 : nullptr) {}

CFURLWrapper::CFURLWrapper(const uint8_t* bytes, uint64_t length, bool isDirectory)
    : m_url(CFURLCreateFromFileSystemRepresentation(kCFAllocatorDefault, bytes,
                                                    static_cast<CFIndex>(length), isDirectory)) {}

CFURLWrapper::CFURLWrapper(CFBundleRef bundle, bool resources)
    : m_url(resources ? CFBundleCopyResourcesDirectoryURL(bundle) : CFBundleCopyBundleURL(bundle)) {
}

CFURLWrapper::CFURLWrapper(CFBundleRef bundle, CFStringRef name, CFStringRef type,
                           CFStringRef subfolder)
    : m_url(CFBundleCopyResourceURL(bundle, name, type, subfolder)) {}

CFURLWrapper::CFURLWrapper(CFURLRef url) : m_url(url) {}

CFURLWrapper::~CFURLWrapper() {
    if (m_url) CFRelease(m_url);
}

bool CFURLWrapper::getFileSystemRepresentation(std::string& out) const {
    if (!m_url) return false;
    uint8_t buffer[1024];
    std::memset(buffer, 0, sizeof buffer);
    bool ok = CFURLGetFileSystemRepresentation(m_url, true, buffer, sizeof buffer);
    buffer[sizeof buffer - 1] = 0;
    out = reinterpret_cast<const char*>(buffer);
    return ok;
}

// ---- CFTypeWrapper ---------------------------------------------------------------

CFTypeWrapper::CFTypeWrapper(const void* object) : m_object(object) {}

CFTypeWrapper::~CFTypeWrapper() {
    if (m_object) CFRelease(m_object);
}

void CFTypeWrapper::reset(const void* object) {
    if (m_object && m_object != object) CFRelease(m_object);
    m_object = object;
}

bool CFTypeWrapper::getCString2048(std::string& out, uint32_t encoding) const {
    if (!m_object || CFGetTypeID(m_object) != CFStringGetTypeID()) return false;
    return fixedBufferCString(static_cast<CFStringRef>(m_object), out, encoding, 2048);
}

} // namespace vantor
