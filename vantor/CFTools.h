// Owning holders of CoreFoundation-style objects: each holds one reference and
// releases it when it goes out of scope, and converts strings and URLs to byte
// strings through fixed-size buffers.
#pragma once

#include <cstdint>
#include <string>

#include "platform/CFBase.h"
#include "platform/CFBundle.h"
#include "platform/CFString.h"
#include "platform/CFURL.h"

namespace vantor {

class CFStringWrapper {
public:
    // Creates the string from `text` in `encoding`; when that fails and
    // `fallback` is set, from `text` in the system encoding. Null when both fail.
    CFStringWrapper(const std::string& text, uint32_t encoding, bool fallback);
    CFStringWrapper(const char* text, uint32_t encoding, bool fallback);
    // The wide characters are read as UTF-32 little-endian; with `fallback`,
    // then as UTF-16 little-endian, UTF-16 in host order and the system
    // encoding. `encoding` is not used.
    CFStringWrapper(const std::wstring& text, uint32_t encoding, bool fallback);
    // Adopts `string` (takes over one reference).
    explicit CFStringWrapper(CFStringRef string);
    ~CFStringWrapper();
    CFStringWrapper(const CFStringWrapper&) = delete;
    CFStringWrapper& operator=(const CFStringWrapper&) = delete;

    CFStringRef getCFStringRef() const { return m_string; }

    // The text in `encoding` when it fits the buffer of N bytes with its
    // terminating zero; false (and `out` unchanged) otherwise or when nothing
    // is held.
    bool getCString64(std::string& out, uint32_t encoding) const;
    bool getCString256(std::string& out, uint32_t encoding) const;
    bool getCString512(std::string& out, uint32_t encoding) const;
    bool getCString1024(std::string& out, uint32_t encoding) const;
    bool getCString2048(std::string& out, uint32_t encoding) const;
    bool getCStringPath(std::string& out, uint32_t encoding) const; // 1024 bytes

    // Zeroes `out`, then stores the length and the UTF-16 units; a string of
    // more than 255 units is cut to its first 255. False when nothing is held.
    bool getCharacters(HFSUniStr255& out) const;

    // Adopts `string`; a different reference held before is released.
    void reset(CFStringRef string);

private:
    CFStringRef m_string = nullptr;
};

class CFURLWrapper {
public:
    // A file URL of the POSIX path `path`.
    CFURLWrapper(CFStringRef path, bool isDirectory);
    // A file URL of the path bytes.
    CFURLWrapper(const uint8_t* bytes, uint64_t length, bool isDirectory);
    // The bundle's resources folder (`resources` true) or the bundle itself.
    CFURLWrapper(CFBundleRef bundle, bool resources);
    // A resource of the bundle; null when it does not exist.
    CFURLWrapper(CFBundleRef bundle, CFStringRef name, CFStringRef type, CFStringRef subfolder);
    // Adopts `url`.
    explicit CFURLWrapper(CFURLRef url);
    ~CFURLWrapper();
    CFURLWrapper(const CFURLWrapper&) = delete;
    CFURLWrapper& operator=(const CFURLWrapper&) = delete;

    CFURLRef getCFURLRef() const { return m_url; }

    // False (and `out` unchanged) when nothing is held. Otherwise `out` = the
    // URL's path through a 1024-byte buffer (empty when it does not fit or the
    // URL is not a file URL) and the result tells whether it fitted.
    bool getFileSystemRepresentation(std::string& out) const;

private:
    CFURLRef m_url = nullptr;
};

class CFTypeWrapper {
public:
    // Adopts `object`.
    explicit CFTypeWrapper(const void* object);
    ~CFTypeWrapper();
    CFTypeWrapper(const CFTypeWrapper&) = delete;
    CFTypeWrapper& operator=(const CFTypeWrapper&) = delete;

    CFTypeRef getCFTypeRef() const { return m_object; }
    // Adopts `object`; a different reference held before is released.
    void reset(const void* object);
    // The 2048-byte conversion of a held string; false for anything else.
    bool getCString2048(std::string& out, uint32_t encoding) const;

private:
    CFTypeRef m_object = nullptr;
};

} // namespace vantor
