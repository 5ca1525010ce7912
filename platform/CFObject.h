// The objects behind the CoreFoundation-style references (for the platform
// layer's own sources only). Each object starts with one reference; the last
// CFRelease deletes it. Immortal objects (constant strings, the booleans)
// ignore Retain and Release.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/CFBase.h"
#include "platform/CFString.h"

enum : CFTypeID {
    kSxTypeString = 7,
    kSxTypeDictionary = 18,
    kSxTypeArray = 19,
    kSxTypeData = 20,
    kSxTypeBoolean = 21,
    kSxTypeNumber = 22,
    kSxTypeURL = 29,
    kSxTypeBundle = 31,
    kSxTypeReadStream = 38,
    kSxTypeDate = 42,
};

struct SxCFObject {
    explicit SxCFObject(CFTypeID id) : typeID(id) {}
    virtual ~SxCFObject() = default;
    SxCFObject(const SxCFObject&) = delete;
    SxCFObject& operator=(const SxCFObject&) = delete;
    // Same value; called only for objects of the same type.
    virtual bool sameValue(const SxCFObject& other) const { return this == &other; }

    const CFTypeID typeID;
    mutable std::atomic<long> refs{1};
    bool immortal = false;
};

struct SxCFString : SxCFObject {
    explicit SxCFString(std::string text) : SxCFObject(kSxTypeString), utf8(std::move(text)) {}
    bool sameValue(const SxCFObject& other) const override;
    std::string utf8; // always valid UTF-8
};

struct SxCFNumber : SxCFObject {
    SxCFNumber() : SxCFObject(kSxTypeNumber) {}
    bool sameValue(const SxCFObject& other) const override;
    bool isFloat = false;
    int64_t integer = 0;
    double real = 0.0;
};

struct SxCFBoolean : SxCFObject {
    explicit SxCFBoolean(bool v) : SxCFObject(kSxTypeBoolean), value(v) { immortal = true; }
    bool value;
};

struct SxCFData : SxCFObject {
    SxCFData() : SxCFObject(kSxTypeData) {}
    bool sameValue(const SxCFObject& other) const override;
    std::vector<uint8_t> bytes;
};

struct SxCFDate : SxCFObject {
    explicit SxCFDate(std::string t) : SxCFObject(kSxTypeDate), text(std::move(t)) {}
    bool sameValue(const SxCFObject& other) const override;
    std::string text; // as read, e.g. 2026-01-02T03:04:05Z
};

struct SxCFArray : SxCFObject {
    SxCFArray() : SxCFObject(kSxTypeArray) {}
    ~SxCFArray() override;
    bool sameValue(const SxCFObject& other) const override;
    std::vector<CFTypeRef> items; // each holds one reference
};

struct SxCFDictionary : SxCFObject {
    struct Entry {
        CFStringRef key; // one reference each
        CFTypeRef value;
    };
    SxCFDictionary() : SxCFObject(kSxTypeDictionary) {}
    ~SxCFDictionary() override;
    bool sameValue(const SxCFObject& other) const override;
    std::map<std::string, Entry> entries; // by the key's UTF-8 text
};

struct SxCFURL : SxCFObject {
    SxCFURL() : SxCFObject(kSxTypeURL) {}
    ~SxCFURL() override;
    bool sameValue(const SxCFObject& other) const override;
    bool isFile = false;
    bool isDirectory = false;
    std::string path;           // file URLs: absolute path bytes, no trailing '/' but the root
    std::string scheme;         // empty when the text has none
    CFStringRef text = nullptr; // the URL text, owned
};

inline const SxCFObject* sxObject(CFTypeRef ref) {
    return static_cast<const SxCFObject*>(ref);
}

// The object behind `ref` when it has type `id`, else null.
template <class T> const T* sxAs(CFTypeRef ref, CFTypeID id) {
    const SxCFObject* o = sxObject(ref);
    return (o && o->typeID == id) ? static_cast<const T*>(o) : nullptr;
}

// Holds one reference for the length of a scope.
class SxCFHold {
public:
    explicit SxCFHold(CFTypeRef ref = nullptr) : m_ref(ref) {}
    ~SxCFHold() {
        if (m_ref) CFRelease(m_ref);
    }
    SxCFHold(const SxCFHold&) = delete;
    SxCFHold& operator=(const SxCFHold&) = delete;
    CFTypeRef get() const { return m_ref; }
    CFTypeRef take() {
        CFTypeRef r = m_ref;
        m_ref = nullptr;
        return r;
    }

private:
    CFTypeRef m_ref;
};

// A new string of valid UTF-8 text (the caller checks the text).
CFStringRef sxMakeString(std::string utf8);
// True when `text` is valid UTF-8 (no overlong forms, no surrogates).
bool sxIsValidUTF8(const std::string& text);
// Converts `length` bytes between two CoreFoundation encodings; false when the
// encodings are unknown or the bytes do not convert completely.
bool sxConvertToUTF8(const char* bytes, size_t length, CFStringEncoding from, std::string& out);
bool sxConvertFromUTF8(const std::string& utf8, CFStringEncoding to, std::string& out);
