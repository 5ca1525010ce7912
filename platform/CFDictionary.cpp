#include "platform/CFDictionary.h"

#include "platform/CFObject.h"

SxCFDictionary::~SxCFDictionary() {
    for (auto& [name, e] : entries) {
        CFRelease(e.key);
        CFRelease(e.value);
    }
}

bool SxCFDictionary::sameValue(const SxCFObject& other) const {
    const auto& o = static_cast<const SxCFDictionary&>(other);
    if (entries.size() != o.entries.size()) return false;
    for (const auto& [name, e] : entries) {
        auto it = o.entries.find(name);
        if (it == o.entries.end() || !CFEqual(e.value, it->second.value)) return false;
    }
    return true;
}

namespace {

const SxCFDictionary* asDict(CFTypeRef ref) {
    return sxAs<SxCFDictionary>(ref, kSxTypeDictionary);
}

SxCFDictionary* asMutableDict(CFMutableDictionaryRef ref) {
    return (ref && ref->typeID == kSxTypeDictionary) ? ref : nullptr;
}

const SxCFString* asString(CFTypeRef ref) {
    return sxAs<SxCFString>(ref, kSxTypeString);
}

} // namespace

CFTypeID CFDictionaryGetTypeID() {
    return kSxTypeDictionary;
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex) {
    return new SxCFDictionary();
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef, CFIndex,
                                                     CFDictionaryRef dict) {
    auto* d = new SxCFDictionary();
    if (const SxCFDictionary* src = asDict(dict)) {
        for (const auto& [name, e] : src->entries) {
            CFRetain(e.key);
            CFRetain(e.value);
            d->entries.emplace(name, e);
        }
    }
    return d;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef dict) {
    const SxCFDictionary* d = asDict(dict);
    return d ? static_cast<CFIndex>(d->entries.size()) : 0;
}

CFTypeRef CFDictionaryGetValue(CFDictionaryRef dict, CFTypeRef key) {
    CFTypeRef value = nullptr;
    CFDictionaryGetValueIfPresent(dict, key, &value);
    return value;
}

bool CFDictionaryGetValueIfPresent(CFDictionaryRef dict, CFTypeRef key, CFTypeRef* value) {
    const SxCFDictionary* d = asDict(dict);
    const SxCFString* k = asString(key);
    if (!d || !k) return false;
    auto it = d->entries.find(k->utf8);
    if (it == d->entries.end()) return false;
    if (value) *value = it->second.value;
    return true;
}

void CFDictionarySetValue(CFMutableDictionaryRef dict, CFTypeRef key, CFTypeRef value) {
    SxCFDictionary* d = asMutableDict(dict);
    const SxCFString* k = asString(key);
    if (!d || !k || !value) return;
    CFRetain(value); // before releasing an old value that may be the same object
    auto it = d->entries.find(k->utf8);
    if (it != d->entries.end()) {
        CFRelease(it->second.value);
        it->second.value = value;
    } else {
        d->entries.emplace(k->utf8,
                           SxCFDictionary::Entry{static_cast<CFStringRef>(CFRetain(k)), value});
    }
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef dict, CFTypeRef key) {
    SxCFDictionary* d = asMutableDict(dict);
    const SxCFString* k = asString(key);
    if (!d || !k) return;
    auto it = d->entries.find(k->utf8);
    if (it == d->entries.end()) return;
    SxCFDictionary::Entry e = it->second;
    d->entries.erase(it);
    CFRelease(e.key);
    CFRelease(e.value);
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef dict, CFTypeRef* keys, CFTypeRef* values) {
    const SxCFDictionary* d = asDict(dict);
    if (!d) return;
    size_t i = 0;
    for (const auto& [name, e] : d->entries) {
        if (keys) keys[i] = e.key;
        if (values) values[i] = e.value;
        ++i;
    }
}
